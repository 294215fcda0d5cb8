// The common base of the worker threads: one thread, a stop event through
// which the owner asks it to end, and an exit event it sets when its body has
// returned.
//
// The owner stops a worker by setting its stop event, waiting for its exit
// event and deleting it. A worker whose StartThread failed never ran: its
// owner deletes it without waiting.
#pragma once

#include "platform/platform.h"

namespace dl {

class CBaseThread {
 public:
  CBaseThread();
  virtual ~CBaseThread();
  CBaseThread(const CBaseThread&) = delete;
  CBaseThread& operator=(const CBaseThread&) = delete;

  // S_OK once the thread runs; E_OUTOFMEMORY when an event could not be
  // created, E_FAIL when the thread could not be started.
  HRESULT StartThread();

  HANDLE StopEvent() const { return stopEvent_; }
  HANDLE ExitEvent() const { return exitEvent_; }

 protected:
  virtual DWORD OnRun() = 0;

 private:
  static unsigned __stdcall ThreadEntry(void* worker);

  HANDLE thread_ = nullptr;
  unsigned threadId_ = 0;
  HANDLE stopEvent_;  // auto-reset
  HANDLE exitEvent_;  // manual-reset
};

}  // namespace dl
