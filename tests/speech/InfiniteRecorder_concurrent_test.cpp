// One writer thread calling the capture callback, one reader taking windows: every window
// handed out must be whole, in order, on a hop boundary; a reader that stalls loses whole
// windows only. Meant to run under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "speech/InfiniteRecorder.h"

namespace {

// Samples are absolute frame numbers (exact in float below 2^24 frames).
void writer(InfiniteRecorder* rec, int buffers, int pauseMicros, std::atomic<bool>* done) {
  std::vector<float> buf(512);
  int next = 0;
  for (int b = 0; b < buffers; ++b) {
    for (int i = 0; i < 512; ++i) buf[i] = static_cast<float>(next + i);
    infiniteRecordCallback(buf.data(), nullptr, 512, nullptr, 0, &rec->data);
    next += 512;
    if (pauseMicros > 0) std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros));
  }
  done->store(true, std::memory_order_release);
}

struct Result {
  int windows = 0;
  int bad = 0;
};

Result readAll(InfiniteRecorder& rec, const std::atomic<bool>& done, int stallEvery) {
  Result r;
  std::vector<double> out(1024);
  int lastEnd = rec.readPos;
  for (;;) {
    const bool finished = done.load(std::memory_order_acquire);
    if (!rec.isNew()) {
      if (finished) break;
      std::this_thread::yield();
      continue;
    }
    rec.handleNew(out.data());
    const int end = rec.readPos;
    bool ok = end > lastEnd && end % 512 == 0;
    for (int i = 0; i < 1024 && ok; ++i) ok = out[i] == end - 1024 + i;
    if (!ok) ++r.bad;
    lastEnd = end;
    ++r.windows;
    // A reader that now and then stalls for several hops must skip, never tear.
    if (stallEvery > 0 && r.windows % stallEvery == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  }
  return r;
}

TEST(InfiniteRecorderConcurrent, PacedWriterEveryWindowArrivesWholeAndInOrder) {
  InfiniteRecorder rec(InfiniteRecorder::WithoutAudio{}, 48000, 5, 1, 512, 1024, 512);
  std::atomic<bool> done{false};
  std::thread t(writer, &rec, 3000, 200, &done);
  const Result r = readAll(rec, done, 0);
  t.join();
  EXPECT_EQ(r.bad, 0);
  EXPECT_EQ(rec.readPos, 3000 * 512);
  EXPECT_EQ(r.windows + rec.skippedWindows(), 2999);
}

TEST(InfiniteRecorderConcurrent, StallingReaderSkipsWholeWindowsOnly) {
  InfiniteRecorder rec(InfiniteRecorder::WithoutAudio{}, 48000, 5, 1, 512, 1024, 512);
  std::atomic<bool> done{false};
  std::thread t(writer, &rec, 3000, 20, &done);
  const Result r = readAll(rec, done, 50);
  t.join();
  EXPECT_EQ(r.bad, 0);
  EXPECT_GT(rec.skippedWindows(), 0);
  EXPECT_GT(r.windows, 50);
  EXPECT_EQ(rec.readPos, 3000 * 512);
  EXPECT_EQ(r.windows + rec.skippedWindows(), 2999);
}

TEST(InfiniteRecorderConcurrent, UnpacedWriterNeverTearsAWindow) {
  // The writer laps the ring as fast as it can: most copies race with it, and the
  // reader must notice every one that the writer reached.
  InfiniteRecorder rec(InfiniteRecorder::WithoutAudio{}, 48000, 5, 1, 512, 1024, 512);
  std::atomic<bool> done{false};
  std::thread t(writer, &rec, 20000, 0, &done);
  const Result r = readAll(rec, done, 0);
  t.join();
  EXPECT_EQ(r.bad, 0);
  EXPECT_EQ(rec.readPos, 20000 * 512);
}

}  // namespace
