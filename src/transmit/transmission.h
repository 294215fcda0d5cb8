// The module-wide transmission state, built at module load.
#pragma once

#include <atomic>

#include "platform/platform.h"
#include "threads/critical_section.h"

namespace dl {

class CDecodeThread;

struct ModuleObjects {
  ModuleObjects();
  ModuleObjects(const ModuleObjects&) = delete;
  ModuleObjects& operator=(const ModuleObjects&) = delete;

  HANDLE manualStopEvent;          // auto-reset: DL_Stop sets it, DL_Start's wait consumes it
  HANDLE transmissionIdleEvent;    // manual-reset: signalled while no transmission runs
  CriticalSection transmissionLock;  // guards currentDecodeThread
  CriticalSection monitorLock;
  HANDLE streamStoppedEvent;       // manual-reset: the device stopped streaming
  CriticalSection streamStoppedLock;  // guards setting and resetting streamStoppedEvent

  CDecodeThread* currentDecodeThread = nullptr;  // non-null exactly while a transmission runs
};

extern ModuleObjects g_module;

// Time limits of a transmission; tests shorten them.
struct TransmissionLimits {
  // How long DL_Stop waits for the transmission to end.
  std::atomic<DWORD> stopWaitMs{30000};
  // How long DL_Start lets a stopped receive thread finish its read before it
  // disconnects the link itself to break that read.
  std::atomic<DWORD> receiveStopGraceMs{2000};
};
extern TransmissionLimits g_limits;

}  // namespace dl
