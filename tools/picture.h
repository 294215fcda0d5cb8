// Test pictures and their JPEG encoding, for the host tool, tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dltools {

// A photograph-like moving scene (gradients, soft shapes, sensor noise) as
// packed RGB, top row first.
std::vector<std::uint8_t> ScenePicture(int width, int height, int frame);

// The scene's green channel alone, as a greyscale picture.
std::vector<std::uint8_t> GreyPicture(const std::vector<std::uint8_t>& rgb);

struct JpegOptions {
  int quality = 80;
  bool grey = false;
  bool progressive = false;
  int subsampling = 2;  // TJSAMP_*: 0 4:4:4, 1 4:2:2, 2 4:2:0, 3 grey, 4 4:4:0, 5 4:1:1
};
// Encodes packed RGB (or, for a grey picture, one byte a pixel).
std::string EncodeJpeg(const std::vector<std::uint8_t>& pixels, int width, int height, const JpegOptions& options);

// An independent decode: bottom-up rows padded to 4 bytes, BGR or grey.
bool DecodeJpegBottomUp(const std::string& jpeg, std::vector<std::uint8_t>* rows, int* width, int* height, bool grey);

}  // namespace dltools
