// The shared library is the core, linked whole; its exports are DL_Enable,
// DL_Start, DL_Stop and DL_Send.
#include "driftlantern.h"
