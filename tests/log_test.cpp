#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/test_support.h"

namespace {

using dl::LOG_ERROR;
using dl::LOG_TRACE;
using dltest::LogCapture;

std::string ThreadColumn() {
  char column[16];
  std::snprintf(column, sizeof column, "%04i", static_cast<int>(GetCurrentThreadId()));
  return column;
}

TEST(LogLine, TimestampFields) {
  struct tm local = {};
  local.tm_year = 2008 - 1900;
  local.tm_mon = 2;
  local.tm_mday = 5;
  local.tm_hour = 14;
  local.tm_min = 7;
  local.tm_sec = 9;
  char stamp[dl::kTimestampBytes];
  dl::FormatTimestampFields(stamp, &local, 7654042);
  EXPECT_STREQ(stamp, "2008-03-05 14:07:09.042");
  dl::FormatTimestampFields(stamp, nullptr, 7654042);
  EXPECT_STREQ(stamp, "0000-00-00 00:00:00.000");
}

TEST(LogLine, LayoutOfTheManualStopLine) {
  LogCapture log;
  DL_TRACE("DL_Start", "manually stopped.");
  const auto lines = log->Lines();
  ASSERT_EQ(lines.size(), 1u);
  const std::string& line = lines[0];
  ASSERT_GE(line.size(), 23u);
  const std::string stamp = line.substr(0, 23);
  int year, month, day, hour, minute, second, millis;
  char tail;
  EXPECT_EQ(std::sscanf(stamp.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d%c", &year, &month, &day, &hour, &minute, &second,
                        &millis, &tail),
            7)
      << stamp;
  EXPECT_EQ(line.substr(23), "-TRACE-" + ThreadColumn() + "-" + std::string(12, ' ') + "DL_Start-manually stopped.");
}

TEST(LogLine, FunctionColumn) {
  struct Case {
    const char* function;
    std::string column;
  } cases[] = {
      {nullptr, std::string(20, ' ')},
      {"", std::string(20, ' ')},
      {"CMonitorDriverEventThread:OnRun:", "CMonitorDriverEventThread:OnRun:"},
      {"RecvImaDataThd", std::string(6, ' ') + "RecvImaDataThd"},
  };
  for (const auto& c : cases) {
    LogCapture log;
    DL_ERROR(c.function, "x");
    ASSERT_EQ(log->Lines().size(), 1u);
    EXPECT_EQ(log->Lines()[0].substr(23), "-ERROR-" + ThreadColumn() + "-" + c.column + "-x")
        << (c.function ? c.function : "(null)");
  }
}

DWORD g_threadId = 0;
DWORD FakeThreadId() { return g_threadId; }

TEST(LogLine, ThreadColumnIsPaddedNeverCut) {
  const std::pair<DWORD, std::string> cases[] = {{7, "-0007-"}, {2412, "-2412-"}, {123456, "-123456-"}};
  for (const auto& [id, column] : cases) {
    g_threadId = id;
    dlposix::SetThreadIdSource(&FakeThreadId);
    LogCapture log;
    DL_TRACE("f", "m");
    dlposix::SetThreadIdSource(nullptr);
    ASSERT_EQ(log->Lines().size(), 1u);
    EXPECT_EQ(log->Lines()[0].substr(29, column.size()), column);
  }
}

TEST(LogLine, EmptyMessageEndsWithTheSeparator) {
  LogCapture log;
  DL_TRACE("f", "%s", "");
  ASSERT_EQ(log->Lines().size(), 1u);
  EXPECT_EQ(log->Lines()[0].back(), '-');
}

TEST(LogLine, MessagesAreCutAt16384Characters) {
  LogCapture log;
  const std::string exact(16384, 'a');
  const std::string over = std::string(16384, 'b') + "c";
  DL_TRACE("f", "%s", exact.c_str());
  DL_TRACE("f", "%s", over.c_str());
  const auto entries = log->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].message, exact);
  EXPECT_EQ(entries[1].message, std::string(16384, 'b') + "...");
}

TEST(LogManager, NullMessageIsDropped) {
  LogCapture log;
  dl::g_logMgr.Dispatch(LOG_TRACE, "f", nullptr);
  EXPECT_TRUE(log->Lines().empty());
}

class OrderSink : public dl::Logger {
 public:
  OrderSink(std::string name, std::vector<std::string>* order) : dl::Logger(false), name_(std::move(name)), order_(order) {}
  void Write(const char*) override { order_->push_back(name_); }

 private:
  std::string name_;
  std::vector<std::string>* order_;
};

TEST(LogManager, LatestSinkWritesFirst) {
  std::vector<std::string> order;
  dl::LogMgr manager;
  manager.AddLogger(new OrderSink("A", &order));
  manager.AddLogger(new OrderSink("B", &order));
  manager.Trace("f", "one");
  manager.Error("f", "two");
  EXPECT_EQ(order, (std::vector<std::string>{"B", "A", "B", "A"}));
}

TEST(LogManager, ThresholdTable) {
  struct Case {
    int threshold;
    bool trace;
    bool error;
  } cases[] = {{0, true, true}, {1, false, true}, {4, false, true}, {5, false, false}, {6, false, false}};
  for (const auto& c : cases) {
    LogCapture log(c.threshold);
    int evaluated = 0;
    DL_TRACE("f", "trace %d", ++evaluated);
    DL_ERROR("f", "error %d", ++evaluated);
    dl::g_logMgr.Trace("f", "direct trace");
    dl::g_logMgr.Error("f", "direct error");
    size_t expected = (c.trace ? 2u : 0u) + (c.error ? 2u : 0u);
    EXPECT_EQ(log->Lines().size(), expected) << "threshold " << c.threshold;
    // A filtered call evaluates none of its arguments.
    EXPECT_EQ(evaluated, (c.trace ? 1 : 0) + (c.error ? 1 : 0)) << "threshold " << c.threshold;
  }
}

class CountingSink : public dl::Logger {
 public:
  explicit CountingSink(int* destroyed) : dl::Logger(true), destroyed_(destroyed) {}
  ~CountingSink() override { ++*destroyed_; }
  void Write(const char*) override { ++writes; }
  void Flush() override { ++flushes; }
  int writes = 0;
  int flushes = 0;

 private:
  int* destroyed_;
};

TEST(LogManager, SinkRegisteredTwiceWritesTwiceAndIsDestroyedOnce) {
  int destroyed = 0;
  {
    dl::LogMgr manager;
    auto* sink = new CountingSink(&destroyed);
    manager.AddLogger(sink);
    manager.AddLogger(sink);
    manager.AddLogger(nullptr);
    manager.Trace("f", "twice");
    EXPECT_EQ(sink->writes, 2);
    EXPECT_EQ(sink->flushes, 2);  // a sink with the flush flag is flushed after each line
    manager.RemoveLogger(sink);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

}  // namespace
