#include <gtest/gtest.h>

#include <atomic>

#include "driftlantern.h"
#include "support/test_support.h"
#include "transmit/transmission.h"

namespace {

using dltest::AsyncCall;
using dltest::FakeLink;
using dltest::LogCapture;
using dltest::LogEntry;

constexpr unsigned kConnection = 77;
const LogEntry kReceiving{"TRACE", "CRecvImgDataThread::OnRun", "thead started"};

bool Signalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

bool Running() {
  dl::ScopedLock lock(dl::g_module.transmissionLock);
  return dl::g_module.currentDecodeThread != nullptr;
}

void SignalStreamStopped() {
  dl::ScopedLock lock(dl::g_module.streamStoppedLock);
  SetEvent(dl::g_module.streamStoppedEvent);
}

class Transmission : public ::testing::Test {
 protected:
  void TearDown() override {
    dlposix::DisarmFaults();
    dl::g_limits.stopWaitMs = 30000;
    dl::g_limits.receiveStopGraceMs = 2000;
    // Every test leaves the module idle.
    EXPECT_FALSE(Running());
    EXPECT_TRUE(Signalled(dl::g_module.transmissionIdleEvent));
    EXPECT_EQ(handlesBefore_, dlposix::OpenHandleCount());
    ResetEvent(dl::g_module.manualStopEvent);
    ResetEvent(dl::g_module.streamStoppedEvent);
  }

  std::vector<LogEntry> StartLines() const { return log_->EntriesOf("DL_Start"); }

  long handlesBefore_ = dlposix::OpenHandleCount();
  FakeLink link_;
  LogCapture log_;
};

TEST_F(Transmission, StopWithoutTransmissionAnswers4) {
  EXPECT_EQ(DL_Stop(), 4);
  EXPECT_TRUE(log_->Lines().empty());
  EXPECT_FALSE(Signalled(dl::g_module.manualStopEvent));
  EXPECT_TRUE(Signalled(dl::g_module.transmissionIdleEvent));
}

TEST_F(Transmission, ManualStop) {
  AsyncCall start([] { return DL_Start(kConnection); });
  ASSERT_TRUE(log_->WaitFor(kReceiving));
  EXPECT_FALSE(Signalled(dl::g_module.transmissionIdleEvent));
  EXPECT_EQ(DL_Start(kConnection), 3);  // a second one is refused at once
  EXPECT_EQ(DL_Stop(), 0);
  // DL_Stop returned 0: the transmission has ended, not merely been asked to.
  EXPECT_FALSE(Running());
  EXPECT_EQ(start.Result(), 0);
  EXPECT_EQ(StartLines(), (std::vector<LogEntry>{{"TRACE", "DL_Start", "manually stopped."}}));
  EXPECT_EQ(link_.Disconnects(), 1);
  EXPECT_FALSE(Signalled(dl::g_module.manualStopEvent));  // the request was consumed
}

TEST_F(Transmission, LinkLost) {
  link_.Fail(-7);
  EXPECT_EQ(DL_Start(kConnection), 5);
  EXPECT_TRUE(log_->Contains({"ERROR", "CRecvImgDataThread::OnRun", "BT_SPP_RecvData error -7!"}));
  EXPECT_EQ(StartLines(), (std::vector<LogEntry>{{"TRACE", "DL_Start", "bluetooth connection stopped."}}));
  EXPECT_EQ(link_.Disconnects(), 1);
}

TEST_F(Transmission, StreamStoppedDuringTransmission) {
  AsyncCall start([] { return DL_Start(kConnection); });
  ASSERT_TRUE(log_->WaitFor(kReceiving));
  SignalStreamStopped();
  EXPECT_EQ(start.Result(), 2);
  EXPECT_EQ(StartLines(), (std::vector<LogEntry>{{"TRACE", "DL_Start", "virtual camera stream stopped."}}));
  EXPECT_FALSE(Signalled(dl::g_module.streamStoppedEvent));
  EXPECT_EQ(link_.Disconnects(), 1);
}

TEST_F(Transmission, DeviceThatWentIdleWhileNothingRanEndsTheNextTransmission) {
  SignalStreamStopped();
  EXPECT_EQ(DL_Start(kConnection), 2);
  EXPECT_FALSE(Signalled(dl::g_module.streamStoppedEvent));
  EXPECT_EQ(link_.Disconnects(), 1);
}

TEST_F(Transmission, StreamStoppedWinsOverManualStop) {
  SignalStreamStopped();
  AsyncCall start([] { return DL_Start(kConnection); });
  // Whether or not DL_Stop finds the transmission, the result is 2.
  DL_Stop();
  EXPECT_EQ(start.Result(), 2);
}

TEST_F(Transmission, WaitFailureShutsDownAndAnswers1) {
  dlposix::ArmFault(dlposix::Fault::kWaitMultiple, 3);
  EXPECT_EQ(DL_Start(kConnection), 1);
  EXPECT_TRUE(StartLines().empty());
  EXPECT_EQ(link_.Disconnects(), 1);
}

TEST_F(Transmission, LeftoverStopRequestDoesNotEndTheNextTransmission) {
  // A request that no wait consumed, as when DL_Stop lands after the wait returned.
  SetEvent(dl::g_module.manualStopEvent);
  link_.Fail(-3);
  EXPECT_EQ(DL_Start(kConnection), 5);
}

TEST_F(Transmission, StopNeverReportsARunningTransmissionAsEnded) {
  for (int round = 0; round < 500; ++round) {
    link_.Fail(-1);
    AsyncCall start([] { return DL_Start(kConnection); });
    for (;;) {
      const int stopped = DL_Stop();
      if (stopped == 0) {
        EXPECT_FALSE(Running()) << "round " << round;
        break;
      }
      ASSERT_EQ(stopped, 4);
      if (start.Wait(std::chrono::milliseconds(0))) break;
    }
    const int result = start.Result();
    EXPECT_TRUE(result == 0 || result == 5) << result;
    ResetEvent(dl::g_module.manualStopEvent);
  }
}

TEST_F(Transmission, StopTimesOutWhileAWorkerIsSlow) {
  dl::g_limits.stopWaitMs = 50;
  dl::g_limits.receiveStopGraceMs = 60000;  // the read stays stuck until released
  link_.BlockReads();
  AsyncCall start([] { return DL_Start(kConnection); });
  ASSERT_TRUE(link_.WaitForReads(1));
  EXPECT_EQ(DL_Stop(), 1);
  EXPECT_EQ(log_->EntriesOf("DL_Stop"),
            (std::vector<LogEntry>{{"ERROR", "DL_Stop", "WaitForSingleObject return error 258!"}}));
  EXPECT_FALSE(start.Wait(std::chrono::milliseconds(0)));
  // Free the read: the transmission still ends with the stop request.
  BT_SPP_Disconnect(kConnection);
  EXPECT_EQ(start.Result(), 0);
}

TEST_F(Transmission, ReadThatNeverReturnsIsBrokenByDisconnectingOnce) {
  dl::g_limits.receiveStopGraceMs = 20;
  link_.BlockReads();
  AsyncCall start([] { return DL_Start(kConnection); });
  ASSERT_TRUE(link_.WaitForReads(1));
  EXPECT_EQ(DL_Stop(), 0);
  EXPECT_EQ(start.Result(), 0);
  EXPECT_EQ(link_.Disconnects(), 1);
}

struct StartFault {
  friend void PrintTo(const StartFault& f, std::ostream* out) { *out << f.name; }
  const char* name;
  dlposix::Fault fault;
  long match;
  int skip;
  const char* line;
};

class StartFailure : public Transmission, public ::testing::WithParamInterface<StartFault> {};

TEST_P(StartFailure, LeavesTheModuleIdleAndTheLinkClosed) {
  const StartFault& c = GetParam();
  dlposix::ArmFault(c.fault, c.match, c.skip);
  EXPECT_EQ(DL_Start(kConnection), 1);
  const auto lines = StartLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].level, "ERROR");
  EXPECT_EQ(lines[0].message, c.line);
  EXPECT_EQ(link_.Disconnects(), 1);
  EXPECT_EQ(DL_Stop(), 4);
}

INSTANTIATE_TEST_SUITE_P(
    Transmission, StartFailure,
    ::testing::Values(
        StartFault{"DecodeThreadNotStarted", dlposix::Fault::kBeginThread, dlposix::kAnyValue, 0,
                   "start decode thread failed 0x80004005!"},
        StartFault{"DecodeThreadWithoutEvent", dlposix::Fault::kCreateEvent, dlposix::kAnyValue, 0,
                   "start decode thread failed 0x8007000E!"},
        StartFault{"ReceiveThreadNotStarted", dlposix::Fault::kBeginThread, dlposix::kAnyValue, 1,
                   "start receive thread failed 0x80004005!"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
