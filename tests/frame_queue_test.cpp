#include <gtest/gtest.h>

#include "decode/decode_thread.h"
#include "support/frames.h"
#include "support/test_support.h"

namespace {

using dltest::ReadStream;
using dltest::StreamOf;

bool Signalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

ULONG References(IStream* stream) {
  stream->AddRef();
  return stream->Release();
}

TEST(FrameQueue, FirstInFirstOutWithoutBound) {
  dl::CDecodeThread decode;
  dl::CFrameQueue& queue = decode.Queue();
  for (int i = 0; i < 1000; ++i) decode.PushFrame(StreamOf(std::to_string(i)));
  EXPECT_EQ(queue.Count(), 1000u);
  EXPECT_EQ(queue.BlockCount(), 100u);
  const auto frames = dltest::DrainFrames(decode);
  ASSERT_EQ(frames.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(frames[static_cast<size_t>(i)], std::to_string(i));
  EXPECT_FALSE(Signalled(queue.Event()));
}

TEST(FrameQueue, EventAndNodeBlocksFollowTheCount) {
  dl::CDecodeThread decode;
  dl::CFrameQueue& queue = decode.Queue();
  EXPECT_FALSE(Signalled(queue.Event()));
  decode.PushFrame(nullptr);  // ignored
  EXPECT_EQ(queue.Count(), 0u);
  EXPECT_FALSE(Signalled(queue.Event()));

  for (int i = 0; i < 10; ++i) decode.PushFrame(StreamOf("f"));
  EXPECT_EQ(queue.BlockCount(), 1u);
  decode.PushFrame(StreamOf("eleventh"));
  EXPECT_EQ(queue.BlockCount(), 2u);
  EXPECT_TRUE(Signalled(queue.Event()));

  dl::ScopedLock lock(queue.Lock());
  for (int i = 0; i < 11; ++i) {
    IStream* frame = nullptr;
    ASSERT_EQ(queue.Pop(&frame), S_OK);
    frame->Release();
    EXPECT_EQ(Signalled(queue.Event()), i < 10);
  }
  EXPECT_EQ(queue.BlockCount(), 0u);  // every block went back to the heap
  IStream* none = nullptr;
  EXPECT_EQ(queue.Pop(&none), E_FAIL);
  EXPECT_EQ(none, nullptr);
  IStream* again = StreamOf("again");
  EXPECT_EQ(queue.Push(again), S_OK);  // the queue takes a reference of its own
  again->Release();
  EXPECT_EQ(queue.BlockCount(), 1u);
}

TEST(FrameQueue, ReferencesPassFromProducerToConsumer) {
  dl::CDecodeThread decode;
  IStream* frame = StreamOf("frame");
  frame->AddRef();  // the test's own look at it
  decode.PushFrame(frame);
  EXPECT_EQ(References(frame), 2u);  // the node's and the test's
  IStream* popped = nullptr;
  {
    dl::ScopedLock lock(decode.Queue().Lock());
    decode.Queue().Pop(&popped);
  }
  EXPECT_EQ(popped, frame);
  EXPECT_EQ(References(frame), 2u);  // the consumer's and the test's
  popped->Release();
  EXPECT_EQ(frame->Release(), 0u);
}

TEST(FrameQueue, DestructionReleasesQueuedFramesOnce) {
  IStream* frames[3];
  {
    dl::CDecodeThread decode;
    for (IStream*& frame : frames) {
      frame = StreamOf("x");
      frame->AddRef();
      decode.PushFrame(frame);
    }
  }
  for (IStream* frame : frames) EXPECT_EQ(frame->Release(), 0u);
}

TEST(FrameQueue, NodeBlockAllocationFailureDropsOnlyThatFrame) {
  dltest::LogCapture log;
  dl::CDecodeThread decode;
  IStream* frame = StreamOf("lost");
  frame->AddRef();
  dlposix::ArmFault(dlposix::Fault::kHeapAlloc, static_cast<long>(sizeof(void*) * (1 + 3 * dl::CFrameQueue::kBlockSize)));
  decode.PushFrame(frame);
  EXPECT_EQ(frame->Release(), 0u);  // dropped: the caller's reference is gone
  EXPECT_EQ(log->Entries(), (std::vector<dltest::LogEntry>{
                                {"ERROR", "CDecodeThread::PushFrame", "frame queue push failed 0x8007000E, frame dropped"}}));
  // The lock is free and the queue works on.
  decode.PushFrame(StreamOf("next"));
  EXPECT_EQ(dltest::DrainFrames(decode), (std::vector<std::string>{"next"}));
}

}  // namespace
