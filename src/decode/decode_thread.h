// The decode thread: takes frames from its queue, oldest first, decodes them
// and sends them to the virtual capture device.
#pragma once

#include "decode/frame_queue.h"
#include "threads/base_thread.h"

namespace dl {

class CDecodeThread : public CBaseThread {
 public:
  CDecodeThread() = default;
  ~CDecodeThread() override = default;

  // Takes over the caller's reference to `frame`; a null frame is ignored.
  void PushFrame(IStream* frame);

  CFrameQueue& Queue() { return queue_; }

 protected:
  DWORD OnRun() override;

 private:
  CFrameQueue queue_;
};

}  // namespace dl
