// The live modes' analysis: frames in order with the mode's own sample numbers of their
// windows' ends (behind the look-ahead too), the FAPs of the library's stream as
// "&Artikuláció" says, and the newest due frame for the playback.
#include "live/analysis.h"

#include <gtest/gtest.h>

#include "lipsync/viseme_model.h"
#include "live/modes.h"
#include "tests/libzarvo/support.h"

TEST(LiveAnalysis, FramesCarryTheModesEndsAndTheChosenFaps) {
  const std::vector<float> s = zarvo_test::voice(48000, 2.0);
  for (bool articulated : {false, true}) {
    artikulacio = articulated;
    const auto want = zarvo_test::run(zarvo_test::options(48000, 1, articulated), s, 512);
    live::Analysis a;
    // A capture whose count starts at 5000: the first window, then a hop at a time.
    for (size_t at = 0; at + 512 <= s.size(); at += at == 0 ? 1024 : 512)
      a.push(s.data() + at, at == 0 ? 1024 : 512,
             5000 + static_cast<int64_t>(at) + (at ? 512 : 1024));
    live::Frame f;
    int passed = 0;
    EXPECT_TRUE(a.due(5000 + 1024 + 512 * 5 - 1, f, &passed));  // windows 0..5 heard
    EXPECT_TRUE(passed == 5 && f.end == 5000 + 1024 + 512 * 5 && !a.due(f.end, f, &passed));
    for (size_t i = 6; a.next(f); ++i) {
      ASSERT_LT(i, want.size());
      EXPECT_TRUE(f.end == 5000 + 1024 + 512 * static_cast<int64_t>(i) && f.volume == want[i].vol);
      for (int k = 0; k < ZARVO_FAPS; ++k) EXPECT_EQ(f.faps[zarvo_fap_number(k)], want[i].faps[k]);
    }
    a.finish();
    for (int k = 0; articulated && k < lipsync::model::kAfter; ++k)
      EXPECT_TRUE(a.next(f));  // the look-ahead's last frames
    EXPECT_FALSE(a.next(f));
  }
}
