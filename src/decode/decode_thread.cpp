#include "decode/decode_thread.h"

#include "decode/bitmap_pack.h"
#include "device/com_ptr.h"
#include "device/device_access.h"
#include "log/log.h"

namespace dl {
namespace {

// Both spellings are the module's own, one per call site.
constexpr char kRunName[] = "CDecodeThread:OnRun:";
constexpr char kLoopName[] = "CDecodeThread::OnRun";

// A heap buffer owned for one run.
class HeapBuffer {
 public:
  explicit HeapBuffer(DWORD bytes) : data_(static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes))) {}
  ~HeapBuffer() { HeapFree(GetProcessHeap(), 0, data_); }
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  BYTE* Get() const { return data_; }

 private:
  BYTE* data_;
};

}  // namespace

CDecodeThread::CDecodeThread() : memoryDc_(CreateCompatibleDC(nullptr)) {}

CDecodeThread::~CDecodeThread() {
  if (memoryDc_ != nullptr) DeleteDC(memoryDc_);
}

void CDecodeThread::PushFrame(IStream* frame) {
  if (frame == nullptr) return;
  HRESULT hr;
  {
    ScopedLock lock(queue_.Lock());
    hr = queue_.Push(frame);
  }
  frame->Release();
  if (FAILED(hr)) {
    DL_ERROR("CDecodeThread::PushFrame", "frame queue push failed 0x%08X, frame dropped",
             static_cast<unsigned>(hr));
  }
}

DWORD CDecodeThread::OnRun() {
  DL_TRACE(kRunName, "thread started.");
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  {
    ComPtr<IBaseFilter> filter;
    ComPtr<IKsPropertySet> propertySet;
    const HRESULT hr = GetDriverBaseFilter(filter.Put());
    if (hr == S_OK && filter) filter->QueryInterface(IID_IKsPropertySet, propertySet.PutVoid());
    if (hr != S_OK || !filter) {
      DL_ERROR(kRunName, "GetDriverBaseFilter return error 0x%08X!exit thd.", static_cast<unsigned>(hr));
    } else if (!propertySet) {
      DL_ERROR(kRunName, "pIKsPropertySetis NULL!!");
    } else {
      RunFrameLoop(propertySet.Get());
    }
  }  // the property set and the filter are released before COM goes
  CoUninitialize();
  return 0;
}

void CDecodeThread::RunFrameLoop(IKsPropertySet* propertySet) {
  const HANDLE waitList[2] = {StopEvent(), queue_.Event()};
  HeapBuffer buffer(kVideoFrameBytes);
  JpegImage image;
  if (buffer.Get() == nullptr) {
    DL_ERROR(kRunName, "video frame buffer allocation failed!");
  } else {
    for (;;) {
      const DWORD result = WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
      if (result == WAIT_OBJECT_0) {
        DL_TRACE(kLoopName, "manually stop event recved.");
        break;
      }
      if (result != WAIT_OBJECT_0 + 1) {
        DL_ERROR(kRunName, "wait objects return error %d!", static_cast<int>(result));
        break;
      }
      HandleFrame(propertySet, image, buffer.Get());
    }
  }
  DL_TRACE(kRunName, "thread exit.");
}  // the picture, then the buffer

void CDecodeThread::HandleFrame(IKsPropertySet* propertySet, JpegImage& image, BYTE* buffer) {
  IStream* frame = nullptr;
  {
    ScopedLock lock(queue_.Lock());
    queue_.Pop(&frame);
  }
  if (frame == nullptr) return;
  image.Destroy();  // the previous frame's picture
  HRESULT hr = image.Load(frame);
  if (FAILED(hr)) {
    DL_ERROR(kLoopName, "jpegImg.Load return error 0x%08X", static_cast<unsigned>(hr));
  } else if (FAILED(hr = GetBitmapBits(image.Bitmap(), buffer))) {
    DL_ERROR(kLoopName, "GetBitmapBits return error 0x%08X", static_cast<unsigned>(hr));
  } else {
    PutVideoData(propertySet, buffer, PackedFrameLength(*reinterpret_cast<const BITMAPINFOHEADER*>(buffer)));
  }
  frame->Release();
}

}  // namespace dl
