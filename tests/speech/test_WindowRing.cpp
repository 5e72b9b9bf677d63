// WindowRing: the windows over samples pushed in pieces of any size equal the slices of
// the whole signal, across the ring's end; a reader that fell behind gets the newest
// window and the count of those it missed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "speech/WindowRing.h"

namespace {

std::vector<float> ramp(int n) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<float>(i);
  return v;
}

// Pushed in pieces, or written in place through space() and added().
TEST(WindowRing, WindowsAreTheSlicesOfTheSignalAcrossTheRingsEnd) {
  const std::vector<float> s = ramp(20000);
  for (bool inPlace : {false, true}) {
    for (long piece : {1L, 300L, 1536L, 1976L, 4099L, 20000L}) {
      SCOPED_TRACE(testing::Message() << "piece " << piece << (inPlace ? " in place" : ""));
      WindowRing ring(3000);  // a small ring: the windows wrap round it many times
      std::vector<double> w(WindowRing::kWindow);
      long at = 0;
      long long windows = 0;
      int64_t lastEnd = 512;
      while (at < static_cast<long>(s.size())) {
        long n = std::min<long>(piece, static_cast<long>(s.size()) - at);
        if (inPlace) {
          long room = 0;
          float* to = ring.space(&room);
          n = std::min(n, room);
          std::copy(s.begin() + at, s.begin() + at + n, to);
          ring.added(n);
        } else {
          ring.push(s.data() + at, n);
        }
        at += n;
        while (ring.isNew()) {
          ring.handleNew(w.data());
          ++windows;
          const int64_t end = ring.windowEnd();
          ASSERT_EQ((end - lastEnd) % 512, 0);
          ASSERT_GT(end, lastEnd);
          lastEnd = end;
          for (int i = 0; i < WindowRing::kWindow; ++i)
            ASSERT_EQ(w[i], static_cast<double>(end - 1024 + i)) << "window ending at " << end;
        }
      }
      EXPECT_EQ(ring.pushed(), 20000);
      EXPECT_EQ(windows + ring.skipped(), 1 + (20000 - 1024) / 512);
      // A piece that fits in the ring beside a window loses none.
      EXPECT_EQ(ring.skipped() == 0, piece <= 3000 - 1024);
    }
  }
}

TEST(WindowRing, AReaderFarBehindSkipsToTheNewestWindow) {
  const std::vector<float> s = ramp(10000);
  WindowRing ring(3000);
  std::vector<double> w(WindowRing::kWindow);
  ring.push(s.data(), 10000);
  ASSERT_TRUE(ring.isNew());
  ring.handleNew(w.data());
  // The newest complete window ends at 9728 (the last step's end not beyond 10000); the
  // 17 windows before it (ending at 1024 ... 9216) were overwritten.
  EXPECT_EQ(ring.windowEnd(), 9728);
  EXPECT_EQ(ring.skipped(), 17);
  for (int i = 0; i < WindowRing::kWindow; ++i) ASSERT_EQ(w[i], 9728 - 1024 + i);
  EXPECT_FALSE(ring.isNew());
}

}  // namespace
