// Kernel objects on one process-wide mutex. A waiter scans its handles in
// index order and consumes only the winner; while nothing is signalled it
// parks on its own condition variable (steady clock) registered with every
// object it waits on, so a SetEvent wakes exactly the waiters concerned.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cwctype>
#include <mutex>
#include <vector>

#include "posix.h"
#include "testing.h"

namespace {

constexpr std::uint32_t kMagic = 0x4B4F424Au;

struct Waiter {
  std::condition_variable cv;
};

struct KernelObject {
  std::uint32_t magic = kMagic;
  int references = 1;
  bool manualReset = true;
  bool signalled = false;
  std::vector<Waiter*> waiters;
};

std::mutex g_kernel;  // constant-initialised: usable from static constructors
std::atomic<long> g_openHandles{0};
std::atomic<DWORD (*)()> g_tickSource{nullptr};
std::atomic<DWORD (*)()> g_threadIdSource{nullptr};
thread_local DWORD t_lastError = 0;

KernelObject* Object(HANDLE handle) {
  auto* object = static_cast<KernelObject*>(handle);
  return object != nullptr && object->magic == kMagic ? object : nullptr;
}

void Signal(KernelObject* object) {
  object->signalled = true;
  for (Waiter* waiter : object->waiters) waiter->cv.notify_one();
}

void Unref(KernelObject* object) {
  if (--object->references == 0) {
    object->magic = 0;
    delete object;
  }
}

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

HANDLE CreateEventW(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (name != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (dlposix::TakeFault(dlposix::Fault::kCreateEvent, 0)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* object = new KernelObject;
  object->manualReset = manualReset != FALSE;
  object->signalled = initialState != FALSE;
  g_openHandles.fetch_add(1, std::memory_order_relaxed);
  return object;
}

BOOL SetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(g_kernel);
  KernelObject* object = Object(event);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Signal(object);
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  std::lock_guard<std::mutex> lock(g_kernel);
  KernelObject* object = Object(event);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object->signalled = false;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(g_kernel);
  KernelObject* object = Object(handle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  g_openHandles.fetch_sub(1, std::memory_order_relaxed);
  Unref(object);
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr || waitAll != FALSE ||
      (count > 1 && dlposix::TakeFault(dlposix::Fault::kWaitMultiple, static_cast<long>(count)))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock<std::mutex> lock(g_kernel);
  KernelObject* objects[MAXIMUM_WAIT_OBJECTS];
  for (DWORD i = 0; i < count; ++i) {
    objects[i] = Object(handles[i]);
    if (objects[i] == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
  }
  Waiter waiter;
  bool registered = false;
  auto leave = [&](DWORD result) {
    if (registered) {
      for (DWORD i = 0; i < count; ++i) {
        auto& list = objects[i]->waiters;
        list.erase(std::find(list.begin(), list.end(), &waiter));
      }
    }
    return result;
  };
  for (;;) {
    for (DWORD i = 0; i < count; ++i) {
      if (objects[i]->signalled) {
        if (!objects[i]->manualReset) objects[i]->signalled = false;
        return leave(WAIT_OBJECT_0 + i);
      }
    }
    if (milliseconds == 0) return WAIT_TIMEOUT;
    if (!registered) {
      for (DWORD i = 0; i < count; ++i) objects[i]->waiters.push_back(&waiter);
      registered = true;
    }
    if (milliseconds == INFINITE) {
      waiter.cv.wait(lock);
    } else if (waiter.cv.wait_until(lock, deadline) == std::cv_status::timeout) {
      // An object signalled right at the deadline still wins.
      bool any = false;
      for (DWORD i = 0; i < count; ++i) any = any || objects[i]->signalled;
      if (!any) return leave(WAIT_TIMEOUT);
    }
  }
}

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&section->mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

void DeleteCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_destroy(&section->mutex); }
void EnterCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_lock(&section->mutex); }
void LeaveCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_unlock(&section->mutex); }

namespace {

struct ThreadStart {
  unsigned(__stdcall* start)(void*);
  void* argument;
  KernelObject* handle;
  std::mutex mutex;
  std::condition_variable started;
  DWORD threadId = 0;
};

void* ThreadTrampoline(void* raw) {
  auto* info = static_cast<ThreadStart*>(raw);
  auto start = info->start;
  void* argument = info->argument;
  KernelObject* handle = info->handle;
  {
    std::lock_guard<std::mutex> lock(info->mutex);
    info->threadId = static_cast<DWORD>(syscall(SYS_gettid));
    info->started.notify_one();
  }  // `info` belongs to the creator from here on
  start(argument);
  std::lock_guard<std::mutex> lock(g_kernel);
  Signal(handle);
  Unref(handle);
  return nullptr;
}

}  // namespace

std::uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned(__stdcall* start)(void*), void* argument,
                              unsigned flags, unsigned* threadId) {
  if (start == nullptr || flags != 0 || dlposix::TakeFault(dlposix::Fault::kBeginThread, 0)) {
    errno = EINVAL;
    return 0;
  }
  auto* handle = new KernelObject;
  handle->references = 2;  // the caller's handle and the running thread
  ThreadStart info;
  info.start = start;
  info.argument = argument;
  info.handle = handle;
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stackSize != 0) pthread_attr_setstacksize(&attributes, stackSize);
  pthread_t thread;
  const int error = pthread_create(&thread, &attributes, ThreadTrampoline, &info);
  pthread_attr_destroy(&attributes);
  if (error != 0) {
    delete handle;
    errno = error;
    return 0;
  }
  g_openHandles.fetch_add(1, std::memory_order_relaxed);
  std::unique_lock<std::mutex> lock(info.mutex);
  info.started.wait(lock, [&] { return info.threadId != 0; });
  if (threadId != nullptr) *threadId = info.threadId;
  return reinterpret_cast<std::uintptr_t>(handle);
}

DWORD GetCurrentThreadId() {
  if (auto source = g_threadIdSource.load(std::memory_order_acquire)) return source();
  return static_cast<DWORD>(syscall(SYS_gettid));
}

DWORD GetTickCount() {
  if (auto source = g_tickSource.load(std::memory_order_acquire)) return source();
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                            static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

__time64_t _time64(__time64_t* out) {
  const __time64_t now = static_cast<__time64_t>(time(nullptr));
  if (out != nullptr) *out = now;
  return now;
}

errno_t _localtime64_s(struct tm* out, const __time64_t* time) {
  if (out == nullptr || time == nullptr) return EINVAL;
  const time_t t = static_cast<time_t>(*time);
  return localtime_r(&t, out) != nullptr ? 0 : EINVAL;
}

HANDLE GetProcessHeap() { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(1)); }

void* HeapAlloc(HANDLE, DWORD flags, std::size_t bytes) {
  if (dlposix::TakeFault(dlposix::Fault::kHeapAlloc, static_cast<long>(bytes))) return nullptr;
  return (flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
}

BOOL HeapFree(HANDLE, DWORD, void* memory) {
  std::free(memory);
  return TRUE;
}

int _wcsicmp(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    const wint_t x = std::towlower(static_cast<wint_t>(*a));
    const wint_t y = std::towlower(static_cast<wint_t>(*b));
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

namespace dlposix {
void SetTickSource(DWORD (*source)()) { g_tickSource.store(source, std::memory_order_release); }
void SetThreadIdSource(DWORD (*source)()) { g_threadIdSource.store(source, std::memory_order_release); }
long OpenHandleCount() { return g_openHandles.load(std::memory_order_relaxed); }
}  // namespace dlposix
