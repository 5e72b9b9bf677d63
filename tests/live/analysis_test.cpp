// The live modes' analysis: frames in order with the mode's own sample numbers of their
// windows' ends (behind the look-ahead too), the FAPs of the library's stream as
// "&Artikuláció" says, and the newest due frame for the playback.
#include "live/analysis.h"

#include <gtest/gtest.h>

#include "live/modes.h"
#include "tests/libzarvo/support.h"

namespace {

TEST(LiveAnalysis, FramesCarryTheModesEndsAndTheChosenFaps) {
  const std::vector<float> s = zarvo_test::voice(48000, 2.0);
  for (bool articulated : {false, true}) {
    artikulacio = articulated;
    const std::vector<zarvo_frame> want =
        zarvo_test::run(zarvo_test::options(48000, 1, articulated), s, 512);
    live::Analysis a;
    ASSERT_TRUE(a.ok());
    // A capture whose count starts at 5000, as the first window then a hop at a time.
    a.push(s.data(), 1024, 6024);
    for (size_t at = 1024; at + 512 <= s.size(); at += 512)
      a.push(s.data() + at, 512, 5000 + static_cast<int64_t>(at) + 512);
    live::Frame f;
    int passed = 0;
    EXPECT_TRUE(a.due(5000 + 1024 + 512 * 5 - 1, f, &passed));  // windows 0..5 heard
    EXPECT_EQ(passed, 5);
    EXPECT_EQ(f.end, 5000 + 1024 + 512 * 5);
    EXPECT_FALSE(a.due(f.end, f, &passed));
    for (size_t i = 6; a.next(f); ++i) {
      ASSERT_LT(i, want.size());
      EXPECT_EQ(f.end, 5000 + 1024 + 512 * static_cast<int64_t>(i));
      EXPECT_EQ(f.volume, want[i].vol);
      for (int k = 0; k < ZARVO_FAPS; ++k) EXPECT_EQ(f.faps[zarvo_fap_number(k)], want[i].faps[k]);
    }
    a.finish();
    EXPECT_EQ(a.next(f), articulated);  // the look-ahead's last frame
  }
}

}  // namespace
