// The frame path, each figure next to its reference in one run:
//  - decode and pack of a 640x480 frame vs. TurboJPEG's decode of it alone;
//  - a whole transmission fed as fast as a socket pair allows (frames per
//    second and the process's peak memory) vs. the bare decode rate.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "decode/bitmap_pack.h"
#include "decode/decode_thread.h"
#include "driftlantern.h"
#include "log/log.h"
#include "picture.h"
#include "platform/posix/testing.h"

namespace {

const std::string& VgaFrame() {
  static const std::string jpeg = [] {
    const auto picture = dltools::ScenePicture(640, 480, 5);
    for (int quality = 75;; quality -= 5) {
      std::string encoded = dltools::EncodeJpeg(picture, 640, 480, {quality});
      if (encoded.size() <= 16000 || quality <= 20) return encoded;
    }
  }();
  return jpeg;
}

IStream* FrameStream() {
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  stream->Write(VgaFrame().data(), static_cast<ULONG>(VgaFrame().size()), nullptr);
  return stream;
}

void BM_TurboJpegDecode(benchmark::State& state) {
  const std::string& jpeg = VgaFrame();
  tjhandle decoder = tjInitDecompress();
  std::vector<unsigned char> rows(921600);
  for (auto _ : state) {
    tjDecompress2(decoder, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), rows.data(), 640, 1920,
                  480, TJPF_BGR, TJFLAG_BOTTOMUP);
    benchmark::ClobberMemory();
  }
  tjDestroy(decoder);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TurboJpegDecode)->Unit(benchmark::kMicrosecond);

void BM_DecodeAndPack(benchmark::State& state) {
  IStream* stream = FrameStream();
  dl::CDecodeThread decode;  // for its memory device context; not started
  dl::JpegImage image;
  std::vector<BYTE> buffer(dl::kVideoFrameBytes);
  for (auto _ : state) {
    image.Destroy();
    if (FAILED(image.Load(stream)) || FAILED(decode.GetBitmapBits(image.Bitmap(), buffer.data()))) {
      state.SkipWithError("decode failed");
      break;
    }
    benchmark::ClobberMemory();
  }
  stream->Release();
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeAndPack)->Unit(benchmark::kMicrosecond);

void BM_Transmission(benchmark::State& state) {
  const int kFrames = 300;
  std::atomic<long> received{0};
  auto device = std::make_shared<dlposix::FakeDevice>();
  device->onVideoData = [&](const BYTE*, DWORD) {
    ++received;
    return S_OK;
  };
  dlposix::AddDevice(device);
  dl::g_logMgr.SetThreshold(dl::LOG_NONE);
  std::string stream;
  for (int i = 0; i < kFrames; ++i) stream += VgaFrame();
  long frames = 0;
  for (auto _ : state) {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
    received = 0;
    std::thread phone([&] {
      for (size_t at = 0; at < stream.size();) {
        const ssize_t n = write(fds[1], stream.data() + at, std::min<size_t>(65536, stream.size() - at));
        if (n <= 0) break;
        at += static_cast<size_t>(n);
      }
      // Hang up only once the device has everything: the link's end ends the transmission.
      while (received.load() < kFrames) std::this_thread::yield();
      close(fds[1]);
    });
    DL_Start(static_cast<unsigned>(fds[0]));
    phone.join();
    frames += received.load();
  }
  dlposix::ClearDevices();
  dl::g_logMgr.SetThreshold(dl::LOG_TRACE);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["frames/s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_Transmission)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
