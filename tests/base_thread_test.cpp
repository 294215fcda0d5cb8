#include <gtest/gtest.h>

#include <functional>

#include "support/test_support.h"
#include "threads/base_thread.h"

namespace {

class Worker : public dl::CBaseThread {
 public:
  explicit Worker(std::function<DWORD(Worker&)> body) : body_(std::move(body)) {}

 protected:
  DWORD OnRun() override { return body_(*this); }

 private:
  std::function<DWORD(Worker&)> body_;
};

void StopAndDelete(dl::CBaseThread* worker) {
  SetEvent(worker->StopEvent());
  ASSERT_EQ(WaitForSingleObject(worker->ExitEvent(), 20000), WAIT_OBJECT_0);
  delete worker;
}

TEST(BaseThread, BodyThatReturnsAtOnceLeavesExitSignalled) {
  auto* worker = new Worker([](Worker&) { return static_cast<DWORD>(E_FAIL); });
  ASSERT_EQ(worker->StartThread(), S_OK);
  ASSERT_EQ(WaitForSingleObject(worker->ExitEvent(), 20000), WAIT_OBJECT_0);
  // Manual-reset: it stays signalled for the owner's stop sequence.
  EXPECT_EQ(WaitForSingleObject(worker->ExitEvent(), 0), WAIT_OBJECT_0);
  StopAndDelete(worker);
}

TEST(BaseThread, StopSetTwiceCountsOnce) {
  HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD first = 0, second = 0;
  auto* worker = new Worker([&](Worker& self) {
    WaitForSingleObject(go, INFINITE);
    first = WaitForSingleObject(self.StopEvent(), 0);
    second = WaitForSingleObject(self.StopEvent(), 0);
    return 0u;
  });
  ASSERT_EQ(worker->StartThread(), S_OK);
  SetEvent(worker->StopEvent());
  SetEvent(worker->StopEvent());
  SetEvent(go);
  StopAndDelete(worker);  // the third set is never consumed; the exit event ends the wait
  EXPECT_EQ(first, WAIT_OBJECT_0);
  EXPECT_EQ(second, WAIT_TIMEOUT);
  CloseHandle(go);
}

TEST(BaseThread, DeletingClosesItsHandles) {
  const long before = dlposix::OpenHandleCount();
  auto* idle = new Worker([](Worker&) { return 0u; });
  EXPECT_EQ(dlposix::OpenHandleCount(), before + 2);  // stop and exit events
  delete idle;
  EXPECT_EQ(dlposix::OpenHandleCount(), before);

  auto* started = new Worker([](Worker&) { return 0u; });
  ASSERT_EQ(started->StartThread(), S_OK);
  EXPECT_EQ(dlposix::OpenHandleCount(), before + 3);  // and the thread
  StopAndDelete(started);
  EXPECT_EQ(dlposix::OpenHandleCount(), before);
}

TEST(BaseThread, StartFailuresAreReported) {
  dlposix::ArmFault(dlposix::Fault::kBeginThread);
  auto* noThread = new Worker([](Worker&) { return 0u; });
  EXPECT_EQ(noThread->StartThread(), E_FAIL);
  delete noThread;

  dlposix::ArmFault(dlposix::Fault::kCreateEvent, dlposix::kAnyValue, 1);  // the exit event
  auto* noEvent = new Worker([](Worker&) { return 0u; });
  EXPECT_EQ(noEvent->StartThread(), E_OUTOFMEMORY);
  delete noEvent;
  dlposix::DisarmFaults();
}

}  // namespace
