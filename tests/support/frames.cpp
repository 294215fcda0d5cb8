#include "support/frames.h"

namespace dltest {

std::string MakeFrame(size_t size, unsigned seed) {
  std::string frame(size, '\0');
  frame[0] = '\xFF';
  frame[1] = '\xD8';
  unsigned state = seed * 2654435761u + 1;
  for (size_t i = 2; i + 2 < size; ++i) {
    state = state * 1103515245u + 12345u;
    char byte = static_cast<char>(state >> 16);
    // An FF is followed by anything but D9, as in entropy-coded data.
    if (frame[i - 1] == '\xFF' && byte == '\xD9') byte = '\x00';
    frame[i] = byte;
  }
  if (size > 4 && frame[size - 3] == '\xFF') frame[size - 3] = '\x00';
  frame[size - 2] = '\xFF';
  frame[size - 1] = '\xD9';
  return frame;
}

std::string ReadStream(IStream* stream) {
  LARGE_INTEGER origin{};
  stream->Seek(origin, STREAM_SEEK_SET, nullptr);
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  std::string bytes(static_cast<size_t>(stat.cbSize.QuadPart), '\0');
  ULONG read = 0;
  stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
  bytes.resize(read);
  return bytes;
}

IStream* StreamOf(const std::string& bytes) {
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
  return stream;
}

std::vector<std::string> DrainFrames(dl::CDecodeThread& decodeThread) {
  std::vector<std::string> frames;
  dl::CFrameQueue& queue = decodeThread.Queue();
  dl::ScopedLock lock(queue.Lock());
  while (queue.Count() > 0) {
    IStream* frame = nullptr;
    queue.Pop(&frame);
    frames.push_back(ReadStream(frame));
    frame->Release();
  }
  return frames;
}

}  // namespace dltest
