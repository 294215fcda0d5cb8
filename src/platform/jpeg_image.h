// The JPEG decoder of the decode thread: decodes the one picture of a frame
// stream into a bottom-up DIB section. A colour picture becomes 24 bits per
// pixel (blue, green, red); a greyscale one 8 bits with a grey colour table.
#pragma once

#include <vector>

namespace dl {

class JpegImage {
 public:
  // Larger pictures are refused before anything is allocated for them.
  static constexpr unsigned long long kMaxPixels = 16ull * 1024 * 1024;

  JpegImage() = default;
  ~JpegImage();
  JpegImage(const JpegImage&) = delete;
  JpegImage& operator=(const JpegImage&) = delete;

  // Reads the stream from its first byte. S_OK, E_FAIL (no decodable picture,
  // one above kMaxPixels, or no bitmap) or E_OUTOFMEMORY. Call on an empty image.
  HRESULT Load(IStream* stream);
  HBITMAP Bitmap() const { return bitmap_; }
  bool IsNull() const { return bitmap_ == nullptr; }
  void Destroy();

 private:
  HBITMAP bitmap_ = nullptr;
  void* decoder_ = nullptr;       // the platform decoder's own state, kept between pictures
  std::vector<BYTE> encoded_;     // the stream's bytes, reused between pictures
};

}  // namespace dl
