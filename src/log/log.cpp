#include "log/log.h"

#include <cstdio>
#include <cstring>

namespace dl {
namespace {

// Seven bytes a name: five characters, the terminator and a zero byte.
constexpr char kLevelNames[7][7] = {"TRACE", "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL", "NONE "};

}  // namespace

void FormatTimestampFields(char (&out)[kTimestampBytes], const struct tm* local, DWORD tick) {
  unsigned fields[7] = {};
  if (local != nullptr) {
    fields[0] = static_cast<unsigned>(local->tm_year + 1900);
    fields[1] = static_cast<unsigned>(local->tm_mon + 1);
    fields[2] = static_cast<unsigned>(local->tm_mday);
    fields[3] = static_cast<unsigned>(local->tm_hour);
    fields[4] = static_cast<unsigned>(local->tm_min);
    fields[5] = static_cast<unsigned>(local->tm_sec);
    fields[6] = tick % 1000u;
  }
  std::snprintf(out, sizeof out, "%04u-%02u-%02u %02u:%02u:%02u.%03u", fields[0], fields[1], fields[2],
                fields[3], fields[4], fields[5], fields[6]);
}

void FormatTimestamp(char (&out)[kTimestampBytes]) {
  const __time64_t now = _time64(nullptr);
  struct tm local;
  const bool known = _localtime64_s(&local, &now) == 0;
  FormatTimestampFields(out, known ? &local : nullptr, GetTickCount());
}

const char* Logger::FormatLine(int level, const char* function, const char* message) {
  char timestamp[kTimestampBytes];
  FormatTimestamp(timestamp);
  std::snprintf(line_, sizeof line_, "%s-%5s-%04i-%20s-%s", timestamp, kLevelNames[level],
                static_cast<int>(GetCurrentThreadId()), function != nullptr ? function : "",
                message != nullptr ? message : "");
  return line_;
}

LogMgr::~LogMgr() {
  while (sinks_ != nullptr) {
    Node* node = sinks_;
    sinks_ = node->next;
    Unregister(node->sink);
    delete node;
  }
}

void LogMgr::Unregister(Logger* sink) {
  if (--sink->references_ == 0) delete sink;
}

void LogMgr::AddLogger(Logger* sink) {
  if (sink == nullptr) return;
  ++sink->references_;
  sinks_ = new Node{sink, sinks_};
}

void LogMgr::RemoveLogger(Logger* sink) {
  lock_.Lock();
  for (Node** link = &sinks_; *link != nullptr; link = &(*link)->next) {
    Node* node = *link;
    if (node->sink == sink) {
      *link = node->next;
      delete node;
      Unregister(sink);
      break;
    }
  }
  lock_.Unlock();
}

void LogMgr::Log(int level, const char* function, const char* format, va_list args) {
  if (Threshold() > level) return;
  // Room for the message, "..." and the terminator.
  char message[kMaxMessageChars + 4];
  const int length = std::vsnprintf(message, kMaxMessageChars + 1, format, args);
  if (length < 0) {
    message[0] = '\0';
  } else if (length > kMaxMessageChars) {
    std::memcpy(message + kMaxMessageChars, "...", 4);
  }
  Dispatch(level, function, message);
}

void LogMgr::Trace(const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Log(LOG_TRACE, function, format, args);
  va_end(args);
}

void LogMgr::Error(const char* function, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Log(LOG_ERROR, function, format, args);
  va_end(args);
}

void LogMgr::Dispatch(int level, const char* function, const char* message) {
  if (Threshold() > level || message == nullptr) return;
  lock_.Lock();
  for (Node* node = sinks_; node != nullptr; node = node->next) {
    Logger* sink = node->sink;
    if (level < sink->minLevel_ || !sink->Accept(function)) continue;
    sink->Lock();
    sink->Write(sink->FormatLine(level, function, message));
    if (sink->GetFlush()) sink->Flush();
    sink->Unlock();
  }
  lock_.Unlock();
}

}  // namespace dl
