#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "decode/bitmap_pack.h"
#include "decode/decode_thread.h"
#include "device/com_ptr.h"
#include "device/device_access.h"
#include "driftlantern.h"
#include "picture.h"
#include "support/frames.h"
#include "support/test_support.h"

namespace {

using dltest::LogCapture;
using dltest::LogEntry;

HBITMAP MakeBitmap(LONG width, LONG height, WORD bits, BYTE fill) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info{};
  info.header = {sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB, 0, 0, 0, 0, 0};
  for (int i = 0; i < 256; ++i) info.colours[i] = RGBQUAD{BYTE(i), BYTE(255 - i), BYTE(i / 2), 0};
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  BITMAP description{};
  GetObjectW(bitmap, sizeof description, &description);
  for (LONG row = 0; row < height; ++row) {
    std::memset(static_cast<BYTE*>(pixels) + row * description.bmWidthBytes, fill + row, description.bmWidthBytes);
  }
  return bitmap;
}

// ---- packing --------------------------------------------------------------------

struct PackCase {
  friend void PrintTo(const PackCase& c, std::ostream* out) { *out << c.name; }
  const char* name;
  LONG width, height;
  WORD bits;
  HRESULT expected;
  DWORD infoSize, sizeImage, clrUsed, payload;
};

class Packing : public ::testing::TestWithParam<PackCase> {};

TEST_P(Packing, SizesAndBound) {
  const PackCase& c = GetParam();
  LogCapture log;
  dl::CDecodeThread decode;
  std::vector<BYTE> buffer(dl::kVideoFrameBytes, 0xAB);  // stale bytes
  HBITMAP bitmap = MakeBitmap(c.width, c.height, c.bits, 7);
  EXPECT_EQ(decode.GetBitmapBits(bitmap, buffer.data()), c.expected);
  EXPECT_TRUE(log->Lines().empty());  // a refused size is the caller's to log
  if (c.expected == S_OK) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, buffer.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, c.width);
    EXPECT_EQ(header.biHeight, c.height);
    EXPECT_EQ(header.biPlanes, 1);
    EXPECT_EQ(header.biBitCount, c.bits);
    EXPECT_EQ(header.biCompression, 0u);
    EXPECT_EQ(header.biSizeImage, c.sizeImage);
    EXPECT_EQ(header.biClrUsed, c.clrUsed);
    EXPECT_EQ(header.biXPelsPerMeter, 0);  // nothing stale in the header
    EXPECT_EQ(header.biYPelsPerMeter, 0);
    EXPECT_EQ(header.biClrImportant, 0u);
    EXPECT_EQ(dl::BmpInfoSize(dl::DepthClass(1, c.bits)), c.infoSize);
    EXPECT_EQ(dl::PackedFrameLength(header), c.payload);
    // The rows stand behind the colour table area, bottom row first, padding included.
    const DWORD stride = c.sizeImage / static_cast<DWORD>(c.height);
    EXPECT_EQ(buffer[c.infoSize], 7);
    EXPECT_EQ(buffer[c.infoSize + stride - 1], 7);
    EXPECT_EQ(buffer[c.infoSize + stride], 8);
    EXPECT_EQ(buffer[c.infoSize + c.sizeImage - 1], static_cast<BYTE>(7 + c.height - 1));
    if (c.bits == 8) {
      EXPECT_EQ(buffer[40 + 4 * 200], 200);  // the colour table's blue of entry 200
    }
    if (c.bits == 16) {
      EXPECT_EQ(buffer[40 + 1000], 0);  // the reserved area is cleared
    }
  }
  DeleteObject(bitmap);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, Packing,
    ::testing::Values(PackCase{"Vga24FitsExactly", 640, 480, 24, S_OK, 40, 921600, 0, 921640},
                      PackCase{"OneColumnTooWide", 641, 480, 24, E_FAIL, 0, 0, 0, 0},
                      PackCase{"OneRowTooHigh", 640, 481, 24, E_FAIL, 0, 0, 0, 0},
                      PackCase{"Vga32", 640, 480, 32, E_FAIL, 0, 0, 0, 0},
                      PackCase{"Vga8SendsEveryRow", 640, 480, 8, S_OK, 1064, 307200, 256, 308264},
                      PackCase{"Vga16", 640, 480, 16, S_OK, 262184, 614400, 65536, 876584},
                      PackCase{"Width3PadsRowsTo12", 3, 2, 24, S_OK, 40, 24, 0, 64}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PackingErrors, SizesAreExact) {
  // 65535 x 65535 at 24 bits: 196608 bytes a row, far past 32 bits in all.
  EXPECT_EQ(dl::PixelBytes(24, 65535, 65535), 196608ull * 65535ull);
  EXPECT_GT(dl::PixelBytes(24, 0, 480), dl::kVideoFrameBytes);
  EXPECT_GT(dl::PixelBytes(24, 640, -480), dl::kVideoFrameBytes);
}

TEST(PackingErrors, InvalidBitmap) {
  LogCapture log;
  dl::CDecodeThread decode;
  std::vector<BYTE> buffer(dl::kVideoFrameBytes);
  EXPECT_EQ(decode.GetBitmapBits(nullptr, buffer.data()), E_FAIL);
  EXPECT_EQ(log->Entries(), (std::vector<LogEntry>{{"ERROR", "CDecodeThread::GetBitmapBits",
                                                    "GetBitmapInfo failed hr = 0x80004005 dwBmpInfoSize = 0"}}));
}

// ---- device access --------------------------------------------------------------

std::shared_ptr<dlposix::FakeDevice> Device(const wchar_t* name, int* marker, int id) {
  auto device = std::make_shared<dlposix::FakeDevice>();
  device->friendlyName = name;
  device->onVideoData = [marker, id](const BYTE*, DWORD) {
    *marker = id;
    return S_OK;
  };
  return device;
}

class DeviceAccess : public ::testing::Test {
 protected:
  DeviceAccess() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
  ~DeviceAccess() override {
    dlposix::ClearDevices();
    dlposix::DisarmFaults();
    CoUninitialize();
  }
  // Which device GetDriverBaseFilter found (its id), or 0.
  int Found(HRESULT* hr) {
    dl::ComPtr<IBaseFilter> filter;
    *hr = dl::GetDriverBaseFilter(filter.Put());
    if (!filter) return 0;
    dl::ComPtr<IKsPropertySet> properties;
    filter->QueryInterface(IID_IKsPropertySet, properties.PutVoid());
    const BYTE byte = 0;
    marker_ = 0;
    dl::PutVideoData(properties.Get(), &byte, 1);
    return marker_;
  }
  int marker_ = 0;
};

TEST_F(DeviceAccess, Enumeration) {
  const wchar_t* kName = L"Tavrin Video Capture Card";
  struct Case {
    const char* name;
    std::function<void(int*)> setUp;
    HRESULT result;
    int found;
  } cases[] = {
      {"the first of two wins",
       [&](int* m) {
         dlposix::AddDevice(Device(L"Webcam", m, 1));
         dlposix::AddDevice(Device(kName, m, 2));
         dlposix::AddDevice(Device(kName, m, 3));
       },
       S_OK, 2},
      {"letter case is ignored", [&](int* m) { dlposix::AddDevice(Device(L"TAVRIN VIDEO CAPTURE CARD", m, 4)); }, S_OK, 4},
      {"a name that is no string is passed over",
       [&](int* m) {
         auto numeric = Device(kName, m, 5);
         numeric->nameType = VT_I4;
         dlposix::AddDevice(numeric);
         dlposix::AddDevice(Device(kName, m, 6));
       },
       S_OK, 6},
      {"a bag that fails is passed over",
       [&](int* m) {
         auto closed = Device(kName, m, 7);
         closed->propertyBagFails = true;
         dlposix::AddDevice(closed);
         dlposix::AddDevice(Device(kName, m, 8));
       },
       S_OK, 8},
      {"a failed bind ends the search",
       [&](int* m) {
         auto unbound = Device(kName, m, 9);
         unbound->bindResult = static_cast<HRESULT>(0x80070005u);
         dlposix::AddDevice(unbound);
         dlposix::AddDevice(Device(kName, m, 10));
       },
       static_cast<HRESULT>(0x80070005u), 0},
      {"no such device", [&](int* m) { dlposix::AddDevice(Device(L"Webcam", m, 11)); }, E_FAIL, 0},
      {"empty category", [](int*) {}, E_FAIL, 0},
      {"no device enumerator",
       [&](int* m) {
         dlposix::AddDevice(Device(kName, m, 12));
         dlposix::ArmFault(dlposix::Fault::kCoCreateInstance);
       },
       E_FAIL, 0},
  };
  for (const auto& c : cases) {
    dlposix::ClearDevices();
    c.setUp(&marker_);
    HRESULT hr = S_OK;
    EXPECT_EQ(Found(&hr), c.found) << c.name;
    EXPECT_EQ(hr, c.result) << c.name;
  }
  EXPECT_EQ(dl::GetDriverBaseFilter(nullptr), E_INVALIDARG);
}

TEST_F(DeviceAccess, PropertiesAndEvents) {
  LogCapture log;
  auto device = std::make_shared<dlposix::FakeDevice>();
  int frames = 0;
  HRESULT setResult = S_OK;
  device->onVideoData = [&](const BYTE*, DWORD) {
    ++frames;
    return setResult;
  };
  device->onGetState = [](DWORD* state) {
    *state = 3;
    return S_OK;
  };
  std::vector<std::pair<ULONG, const KSEVENTDATA*>> events;
  device->onEvent = [&](ULONG id, const KSEVENTDATA* data, bool) {
    events.emplace_back(id, data);
    return id == 2 ? static_cast<HRESULT>(0x80070490u) : S_OK;
  };
  dlposix::AddDevice(device);
  dl::ComPtr<IBaseFilter> filter;
  ASSERT_EQ(dl::GetDriverBaseFilter(filter.Put()), S_OK);
  dl::ComPtr<IKsPropertySet> properties;
  filter->QueryInterface(IID_IKsPropertySet, properties.PutVoid());
  dl::ComPtr<IKsControl> control;
  filter->QueryInterface(IID_IKsControl, control.PutVoid());

  const BYTE frame[4] = {};
  EXPECT_EQ(dl::PutVideoData(nullptr, frame, 4), E_INVALIDARG);
  EXPECT_EQ(dl::PutVideoData(properties.Get(), nullptr, 4), E_INVALIDARG);
  EXPECT_EQ(dl::PutVideoData(properties.Get(), frame, 0), E_INVALIDARG);
  EXPECT_EQ(frames, 0);  // the device saw none of them
  EXPECT_EQ(dl::PutVideoData(properties.Get(), frame, 4), S_OK);
  setResult = static_cast<HRESULT>(0x8007001Fu);
  EXPECT_EQ(dl::PutVideoData(properties.Get(), frame, 4), setResult);

  DWORD state = 0;
  EXPECT_EQ(dl::GetDriverState(filter.Get(), &state), S_OK);
  EXPECT_EQ(state, dl::kStreamingState);
  EXPECT_EQ(dl::GetDriverState(nullptr, &state), E_INVALIDARG);
  EXPECT_EQ(dl::GetDriverState(filter.Get(), nullptr), E_INVALIDARG);

  KSEVENTDATA running{}, idle{};
  running.NotificationType = idle.NotificationType = KSEVENTF_EVENT_HANDLE;
  EXPECT_EQ(dl::EnableFilterEvent(nullptr, &running, 1, true), E_INVALIDARG);
  EXPECT_EQ(dl::EnableFilterEvent(control.Get(), nullptr, 1, true), E_INVALIDARG);
  EXPECT_EQ(dl::EnableFilterEvent(control.Get(), &running, 1, true), S_OK);
  EXPECT_EQ(dl::EnableFilterEvent(control.Get(), &running, 1, false), S_OK);
  EXPECT_EQ(dl::EnableFilterEvent(control.Get(), &idle, 2, true), static_cast<HRESULT>(0x80070490u));
  // Disabling passes no event request, only the very data that enabled it.
  EXPECT_EQ(events, (std::vector<std::pair<ULONG, const KSEVENTDATA*>>{{1, &running}, {0, &running}, {2, &idle}}));

  EXPECT_EQ(log->Entries(),
            (std::vector<LogEntry>{{"ERROR", "PutVideoData", "pIKsPropertySet->Set error 0x8007001F"},
                                   {"ERROR", "EnableFilterEvent", "KsEvent start event 2 failed 0x80070490!"}}));
  dl::ComPtr<IBaseFilter> bare;
  auto noProperties = std::make_shared<dlposix::FakeDevice>();
  noProperties->hasPropertySet = false;
  dlposix::ClearDevices();
  dlposix::AddDevice(noProperties);
  ASSERT_EQ(dl::GetDriverBaseFilter(bare.Put()), S_OK);
  EXPECT_EQ(dl::GetDriverState(bare.Get(), &state), E_FAIL);
}

TEST_F(DeviceAccess, DeviceSignalsStreamingChanges) {
  auto device = std::make_shared<dlposix::FakeDevice>();
  dlposix::AddDevice(device);
  dl::ComPtr<IBaseFilter> filter;
  ASSERT_EQ(dl::GetDriverBaseFilter(filter.Put()), S_OK);
  dl::ComPtr<IKsControl> control;
  filter->QueryInterface(IID_IKsControl, control.PutVoid());
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  KSEVENTDATA onStart{}, onStop{};
  onStart.NotificationType = onStop.NotificationType = KSEVENTF_EVENT_HANDLE;
  onStart.EventHandle.Event = started;
  onStop.EventHandle.Event = stopped;
  ASSERT_EQ(dl::EnableFilterEvent(control.Get(), &onStart, 1, true), S_OK);
  ASSERT_EQ(dl::EnableFilterEvent(control.Get(), &onStop, 2, true), S_OK);

  DWORD state = 7;
  device->SetStreaming(true);
  EXPECT_EQ(WaitForSingleObject(started, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(stopped, 0), WAIT_TIMEOUT);
  EXPECT_EQ(dl::GetDriverState(filter.Get(), &state), S_OK);
  EXPECT_EQ(state, dl::kStreamingState);

  ASSERT_EQ(dl::EnableFilterEvent(control.Get(), &onStop, 2, false), S_OK);
  device->SetStreaming(false);
  EXPECT_EQ(WaitForSingleObject(stopped, 0), WAIT_TIMEOUT);  // disabled: not signalled
  EXPECT_EQ(dl::GetDriverState(filter.Get(), &state), S_OK);
  EXPECT_EQ(state, 0u);
  CloseHandle(started);
  CloseHandle(stopped);
}

// ---- the decoder ------------------------------------------------------------------

TEST(Decoder, ColourGreyAndProgressivePictures) {
  struct Case {
    const char* name;
    dltools::JpegOptions options;
    int width, height;
  } cases[] = {
      {"baseline 4:2:0", {80}, 320, 240},
      {"baseline 4:4:4", {90, false, false, 0}, 97, 61},
      {"4:2:2", {75, false, false, 1}, 64, 48},
      {"progressive", {80, false, true}, 200, 150},
      {"greyscale", {85, true}, 131, 77},
  };
  for (const auto& c : cases) {
    auto pixels = dltools::ScenePicture(c.width, c.height, 3);
    if (c.options.grey) pixels = dltools::GreyPicture(pixels);
    const std::string jpeg = dltools::EncodeJpeg(pixels, c.width, c.height, c.options);
    std::vector<std::uint8_t> expected;
    int width = 0, height = 0;
    ASSERT_TRUE(dltools::DecodeJpegBottomUp(jpeg, &expected, &width, &height, c.options.grey)) << c.name;

    dl::JpegImage image;
    IStream* stream = dltest::StreamOf(jpeg);  // position at the end, as the splitter leaves it
    ASSERT_EQ(image.Load(stream), S_OK) << c.name;
    stream->Release();
    BITMAP description{};
    ASSERT_NE(GetObjectW(image.Bitmap(), sizeof description, &description), 0);
    EXPECT_EQ(description.bmWidth, c.width) << c.name;
    EXPECT_EQ(description.bmHeight, c.height) << c.name;
    EXPECT_EQ(description.bmBitsPixel, c.options.grey ? 8 : 24) << c.name;
    EXPECT_EQ(std::memcmp(description.bmBits, expected.data(), expected.size()), 0) << c.name;
  }
}

TEST(Decoder, RefusesWhatIsNoPicture) {
  const std::string good = dltools::EncodeJpeg(dltools::ScenePicture(64, 64, 0), 64, 64, {});
  std::string bomb = good;  // the frame header claims 65535 x 65535
  const size_t sof = bomb.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  bomb.replace(sof + 5, 4, "\xFF\xFF\xFF\xFF");
  const std::string cases[] = {
      "\xFF\xD8\x00\x01\xFF\xD9",       // markers around nothing
      good.substr(0, good.size() / 2),  // truncated
      bomb,
  };
  for (const auto& bytes : cases) {
    dl::JpegImage image;
    IStream* stream = dltest::StreamOf(bytes);
    EXPECT_EQ(image.Load(stream), E_FAIL);
    EXPECT_TRUE(image.IsNull());
    stream->Release();
  }
}

// ---- end to end -----------------------------------------------------------------------

// A device that keeps every frame it is sent.
struct Capture {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> frames;
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, dltest::kPatience, [&] { return frames.size() >= count; });
  }
};

class EndToEnd : public ::testing::Test {
 protected:
  EndToEnd() {
    socketpair(AF_UNIX, SOCK_STREAM, 0, fds_);
    device_->onVideoData = [this](const BYTE* frame, DWORD length) {
      std::lock_guard<std::mutex> lock(capture_.mutex);
      capture_.frames.emplace_back(reinterpret_cast<const char*>(frame), length);
      capture_.changed.notify_all();
      return S_OK;
    };
  }
  ~EndToEnd() override {
    dlposix::ClearDevices();
    if (fds_[1] >= 0) close(fds_[1]);
  }
  void WriteRandomly(const std::string& bytes, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> size(1, 5000);
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::min(size(random), bytes.size() - at);
      ASSERT_EQ(write(fds_[1], bytes.data() + at, n), static_cast<ssize_t>(n));
      at += n;
    }
  }

  int fds_[2];
  std::shared_ptr<dlposix::FakeDevice> device_ = std::make_shared<dlposix::FakeDevice>();
  Capture capture_;
  LogCapture log_;
};

TEST_F(EndToEnd, EveryFrameReachesTheDeviceOnceAndInOrder) {
  dlposix::AddDevice(device_);
  struct Sent {
    std::string jpeg;
    bool grey;
  };
  std::vector<Sent> sent;
  std::string stream = "noise before the first frame";
  const int sizes[][2] = {{640, 480}, {320, 240}, {640, 480}, {176, 144}, {640, 480}, {1, 1}, {320, 240}};
  for (int i = 0; i < 7; ++i) {
    const int width = sizes[i][0], height = sizes[i][1];
    const bool grey = i == 4;
    auto pixels = dltools::ScenePicture(width, height, i);
    if (grey) pixels = dltools::GreyPicture(pixels);
    sent.push_back({dltools::EncodeJpeg(pixels, width, height, {i % 2 ? 60 : 40, grey, i == 6}), grey});
    ASSERT_LE(sent.back().jpeg.size(), 16384u);
    stream += sent.back().jpeg;
    if (i == 2) stream += std::string("\xFF\xD8\x00\x01\x02\xFF\xD9", 7);  // a corrupt frame among them
  }
  dltest::AsyncCall start([this] { return DL_Start(static_cast<unsigned>(fds_[0])); });
  WriteRandomly(stream, 11);
  ASSERT_TRUE(capture_.WaitFor(sent.size()));
  ASSERT_TRUE(log_->WaitFor({"ERROR", "CDecodeThread::OnRun", "jpegImg.Load return error 0x80004005"}));
  close(fds_[1]);
  fds_[1] = -1;
  EXPECT_EQ(start.Result(), 5);

  ASSERT_EQ(capture_.frames.size(), sent.size());
  for (size_t i = 0; i < sent.size(); ++i) {
    std::vector<std::uint8_t> expected;
    int width = 0, height = 0;
    ASSERT_TRUE(dltools::DecodeJpegBottomUp(sent[i].jpeg, &expected, &width, &height, sent[i].grey));
    // The whole packed frame: header, colour table (grey: 256 entries) and every row.
    const size_t pixelsAt = sent[i].grey ? 1064 : 40;
    const std::string& frame = capture_.frames[i];
    ASSERT_EQ(frame.size(), pixelsAt + expected.size()) << "frame " << i;
    BITMAPINFOHEADER header;
    std::memcpy(&header, frame.data(), sizeof header);
    EXPECT_EQ(header.biWidth, width);
    EXPECT_EQ(header.biHeight, height);
    EXPECT_EQ(header.biBitCount, sent[i].grey ? 8 : 24);
    EXPECT_EQ(header.biSizeImage, expected.size());
    if (sent[i].grey) {
      EXPECT_EQ(frame.substr(40 + 4 * 77, 4), std::string("\x4D\x4D\x4D\x00", 4));  // grey entry 77
    }
    EXPECT_EQ(std::memcmp(frame.data() + pixelsAt, expected.data(), expected.size()), 0) << "frame " << i;
  }
  const auto decodeLines = log_->EntriesOf("CDecodeThread:OnRun:");
  EXPECT_EQ(decodeLines.front(), (LogEntry{"TRACE", "CDecodeThread:OnRun:", "thread started."}));
  EXPECT_EQ(decodeLines.back(), (LogEntry{"TRACE", "CDecodeThread:OnRun:", "thread exit."}));
}

TEST_F(EndToEnd, NoVideoBufferEndsTheDecodeThreadInOrder) {
  dlposix::AddDevice(device_);
  dlposix::ArmFault(dlposix::Fault::kHeapAlloc, dl::kVideoFrameBytes);
  dltest::AsyncCall start([this] { return DL_Start(static_cast<unsigned>(fds_[0])); });
  ASSERT_TRUE(log_->WaitFor({"TRACE", "CDecodeThread:OnRun:", "thread exit."}));
  EXPECT_EQ(DL_Stop(), 0);
  EXPECT_EQ(start.Result(), 0);
  EXPECT_TRUE(log_->Contains({"ERROR", "CDecodeThread:OnRun:", "video frame buffer allocation failed!"}));
  dlposix::DisarmFaults();
}

TEST_F(EndToEnd, MissingDeviceEndsOnlyTheDecodeThread) {
  const std::string jpeg = dltools::EncodeJpeg(dltools::ScenePicture(64, 48, 0), 64, 48, {});
  dltest::AsyncCall start([this] { return DL_Start(static_cast<unsigned>(fds_[0])); });
  ASSERT_TRUE(log_->WaitFor({"ERROR", "CDecodeThread:OnRun:", "GetDriverBaseFilter return error 0x80004005!exit thd."}));
  WriteRandomly(jpeg + jpeg, 3);  // the transmission goes on receiving
  EXPECT_FALSE(start.Wait(std::chrono::milliseconds(0)));
  EXPECT_EQ(DL_Stop(), 0);
  EXPECT_EQ(start.Result(), 0);
  EXPECT_EQ(log_->EntriesOf("CDecodeThread:OnRun:"),
            (std::vector<LogEntry>{{"TRACE", "CDecodeThread:OnRun:", "thread started."},
                                   {"ERROR", "CDecodeThread:OnRun:", "GetDriverBaseFilter return error 0x80004005!exit thd."}}));
}

TEST_F(EndToEnd, StopWinsOverQueuedFrames) {
  device_->onVideoData = nullptr;
  dlposix::AddDevice(device_);
  dl::CDecodeThread* decode = new dl::CDecodeThread;
  const std::string jpeg = dltools::EncodeJpeg(dltools::ScenePicture(64, 48, 0), 64, 48, {});
  for (int i = 0; i < 10; ++i) decode->PushFrame(dltest::StreamOf(jpeg));
  SetEvent(decode->StopEvent());  // both events signalled before the first wait
  ASSERT_EQ(decode->StartThread(), S_OK);
  ASSERT_EQ(WaitForSingleObject(decode->ExitEvent(), 20000), WAIT_OBJECT_0);
  EXPECT_EQ(decode->Queue().Count(), 10u);  // none was taken; the destructor releases them
  EXPECT_TRUE(log_->Contains({"TRACE", "CDecodeThread::OnRun", "manually stop event recved."}));
  delete decode;
}

}  // namespace
