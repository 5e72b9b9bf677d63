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

using zarvo_test::options;
using zarvo_test::run;
using zarvo_test::voice;

bool same(const zarvo_frame& a, const zarvo_frame& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The designed FAPs are the live analysis' own; with the lip sync, every output is
// LipSync's, articulated or not, as the programs have them.
TEST(Libzarvo, FramesAreTheAnalysisAndTheLipSyncOwn) {
  const std::vector<float> s = voice(48000, 4.0);
  for (int articulate : {0, 1}) {
    MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
    QspRecorder analyser(&rec, 3);
    lipsync::LipSync sync(articulate == 1);
    std::vector<lipsync::Frame> expected;
    lipsync::WindowInput in;
    lipsync::Frame f;
    double points[30];
    int faps[76];
    for (long long i = 0; analyser.isNew(); ++i) {
      analyser.handleNew(points);
      pixels2FAPs(points, faps);
      lipsync::fillWindowInput(analyser, points, faps, i, in);
      if (sync.push(in, f)) expected.push_back(f);
    }
    while (sync.flush(f)) expected.push_back(f);

    zarvo_options o = options(48000, 1, articulate);
    const std::vector<zarvo_frame> all = run(o, s, 480);
    o.outputs = ZARVO_OUTPUT_FAPS;
    const std::vector<zarvo_frame> fapsOnly = run(o, s, 480);
    ASSERT_EQ(all.size(), expected.size());
    ASSERT_EQ(fapsOnly.size(), expected.size());
    for (size_t i = 0; i < all.size(); ++i) {
      const zarvo_frame& z = all[i];
      const lipsync::Frame& e = expected[i];
      ASSERT_EQ(z.index, static_cast<int64_t>(i));
      EXPECT_EQ(z.level, e.level);
      EXPECT_EQ(z.vol, e.vol);
      EXPECT_EQ(z.articulated, articulate);
      EXPECT_DOUBLE_EQ(z.centre_seconds, 512.0 * (i + 1) / 48000);
      for (int k = 0; k < ZARVO_FAPS; ++k) {
        EXPECT_EQ(z.faps[k], e.articulated[zarvo_fap_number(k)]);
        EXPECT_TRUE(articulate == 1 || fapsOnly[i].faps[k] == e.faps[zarvo_fap_number(k)]);
      }
      EXPECT_EQ(std::memcmp(z.visemes, e.visemes, sizeof z.visemes), 0);
      EXPECT_EQ(std::memcmp(z.vowels, e.vowels, sizeof z.vowels), 0);
      EXPECT_EQ(std::memcmp(z.blendshapes, e.blendshapes, sizeof z.blendshapes), 0);
      EXPECT_EQ(z.shape, e.shape);
      // Half a window and the look-ahead; designed FAPs alone wait for no look-ahead.
      if (i + lipsync::kLookahead < all.size()) {
        EXPECT_NEAR(z.delay_ms, 512.0 * (1 + lipsync::kLookahead) / 48, 1e-9);
        EXPECT_TRUE(articulate == 1 || std::fabs(fapsOnly[i].delay_ms - 512.0 / 48) < 1e-9);
      }
      EXPECT_TRUE(articulate == 1 || fapsOnly[i].visemes[0] + fapsOnly[i].shape == 0);
    }
  }
}

TEST(Libzarvo, BlockSizesGiveTheSameFrames) {
  for (int rate : {48000, 16000, 44100}) {
    SCOPED_TRACE(rate);
    const std::vector<float> s = voice(rate, 3.0);
    const std::vector<zarvo_frame> reference = run(options(rate), s, 512);
    ASSERT_EQ(reference.size(), static_cast<size_t>(1 + (144000 - 1024) / 512));
    // The whole input at once: the stream takes what its queue holds, the rest comes again.
    for (int64_t block : {int64_t{1}, int64_t{7}, int64_t{4096}, int64_t{1} << 40}) {
      const std::vector<zarvo_frame> got = run(options(rate), s, block);
      ASSERT_EQ(got.size(), reference.size()) << block;
      for (size_t i = 0; i < got.size(); ++i) ASSERT_TRUE(same(got[i], reference[i])) << block;
    }
  }
}

// Other rates come out as the file reader's resampling to 48 kHz gives them, up to the
// resampler's float rounding; channels are averaged as the reader averages them.
TEST(Libzarvo, RatesAndChannelsFollowTheFileReader) {
  for (int rate : {16000, 44100, 96000}) {
    SCOPED_TRACE(rate);
    const std::vector<float> s = voice(rate, 3.0);
    auto resampler = Resampler::create(rate, nullptr);
    std::vector<float> at48(s.size() * 48000 / rate + 20000);
    size_t used = 0, made = 0, more = 0;
    ASSERT_TRUE(resampler->process(s.data(), s.size(), &used, at48.data(), at48.size(), &made));
    ASSERT_TRUE(resampler->drain(at48.data() + made, at48.size() - made, &more));
    at48.resize(made + more);
    const std::vector<zarvo_frame> got = run(options(rate, 1, 0), s, 1000);
    const std::vector<zarvo_frame> want = run(options(48000, 1, 0), at48, 1000);
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
  std::vector<float> stereo;
  std::vector<int16_t> stereo16;
  std::vector<float> mixed, mixed16;
  for (size_t i = 0; i < mono.size(); ++i) {
    const float l = mono[i], r = 0.5f * mono[mono.size() - 1 - i];
    stereo.insert(stereo.end(), {l, r});
    mixed.push_back(static_cast<float>((double{l} + r) / 2));
    const int16_t l16 = static_cast<int16_t>(l * 30000), r16 = static_cast<int16_t>(r * 30000);
    stereo16.insert(stereo16.end(), {l16, r16});
    mixed16.push_back(static_cast<float>((l16 / 32768.0 + r16 / 32768.0) / 2));
  }
  for (auto [a, b] :
       {std::pair{run(options(22050, 2), stereo, 333), run(options(22050), mixed, 333)},
        std::pair{run(options(22050, 2), stereo16, 333), run(options(22050), mixed16, 333)}}) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(same(a[i], b[i])) << i;
  }
}

TEST(Libzarvo, ResetFlushAndTheSwitchKeepEveryWindow) {
  for (int rate : {48000, 16000}) {
    SCOPED_TRACE(rate);
    // At 48 kHz a reset stream is a new one, bit for bit. Resampled, float rounding decides
    // whether a pause is exact zeros or -170 dB, which the viseme recogniser tells apart: the
    // designed FAPs are compared there.
    const std::vector<float> a = voice(rate, 1.7), b = voice(rate, 2.3);
    const zarvo_options o = options(rate, 1, rate == 48000);
    const std::vector<zarvo_frame> fresh = run(o, b, 700);
    zarvo_stream* s = zarvo_stream_create(&o, nullptr);
    zarvo_frame f{};
    f.struct_size = sizeof f;
    ASSERT_EQ(zarvo_stream_push_float(s, a.data(), 5000), 5000);
    ASSERT_EQ(zarvo_stream_flush(s), ZARVO_OK);
    EXPECT_EQ(zarvo_stream_push_float(s, a.data(), 1), ZARVO_E_FLUSHED);
    ASSERT_EQ(zarvo_stream_reset(s), ZARVO_OK);
    ASSERT_EQ(zarvo_stream_push_float(s, a.data(), rate), rate);
    ASSERT_EQ(zarvo_stream_reset(s), ZARVO_OK);  // frames not pulled go with the input
    std::vector<zarvo_frame> again;
    for (size_t at = 0; at < b.size(); at += 700) {
      ASSERT_GE(zarvo_stream_push_float(s, b.data() + at, std::min<int64_t>(700, b.size() - at)),
                0);
      while (zarvo_stream_pull(s, &f) == 1) again.push_back(f);
    }
    zarvo_stream_flush(s);
    zarvo_stream_flush(s);
    while (zarvo_stream_pull(s, &f) == 1) again.push_back(f);
    zarvo_stream_destroy(s);
    ASSERT_EQ(again.size(), fresh.size());
    int differ = 0;
    for (size_t i = 0; i < again.size(); ++i) {
      ASSERT_TRUE(rate != 48000 || same(again[i], fresh[i])) << i;
      for (int k = 0; k < ZARVO_FAPS; ++k) differ += again[i].faps[k] != fresh[i].faps[k];
    }
    EXPECT_LE(differ, static_cast<int>(again.size()) / 10);
  }
  // Articulation switched every few windows on a stream of FAPs alone, whose look-ahead
  // comes and goes with it: every window once, in order, each as switched.
  const std::vector<float> v = voice(48000, 3.0);
  zarvo_options o = options(48000, 1, 0);
  o.outputs = ZARVO_OUTPUT_FAPS;
  zarvo_stream* s = zarvo_stream_create(&o, nullptr);
  zarvo_frame f{};
  f.struct_size = sizeof f;
  int64_t next = 0, articulated = 0;
  for (size_t at = 0; at < v.size(); at += 512) {
    zarvo_stream_set_articulate(s, (at / 512 / 17) % 2);
    zarvo_stream_push_float(s, v.data() + at, std::min<int64_t>(512, v.size() - at));
    while (zarvo_stream_pull(s, &f) == 1) {
      ASSERT_EQ(f.index, next++);
      articulated += f.articulated;
    }
  }
  EXPECT_EQ(next, 1 + (144000 - 1024) / 512);  // it ends designed: nothing held back
  EXPECT_GT(articulated, next / 3);
  EXPECT_LT(articulated, next * 2 / 3);
  zarvo_stream_destroy(s);
}

TEST(Libzarvo, ErrorsAreReportedAndChangeNothing) {
  std::set<std::string> texts;
  for (int code = ZARVO_OK; code >= ZARVO_E_INTERNAL; --code) texts.insert(zarvo_strerror(code));
  EXPECT_EQ(texts.size(), 12u);
  EXPECT_EQ(texts.count(zarvo_strerror(1)), 0u);
  EXPECT_EQ(texts.count(zarvo_strerror(-1000)), 0u);

  const zarvo_options good = options(44100, 2);
  auto refused = [](zarvo_options o) {
    int error = 1;
    EXPECT_EQ(zarvo_stream_create(&o, &error), nullptr);
    return error;
  };
  auto with = [&](auto change) {
    zarvo_options o = good;
    change(o);
    return refused(o);
  };
  int error = 1;
  EXPECT_EQ(zarvo_stream_create(nullptr, &error), nullptr);
  EXPECT_EQ(error, ZARVO_E_NULL);
  EXPECT_EQ(with([](zarvo_options& o) { o.struct_size = 8; }), ZARVO_E_STRUCT_SIZE);
  EXPECT_EQ(with([](zarvo_options& o) { o.rate = 7999; }), ZARVO_E_RATE);
  EXPECT_EQ(with([](zarvo_options& o) { o.rate = 192001; }), ZARVO_E_RATE);
  EXPECT_EQ(with([](zarvo_options& o) { o.channels = 0; }), ZARVO_E_CHANNELS);
  EXPECT_EQ(with([](zarvo_options& o) { o.channels = 65; }), ZARVO_E_CHANNELS);
  EXPECT_EQ(with([](zarvo_options& o) { o.articulate = 2; }), ZARVO_E_OPTION);
  EXPECT_EQ(with([](zarvo_options& o) { o.outputs = 0; }), ZARVO_E_OPTION);
  EXPECT_EQ(with([](zarvo_options& o) { o.outputs = 0x20; }), ZARVO_E_OPTION);
  EXPECT_EQ(with([](zarvo_options& o) { o.flags = 2; }), ZARVO_E_OPTION);
  // A newer caller's struct: longer is fine while its new fields hold their defaults.
  struct Longer {
    zarvo_options o;
    int32_t later;
  } longer{good, 0};
  longer.o.struct_size = sizeof longer;
  zarvo_stream* s = zarvo_stream_create(&longer.o, &error);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(error, ZARVO_OK);
  longer.later = 1;
  EXPECT_EQ(zarvo_stream_create(&longer.o, &error), nullptr);
  EXPECT_EQ(error, ZARVO_E_OPTION);

  const std::vector<float> v = voice(44100, 0.5);
  std::vector<float> stereo;
  for (float x : v) stereo.insert(stereo.end(), {x, x});
  std::vector<float> broken = stereo;
  zarvo_frame f{};
  f.struct_size = sizeof f;
  EXPECT_EQ(zarvo_stream_push_float(nullptr, stereo.data(), 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_push_int16(s, nullptr, 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_push_float(s, nullptr, 0), 0);
  EXPECT_EQ(zarvo_stream_push_float(s, stereo.data(), -1), ZARVO_E_COUNT);
  EXPECT_EQ(zarvo_stream_push_float(s, stereo.data(), std::numeric_limits<int64_t>::max()),
            ZARVO_E_COUNT);
  for (float bad : {std::nanf(""), std::numeric_limits<float>::infinity()}) {
    broken[stereo.size() - 1] = bad;
    EXPECT_EQ(zarvo_stream_push_float(s, broken.data(), static_cast<int64_t>(v.size())),
              ZARVO_E_NONFINITE);
  }
  EXPECT_EQ(zarvo_stream_pull(nullptr, &f), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_pull(s, nullptr), ZARVO_E_NULL);
  zarvo_frame small{};
  small.struct_size = 8;
  EXPECT_EQ(zarvo_stream_pull(s, &small), ZARVO_E_STRUCT_SIZE);
  EXPECT_EQ(zarvo_stream_flush(nullptr), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_reset(nullptr), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_set_articulate(nullptr, 1), ZARVO_E_NULL);
  EXPECT_EQ(zarvo_stream_set_articulate(s, 2), ZARVO_E_OPTION);
  // None of it reached the stream: it gives what a new one gives.
  std::vector<zarvo_frame> got;
  EXPECT_EQ(zarvo_stream_push_float(s, stereo.data(), static_cast<int64_t>(v.size())),
            static_cast<int64_t>(v.size()));
  zarvo_stream_flush(s);
  while (zarvo_stream_pull(s, &f) == 1) got.push_back(f);
  const std::vector<zarvo_frame> want = run(good, stereo, 1 << 20);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(same(got[i], want[i]));
  // Frames of a newer caller: this version's fields, the rest zero.
  struct Bigger {
    zarvo_frame f;
    double later;
  } bigger;
  std::memset(&bigger, 0xAB, sizeof bigger);
  bigger.f.struct_size = sizeof bigger;
  ASSERT_EQ(zarvo_stream_reset(s), ZARVO_OK);
  zarvo_stream_push_float(s, stereo.data(), static_cast<int64_t>(v.size()));
  ASSERT_EQ(zarvo_stream_pull(s, &bigger.f), 1);
  EXPECT_EQ(bigger.f.struct_size, sizeof bigger);
  EXPECT_EQ(bigger.later, 0.0);
  EXPECT_EQ(bigger.f.index, 0);
  zarvo_stream_destroy(s);
  zarvo_stream_destroy(nullptr);

  EXPECT_EQ(zarvo_fap_number(0), 3);
  EXPECT_EQ(zarvo_fap_number(10), 60);
  EXPECT_EQ(std::string(zarvo_viseme_name(14)) + zarvo_vowel_name(4) + zarvo_blendshape_name(21),
            "ouohmouthUpperUpRight");
  for (int out : {-1, 22})
    EXPECT_TRUE(zarvo_fap_number(out) < 0 && !zarvo_viseme_name(out) && !zarvo_vowel_name(out) &&
                !zarvo_blendshape_name(out));
  EXPECT_EQ(zarvo_version(), ZARVO_VERSION_NUMBER);
  EXPECT_STREQ(zarvo_version_string(), "1.0.0");
}

}  // namespace
