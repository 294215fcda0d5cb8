#include "decode/decode_thread.h"

#include "log/log.h"

namespace dl {

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
  const HANDLE waitList[2] = {StopEvent(), queue_.Event()};
  for (;;) {
    const DWORD result = WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
    if (result != WAIT_OBJECT_0 + 1) break;
    IStream* frame;
    {
      ScopedLock lock(queue_.Lock());
      queue_.Pop(&frame);
    }
    if (frame != nullptr) frame->Release();
  }
  return 0;
}

}  // namespace dl
