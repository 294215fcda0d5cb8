#include <cstdlib>
#include <cstring>
#include <new>

#include "posix.h"
#include "testing.h"

struct DeviceContext {
  std::uint32_t magic;
};

struct GdiBitmap {
  std::uint32_t magic;
  LONG width;
  LONG height;
  WORD bitCount;
  LONG stride;
  BYTE* bits;
  RGBQUAD palette[256];
};

namespace {

constexpr std::uint32_t kDcMagic = 0x44434443u;
constexpr std::uint32_t kBitmapMagic = 0x424D4150u;

GdiBitmap* Bitmap(HGDIOBJ object) {
  auto* bitmap = static_cast<GdiBitmap*>(object);
  return bitmap != nullptr && bitmap->magic == kBitmapMagic ? bitmap : nullptr;
}

LONG Stride(LONG width, WORD bitCount) {
  return static_cast<LONG>(((static_cast<std::uint64_t>(width) * bitCount + 31) & ~31ull) / 8);
}

}  // namespace

HDC CreateCompatibleDC(HDC) { return new DeviceContext{kDcMagic}; }

BOOL DeleteDC(HDC dc) {
  if (dc == nullptr || dc->magic != kDcMagic) return FALSE;
  dc->magic = 0;
  delete dc;
  return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits != nullptr) *bits = nullptr;
  if (info == nullptr || usage != DIB_RGB_COLORS) return nullptr;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  const WORD depth = header.biBitCount;
  if (header.biWidth <= 0 || header.biHeight <= 0 || header.biPlanes != 1 || header.biCompression != BI_RGB ||
      (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::uint64_t bytes = static_cast<std::uint64_t>(Stride(header.biWidth, depth)) * header.biHeight;
  if (bytes > 0x7FFFFFFFu || dlposix::TakeFault(dlposix::Fault::kHeapAlloc, static_cast<long>(bytes))) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* bitmap = new (std::nothrow) GdiBitmap{};
  void* pixels = std::calloc(1, static_cast<std::size_t>(bytes));
  if (bitmap == nullptr || pixels == nullptr) {
    delete bitmap;
    std::free(pixels);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  bitmap->magic = kBitmapMagic;
  bitmap->width = header.biWidth;
  bitmap->height = header.biHeight;
  bitmap->bitCount = depth;
  bitmap->stride = Stride(header.biWidth, depth);
  bitmap->bits = static_cast<BYTE*>(pixels);
  if (depth <= 8) {
    const DWORD entries = header.biClrUsed != 0 && header.biClrUsed < (1u << depth) ? header.biClrUsed : 1u << depth;
    std::memcpy(bitmap->palette, info->bmiColors, entries * sizeof(RGBQUAD));
  }
  if (bits != nullptr) *bits = pixels;
  return bitmap;
}

BOOL DeleteObject(HGDIOBJ object) {
  GdiBitmap* bitmap = Bitmap(object);
  if (bitmap == nullptr) return FALSE;
  bitmap->magic = 0;
  std::free(bitmap->bits);
  delete bitmap;
  return TRUE;
}

int GetObjectW(HGDIOBJ object, int bytes, void* description) {
  const GdiBitmap* bitmap = Bitmap(object);
  if (bitmap == nullptr || bytes < static_cast<int>(sizeof(BITMAP)) || description == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  BITMAP out{};
  out.bmWidth = bitmap->width;
  out.bmHeight = bitmap->height;
  out.bmWidthBytes = bitmap->stride;
  out.bmPlanes = 1;
  out.bmBitsPixel = bitmap->bitCount;
  out.bmBits = bitmap->bits;
  std::memcpy(description, &out, sizeof out);
  return static_cast<int>(sizeof(BITMAP));
}

int GetDIBits(HDC dc, HBITMAP handle, UINT start, UINT lines, void* bits, BITMAPINFO* info, UINT usage) {
  const GdiBitmap* bitmap = Bitmap(handle);
  if (dc == nullptr || dc->magic != kDcMagic || bitmap == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (info == nullptr || usage != DIB_RGB_COLORS || info->bmiHeader.biBitCount != bitmap->bitCount ||
      info->bmiHeader.biWidth != bitmap->width) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (bitmap->bitCount <= 8) {
    std::memcpy(info->bmiColors, bitmap->palette, (1u << bitmap->bitCount) * sizeof(RGBQUAD));
  }
  if (bits == nullptr || start >= static_cast<UINT>(bitmap->height)) return 0;
  const UINT available = static_cast<UINT>(bitmap->height) - start;
  const UINT copied = lines < available ? lines : available;
  std::memcpy(bits, bitmap->bits + static_cast<std::size_t>(start) * bitmap->stride,
              static_cast<std::size_t>(copied) * bitmap->stride);
  return static_cast<int>(copied);
}
