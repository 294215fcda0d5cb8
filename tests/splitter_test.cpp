#include <gtest/gtest.h>

#include <random>

#include "decode/decode_thread.h"
#include "phonelink/recv_thread.h"
#include "support/frames.h"
#include "support/test_support.h"

namespace {

using dltest::MakeFrame;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

// The receive side of one transmission, fed chunk by chunk as reads deliver them.
class Splitter : public ::testing::Test {
 protected:
  // Feeds one read the way the receive loop does; returns the positions
  // (offsets into the chunk) that ParseReceivedData returned.
  std::vector<size_t> Feed(const std::string& chunk) {
    std::vector<size_t> stops;
    const auto* begin = reinterpret_cast<const BYTE*>(chunk.data());
    const BYTE* end = begin + chunk.size();
    for (const BYTE* position = begin; position < end;) {
      position = receive_.ParseReceivedData(position, static_cast<DWORD>(end - position));
      stops.push_back(static_cast<size_t>(position - begin));
    }
    return stops;
  }

  void FeedCutAt(const std::string& stream, const std::vector<size_t>& cuts) {
    size_t from = 0;
    for (size_t cut : cuts) {
      Feed(stream.substr(from, cut - from));
      from = cut;
    }
    Feed(stream.substr(from));
  }

  std::vector<std::string> Frames() { return dltest::DrainFrames(decode_); }

  dl::CDecodeThread decode_;
  dl::CRecvImgDataThread receive_{0, &decode_};
};

TEST(FindMarker, ScansUpToTheLastWholeMarker) {
  const BYTE data[] = {0x00, 0xFF, 0xFF, 0xD9, 0xFF};
  const BYTE end[2] = {0xFF, 0xD9};
  EXPECT_EQ(dl::FindMarker(data, 5, end), data + 2);
  EXPECT_EQ(dl::FindMarker(data, 3, end), nullptr);  // the D9 lies outside the count
  EXPECT_EQ(dl::FindMarker(data + 4, 1, end), nullptr);
  EXPECT_EQ(dl::FindMarker(data, 0, end), nullptr);
}

TEST_F(Splitter, WorkedExample) {
  EXPECT_EQ(Feed(Bytes({0x00, 0x11, 0xFF, 0xD8, 0xAA, 0xBB})), (std::vector<size_t>{6}));
  EXPECT_EQ(Feed(Bytes({0xCC, 0xFF, 0xD9, 0x00, 0xFF, 0xD8, 0x01})), (std::vector<size_t>{3, 7}));
  EXPECT_EQ(Frames(), (std::vector<std::string>{Bytes({0xFF, 0xD8, 0xAA, 0xBB, 0xCC, 0xFF, 0xD9})}));
}

TEST_F(Splitter, FrameShapes) {
  const std::string smallest = Bytes({0xFF, 0xD8, 0xFF, 0xD9});
  // A start marker inside a frame is data; FF D8 D9 holds no end marker.
  const std::string nested = Bytes({0xFF, 0xD8, 0x01, 0xFF, 0xD8, 0x02, 0xFF, 0xD9});
  const std::string noShortcut = Bytes({0xFF, 0xD8, 0xD9, 0x05, 0xFF, 0xFF, 0xD9});
  EXPECT_EQ(Feed("garbage" + smallest + Bytes({0xD9, 0xFF, 0x00}) + nested + "\xFF" + noShortcut + "tail"),
            (std::vector<size_t>{11, 22, 30, 34}));
  EXPECT_EQ(Frames(), (std::vector<std::string>{smallest, nested, noShortcut}));
}

TEST_F(Splitter, ChunkWithoutStartIsDiscarded) {
  Feed(Bytes({0x01, 0xFF, 0xD9, 0x02}));
  Feed(Bytes({0xD8, 0xFF, 0xD9}));  // the FF before it was no start marker's
  EXPECT_TRUE(Frames().empty());
}

std::string Stream(std::vector<std::string>* frames) {
  std::string stream = "\x01\x02\xFF";
  const size_t sizes[] = {4, 5, 300, 2100, 7000, 16384, 9};
  unsigned seed = 1;
  for (size_t size : sizes) {
    frames->push_back(MakeFrame(size, seed++));
    stream += frames->back();
    stream += seed % 2 ? std::string() : std::string("\xFF\x00junk\xFF", 7);
  }
  return stream;
}

TEST_F(Splitter, EveryFrameOnceWhereverTheReadsAreCut) {
  std::vector<std::string> frames;
  const std::string stream = Stream(&frames);
  // Every two-read cut inside the first frames and around every marker.
  std::vector<size_t> cuts;
  for (size_t i = 1; i < 40; ++i) cuts.push_back(i);
  for (size_t at = stream.find("\xFF\xD9"); at != std::string::npos; at = stream.find("\xFF\xD9", at + 1)) {
    for (size_t d = 0; d < 4; ++d) cuts.push_back(at + d);
  }
  for (size_t at = stream.find("\xFF\xD8"); at != std::string::npos; at = stream.find("\xFF\xD8", at + 1)) {
    for (size_t d = 0; d < 3; ++d) cuts.push_back(at + d);
  }
  for (size_t cut : cuts) {
    if (cut == 0 || cut >= stream.size()) continue;
    FeedCutAt(stream, {cut});
    ASSERT_EQ(Frames(), frames) << "cut at " << cut;
  }
}

TEST_F(Splitter, EveryFrameOnceUnderRandomReads) {
  std::vector<std::string> frames;
  const std::string stream = Stream(&frames);
  std::mt19937 random(20261211);
  for (int round = 0; round < 300; ++round) {
    std::vector<size_t> cuts;
    std::uniform_int_distribution<size_t> read(1, round % 2 ? 8 : 4096);
    for (size_t at = read(random); at < stream.size(); at += read(random)) cuts.push_back(at);
    FeedCutAt(stream, cuts);
    ASSERT_EQ(Frames(), frames) << "round " << round;
  }
}

TEST_F(Splitter, FrameLimit) {
  const std::string fits = MakeFrame(16384, 3);
  const std::string over = MakeFrame(16385, 4);
  const std::string next = MakeFrame(40, 5);
  // In 4096-byte reads: the oversized frame's last read also carries the next frame.
  const std::string stream = fits + over + next;
  std::vector<size_t> cuts;
  for (size_t at = 4096; at < stream.size(); at += 4096) cuts.push_back(at);
  FeedCutAt(stream, cuts);
  EXPECT_EQ(Frames(), (std::vector<std::string>{fits, next}));
}

TEST_F(Splitter, OversizedFrameInOneChunkLeavesTheRestOfIt) {
  const std::string over = MakeFrame(16385, 6);
  const std::string next = MakeFrame(12, 7);
  EXPECT_EQ(Feed(over + next), (std::vector<size_t>{over.size(), over.size() + next.size()}));
  EXPECT_EQ(Frames(), (std::vector<std::string>{next}));
}

TEST_F(Splitter, FrameWithoutStreamIsDroppedWhole) {
  const std::string first = MakeFrame(3000, 8);
  const std::string second = MakeFrame(50, 9);
  dlposix::ArmFault(dlposix::Fault::kCreateStream);
  FeedCutAt(first + second, {1000, 2000});
  EXPECT_EQ(Frames(), (std::vector<std::string>{second}));
}

TEST(SplitterWithoutConsumer, ReleasesFinishedFrames) {
  dl::CRecvImgDataThread receive(0, nullptr);
  const std::string frame = MakeFrame(100, 1);
  const BYTE* data = reinterpret_cast<const BYTE*>(frame.data());
  EXPECT_EQ(receive.ParseReceivedData(data, static_cast<DWORD>(frame.size())), data + frame.size());
  EXPECT_EQ(receive.ParseReceivedData(data, 0), data);
}

// ---- frame statistics ----------------------------------------------------------

DWORD g_now = 0;
DWORD FakeTick() { return g_now; }

class Statistics : public Splitter {
 protected:
  Statistics() { dlposix::SetTickSource(&FakeTick); }
  ~Statistics() override { dlposix::SetTickSource(nullptr); }

  void SendFrames(int count) {
    const std::string frame = Bytes({0xFF, 0xD8, 0xFF, 0xD9});
    for (int i = 0; i < count; ++i) Feed(frame);
  }
  std::vector<dltest::LogEntry> Lines() { return log_->EntriesOf("RecvImaDataThd"); }

  dltest::LogCapture log_;
};

TEST_F(Statistics, OneLinePerFiftyFrames) {
  g_now = 0;
  SendFrames(49);
  EXPECT_TRUE(Lines().empty());
  g_now = 1000;
  SendFrames(1);
  g_now = 1500;
  SendFrames(50);
  EXPECT_EQ(Lines(), (std::vector<dltest::LogEntry>{
                         {"TRACE", "RecvImaDataThd", "Frames:50,len:4.recent 50frames fps:50.000000,average fps:50.000000"},
                         {"TRACE", "RecvImaDataThd",
                          "Frames:100,len:4.recent 50frames fps:100.000000,average fps:66.666667"}}));
}

TEST_F(Statistics, NoLineWithoutElapsedTime) {
  g_now = 0;
  SendFrames(50);  // clock still at the start tick
  g_now = 10;
  SendFrames(50);
  SendFrames(50);  // clock unmoved since the last line
  EXPECT_EQ(Lines(), (std::vector<dltest::LogEntry>{
                         {"TRACE", "RecvImaDataThd",
                          "Frames:100,len:4.recent 50frames fps:5000.000000,average fps:10000.000000"}}));
}

TEST_F(Statistics, NothingCountedAboveTrace) {
  dl::g_logMgr.SetThreshold(dl::LOG_DEBUG);
  g_now = 1000;
  SendFrames(60);
  dl::g_logMgr.SetThreshold(dl::LOG_TRACE);
  SendFrames(49);
  EXPECT_TRUE(Lines().empty());  // the counter did not advance while filtered
  SendFrames(1);
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_EQ(Lines()[0].message.substr(0, 10), "Frames:50,");
  EXPECT_EQ(Frames().size(), 110u);
}

}  // namespace
