// JPEG decoding with libjpeg-turbo's TurboJPEG API. Its errors come back as
// results: nothing here can end the process on a corrupt picture.
#include <turbojpeg.h>

#include <new>

#include "platform/platform.h"

namespace dl {

JpegImage::~JpegImage() {
  Destroy();
  if (decoder_ != nullptr) tjDestroy(static_cast<tjhandle>(decoder_));
}

void JpegImage::Destroy() {
  if (bitmap_ != nullptr) {
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
  }
}

HRESULT JpegImage::Load(IStream* stream) {
  if (stream == nullptr || bitmap_ != nullptr) return E_FAIL;
  if (decoder_ == nullptr && (decoder_ = tjInitDecompress()) == nullptr) return E_FAIL;
  const auto decoder = static_cast<tjhandle>(decoder_);

  STATSTG stat{};
  LARGE_INTEGER origin{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart > 0x7FFFFFFFu ||
      FAILED(stream->Seek(origin, STREAM_SEEK_SET, nullptr))) {
    return E_FAIL;
  }
  const auto size = static_cast<unsigned long>(stat.cbSize.QuadPart);
  if (encoded_.size() < size) {
    try {
      encoded_.resize(size);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  ULONG read = 0;
  if (FAILED(stream->Read(encoded_.data(), size, &read)) || read != size) return E_FAIL;

  int width = 0, height = 0, subsampling = 0, colourspace = 0;
  if (tjDecompressHeader3(decoder, encoded_.data(), size, &width, &height, &subsampling, &colourspace) != 0 ||
      width <= 0 || height <= 0 ||
      static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) > kMaxPixels) {
    return E_FAIL;
  }

  const bool grey = colourspace == TJCS_GRAY;
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = grey ? 8 : 24;
  info.header.biCompression = BI_RGB;
  if (grey) {
    for (int i = 0; i < 256; ++i) info.colours[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
  }
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return E_FAIL;
  const int pitch = ((width * (grey ? 8 : 24) + 31) & ~31) / 8;
  // Warnings (a truncated or damaged stream) count as failures: such a picture
  // is partly made up.
  if (tjDecompress2(decoder, encoded_.data(), size, static_cast<unsigned char*>(bits), width, pitch, height,
                    grey ? TJPF_GRAY : TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
    DeleteObject(bitmap);
    return E_FAIL;
  }
  bitmap_ = bitmap;
  return S_OK;
}

}  // namespace dl
