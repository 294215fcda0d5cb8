// Building and reading frame streams in tests.
#pragma once

#include <string>
#include <vector>

#include "decode/decode_thread.h"

namespace dltest {

// A JPEG-shaped frame of `size` bytes (at least 4): FF D8, a body that holds
// FF bytes but no end marker, FF D9.
std::string MakeFrame(size_t size, unsigned seed);

std::string ReadStream(IStream* stream);
IStream* StreamOf(const std::string& bytes);

// Takes every queued frame out of the decode thread's queue.
std::vector<std::string> DrainFrames(dl::CDecodeThread& decodeThread);

}  // namespace dltest
