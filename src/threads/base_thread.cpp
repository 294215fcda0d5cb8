#include "threads/base_thread.h"

namespace dl {

CBaseThread::CBaseThread()
    : stopEvent_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      exitEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CBaseThread::~CBaseThread() {
  if (thread_ != nullptr) {
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  if (stopEvent_ != nullptr) CloseHandle(stopEvent_);
  if (exitEvent_ != nullptr) CloseHandle(exitEvent_);
}

HRESULT CBaseThread::StartThread() {
  // Without both events the owner could neither stop the thread nor see it end.
  if (stopEvent_ == nullptr || exitEvent_ == nullptr) return E_OUTOFMEMORY;
  thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadEntry, this, 0, &threadId_));
  return thread_ != nullptr ? S_OK : E_FAIL;
}

unsigned __stdcall CBaseThread::ThreadEntry(void* worker) {
  auto* self = static_cast<CBaseThread*>(worker);
  self->OnRun();
  // The last touch of the object: the owner may delete it from here on.
  SetEvent(self->exitEvent_);
  return 0;
}

}  // namespace dl
