// The receive thread: reads the phone's byte stream from the Bluetooth link
// and cuts it into JPEG frames (FF D8 ... FF D9) for the decode thread.
#pragma once

#include <atomic>

#include "threads/base_thread.h"

namespace dl {

class CDecodeThread;

// The first position p in [data, data + count - 2] with p[0..1] equal to the
// two marker bytes, or null.
const BYTE* FindMarker(const BYTE* data, LONG count, const BYTE* marker);

class CRecvImgDataThread : public CBaseThread {
 public:
  static constexpr DWORD kReadBytes = 4096;
  static constexpr DWORD kFrameLimit = 16384;
  static constexpr DWORD kStatisticsPeriod = 50;

  CRecvImgDataThread(unsigned int connection, CDecodeThread* decodeThread);
  ~CRecvImgDataThread() override;

  // Consumes a chunk of the stream up to the end of the next finished frame
  // (or wholly); returns where it stopped. Called again with the rest.
  const BYTE* ParseReceivedData(const BYTE* data, DWORD count);

  // Closes the link once, whoever asks first: this thread when it ends, or its
  // owner breaking a read that does not return.
  void Disconnect();

 protected:
  DWORD OnRun() override;

 private:
  void AppendToFrame(const BYTE* bytes, DWORD count);
  void HandOverFrame();
  void ResetFrame();
  void CountFrame();

  const unsigned int connection_;
  BOOL inFrame_ = FALSE;
  IStream* frame_ = nullptr;  // the frame being assembled, one reference
  DWORD frameLength_ = 0;
  CDecodeThread* const decodeThread_;
  DWORD startTick_ = 0;
  DWORD statisticsTick_ = 0;
  DWORD frameCounter_ = 1;
  // The last byte seen was an FF that may begin a marker completed by the
  // next chunk's first byte.
  bool heldMarkerByte_ = false;
  std::atomic<bool> disconnected_{false};
};

}  // namespace dl
