// The gateway to the platform: module code reaches Win32, COM, DirectShow and
// GDI only through this header. On Windows it is the real SDK; elsewhere our
// own stand-ins with the semantics the module relies on.
#pragma once

#if defined(_WIN32)
#include "win32/win32.h"
#else
#include "posix/posix.h"
#endif

#include "btapi.h"
#include "jpeg_image.h"
