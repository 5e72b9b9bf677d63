#include <gtest/gtest.h>

#include <vector>

#include "speech/MemoryRecorder.h"

namespace {

std::vector<float> ramp(int n) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<float>(i);
  return v;
}

TEST(MemoryRecorder, WindowsAppearAsTheyWouldLive) {
  const std::vector<float> s = ramp(4096);
  MemoryRecorder rec(s.data(), 4096, 1024, 512, 48000, 0);
  EXPECT_EQ(rec.start(), 0);
  std::vector<double> out(1024, -7.0);

  rec.arrive(1023);
  EXPECT_FALSE(rec.isNew());
  rec.handleNew(out.data());  // nothing ready: out untouched
  for (double v : out) ASSERT_EQ(v, -7.0);

  rec.arrive(1);
  ASSERT_TRUE(rec.isNew());
  rec.handleNew(out.data());
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], i);
  EXPECT_FALSE(rec.isNew());

  rec.arrive(511);
  EXPECT_FALSE(rec.isNew());
  rec.arrive(1);
  ASSERT_TRUE(rec.isNew());
  rec.handleNew(out.data());
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(out[i], 512 + i);
  EXPECT_EQ(rec.windowsRead(), 2);
}

TEST(MemoryRecorder, ConsumerBehindGetsEveryWindowInOrder) {
  const std::vector<float> s = ramp(3000);
  MemoryRecorder rec(s.data(), 3000);
  std::vector<double> out(1024);
  int n = 0;
  while (rec.isNew()) {
    rec.handleNew(out.data());
    EXPECT_EQ(out[0], 512.0 * n);
    EXPECT_EQ(out[1023], 512.0 * n + 1023);
    ++n;
  }
  EXPECT_EQ(n, 1 + (3000 - 1024) / 512);
}

TEST(MemoryRecorder, WindowCountForAnyLength) {
  for (int len : {0, 1, 1023, 1024, 1535, 1536, 1537, 48000}) {
    std::vector<float> s(len > 0 ? len : 1, 0.25f);
    MemoryRecorder rec(s.data(), len);
    std::vector<double> out(1024);
    int n = 0;
    while (rec.isNew()) {
      rec.handleNew(out.data());
      ++n;
    }
    EXPECT_EQ(n, len < 1024 ? 0 : 1 + (len - 1024) / 512) << "len=" << len;
    EXPECT_EQ(rec.windowsRead(), n);
  }
}

TEST(MemoryRecorder, ArrivalStopsAtTheEnd) {
  const std::vector<float> s = ramp(1500);
  MemoryRecorder rec(s.data(), 1500, 1024, 512, 48000, 0);
  rec.arrive(1000000);
  EXPECT_EQ(rec.data.framesRecorded.load(), 1500);
  rec.arrive(-5);
  EXPECT_EQ(rec.data.framesRecorded.load(), 1500);
}

TEST(MemoryRecorder, ZeroWindowOrStepMeansOneBuffer) {
  const std::vector<float> s = ramp(2048);
  MemoryRecorder rec(s.data(), 2048, 0, 256);
  EXPECT_EQ(rec.windowsize(), 512);
  EXPECT_EQ(rec.step, 256);
  MemoryRecorder rec2(s.data(), 2048, 1024, 0);
  EXPECT_EQ(rec2.windowsize(), 1024);
  EXPECT_EQ(rec2.step, 512);
  MemoryRecorder rec3(s.data(), 2048, 1024, -3);
  EXPECT_EQ(rec3.step, 512);
  std::vector<double> out(1024);
  int n = 0;
  while (rec3.isNew() && n < 100) {
    rec3.handleNew(out.data());
    ++n;
  }
  EXPECT_EQ(n, 3);
}

TEST(MemoryRecorder, NonOverlappingWindowsFollowOneAnother) {
  const std::vector<float> s = ramp(1000);
  MemoryRecorder rec(s.data(), 1000, 256, 256);
  std::vector<double> out(256);
  for (int n = 0; n < 3; ++n) {
    ASSERT_TRUE(rec.isNew());
    rec.handleNew(out.data());
    EXPECT_EQ(out[0], 256.0 * n);
    EXPECT_EQ(out[255], 256.0 * n + 255);
  }
  EXPECT_FALSE(rec.isNew());
}

}  // namespace
