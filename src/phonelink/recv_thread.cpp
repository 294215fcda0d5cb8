#include "phonelink/recv_thread.h"

#include <cstring>

#include "decode/decode_thread.h"
#include "log/log.h"

namespace dl {
namespace {

constexpr BYTE kStartMarker[2] = {0xFF, 0xD8};
constexpr BYTE kEndMarker[2] = {0xFF, 0xD9};
constexpr char kRunName[] = "CRecvImgDataThread::OnRun";
constexpr char kStatisticsName[] = "RecvImaDataThd";

}  // namespace

const BYTE* FindMarker(const BYTE* data, LONG count, const BYTE* marker) {
  if (data == nullptr || count < 2) return nullptr;
  const BYTE* last = data + count - 1;  // a match's first byte lies before it
  for (const BYTE* p = data; p < last;) {
    p = static_cast<const BYTE*>(std::memchr(p, marker[0], static_cast<std::size_t>(last - p)));
    if (p == nullptr) return nullptr;
    if (p[1] == marker[1]) return p;
    ++p;
  }
  return nullptr;
}

CRecvImgDataThread::CRecvImgDataThread(unsigned int connection, CDecodeThread* decodeThread)
    : connection_(connection), decodeThread_(decodeThread) {}

CRecvImgDataThread::~CRecvImgDataThread() {
  if (frame_ != nullptr) frame_->Release();
}

DWORD CRecvImgDataThread::OnRun() {
  DL_TRACE(kRunName, "thead started");
  auto* buffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, kReadBytes));
  if (buffer == nullptr) {
    DL_ERROR(kRunName, "receive buffer allocation failed!");
  } else {
    startTick_ = statisticsTick_ = GetTickCount();
    frameCounter_ = 1;
    while (WaitForSingleObject(StopEvent(), 0) != WAIT_OBJECT_0) {
      unsigned int length = kReadBytes;
      const int result = BT_SPP_RecvData(connection_, buffer, &length);
      if (result != 0) {
        DL_ERROR(kRunName, "BT_SPP_RecvData error %d!", result);
        break;
      }
      const BYTE* end = buffer + (length < kReadBytes ? length : kReadBytes);
      for (const BYTE* position = buffer; position < end;) {
        position = ParseReceivedData(position, static_cast<DWORD>(end - position));
      }
    }
  }
  Disconnect();
  DL_TRACE(kRunName, "thead exit");
  HeapFree(GetProcessHeap(), 0, buffer);
  return 0;
}

void CRecvImgDataThread::Disconnect() {
  if (disconnected_.exchange(true)) return;
  const int result = BT_SPP_Disconnect(connection_);
  if (result != 0) DL_ERROR(kRunName, "BT_SPP_Disconnect return error %d", result);
}

const BYTE* CRecvImgDataThread::ParseReceivedData(const BYTE* data, DWORD count) {
  if (data == nullptr || count == 0) return data;
  const BYTE* const end = data + count;
  const bool continuing = inFrame_ != FALSE;
  const bool heldMarkerByte = heldMarkerByte_;
  heldMarkerByte_ = false;

  // Where this chunk's part of the frame begins. A start marker split across
  // two reads contributes its FF from the previous chunk.
  const BYTE* start = data;
  bool startMarkerSplit = false;
  if (!continuing) {
    if (heldMarkerByte && data[0] == kStartMarker[1]) {
      startMarkerSplit = true;
    } else {
      start = FindMarker(data, static_cast<LONG>(count), kStartMarker);
      if (start == nullptr) {
        heldMarkerByte_ = end[-1] == kStartMarker[0];
        return end;
      }
    }
    inFrame_ = TRUE;
  }

  // Just behind the frame's end marker, or null when the frame goes on.
  const BYTE* frameEnd;
  if (continuing && heldMarkerByte && data[0] == kEndMarker[1]) {
    frameEnd = data + 1;
  } else {
    const BYTE* marker = FindMarker(start, static_cast<LONG>(end - start), kEndMarker);
    frameEnd = marker != nullptr ? marker + 2 : nullptr;
  }
  const BYTE* const pieceEnd = frameEnd != nullptr ? frameEnd : end;
  const DWORD pieceLength = static_cast<DWORD>(pieceEnd - start) + (startMarkerSplit ? 1 : 0);

  if (frameLength_ + pieceLength > kFrameLimit) {
    ResetFrame();
    return pieceEnd;
  }
  if (frame_ == nullptr) {
    const HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &frame_);
    if (FAILED(hr) || frame_ == nullptr) {
      // Without its start the frame is useless: drop it whole.
      frame_ = nullptr;
      DL_ERROR(kStatisticsName, "CreateStreamOnHGlobal return error 0x%08X", static_cast<unsigned>(hr));
      ResetFrame();
      return pieceEnd;
    }
    LARGE_INTEGER origin{};
    frame_->Seek(origin, STREAM_SEEK_SET, nullptr);
  }
  if (startMarkerSplit) AppendToFrame(kStartMarker, 1);
  AppendToFrame(start, static_cast<DWORD>(pieceEnd - start));

  if (frameEnd == nullptr) {
    heldMarkerByte_ = end[-1] == kEndMarker[0];
    return end;
  }
  HandOverFrame();
  return frameEnd;
}

void CRecvImgDataThread::AppendToFrame(const BYTE* bytes, DWORD count) {
  ULONG written = 0;
  frame_->Write(bytes, count, &written);
  frameLength_ += written;
}

void CRecvImgDataThread::HandOverFrame() {
  if (decodeThread_ != nullptr) {
    if (g_logMgr.Threshold() <= LOG_TRACE) CountFrame();
    IStream* frame = frame_;
    frame_ = nullptr;
    decodeThread_->PushFrame(frame);
  }
  ResetFrame();
}

void CRecvImgDataThread::ResetFrame() {
  if (frame_ != nullptr) {
    frame_->Release();
    frame_ = nullptr;
  }
  frameLength_ = 0;
  inFrame_ = FALSE;
}

void CRecvImgDataThread::CountFrame() {
  const DWORD n = frameCounter_++;
  if (n % kStatisticsPeriod != 0) return;
  const DWORD now = GetTickCount();
  // No rate without elapsed time: the line waits for a later period.
  if (now == startTick_ || now == statisticsTick_) return;
  const double recent = 50000.0 / static_cast<double>(static_cast<DWORD>(now - statisticsTick_));
  const double average = static_cast<double>(n) * 1000.0 / static_cast<double>(static_cast<DWORD>(now - startTick_));
  DL_TRACE(kStatisticsName, "Frames:%d,len:%d.recent 50frames fps:%f,average fps:%f", static_cast<int>(n),
           static_cast<int>(frameLength_), recent, average);
  statisticsTick_ = now;
}

}  // namespace dl
