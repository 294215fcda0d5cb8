// Packing a decoded bitmap into a packed DIB frame: a BITMAPINFOHEADER, the
// colour table area and the bottom-up pixel rows, one behind the other.
#pragma once

#include "platform/platform.h"

namespace dl {

// 40 + 640 x 480 x 3: a 640 x 480 picture at 24 bits fills it exactly.
constexpr DWORD kVideoFrameBytes = 921640;

// The depth class n (1, 4, 8, 16, 24 or 32) of planes x bits per pixel.
WORD DepthClass(WORD planes, WORD bitsPerPixel);
// Room for the header and the colour table area of depth class n.
DWORD BmpInfoSize(WORD depthClass);
// Bytes of pixel rows at depth class n, rows padded to 4 bytes; exact, so that
// no size wraps (a non-positive width or height gives a size no buffer holds).
ULONGLONG PixelBytes(WORD depthClass, LONG width, LONG height);

// Fills `header` from the bitmap and sets `bmpInfoSize`; E_FAIL when the
// bitmap cannot be described. Fields it does not fill are set to 0.
HRESULT GetBitmapInfo(HBITMAP bitmap, BITMAPINFOHEADER* header, DWORD* bmpInfoSize);

// The whole packed frame behind `header`: the header, the colour table area
// and every pixel row.
DWORD PackedFrameLength(const BITMAPINFOHEADER& header);

}  // namespace dl
