#include "picture.h"

#include <turbojpeg.h>

#include <cmath>

namespace dltools {

std::vector<std::uint8_t> ScenePicture(int width, int height, int frame) {
  std::vector<std::uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  std::uint32_t noise = 0x9E3779B9u ^ static_cast<std::uint32_t>(frame);
  const double cx = width * (0.5 + 0.3 * std::sin(frame * 0.07));
  const double cy = height * (0.5 + 0.25 * std::cos(frame * 0.05));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const double d = std::hypot(x - cx, y - cy) / (0.35 * width);
      const double glow = std::exp(-d * d);
      const int grain = static_cast<int>(noise >> 30) - 2;
      auto clamp = [](double v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
      std::uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = clamp(60 + 120 * static_cast<double>(y) / height + 150 * glow + grain);
      p[1] = clamp(90 + 80 * std::sin((x + frame * 3) * 0.02) + 60 * glow + grain);
      p[2] = clamp(140 - 100 * static_cast<double>(x) / width + 40 * glow + grain);
    }
  }
  return rgb;
}

std::vector<std::uint8_t> GreyPicture(const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> grey(rgb.size() / 3);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = rgb[3 * i + 1];
  return grey;
}

std::string EncodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height, const JpegOptions& options) {
  tjhandle encoder = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int flags = options.progressive ? TJFLAG_PROGRESSIVE : 0;
  const int result = tjCompress2(encoder, pixels.data(), width, 0, height, options.grey ? TJPF_GRAY : TJPF_RGB, &out,
                                 &size, options.grey ? TJSAMP_GRAY : options.subsampling, options.quality, flags);
  std::string jpeg = result == 0 ? std::string(reinterpret_cast<char*>(out), size) : std::string();
  tjFree(out);
  tjDestroy(encoder);
  return jpeg;
}

bool DecodeJpegBottomUp(const std::string& jpeg, std::vector<std::uint8_t>* rows, int* width, int* height, bool grey) {
  tjhandle decoder = tjInitDecompress();
  int subsampling = 0, colourspace = 0;
  bool ok = tjDecompressHeader3(decoder, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), width,
                                height, &subsampling, &colourspace) == 0;
  if (ok) {
    const int pitch = ((*width * (grey ? 8 : 24) + 31) & ~31) / 8;
    rows->assign(static_cast<size_t>(pitch) * *height, 0);
    ok = tjDecompress2(decoder, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), rows->data(),
                       *width, pitch, *height, grey ? TJPF_GRAY : TJPF_BGR, TJFLAG_BOTTOMUP) == 0;
  }
  tjDestroy(decoder);
  return ok;
}

}  // namespace dltools
