// Linux: stand-ins for the part of Win32, COM, DirectShow and GDI that the
// module uses, with the semantics it relies on.
#pragma once

#include "win_types.h"
#include "kernel.h"
#include "com.h"
#include "devices.h"
#include "gdi.h"

#define DL_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
