// Shared test fixtures: a capturing log sink and a scripted Bluetooth link.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "log/log.h"
#include "platform/posix/testing.h"

namespace dltest {

// Generous: tests wait on events, never on the machine's speed.
constexpr std::chrono::seconds kPatience{20};

struct LogEntry {
  std::string level;     // "TRACE", "ERROR", ...
  std::string function;  // the function-name column, blanks trimmed
  std::string message;
  bool operator==(const LogEntry& other) const {
    return level == other.level && function == other.function && message == other.message;
  }
};
std::ostream& operator<<(std::ostream& out, const LogEntry& entry);

// A sink that keeps every line it is given.
class CaptureLog : public dl::Logger {
 public:
  CaptureLog() : dl::Logger(false) {}

  void Write(const char* line) override;

  std::vector<std::string> Lines() const;
  std::vector<LogEntry> Entries() const;
  std::vector<LogEntry> EntriesOf(const std::string& function) const;
  bool Contains(const LogEntry& entry) const;
  // Waits until a line matches; false after kPatience.
  bool WaitFor(const LogEntry& entry) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
};

// Registers a CaptureLog with the module's log manager, at `threshold`, for
// its own lifetime.
class LogCapture {
 public:
  explicit LogCapture(int threshold = dl::LOG_TRACE);
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  CaptureLog* operator->() const { return log_; }

 private:
  CaptureLog* log_;  // owned by the manager while registered
  int savedThreshold_;
};

LogEntry ParseLine(const std::string& line);

// A Bluetooth link the test scripts: chunks to deliver, an error to end with,
// or reads that block until the link is disconnected.
class FakeLink {
 public:
  FakeLink();
  ~FakeLink();

  void Send(const std::string& bytes);  // one read delivers exactly these bytes
  void Fail(int code);                  // the read after the queued chunks fails
  void BlockReads();                    // reads never return until Disconnect
  void SetDisconnectResult(int result);

  int Disconnects() const;
  int Reads() const;
  bool WaitForReads(int count) const;

 private:
  static int Recv(unsigned int connection, unsigned char* buffer, unsigned int* length);
  static int Disconnect(unsigned int connection);

  struct Item {
    std::string bytes;
    int error;
  };
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<Item> items_;
  bool blocking_ = false;
  int disconnects_ = 0;
  int disconnectResult_ = 0;
  int reads_ = 0;
};

// Runs `body` on a thread and gives its int result.
class AsyncCall {
 public:
  explicit AsyncCall(std::function<int()> body);
  ~AsyncCall();
  bool Wait(std::chrono::milliseconds limit = kPatience);  // true when done
  int Result();  // waits

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  int result_ = -1;
  std::thread thread_;  // last: it starts once everything it touches exists
};

}  // namespace dltest
