// COM on Linux: apartments are per-thread counters; VARIANT and BSTR.
#include <cstdlib>
#include <cwchar>

#include "posix.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
