// DL_Start and DL_Stop: one transmission at a time, ended by the device going
// idle, by DL_Stop, or by the Bluetooth link failing.
#include "transmit/transmission.h"

#include <new>

#include "driftlantern.h"

#include "decode/decode_thread.h"
#include "log/log.h"
#include "phonelink/recv_thread.h"

namespace dl {
namespace {

constexpr char kStartName[] = "DL_Start";
constexpr char kStopName[] = "DL_Stop";

enum StartResult : int {
  kManuallyStopped = 0,
  kWaitFailed = 1,
  kStreamStopped = 2,
  kAlreadyRunning = 3,
  kLinkLost = 5,
};

void StopWorker(CBaseThread* worker) {
  SetEvent(worker->StopEvent());
  WaitForSingleObject(worker->ExitEvent(), INFINITE);
  delete worker;
}

// Ends the transmission that `decodeThread` began: stops it (unless it never
// ran), clears the running state and signals idle.
void EndTransmission(CDecodeThread* decodeThread, bool decodeThreadRan) {
  {
    ScopedLock lock(g_module.transmissionLock);
    if (decodeThreadRan) {
      StopWorker(decodeThread);
    } else {
      delete decodeThread;
    }
    g_module.currentDecodeThread = nullptr;
  }
  SetEvent(g_module.transmissionIdleEvent);
}

// Stops the receive thread. A read that does not return would keep it from
// seeing its stop event, so after a grace period the link is closed under it.
void StopReceiveThread(CRecvImgDataThread* receiveThread) {
  SetEvent(receiveThread->StopEvent());
  const DWORD grace = g_limits.receiveStopGraceMs.load(std::memory_order_relaxed);
  if (WaitForSingleObject(receiveThread->ExitEvent(), grace) != WAIT_OBJECT_0) {
    DL_TRACE(kStartName, "receive thread still reading after %u ms, disconnecting.", static_cast<unsigned>(grace));
    receiveThread->Disconnect();
    WaitForSingleObject(receiveThread->ExitEvent(), INFINITE);
  }
  delete receiveThread;
}

}  // namespace
}  // namespace dl

using namespace dl;

extern "C" int DL_CALL DL_Start(unsigned int connection) {
  CDecodeThread* decodeThread;
  {
    ScopedLock lock(g_module.transmissionLock);
    if (g_module.currentDecodeThread != nullptr) return kAlreadyRunning;
    decodeThread = new (std::nothrow) CDecodeThread;
    if (decodeThread != nullptr) {
      // A stop request left over from an earlier transmission is not this one's.
      ResetEvent(g_module.manualStopEvent);
      g_module.currentDecodeThread = decodeThread;
      ResetEvent(g_module.transmissionIdleEvent);
    }
  }
  if (decodeThread == nullptr) {
    DL_ERROR(kStartName, "create decode thread failed 0x%08X!", static_cast<unsigned>(E_OUTOFMEMORY));
    BT_SPP_Disconnect(connection);
    return kWaitFailed;
  }

  HRESULT hr = decodeThread->StartThread();
  if (FAILED(hr)) {
    DL_ERROR(kStartName, "start decode thread failed 0x%08X!", static_cast<unsigned>(hr));
    EndTransmission(decodeThread, false);
    BT_SPP_Disconnect(connection);
    return kWaitFailed;
  }

  auto* receiveThread = new (std::nothrow) CRecvImgDataThread(connection, decodeThread);
  hr = receiveThread != nullptr ? receiveThread->StartThread() : E_OUTOFMEMORY;
  if (FAILED(hr)) {
    DL_ERROR(kStartName, "start receive thread failed 0x%08X!", static_cast<unsigned>(hr));
    delete receiveThread;
    EndTransmission(decodeThread, true);
    BT_SPP_Disconnect(connection);
    return kWaitFailed;
  }

  const HANDLE causes[3] = {g_module.streamStoppedEvent, g_module.manualStopEvent, receiveThread->ExitEvent()};
  const DWORD cause = WaitForMultipleObjects(3, causes, FALSE, INFINITE);
  {
    ScopedLock lock(g_module.streamStoppedLock);
    ResetEvent(g_module.streamStoppedEvent);
  }

  int result;
  switch (cause) {
    case WAIT_OBJECT_0:
      DL_TRACE(kStartName, "virtual camera stream stopped.");
      result = kStreamStopped;
      break;
    case WAIT_OBJECT_0 + 1:
      DL_TRACE(kStartName, "manually stopped.");
      ResetEvent(g_module.manualStopEvent);
      result = kManuallyStopped;
      break;
    case WAIT_OBJECT_0 + 2:
      DL_TRACE(kStartName, "bluetooth connection stopped.");
      result = kLinkLost;
      break;
    default:
      result = kWaitFailed;
      break;
  }

  StopReceiveThread(receiveThread);
  EndTransmission(decodeThread, true);
  return result;
}

extern "C" int DL_CALL DL_Stop(void) {
  {
    ScopedLock lock(g_module.transmissionLock);
    if (g_module.currentDecodeThread == nullptr) return 4;
  }
  SetEvent(g_module.manualStopEvent);
  const DWORD result =
      WaitForSingleObject(g_module.transmissionIdleEvent, g_limits.stopWaitMs.load(std::memory_order_relaxed));
  if (result == WAIT_OBJECT_0) return 0;
  DL_ERROR(kStopName, "WaitForSingleObject return error %d!", static_cast<int>(result));
  return 1;
}

extern "C" int DL_CALL DL_Enable(int) { return 0; }

extern "C" int DL_CALL DL_Send(const void*) { return 1; }
