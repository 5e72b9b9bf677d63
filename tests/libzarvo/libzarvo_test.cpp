// The library against the live analysis and the lip sync it is built on, over block sizes,
// rates, channels, resets and the switch of articulation; and every error it reports.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <set>

#include "audiofile/Resampler.h"
#include "lipsync/LipSync.h"
#include "lipsync/LipSyncInput.h"
#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "tests/libzarvo/support.h"

namespace {

using namespace zarvo_test;
using Frames = std::vector<zarvo_frame>;

bool same(const Frames& a, const Frames& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
}

// The designed FAPs are the live analysis' own; with the lip sync, every output is
// LipSync's, articulated or not, as the programs have them.
TEST(Libzarvo, FramesAreTheAnalysisAndTheLipSyncOwn) {
  const std::vector<float> s = voice(48000, 4.0);
  for (int articulate : {0, 1}) {
    MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
    QspRecorder analyser(&rec, 3);
    lipsync::LipSync sync(articulate == 1);
    std::vector<lipsync::Frame> want;
    lipsync::WindowInput in;
    lipsync::Frame f;
    double points[30];
    int faps[76];
    for (long long i = 0; analyser.isNew(); ++i) {
      analyser.handleNew(points);
      pixels2FAPs(points, faps);
      lipsync::fillWindowInput(analyser, points, faps, i, in);
      if (sync.push(in, f)) want.push_back(f);
    }
    while (sync.flush(f)) want.push_back(f);
    const Frames all = run(options(48000, 1, articulate), s, 480);
    const Frames alone = run(options(48000, 1, articulate, ZARVO_OUTPUT_FAPS), s, 480);
    ASSERT_EQ(all.size(), want.size());
    ASSERT_EQ(alone.size(), want.size());
    for (size_t i = 0; i < all.size(); ++i) {
      const zarvo_frame &z = all[i], &d = alone[i];
      const lipsync::Frame& e = want[i];
      ASSERT_EQ(z.index, static_cast<int64_t>(i));
      EXPECT_TRUE(z.level == e.level && z.vol == e.vol && z.articulated == articulate);
      EXPECT_DOUBLE_EQ(z.centre_seconds, 512.0 * (i + 1) / 48000);
      for (int k = 0; k < ZARVO_FAPS; ++k) {
        EXPECT_EQ(z.faps[k], e.articulated[zarvo_fap_number(k)]);
        EXPECT_TRUE(articulate == 1 || d.faps[k] == e.faps[zarvo_fap_number(k)]);
      }
      EXPECT_EQ(std::memcmp(z.visemes, e.visemes, sizeof z.visemes), 0);
      EXPECT_EQ(std::memcmp(z.vowels, e.vowels, sizeof z.vowels), 0);
      EXPECT_EQ(std::memcmp(z.blendshapes, e.blendshapes, sizeof z.blendshapes), 0);
      EXPECT_EQ(z.shape, e.shape);
      // Half a window and the look-ahead; designed FAPs alone wait for no look-ahead.
      const double lookahead = i + lipsync::kLookahead < all.size() ? lipsync::kLookahead : 0;
      EXPECT_TRUE(i + 1 == all.size() || std::fabs(z.delay_ms - 512 * (1 + lookahead) / 48) < 1e-9);
      EXPECT_TRUE(articulate == 1 || i + 1 == all.size() ||
                  (std::fabs(d.delay_ms - 512.0 / 48) < 1e-9 && d.visemes[0] + d.shape == 0));
    }
  }
}

// The whole input at once too: the stream takes what its queue holds, the rest comes again.
TEST(Libzarvo, BlockSizesGiveTheSameFrames) {
  for (int rate : {48000, 16000, 44100}) {
    const std::vector<float> s = voice(rate, 3.0);
    const Frames want = run(options(rate), s, 512);
    EXPECT_EQ(want.size(), static_cast<size_t>(1 + (144000 - 1024) / 512));
    for (int64_t block : {int64_t{1}, int64_t{7}, int64_t{4096}, int64_t{1} << 40})
      EXPECT_TRUE(same(run(options(rate), s, block), want)) << rate << " Hz, blocks of " << block;
  }
}

// Other rates come out as the file reader's resampling to 48 kHz gives them, up to the
// resampler's float rounding; channels are averaged as the reader averages them.
TEST(Libzarvo, RatesAndChannelsFollowTheFileReader) {
  for (int rate : {16000, 44100, 96000}) {
    SCOPED_TRACE(rate);
    const std::vector<float> s = voice(rate, 3.0);
    std::vector<float> at48(s.size() * 48000 / rate + 20000);
    size_t used = 0, made = 0, more = 0;
    auto resampler = Resampler::create(rate, nullptr);
    ASSERT_TRUE(resampler->process(s.data(), s.size(), &used, at48.data(), at48.size(), &made));
    ASSERT_TRUE(resampler->drain(at48.data() + made, at48.size() - made, &more));
    at48.resize(made + more);
    const Frames got = run(options(rate, 1, 0), s, 1000),
                 want = run(options(48000, 1, 0), at48, 1000);
    ASSERT_EQ(got.size(), want.size());
    int differ = 0;
    for (size_t i = 0; i < got.size(); ++i) {
      // In pauses the filter's rounding leaves one run with exact zeros, the other near them.
      EXPECT_TRUE(want[i].level < 0 || std::fabs(got[i].level - want[i].level) < 0.01) << i;
      EXPECT_DOUBLE_EQ(got[i].centre_sample, 512.0 * (i + 1) * rate / 48000);
      for (int k = 0; k < ZARVO_FAPS; ++k) {
        EXPECT_NEAR(got[i].faps[k], want[i].faps[k], 15);  // a pixel of the lip points
        differ += got[i].faps[k] != want[i].faps[k];
      }
    }
    EXPECT_LE(differ, static_cast<int>(got.size()));  // under one FAP value in eleven
  }
  const std::vector<float> mono = voice(22050, 2.0);
  std::vector<float> stereo, mixed, mixed16;
  std::vector<int16_t> stereo16;
  for (size_t i = 0; i < mono.size(); ++i) {
    const float l = mono[i], r = 0.5f * mono[mono.size() - 1 - i];
    const int16_t l16 = static_cast<int16_t>(l * 30000), r16 = static_cast<int16_t>(r * 30000);
    stereo.insert(stereo.end(), {l, r});
    stereo16.insert(stereo16.end(), {l16, r16});
    mixed.push_back(static_cast<float>((double{l} + r) / 2));
    mixed16.push_back(static_cast<float>((l16 / 32768.0 + r16 / 32768.0) / 2));
  }
  EXPECT_TRUE(same(run(options(22050, 2), stereo, 333), run(options(22050), mixed, 333)));
  EXPECT_TRUE(same(run(options(22050, 2), stereo16, 333), run(options(22050), mixed16, 333)));
}

TEST(Libzarvo, ResetFlushAndTheSwitchKeepEveryWindow) {
  for (int rate : {48000, 16000}) {
    SCOPED_TRACE(rate);
    // At 48 kHz a reset stream is a new one, bit for bit. Resampled, float rounding decides
    // whether a pause is exact zeros or -170 dB, which the viseme recogniser tells apart: the
    // designed FAPs are compared there.
    const std::vector<float> a = voice(rate, 1.7), b = voice(rate, 2.3);
    const zarvo_options o = options(rate, 1, rate == 48000);
    zarvo_stream* s = zarvo_stream_create(&o, nullptr);
    ASSERT_EQ(zarvo_stream_push_float(s, a.data(), 5000), 5000);
    ASSERT_EQ(zarvo_stream_flush(s), ZARVO_OK);
    EXPECT_EQ(zarvo_stream_push_float(s, a.data(), 1), ZARVO_E_FLUSHED);
    ASSERT_EQ(zarvo_stream_reset(s), ZARVO_OK);
    ASSERT_EQ(zarvo_stream_push_float(s, a.data(), rate), rate);
    ASSERT_EQ(zarvo_stream_reset(s), ZARVO_OK);  // frames not pulled go with the input
    Frames again = feed(s, b, 1, 700);
    zarvo_stream_flush(s);  // again: nothing more
    EXPECT_EQ(feed(s, std::vector<float>{}, 1, 1, false).size(), 0u);
    zarvo_stream_destroy(s);
    const Frames fresh = run(o, b, 700);
    ASSERT_EQ(again.size(), fresh.size());
    EXPECT_TRUE(rate != 48000 || same(again, fresh));
    int differ = 0;
    for (size_t i = 0; i < again.size(); ++i)
      for (int k = 0; k < ZARVO_FAPS; ++k) differ += again[i].faps[k] != fresh[i].faps[k];
    EXPECT_LE(differ, static_cast<int>(again.size()) / 10);
  }
  // Articulation switched every few windows on a stream of FAPs alone, whose look-ahead
  // comes and goes with it: every window once, in order, each as switched.
  const std::vector<float> v = voice(48000, 3.0);
  const zarvo_options o = options(48000, 1, 0, ZARVO_OUTPUT_FAPS);
  zarvo_stream* s = zarvo_stream_create(&o, nullptr);
  Frames got;
  for (size_t at = 0; at < v.size(); at += 512) {
    zarvo_stream_set_articulate(s, (at / 512 / 17) % 2);
    const Frames part =
        feed(s, std::vector<float>(v.begin() + at, v.begin() + std::min(at + 512, v.size())), 1,
             512, false);
    got.insert(got.end(), part.begin(), part.end());
  }
  zarvo_stream_destroy(s);
  ASSERT_EQ(got.size(), 1u + (144000 - 1024) / 512);  // it ends designed: nothing held back
  int articulated = 0;
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].index, static_cast<int64_t>(i));
    articulated += got[i].articulated;
  }
  EXPECT_TRUE(articulated > 90 && articulated < 190) << articulated;
}

TEST(Libzarvo, ErrorsAreReportedAndChangeNothing) {
  std::set<std::string> texts;
  for (int code = ZARVO_OK; code >= ZARVO_E_INTERNAL; --code) texts.insert(zarvo_strerror(code));
  EXPECT_EQ(texts.size(), 12u);
  EXPECT_EQ(texts.count(zarvo_strerror(1)) + texts.count(zarvo_strerror(-1000)), 0u);

  // A newer caller's struct, longer: fine while its new fields hold their defaults.
  struct Longer {
    zarvo_options o;
    int32_t later;
  } good{options(44100, 2), 0};
  good.o.struct_size = sizeof good;
  const std::pair<void (*)(Longer&), int> bad[] = {
      {[](Longer& l) { l.o.struct_size = 8; }, ZARVO_E_STRUCT_SIZE},
      // never read that far: an uninitialised size
      {[](Longer& l) { l.o.struct_size = ~size_t{0}; }, ZARVO_E_STRUCT_SIZE},
      {[](Longer& l) { l.o.rate = 7999; }, ZARVO_E_RATE},
      {[](Longer& l) { l.o.rate = 192001; }, ZARVO_E_RATE},
      {[](Longer& l) { l.o.channels = 0; }, ZARVO_E_CHANNELS},
      {[](Longer& l) { l.o.channels = 65; }, ZARVO_E_CHANNELS},
      {[](Longer& l) { l.o.articulate = 2; }, ZARVO_E_OPTION},
      {[](Longer& l) { l.o.outputs = 0; }, ZARVO_E_OPTION},
      {[](Longer& l) { l.o.outputs = 0x20; }, ZARVO_E_OPTION},
      {[](Longer& l) { l.o.flags = 2; }, ZARVO_E_OPTION},
      {[](Longer& l) { l.later = 1; }, ZARVO_E_OPTION}};
  for (const auto& [change, code] : bad) {
    Longer l = good;
    change(l);
    int error = 1;
    EXPECT_EQ(zarvo_stream_create(&l.o, &error), nullptr);
    EXPECT_EQ(error, code);
  }
  int error = 1;
  EXPECT_TRUE(zarvo_stream_create(nullptr, &error) == nullptr && error == ZARVO_E_NULL);
  zarvo_stream* s = zarvo_stream_create(&good.o, &error);
  ASSERT_TRUE(s != nullptr && error == ZARVO_OK);

  std::vector<float> stereo;
  for (float x : voice(44100, 0.5)) stereo.insert(stereo.end(), {x, x});
  const int64_t n = static_cast<int64_t>(stereo.size() / 2);
  std::vector<float> broken = stereo;
  zarvo_frame f{}, small{};
  f.struct_size = sizeof f;
  small.struct_size = 8;
  EXPECT_EQ(zarvo_stream_push_float(nullptr, stereo.data(), 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_push_int16(s, nullptr, 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_push_float(s, nullptr, 0), 0);
  EXPECT_EQ(zarvo_stream_push_float(s, stereo.data(), -1), ZARVO_E_COUNT);
  EXPECT_EQ(zarvo_stream_push_float(s, stereo.data(), std::numeric_limits<int64_t>::max()),
            ZARVO_E_COUNT);
  for (float nonfinite : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
    broken.back() = nonfinite;
    EXPECT_EQ(zarvo_stream_push_float(s, broken.data(), n), ZARVO_E_NONFINITE);
  }
  EXPECT_EQ(zarvo_stream_pull(nullptr, &f), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_pull(s, nullptr), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_pull(s, &small), ZARVO_E_STRUCT_SIZE);
  small.struct_size = ZARVO_STRUCT_SIZE_MAX + 1;  // never written that far
  EXPECT_EQ(zarvo_stream_pull(s, &small), ZARVO_E_STRUCT_SIZE);
  EXPECT_EQ(zarvo_stream_flush(nullptr) + zarvo_stream_reset(nullptr), 2 * ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_set_articulate(nullptr, 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_set_articulate(s, 2), ZARVO_E_OPTION);
  // None of it reached the stream: it gives what a new one gives.
  EXPECT_TRUE(same(feed(s, stereo, 2, n), run(good.o, stereo, n)));
  // Frames of a newer caller: this version's fields, the rest zero.
  struct Bigger {
    zarvo_frame f;
    double later = 1;
  } bigger;
  bigger.f.struct_size = sizeof bigger;
  zarvo_stream_reset(s);
  zarvo_stream_push_float(s, stereo.data(), n);
  EXPECT_TRUE(zarvo_stream_pull(s, &bigger.f) == 1 && bigger.f.struct_size == sizeof bigger &&
              bigger.later == 0 && bigger.f.index == 0);
  zarvo_stream_destroy(s);
  zarvo_stream_destroy(nullptr);
  EXPECT_EQ(std::to_string(zarvo_fap_number(10)) + zarvo_viseme_name(14) + zarvo_vowel_name(4) +
                zarvo_blendshape_name(21) + zarvo_version_string(),
            "60ouohmouthUpperUpRight1.0.0");
  EXPECT_TRUE(zarvo_fap_number(11) < 0 && !zarvo_viseme_name(-1) && !zarvo_vowel_name(5) &&
              !zarvo_blendshape_name(22));
}

}  // namespace
