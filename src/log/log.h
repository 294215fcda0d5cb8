// The log manager, the sink base class and the line format.
#pragma once

#include <atomic>
#include <cstdarg>

#include "platform/platform.h"
#include "threads/critical_section.h"

namespace dl {

enum LogLevel : int {
  LOG_TRACE = 0,
  LOG_DEBUG = 1,
  LOG_INFO = 2,
  LOG_WARN = 3,
  LOG_ERROR = 4,
  LOG_FATAL = 5,
  LOG_NONE = 6,
};

constexpr int kMaxMessageChars = 16384;
constexpr int kLineBufferBytes = 32768;
constexpr int kTimestampBytes = 24;

class Locker {
 public:
  Locker() = default;
  virtual ~Locker() = default;

  void Lock() { section_.Enter(); }
  void Unlock() { section_.Leave(); }

 private:
  CriticalSection section_;
};

// A sink: turns each message into one line of the fixed layout and writes it.
class Logger {
 public:
  explicit Logger(bool flush) : flush_(flush) {}
  virtual ~Logger() = default;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  virtual const char* FormatLine(int level, const char* function, const char* message);
  virtual bool Accept(const char* /*function*/) { return true; }
  virtual void Write(const char* line) = 0;
  virtual void Flush() {}
  virtual bool GetFlush() { return flush_; }
  virtual void SetFlush(bool flush) { flush_ = flush; }
  virtual void Lock() { lock_.Lock(); }
  virtual void Unlock() { lock_.Unlock(); }

 private:
  friend class LogMgr;

  int references_ = 0;  // registrations held by the manager
  char line_[kLineBufferBytes];
  bool flush_;
  int minLevel_ = LOG_TRACE;
  Locker lock_;
};

class LogMgr {
 public:
  LogMgr() = default;
  virtual ~LogMgr();
  LogMgr(const LogMgr&) = delete;
  LogMgr& operator=(const LogMgr&) = delete;

  // Callers check the threshold first (see DL_TRACE / DL_ERROR) so that a
  // filtered call evaluates none of its arguments.
  void Trace(const char* function, const char* format, ...) DL_PRINTF_FORMAT(3, 4);
  void Error(const char* function, const char* format, ...) DL_PRINTF_FORMAT(3, 4);
  void Dispatch(int level, const char* function, const char* message);

  // Registration happens while no other thread logs; it takes no lock.
  void AddLogger(Logger* sink);
  // Drops one registration of `sink`, destroying it with its last one.
  // Takes the manager lock, so it may run while other threads log.
  void RemoveLogger(Logger* sink);

  int Threshold() const { return threshold_.load(std::memory_order_relaxed); }
  void SetThreshold(int level) { threshold_.store(level, std::memory_order_relaxed); }

 private:
  struct Node {
    Logger* sink;
    Node* next;
  };

  void Log(int level, const char* function, const char* format, va_list args);
  static void Unregister(Logger* sink);

  std::atomic<int> threshold_{LOG_TRACE};
  Node* sinks_ = nullptr;
  Locker lock_;
};

// The module's one log manager (built with the other module-wide objects).
extern LogMgr g_logMgr;

// The timestamp "YYYY-MM-DD hh:mm:ss.mmm" (23 characters) of `local`, or all
// zeros when the local time is unknown (null); the millisecond field is
// `tick` modulo 1000.
void FormatTimestampFields(char (&out)[kTimestampBytes], const struct tm* local, DWORD tick);
void FormatTimestamp(char (&out)[kTimestampBytes]);

}  // namespace dl

#define DL_LOG_AT(level, call, function, ...)                              \
  do {                                                                     \
    if (::dl::g_logMgr.Threshold() <= (level))                             \
      ::dl::g_logMgr.call(function, __VA_ARGS__);                          \
  } while (0)
#define DL_TRACE(function, ...) DL_LOG_AT(::dl::LOG_TRACE, Trace, function, __VA_ARGS__)
#define DL_ERROR(function, ...) DL_LOG_AT(::dl::LOG_ERROR, Error, function, __VA_ARGS__)
