// JPEG decoding with GDI+: the picture is read into a DIB section of our own,
// bottom-up, through a user buffer lock.
#include "platform/platform.h"

#include <propidl.h>
#include <gdiplus.h>

namespace dl {
namespace {

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

// GDI+ starts with the first picture and stays up until the module unloads.
class GdiplusGuard {
 public:
  GdiplusGuard() { InitializeCriticalSection(&lock_); }
  ~GdiplusGuard() {
    if (started_) GdiplusShutdown(token_);
    DeleteCriticalSection(&lock_);
  }
  bool Start() {
    EnterCriticalSection(&lock_);
    if (!started_) {
      GdiplusStartupInput input;
      started_ = GdiplusStartup(&token_, &input, nullptr) == Ok;
    }
    const bool started = started_;
    LeaveCriticalSection(&lock_);
    return started;
  }

 private:
  CRITICAL_SECTION lock_;
  ULONG_PTR token_ = 0;
  bool started_ = false;
};

GdiplusGuard g_gdiplus;

}  // namespace

JpegImage::~JpegImage() { Destroy(); }

void JpegImage::Destroy() {
  if (bitmap_ != nullptr) {
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
  }
}

HRESULT JpegImage::Load(IStream* stream) {
  if (stream == nullptr || bitmap_ != nullptr || !g_gdiplus.Start()) return E_FAIL;
  LARGE_INTEGER origin{};
  stream->Seek(origin, STREAM_SEEK_SET, nullptr);
  GpBitmap* image = nullptr;
  if (GdipCreateBitmapFromStream(stream, &image) != Ok || image == nullptr) return E_FAIL;

  HRESULT hr = E_FAIL;
  UINT width = 0, height = 0;
  PixelFormat format = 0;
  GdipGetImageWidth(image, &width);
  GdipGetImageHeight(image, &height);
  GdipGetImagePixelFormat(image, &format);
  if (width != 0 && height != 0 && static_cast<unsigned long long>(width) * height <= kMaxPixels) {
    const bool indexed = format == PixelFormat8bppIndexed;
    const bool alpha = IsAlphaPixelFormat(format) != FALSE;
    const PixelFormat lockFormat = indexed ? PixelFormat8bppIndexed : alpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    const WORD depth = indexed ? 8 : alpha ? 32 : 24;
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[256];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = static_cast<LONG>(width);
    info.header.biHeight = static_cast<LONG>(height);
    info.header.biPlanes = 1;
    info.header.biBitCount = depth;
    info.header.biCompression = BI_RGB;
    if (indexed) {
      INT paletteBytes = 0;
      GdipGetImagePaletteSize(image, &paletteBytes);
      std::vector<BYTE> storage(paletteBytes > 0 ? static_cast<size_t>(paletteBytes) : sizeof(ColorPalette));
      auto* palette = reinterpret_cast<ColorPalette*>(storage.data());
      if (GdipGetImagePalette(image, palette, paletteBytes) == Ok) {
        for (UINT i = 0; i < palette->Count && i < 256; ++i) {
          const ARGB c = palette->Entries[i];
          info.colours[i] = RGBQUAD{BYTE(c), BYTE(c >> 8), BYTE(c >> 16), 0};
        }
      }
    }
    void* bits = nullptr;
    HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
      const INT stride = static_cast<INT>(((width * depth + 31) & ~31u) / 8);
      BitmapData data{};
      data.Width = width;
      data.Height = height;
      data.Stride = -stride;  // our rows are bottom-up
      data.PixelFormat = lockFormat;
      data.Scan0 = static_cast<BYTE*>(bits) + static_cast<size_t>(height - 1) * stride;
      GpRect rect{0, 0, static_cast<INT>(width), static_cast<INT>(height)};
      if (GdipBitmapLockBits(image, &rect, ImageLockModeRead | ImageLockModeUserInputBuf, lockFormat, &data) == Ok) {
        GdipBitmapUnlockBits(image, &data);
        bitmap_ = bitmap;
        hr = S_OK;
      } else {
        DeleteObject(bitmap);
        hr = E_OUTOFMEMORY;
      }
    }
  }
  GdipDisposeImage(image);
  return hr;
}

}  // namespace dl
