// dlhost: plays the desktop host on Linux. It registers a stand-in "Tavrin
// Video Capture Card" that reports itself streaming, opens a link, and runs
// DL_Start until the link ends or Ctrl-C calls DL_Stop. What the device
// received is kept as a Y4M video and the last frame as a BMP picture.
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/bitmap_pack.h"
#include "driftlantern.h"
#include "log/log.h"
#include "picture.h"
#include "platform/posix/testing.h"

namespace {

constexpr char kUsage[] =
    "usage: dlhost [options]\n"
    "Runs one transmission of the Driftlantern module against a stand-in virtual\n"
    "capture device. Without a link option a built-in phone simulator streams a\n"
    "moving 640x480 test picture as JPEG frames.\n"
    "\n"
    "link (at most one):\n"
    "  --stream FILE      a recorded byte stream, a file or a FIFO\n"
    "  --serial PATH      a serial or RFCOMM device, such as /dev/rfcomm0\n"
    "  --tcp HOST:PORT    a phone app serving its stream over TCP\n"
    "simulator:\n"
    "  --seconds N        how long it streams (default 3)\n"
    "  --fps N            frames per second (default 30)\n"
    "output:\n"
    "  --out DIR          where frames.y4m, last.bmp and driftlantern.log go\n"
    "                     (default dlhost-out)\n"
    "  --quiet            no status line\n"
    "  --help             this text\n"
    "\n"
    "Ctrl-C stops the transmission. Exit status: 0 the transmission ended (link\n"
    "closed, stopped, or device idle), 1 it could not run, 2 bad usage.\n";

struct Options {
  std::string stream, serial, tcp;
  std::string outDir = "dlhost-out";
  double seconds = 3;
  int fps = 30;
  bool quiet = false;
};

// ---- the stand-in device: counts and keeps what it receives --------------------
class Receiver {
 public:
  explicit Receiver(const std::string& outDir) : outDir_(outDir) {}
  ~Receiver() {
    if (y4m_ != nullptr) std::fclose(y4m_);
  }

  HRESULT OnVideoData(const BYTE* frame, DWORD length) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++frames_;
    bytes_ += length;
    last_.assign(frame, frame + length);
    WriteY4m(frame, length);
    return S_OK;
  }

  void Snapshot(unsigned long long* frames, unsigned long long* bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    *frames = frames_;
    *bytes = bytes_;
  }

  bool WriteLastBmp(std::string* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (last_.size() < sizeof(BITMAPINFOHEADER)) return false;
    *path = outDir_ + "/last.bmp";
    FILE* file = std::fopen(path->c_str(), "wb");
    if (file == nullptr) return false;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(last_.data());
    const DWORD offset = 14 + dl::BmpInfoSize(dl::DepthClass(header->biPlanes, header->biBitCount));
    unsigned char fileHeader[14] = {'B', 'M'};
    const DWORD total = 14 + static_cast<DWORD>(last_.size());
    std::memcpy(fileHeader + 2, &total, 4);
    std::memcpy(fileHeader + 10, &offset, 4);
    std::fwrite(fileHeader, 1, sizeof fileHeader, file);
    std::fwrite(last_.data(), 1, last_.size(), file);
    return std::fclose(file) == 0;
  }

  std::string Y4mPath() const { return outDir_ + "/frames.y4m"; }

 private:
  // 4:4:4 Y'CbCr frames of the first frame's size; other sizes are left out.
  void WriteY4m(const BYTE* frame, DWORD length) {
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(frame);
    if (header->biBitCount != 24 || length < 40 + header->biSizeImage) return;
    const int width = header->biWidth, height = header->biHeight;
    if (y4m_ == nullptr) {
      y4m_ = std::fopen(Y4mPath().c_str(), "wb");
      if (y4m_ == nullptr) return;
      std::fprintf(y4m_, "YUV4MPEG2 W%d H%d F30:1 Ip A1:1 C444\n", width, height);
      width_ = width;
      height_ = height;
    }
    if (width != width_ || height != height_) return;
    const int stride = ((width * 24 + 31) & ~31) / 8;
    plane_.resize(static_cast<size_t>(width) * height * 3);
    BYTE* y = plane_.data();
    BYTE* cb = y + static_cast<size_t>(width) * height;
    BYTE* cr = cb + static_cast<size_t>(width) * height;
    for (int row = 0; row < height; ++row) {
      const BYTE* src = frame + 40 + static_cast<size_t>(height - 1 - row) * stride;  // bottom-up
      for (int x = 0; x < width; ++x, src += 3) {
        const int b = src[0], g = src[1], r = src[2];
        const size_t i = static_cast<size_t>(row) * width + x;
        y[i] = static_cast<BYTE>((66 * r + 129 * g + 25 * b + 128) / 256 + 16);
        cb[i] = static_cast<BYTE>((-38 * r - 74 * g + 112 * b + 128) / 256 + 128);
        cr[i] = static_cast<BYTE>((112 * r - 94 * g - 18 * b + 128) / 256 + 128);
      }
    }
    std::fputs("FRAME\n", y4m_);
    std::fwrite(plane_.data(), 1, plane_.size(), y4m_);
  }

  std::string outDir_;
  std::mutex mutex_;
  unsigned long long frames_ = 0, bytes_ = 0;
  std::vector<BYTE> last_;
  std::vector<BYTE> plane_;
  FILE* y4m_ = nullptr;
  int width_ = 0, height_ = 0;
};

// The module's log goes to a file; frames that fail to decode or pack are counted.
class FileSink : public dl::Logger {
 public:
  explicit FileSink(FILE* file) : dl::Logger(true), file_(file) {}
  ~FileSink() override { std::fclose(file_); }
  void Write(const char* line) override {
    std::fprintf(file_, "%s\r\n", line);
    if (std::strstr(line, "jpegImg.Load return error") || std::strstr(line, "GetBitmapBits return error")) ++dropped;
  }
  void Flush() override { std::fflush(file_); }
  std::atomic<unsigned long long> dropped{0};

 private:
  FILE* file_;
};

// ---- links -----------------------------------------------------------------------------
int OpenSerial(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOCTTY);
  if (fd >= 0 && isatty(fd)) {
    termios tty{};
    if (tcgetattr(fd, &tty) == 0) {
      cfmakeraw(&tty);
      tcsetattr(fd, TCSANOW, &tty);
    }
  }
  return fd;
}

int OpenTcp(const std::string& address) {
  const auto colon = address.rfind(':');
  if (colon == std::string::npos) return -1;
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.substr(0, colon).c_str(), address.substr(colon + 1).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
    fd = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  return fd;
}

// Frames still queued when the link ends are never decoded, so a feeder hangs
// up only once the module has handled everything it was sent.
void HangUpWhenDrained(int fd, const std::function<unsigned long long()>& handled, const std::atomic<bool>& stop) {
  unsigned long long last = handled();
  for (int quiet = 0; quiet < 3 && !stop.load();) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const unsigned long long now = handled();
    quiet = now == last ? quiet + 1 : 0;
    last = now;
  }
  close(fd);
}

// Copies a recording (a file or a FIFO) into the link.
void Replay(int source, int fd, const std::function<unsigned long long()>& handled, std::atomic<bool>* stop) {
  char buffer[65536];
  ssize_t n;
  while (!stop->load() && (n = read(source, buffer, sizeof buffer)) > 0) {
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = write(fd, buffer + written, static_cast<size_t>(n - written));
      if (w <= 0) {
        n = -1;
        break;
      }
      written += w;
    }
    if (n < 0) break;
  }
  close(source);
  HangUpWhenDrained(fd, handled, *stop);
}

// The phone: JPEG frames of a moving scene at a steady rate, then it hangs up.
void Simulate(int fd, double seconds, int fps, std::atomic<bool>* stop, std::atomic<unsigned long long>* sent,
              const std::function<unsigned long long()>& handled) {
  const int frames = static_cast<int>(seconds * fps);
  const auto period = std::chrono::microseconds(1000000 / (fps > 0 ? fps : 1));
  auto next = std::chrono::steady_clock::now();
  int quality = 75;
  for (int i = 0; i < frames && !stop->load(); ++i) {
    const auto picture = dltools::ScenePicture(640, 480, i);
    std::string jpeg;
    // A phone keeps its frames under the link's 16 KB frame limit.
    for (; quality >= 20; quality -= 5) {
      jpeg = dltools::EncodeJpeg(picture, 640, 480, {quality});
      if (jpeg.size() <= 16000) break;
    }
    size_t written = 0;
    while (written < jpeg.size()) {
      const ssize_t n = write(fd, jpeg.data() + written, jpeg.size() - written);
      if (n <= 0) break;
      written += static_cast<size_t>(n);
    }
    if (written != jpeg.size()) break;
    ++*sent;
    next += period;
    std::this_thread::sleep_until(next);
  }
  HangUpWhenDrained(fd, handled, *stop);
}

bool Parse(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string number;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--stream") {
      if (!value(&options->stream)) return false;
    } else if (arg == "--serial") {
      if (!value(&options->serial)) return false;
    } else if (arg == "--tcp") {
      if (!value(&options->tcp)) return false;
    } else if (arg == "--out") {
      if (!value(&options->outDir)) return false;
    } else if (arg == "--seconds") {
      if (!value(&number) || (options->seconds = std::atof(number.c_str())) <= 0) return false;
    } else if (arg == "--fps") {
      if (!value(&number) || (options->fps = std::atoi(number.c_str())) <= 0) return false;
    } else if (arg == "--quiet") {
      options->quiet = true;
    } else {
      return false;
    }
  }
  return (!options->stream.empty()) + (!options->serial.empty()) + (!options->tcp.empty()) <= 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  mkdir(options.outDir.c_str(), 0777);
  FILE* logFile = std::fopen((options.outDir + "/driftlantern.log").c_str(), "wb");
  if (logFile == nullptr) {
    std::fprintf(stderr, "dlhost: cannot write to %s\n", options.outDir.c_str());
    return 1;
  }
  auto* sink = new FileSink(logFile);
  dl::g_logMgr.AddLogger(sink);

  Receiver receiver(options.outDir);
  auto device = std::make_shared<dlposix::FakeDevice>();
  device->onVideoData = [&](const BYTE* frame, DWORD length) { return receiver.OnVideoData(frame, length); };
  device->SetStreaming(true);
  dlposix::AddDevice(device);

  // Ctrl-C is taken by a thread of its own, which asks the module to stop.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::atomic<bool> stopSimulator{false};
  std::atomic<unsigned long long> sent{0};
  std::thread simulator;
  const std::function<unsigned long long()> handled = [&] {
    unsigned long long frames, bytes;
    receiver.Snapshot(&frames, &bytes);
    return frames + sink->dropped.load();
  };
  int fd = -1;
  std::string source;
  if (!options.stream.empty()) {
    const int recording = open(options.stream.c_str(), O_RDONLY);
    int pair[2];
    if (recording >= 0 && socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0) {
      fd = pair[0];
      simulator = std::thread(Replay, recording, pair[1], handled, &stopSimulator);
    }
    source = options.stream;
  } else if (!options.serial.empty()) {
    fd = OpenSerial(options.serial);
    source = options.serial;
  } else if (!options.tcp.empty()) {
    fd = OpenTcp(options.tcp);
    source = "tcp " + options.tcp;
  } else {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0) {
      fd = pair[0];
      simulator = std::thread(Simulate, pair[1], options.seconds, options.fps, &stopSimulator, &sent, handled);
      source = "phone simulator";
    }
  }
  if (fd < 0) {
    std::fprintf(stderr, "dlhost: cannot open the link (%s): %s\n", source.c_str(), std::strerror(errno));
    return 1;
  }
  std::printf("dlhost: streaming from %s into \"Tavrin Video Capture Card\"\n", source.c_str());

  std::atomic<bool> done{false};
  std::thread stopper([&] {
    int received = 0;
    while (!done.load()) {
      timespec limit{0, 200 * 1000 * 1000};
      if ((received = sigtimedwait(&signals, nullptr, &limit)) > 0) {
        std::fprintf(stderr, "\ndlhost: stopping\n");
        stopSimulator = true;
        DL_Stop();
        return;
      }
    }
  });

  const auto started = std::chrono::steady_clock::now();
  std::mutex statusMutex;
  std::condition_variable statusWake;
  std::thread status([&] {
    unsigned long long lastFrames = 0, lastBytes = 0;
    auto lastTime = started;
    std::unique_lock<std::mutex> lock(statusMutex);
    while (!statusWake.wait_for(lock, std::chrono::milliseconds(500), [&] { return done.load(); })) {
      unsigned long long frames, bytes;
      receiver.Snapshot(&frames, &bytes);
      const auto now = std::chrono::steady_clock::now();
      const double dt = std::chrono::duration<double>(now - lastTime).count();
      if (!options.quiet) {
        std::fprintf(stderr, "\rframes %llu  %.1f fps  %.1f MB/s to the device  dropped %llu   ", frames,
                     (frames - lastFrames) / dt, (bytes - lastBytes) / dt / 1e6, sink->dropped.load());
      }
      lastFrames = frames;
      lastBytes = bytes;
      lastTime = now;
    }
  });

  const int result = DL_Start(static_cast<unsigned int>(fd));
  done = true;
  statusWake.notify_all();
  status.join();
  stopper.join();
  stopSimulator = true;
  if (simulator.joinable()) simulator.join();

  unsigned long long frames, bytes;
  receiver.Snapshot(&frames, &bytes);
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const char* why = result == 0   ? "stopped"
                    : result == 2 ? "the device stopped streaming"
                    : result == 5 ? "the link closed"
                    : result == 3 ? "a transmission was already running"
                                  : "the transmission failed";
  std::printf("%sdlhost: %s after %.1f s: %llu frames to the device (%.1f fps), %llu dropped", options.quiet ? "" : "\n",
              why, elapsed, frames, frames / elapsed, sink->dropped.load());
  if (sent > 0) std::printf(", %llu sent by the simulator", sent.load());
  std::printf("\n");
  std::string bmp;
  if (frames > 0 && receiver.WriteLastBmp(&bmp)) {
    std::printf("dlhost: frames in %s, last frame in %s, log in %s/driftlantern.log\n", receiver.Y4mPath().c_str(),
                bmp.c_str(), options.outDir.c_str());
  }
  dlposix::ClearDevices();
  return result == 0 || result == 2 || result == 5 ? 0 : 1;
}
