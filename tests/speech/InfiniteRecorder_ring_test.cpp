// The capture ring and its window arithmetic, fed by calling the callback directly.
// Samples carry their absolute frame number, so a window's content names its frames.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "speech/InfiniteRecorder.h"

namespace {

struct Ring {
  explicit Ring(int numBlocks = 5, int channels = 1, int fpb = 512, int window = 1024,
                int step = 512)
      : rec(InfiniteRecorder::WithoutAudio{}, 48000, numBlocks, channels, fpb, window, step) {}

  // Delivers `count` frames whose samples are frame numbers next, next+1, ...
  void feed(int count) {
    std::vector<float> buf(static_cast<size_t>(count) * rec.numChannels);
    for (int f = 0; f < count; ++f) {
      for (int c = 0; c < rec.numChannels; ++c) {
        buf[static_cast<size_t>(f) * rec.numChannels + c] = static_cast<float>(next + f);
      }
    }
    EXPECT_EQ(infiniteRecordCallback(buf.data(), nullptr, count, nullptr, 0, &rec.data),
              paContinue);
    next += count;
  }
  void feedNull(unsigned long count) {
    EXPECT_EQ(infiniteRecordCallback(nullptr, nullptr, count, nullptr, 0, &rec.data), paContinue);
  }
  std::vector<double> take() {
    std::vector<double> out(rec.windowsize(), -7.0);
    rec.handleNew(out.data());
    return out;
  }
  // The window must be the frames first .. first+windowsize()-1, in order.
  static void expectFrames(const std::vector<double>& w, int first) {
    for (size_t i = 0; i < w.size(); ++i) {
      ASSERT_EQ(w[i], first + static_cast<double>(i)) << "at " << i;
    }
  }

  InfiniteRecorder rec;
  int next = 0;
};

TEST(InfiniteRecorderRing, OverflowStatusIsCountedAndTheBufferStillStored) {
  Ring r;
  std::vector<float> buf(512, 0.25f);
  for (PaStreamCallbackFlags flags :
       {0ul, paInputOverflow, paInputUnderflow | paInputOverflow, paOutputUnderflow}) {
    infiniteRecordCallback(buf.data(), nullptr, 512, nullptr, flags, &r.rec.data);
  }
  EXPECT_EQ(r.rec.inputOverflows(), 2);
  EXPECT_EQ(r.rec.data.framesRecorded.load(), 2048);
  EXPECT_EQ(r.take()[0], 0.25);
  EXPECT_EQ(r.rec.start(), paNotInitialized) << "no stream ever: start says so";
}

TEST(InfiniteRecorderRing, ConstructionSetsGeometryAndZeroedRing) {
  Ring r;
  EXPECT_EQ(r.rec.ringFrames, 2560);
  EXPECT_EQ(r.rec.ringSamples, 2560);
  EXPECT_EQ(r.rec.data.ringFrames, 2560);
  EXPECT_EQ(r.rec.data.numBlocks, 5);
  EXPECT_EQ(r.rec.data.blockFrames, 512);
  EXPECT_EQ(r.rec.data.channels, 1);
  EXPECT_EQ(r.rec.data.writePos.load(), 0);
  EXPECT_EQ(r.rec.data.blockIndex.load(), 0);
  EXPECT_EQ(r.rec.data.framesRecorded.load(), 0);
  EXPECT_EQ(r.rec.readPos, 512);
  EXPECT_EQ(r.rec.windowsize(), 1024);
  for (int i = 0; i < 2560; ++i) ASSERT_EQ(r.rec.data.samples[i], 0.0f);
  EXPECT_FALSE(r.rec.isNew());
}

TEST(InfiniteRecorderRing, WindowAndStepZeroMeanFramesPerBuffer) {
  Ring r(5, 1, 512, 0, 0);
  EXPECT_EQ(r.rec.windowSize, 512);
  EXPECT_EQ(r.rec.step, 512);
  EXPECT_EQ(r.rec.ringFrames, 2560);
  EXPECT_EQ(r.rec.readPos, 0);
  r.feed(511);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(1);
  ASSERT_TRUE(r.rec.isNew());
  Ring::expectFrames(r.take(), 0);
}

TEST(InfiniteRecorderRing, FirstWindowsOverlapByOneHop) {
  Ring r;
  r.feed(512);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(511);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(1);
  ASSERT_TRUE(r.rec.isNew());
  Ring::expectFrames(r.take(), 0);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(512);
  ASSERT_TRUE(r.rec.isNew());
  Ring::expectFrames(r.take(), 512);
  EXPECT_EQ(r.rec.readPos, 1536);
  EXPECT_EQ(r.rec.skippedWindows(), 0);
}

TEST(InfiniteRecorderRing, WindowStartingAt2048WrapsToRingStart) {
  Ring r;
  r.feed(1024);
  Ring::expectFrames(r.take(), 0);
  for (int first = 512; first <= 1536; first += 512) {
    r.feed(512);
    Ring::expectFrames(r.take(), first);
  }
  r.feed(512);  // frames 2560..3071 land on ring 0..511
  const std::vector<double> w = r.take();
  Ring::expectFrames(w, 2048);
  for (int i = 0; i < 512; ++i) {
    ASSERT_EQ(r.rec.data.samples[2048 + i], 2048.0f + i);
    ASSERT_EQ(r.rec.data.samples[i], 2560.0f + i);
  }
  EXPECT_EQ(r.rec.data.writePos.load(), 512);
}

TEST(InfiniteRecorderRing, BufferEndingAtRingEndLeavesWritePosZero) {
  Ring r;
  r.feed(2000);
  const float before = r.rec.data.samples[0];
  r.feed(560);
  EXPECT_EQ(r.rec.data.writePos.load(), 0);
  EXPECT_EQ(r.rec.data.samples[0], before);
  EXPECT_EQ(r.rec.data.samples[2559], 2559.0f);
  EXPECT_EQ(r.rec.data.framesRecorded.load(), 2560);
}

TEST(InfiniteRecorderRing, NullInputAdvancesCountersOnly) {
  Ring r;
  r.feed(700);
  const std::vector<float> ring(r.rec.data.samples, r.rec.data.samples + 2560);
  r.feedNull(512);
  EXPECT_EQ(r.rec.data.writePos.load(), 1212);
  EXPECT_EQ(r.rec.data.framesRecorded.load(), 1212);
  EXPECT_EQ(r.rec.data.blockIndex.load(), 2);
  for (int i = 0; i < 2560; ++i) ASSERT_EQ(r.rec.data.samples[i], ring[i]) << i;
  // The window over the gap shows the ring's old content there (zeros).
  ASSERT_TRUE(r.rec.isNew());
  const std::vector<double> w = r.take();
  for (int i = 0; i < 700; ++i) ASSERT_EQ(w[i], i);
  for (int i = 700; i < 1024; ++i) ASSERT_EQ(w[i], 0.0);
}

TEST(InfiniteRecorderRing, EveryBufferStampsItsCompletionTime) {
  Ring r;
  EXPECT_EQ(r.rec.data.lastBufferNs.load(), 0);
  const int64_t before = std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count();
  r.feed(512);
  const int64_t first = r.rec.data.lastBufferNs.load();
  EXPECT_GE(first, before);
  r.feedNull(512);
  EXPECT_GE(r.rec.data.lastBufferNs.load(), first);
}

TEST(InfiniteRecorderRing, BlockIndexAdvancesOncePerCompletedBlock) {
  Ring r;
  const int expected[] = {1, 2, 3, 4, 0, 1};
  for (int b : expected) {
    r.feed(512);
    EXPECT_EQ(r.rec.data.blockIndex.load(), b);
  }
  r.feed(100);
  EXPECT_EQ(r.rec.data.blockIndex.load(), 1);
  r.feed(411);  // ends at 1023 of the ring: block 1 not yet complete
  EXPECT_EQ(r.rec.data.blockIndex.load(), 1);
  r.feed(1);
  EXPECT_EQ(r.rec.data.blockIndex.load(), 2);
}

TEST(InfiniteRecorderRing, HandleNewWhenNothingNewLeavesOutUntouched) {
  Ring r;
  std::vector<double> out(1024, 42.5);
  r.rec.handleNew(out.data());
  for (double v : out) ASSERT_EQ(v, 42.5);
  r.feed(1023);
  r.rec.handleNew(out.data());
  for (double v : out) ASSERT_EQ(v, 42.5);
  r.feed(1);
  r.take();
  r.feed(511);
  r.rec.handleNew(out.data());
  for (double v : out) ASSERT_EQ(v, 42.5);
  EXPECT_EQ(r.rec.readPos, 1024);
}

TEST(InfiniteRecorderRing, ReaderThreeWindowsBehindLosesNothing) {
  // Writer 1024 frames ahead of the next window's end: still clear of the next callback.
  Ring r;
  r.feed(2048);
  for (int first = 0; first <= 1024; first += 512) Ring::expectFrames(r.take(), first);
  EXPECT_FALSE(r.rec.isNew());
  EXPECT_EQ(r.rec.skippedWindows(), 0);
}

TEST(InfiniteRecorderRing, ReaderFurtherBehindSkipsToNewestWindow) {
  Ring r;
  r.feed(2560);  // the next callback would overwrite frames 0..511
  ASSERT_TRUE(r.rec.isNew());
  Ring::expectFrames(r.take(), 1536);
  EXPECT_EQ(r.rec.skippedWindows(), 3);
  EXPECT_EQ(r.rec.readPos, 2560);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(512);
  Ring::expectFrames(r.take(), 2048);
  EXPECT_EQ(r.rec.skippedWindows(), 3);
}

TEST(InfiniteRecorderRing, BufferLongerThanRingKeepsItsNewestFrames) {
  Ring r;
  r.feed(6000);
  EXPECT_EQ(r.rec.data.writePos.load(), 6000 % 2560);
  for (int f = 6000 - 2560; f < 6000; ++f) ASSERT_EQ(r.rec.data.samples[f % 2560], f);
  Ring::expectFrames(r.take(), 4608);
  EXPECT_EQ(r.rec.skippedWindows(), 9);
}

TEST(InfiniteRecorderRing, RandomFeedingNeverHandsOutAStaleWindow) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> bufferLen(1, 3000);
  std::uniform_int_distribution<int> reads(0, 4);
  Ring r;
  int handed = 0;
  for (int round = 0; round < 3000; ++round) {
    r.feed(bufferLen(rng));
    for (int k = reads(rng); k > 0 && r.rec.isNew(); --k) {
      const std::vector<double> w = r.take();
      ++handed;
      // Every window ends on a hop boundary, behind the writer, and is intact.
      const int end = r.rec.readPos;
      ASSERT_EQ(end % 512, 0);
      ASSERT_LE(end, r.next);
      Ring::expectFrames(w, end - 1024);
    }
  }
  EXPECT_EQ(r.rec.readPos, 512 + 512 * (handed + r.rec.skippedWindows()));
  EXPECT_GT(r.rec.skippedWindows(), 0);
  EXPECT_GT(handed, 1000);
}

TEST(InfiniteRecorderRing, NonOverlappingWindowsStartOnHopBoundaries) {
  Ring r(5, 1, 512, 256, 512);
  EXPECT_EQ(r.rec.readPos, -256);
  r.feed(255);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(257);
  Ring::expectFrames(r.take(), 0);
  EXPECT_EQ(r.rec.lastBlock, 0);
  EXPECT_FALSE(r.rec.isNew());
  r.feed(256);
  ASSERT_TRUE(r.rec.isNew());
  Ring::expectFrames(r.take(), 512);
  EXPECT_EQ(r.rec.lastBlock, 1);
  for (int b = 2; b < 7; ++b) {
    r.feed(512);
    Ring::expectFrames(r.take(), 512 * b);
    EXPECT_EQ(r.rec.lastBlock, b % 5);
  }
}

TEST(InfiniteRecorderRing, StereoFramesAreMixedToMono) {
  Ring r(5, 2, 512, 1024, 512);
  EXPECT_EQ(r.rec.ringSamples, 5120);
  std::vector<float> buf(2 * 1024);
  for (int f = 0; f < 1024; ++f) {
    buf[2 * f] = static_cast<float>(f);
    buf[2 * f + 1] = static_cast<float>(f) + 0.5f;
  }
  infiniteRecordCallback(buf.data(), nullptr, 1024, nullptr, 0, &r.rec.data);
  const std::vector<double> w = r.take();
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(w[i], i + 0.25);
}

TEST(InfiniteRecorderRing, RingTooSmallForAWindowNeverReportsOne) {
  Ring r(2, 1, 512, 1024, 512);  // 1024-frame ring: no window survives a callback
  EXPECT_EQ(r.rec.lastError, paBufferTooSmall);
  EXPECT_EQ(r.rec.start(), paBufferTooSmall);
  EXPECT_FALSE(r.rec.isNew());
  std::vector<double> out(1024, 3.0);
  r.rec.handleNew(out.data());
  for (double v : out) ASSERT_EQ(v, 3.0);
  r.rec.stop();
}

TEST(InfiniteRecorderRing, WithoutAudioStartAndStopAreHarmless) {
  Ring r;
  EXPECT_NE(r.rec.start(), paNoError);
  EXPECT_EQ(r.rec.stream, nullptr);
  r.rec.stop();
  r.rec.stop();
  r.feed(1024);
  EXPECT_TRUE(r.rec.isNew());
}

TEST(InfiniteRecorderRing, WindowsStayRightAcrossTheFrameCounterWrap) {
  // 2^32 frames arrive as null buffers (the ring keeps its zeros) with the reader
  // keeping up; then numbered audio crosses the point where the 32-bit counter wraps.
  Ring r;
  const unsigned long big = 1ul << 20;
  uint64_t total = 0;
  const uint64_t target = (uint64_t{1} << 32) - 1536;
  std::vector<double> out(1024);
  while (total < target) {
    const unsigned long n = static_cast<unsigned long>(std::min<uint64_t>(big, target - total));
    r.feedNull(n);
    total += n;
    while (r.rec.isNew()) r.rec.handleNew(out.data());
  }
  EXPECT_EQ(r.rec.data.framesRecorded.load(), -1536);
  for (double v : out) ASSERT_EQ(v, 0.0);

  // Reference stream: the zeros, then frames numbered 0, 1, 2, ... from r.next.
  for (int k = 0; k < 8; ++k) {
    r.feed(512);
    ASSERT_TRUE(r.rec.isNew());
    const std::vector<double> w = r.take();
    for (int i = 0; i < 1024; ++i) {
      const int frame = r.next - 1024 + i;  // number of the fed frame, < 0 for zeros
      ASSERT_EQ(w[i], frame < 0 ? 0.0 : frame) << "window " << k << " at " << i;
    }
    EXPECT_FALSE(r.rec.isNew());
  }
  EXPECT_EQ(r.rec.data.framesRecorded.load(), 4096 - 1536);
}

}  // namespace
