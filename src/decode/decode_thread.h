// The decode thread: takes frames from its queue, oldest first, decodes each
// JPEG picture, packs it as a DIB frame and sends it to the virtual capture
// device. It opens the device when it starts; without one it ends at once.
#pragma once

#include "decode/frame_queue.h"
#include "threads/base_thread.h"

namespace dl {

class JpegImage;

class CDecodeThread : public CBaseThread {
 public:
  CDecodeThread();
  ~CDecodeThread() override;

  // Takes over the caller's reference to `frame`; a null frame is ignored.
  // Callable from the moment the object exists.
  void PushFrame(IStream* frame);

  // Packs `bitmap` into `buffer` (kVideoFrameBytes long): S_OK when the buffer
  // holds the whole packed frame, else E_FAIL.
  HRESULT GetBitmapBits(HBITMAP bitmap, BYTE* buffer);

  CFrameQueue& Queue() { return queue_; }

 protected:
  DWORD OnRun() override;

 private:
  // Decodes and sends frames until the stop event; the run's buffer and
  // picture live here.
  void RunFrameLoop(IKsPropertySet* propertySet);
  void HandleFrame(IKsPropertySet* propertySet, JpegImage& image, BYTE* buffer);

  CFrameQueue queue_;
  HDC memoryDc_;
};

}  // namespace dl
