#include "support/test_support.h"

#include <cstring>
#include <ostream>
#include <thread>

namespace dltest {
namespace {

FakeLink* g_link = nullptr;

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const LogEntry& entry) {
  return out << entry.level << " [" << entry.function << "] " << entry.message;
}

LogEntry ParseLine(const std::string& line) {
  // "YYYY-MM-DD hh:mm:ss.mmm-LEVEL-TTTT-<function, 20 wide>-message"
  LogEntry entry;
  if (line.size() < 31) return entry;
  entry.level = line.substr(24, 5);
  const auto afterThread = line.find('-', 30);
  if (afterThread == std::string::npos) return entry;
  // The function column is at least 20 wide and holds no '-'.
  const auto afterFunction = line.find('-', afterThread + 21);
  entry.function = Trim(line.substr(afterThread + 1, afterFunction - afterThread - 1));
  entry.message = afterFunction == std::string::npos ? "" : line.substr(afterFunction + 1);
  return entry;
}

LogCapture::LogCapture(int threshold) : log_(new CaptureLog), savedThreshold_(dl::g_logMgr.Threshold()) {
  dl::g_logMgr.AddLogger(log_);
  dl::g_logMgr.SetThreshold(threshold);
}

LogCapture::~LogCapture() {
  dl::g_logMgr.SetThreshold(savedThreshold_);
  dl::g_logMgr.RemoveLogger(log_);  // its last registration: the manager deletes it
}

void CaptureLog::Write(const char* line) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.emplace_back(line);
  changed_.notify_all();
}

std::vector<std::string> CaptureLog::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::vector<LogEntry> CaptureLog::Entries() const {
  std::vector<LogEntry> entries;
  for (const auto& line : Lines()) entries.push_back(ParseLine(line));
  return entries;
}

std::vector<LogEntry> CaptureLog::EntriesOf(const std::string& function) const {
  std::vector<LogEntry> entries;
  for (const auto& entry : Entries()) {
    if (entry.function == function) entries.push_back(entry);
  }
  return entries;
}

bool CaptureLog::Contains(const LogEntry& wanted) const {
  for (const auto& entry : Entries()) {
    if (entry == wanted) return true;
  }
  return false;
}

bool CaptureLog::WaitFor(const LogEntry& wanted) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] {
    for (const auto& line : lines_) {
      if (ParseLine(line) == wanted) return true;
    }
    return false;
  });
}

FakeLink::FakeLink() {
  static const dlposix::BtBackend backend{&FakeLink::Recv, &FakeLink::Disconnect};
  g_link = this;
  dlposix::SetBtBackend(&backend);
}

FakeLink::~FakeLink() {
  dlposix::SetBtBackend(nullptr);
  g_link = nullptr;
}

void FakeLink::Send(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.push_back({bytes, 0});
  changed_.notify_all();
}

void FakeLink::Fail(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.push_back({{}, code});
  changed_.notify_all();
}

void FakeLink::BlockReads() {
  std::lock_guard<std::mutex> lock(mutex_);
  blocking_ = true;
}

void FakeLink::SetDisconnectResult(int result) {
  std::lock_guard<std::mutex> lock(mutex_);
  disconnectResult_ = result;
}

int FakeLink::Disconnects() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return disconnects_;
}

int FakeLink::Reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

bool FakeLink::WaitForReads(int count) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kPatience, [&] { return reads_ >= count; });
}

int FakeLink::Recv(unsigned int, unsigned char* buffer, unsigned int* length) {
  FakeLink* self = g_link;
  std::unique_lock<std::mutex> lock(self->mutex_);
  const unsigned capacity = *length;
  *length = 0;
  ++self->reads_;
  self->changed_.notify_all();
  if (self->items_.empty()) {
    if (self->blocking_) {
      self->changed_.wait(lock, [&] { return self->disconnects_ > 0; });
      return -1;
    }
    // Like a real link with nothing to say: a short wait, then no bytes.
    self->changed_.wait_for(lock, std::chrono::milliseconds(5), [&] { return !self->items_.empty(); });
    if (self->items_.empty()) return 0;
  }
  Item item = std::move(self->items_.front());
  self->items_.pop_front();
  self->changed_.notify_all();
  if (item.error != 0) {
    self->items_.push_front(item);  // a failed link stays failed
    return item.error;
  }
  if (item.bytes.size() > capacity) std::abort();
  std::memcpy(buffer, item.bytes.data(), item.bytes.size());
  *length = static_cast<unsigned int>(item.bytes.size());
  return 0;
}

int FakeLink::Disconnect(unsigned int) {
  FakeLink* self = g_link;
  std::lock_guard<std::mutex> lock(self->mutex_);
  ++self->disconnects_;
  self->changed_.notify_all();
  return self->disconnectResult_;
}

AsyncCall::AsyncCall(std::function<int()> body)
    : thread_([this, body = std::move(body)] {
        const int result = body();
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = result;
        finished_ = true;
        done_.notify_all();
      }) {}

AsyncCall::~AsyncCall() { thread_.join(); }

bool AsyncCall::Wait(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(mutex_);
  return done_.wait_for(lock, limit, [&] { return finished_; });
}

int AsyncCall::Result() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_; });
  return result_;
}

}  // namespace dltest
