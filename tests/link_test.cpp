#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include "decode/decode_thread.h"
#include "driftlantern.h"
#include "phonelink/recv_thread.h"
#include "support/frames.h"
#include "support/test_support.h"

namespace {

using dltest::FakeLink;
using dltest::LogCapture;
using dltest::LogEntry;

const LogEntry kStarted{"TRACE", "CRecvImgDataThread::OnRun", "thead started"};
const LogEntry kExit{"TRACE", "CRecvImgDataThread::OnRun", "thead exit"};

// A receive thread on a scripted link, with an idle decode thread as consumer.
class ReceiveThread : public ::testing::Test {
 protected:
  void Run(bool stopFirst = false) {
    if (stopFirst) SetEvent(receive_->StopEvent());
    ASSERT_EQ(receive_->StartThread(), S_OK);
    ASSERT_EQ(WaitForSingleObject(receive_->ExitEvent(), 20000), WAIT_OBJECT_0);
  }
  void TearDown() override {
    delete receive_;
    dlposix::DisarmFaults();
  }
  std::vector<LogEntry> Lines() const { return log_->EntriesOf("CRecvImgDataThread::OnRun"); }

  FakeLink link_;
  LogCapture log_;
  dl::CDecodeThread decode_;
  dl::CRecvImgDataThread* receive_ = new dl::CRecvImgDataThread(5, &decode_);
};

TEST_F(ReceiveThread, PendingStopMeansNoRead) {
  Run(true);
  EXPECT_EQ(link_.Reads(), 0);
  EXPECT_EQ(link_.Disconnects(), 1);
  EXPECT_EQ(Lines(), (std::vector<LogEntry>{kStarted, kExit}));
}

TEST_F(ReceiveThread, ErrorOnFirstRead) {
  link_.Fail(-5);
  Run();
  EXPECT_EQ(link_.Reads(), 1);
  EXPECT_EQ(link_.Disconnects(), 1);
  EXPECT_EQ(Lines(), (std::vector<LogEntry>{kStarted, {"ERROR", "CRecvImgDataThread::OnRun", "BT_SPP_RecvData error -5!"}, kExit}));
  EXPECT_EQ(decode_.Queue().Count(), 0u);
}

TEST_F(ReceiveThread, FailedDisconnectIsLogged) {
  link_.SetDisconnectResult(9);
  link_.Fail(-1);
  Run();
  EXPECT_EQ(Lines().at(2), (LogEntry{"ERROR", "CRecvImgDataThread::OnRun", "BT_SPP_Disconnect return error 9"}));
  EXPECT_EQ(Lines().back(), kExit);
}

TEST_F(ReceiveThread, OneReadWithThreeFramePieces) {
  const std::string a = dltest::MakeFrame(30, 1), b = dltest::MakeFrame(20, 2), c = dltest::MakeFrame(40, 3);
  link_.Send(a.substr(0, 10));
  link_.Send(a.substr(10) + b + c.substr(0, 5));
  link_.Send(c.substr(5, 30));  // c is still half received when the link fails
  link_.Fail(-1);
  Run();
  EXPECT_EQ(dltest::DrainFrames(decode_), (std::vector<std::string>{a, b}));
}

TEST_F(ReceiveThread, BufferAllocationFailureEndsTheThread) {
  dlposix::ArmFault(dlposix::Fault::kHeapAlloc, dl::CRecvImgDataThread::kReadBytes);
  Run();
  EXPECT_EQ(link_.Reads(), 0);
  EXPECT_EQ(link_.Disconnects(), 1);
  EXPECT_EQ(Lines(), (std::vector<LogEntry>{kStarted, {"ERROR", "CRecvImgDataThread::OnRun", "receive buffer allocation failed!"}, kExit}));
}

// ---- the file-descriptor link -----------------------------------------------------

class SocketLink : public ::testing::Test {
 protected:
  SocketLink() { socketpair(AF_UNIX, SOCK_STREAM, 0, fds_); }
  ~SocketLink() override {
    if (fds_[1] >= 0) close(fds_[1]);
  }
  unsigned Connection() const { return static_cast<unsigned>(fds_[0]); }
  void ClosePeer() {
    close(fds_[1]);
    fds_[1] = -1;
  }
  int fds_[2];
};

TEST_F(SocketLink, ReadsWhatThePeerSentAndNoMore) {
  unsigned char buffer[8];
  ASSERT_EQ(write(fds_[1], "0123456789", 10), 10);
  unsigned length = sizeof buffer;
  EXPECT_EQ(BT_SPP_RecvData(Connection(), buffer, &length), 0);
  EXPECT_EQ(length, 8u);
  length = sizeof buffer;
  EXPECT_EQ(BT_SPP_RecvData(Connection(), buffer, &length), 0);
  EXPECT_EQ(length, 2u);
  length = sizeof buffer;
  EXPECT_EQ(BT_SPP_RecvData(Connection(), buffer, &length), 0);  // nothing came: no bytes
  EXPECT_EQ(length, 0u);
  ClosePeer();
  length = sizeof buffer;
  EXPECT_NE(BT_SPP_RecvData(Connection(), buffer, &length), 0);
  EXPECT_EQ(BT_SPP_Disconnect(Connection()), 0);
  EXPECT_NE(BT_SPP_Disconnect(Connection()), 0);  // already closed
}

TEST_F(SocketLink, LinkLostEndsTheTransmissionWith5) {
  LogCapture log;
  const std::string frame = dltest::MakeFrame(100, 4);
  ASSERT_EQ(write(fds_[1], frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  ClosePeer();
  EXPECT_EQ(DL_Start(Connection()), 5);
  EXPECT_TRUE(log->Contains({"TRACE", "DL_Start", "bluetooth connection stopped."}));
  EXPECT_NE(BT_SPP_Disconnect(Connection()), 0);  // DL_Start left it closed
}

TEST_F(SocketLink, SilentPeerStillStopsOnRequest) {
  LogCapture log;
  dltest::AsyncCall start([this] { return DL_Start(Connection()); });
  ASSERT_TRUE(log->WaitFor(kStarted));
  EXPECT_EQ(DL_Stop(), 0);
  EXPECT_EQ(start.Result(), 0);
}

TEST(PipeLink, DisconnectWhileAReadWaits) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  unsigned char buffer[16];
  dltest::AsyncCall reader([&] {
    int result = 0;
    while (result == 0) {
      unsigned length = sizeof buffer;
      result = BT_SPP_RecvData(static_cast<unsigned>(fds[0]), buffer, &length);
    }
    return result;
  });
  EXPECT_EQ(BT_SPP_Disconnect(static_cast<unsigned>(fds[0])), 0);
  EXPECT_NE(reader.Result(), 0);
  close(fds[1]);
}

}  // namespace
