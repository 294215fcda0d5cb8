// The frame splitter's throughput over a recorded multi-frame stream, cut into
// reads as a serial link delivers them, next to a plain memchr scan of the same
// reads (the floor: every byte looked at once, nothing copied).
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decode/decode_thread.h"
#include "phonelink/recv_thread.h"
#include "support/frames.h"

namespace {

struct Recording {
  std::string bytes;
  std::vector<size_t> reads;  // lengths, each at most 4096
  size_t frames = 0;
};

const Recording& TheRecording() {
  static const Recording recording = [] {
    Recording r;
    std::mt19937 random(7);
    std::uniform_int_distribution<size_t> frameSize(6000, 16000);  // 640x480 at phone-camera quality
    for (int i = 0; i < 300; ++i) {
      r.bytes += dltest::MakeFrame(frameSize(random), static_cast<unsigned>(i));
      ++r.frames;
    }
    std::uniform_int_distribution<size_t> readSize(600, 4096);
    for (size_t at = 0; at < r.bytes.size();) {
      const size_t n = std::min(readSize(random), r.bytes.size() - at);
      r.reads.push_back(n);
      at += n;
    }
    return r;
  }();
  return recording;
}

void BM_Splitter(benchmark::State& state) {
  const Recording& r = TheRecording();
  dl::CDecodeThread decode;
  dl::CRecvImgDataThread receive(0, &decode);
  dl::CFrameQueue& queue = decode.Queue();
  for (auto _ : state) {
    const auto* data = reinterpret_cast<const BYTE*>(r.bytes.data());
    for (size_t n : r.reads) {
      const BYTE* end = data + n;
      for (const BYTE* p = data; p < end;) p = receive.ParseReceivedData(p, static_cast<DWORD>(end - p));
      data = end;
    }
    dl::ScopedLock lock(queue.Lock());
    while (queue.Count() > 0) {
      IStream* frame;
      queue.Pop(&frame);
      frame->Release();
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes.size()));
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * r.frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Splitter);

void BM_MemchrScan(benchmark::State& state) {
  const Recording& r = TheRecording();
  for (auto _ : state) {
    size_t found = 0;
    const char* data = r.bytes.data();
    for (size_t n : r.reads) {
      const char* end = data + n;
      for (const char* p = data; (p = static_cast<const char*>(std::memchr(p, 0xFF, end - p))) != nullptr; ++p) {
        ++found;
      }
      data = end;
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes.size()));
}
BENCHMARK(BM_MemchrScan);

}  // namespace
