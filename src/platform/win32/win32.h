// Windows: the real SDK. mingw-w64 wants dshow.h before ks.h before ksproxy.h.
#pragma once

#include <time.h>
#include <windows.h>
#include <process.h>
#include <objbase.h>
#include <objidl.h>
#include <dshow.h>
#include <ks.h>
#include <ksproxy.h>

#define DL_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
