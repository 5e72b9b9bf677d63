// The frame rule against hand-worked times, the FAP file's exact layout, write -> read
// round trips, the reader's errors, and the output helpers.
#include "fapfile/FapFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "fapfile/OutputFile.h"
#include "tests/scratch_dir.h"

namespace {

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The nearest window by brute force in floating point: the reference for the rule.
long long nearestWindow(long long k, int fps, long long windows) {
  const double t = static_cast<double>(k * 48000) / fps;
  long long best = 0;
  for (long long i = 1; i < windows; ++i)
    if (std::abs(512.0 * (i + 1) - t) < std::abs(512.0 * (best + 1) - t)) best = i;
  return best;
}

TEST(FrameRule, NearestWindowCentreWithTiesToTheEarlier) {
  // Hand-worked: at 25 fps frame 1 is 40 ms = sample 1920, between the centres 1536
  // (window 2) and 2048 (window 3), nearer 2048; frame 2 is sample 3840, exactly between
  // 3584 (window 6) and 4096 (window 7): the tie goes to window 6.
  struct Case {
    long long frame;
    int fps;
    long long window;
  } cases[] = {{0, 25, 0},
               {1, 25, 3},
               {2, 25, 6},
               {25, 25, 93},
               {1, 1, 93},
               // 75 fps, frame 2: sample 1280, halfway between centres 1024 and 1536.
               {2, 75, 1},
               {6, 75, 6},
               {1, 1000, 0},
               {3, 375, 0}};
  for (const Case& c : cases)
    EXPECT_EQ(fapWindowForFrame(c.frame, c.fps), c.window) << c.frame << " @ " << c.fps;
  for (int fps : {1, 24, 25, 30, 60, 75, 94, 120, 1000})
    for (long long k = 0; k < 400; ++k) {
      const double t = static_cast<double>(k * 48000) / fps;
      const long long i = fapWindowForFrame(k, fps);
      const double gap = std::abs(512.0 * (i + 1) - t);
      // Nearest, and on a tie the earlier one.
      ASSERT_EQ(i, nearestWindow(k, fps, i + 2)) << k << " @ " << fps;
      if (i > 0) {
        ASSERT_LE(gap, std::abs(512.0 * i - t)) << k << " @ " << fps;
      }
    }
  struct Count {
    long long samples;
    int fps;
    long long frames;
  } counts[] = {{0, 25, 0},    {1023, 25, 0},   {1024, 25, 1},   {1920, 25, 1},
                {1921, 25, 2}, {48000, 25, 25}, {48001, 25, 26}, {480000, 30, 300}};
  for (const Count& c : counts) EXPECT_EQ(fapFrameCount(c.samples, c.fps), c.frames) << c.samples;
}

std::vector<std::array<int, 76>> windowsFaps(int n) {
  std::vector<std::array<int, 76>> w(n);
  for (int i = 0; i < n; ++i) {
    w[i].fill(0);
    w[i][3] = -140 + i;
    for (int f = 51; f <= 60; ++f) w[i][f] = (f - 50) * (i % 2 ? -1 : 1) * i;
  }
  return w;
}

std::string writeFap(const std::string& name, int fps, const std::vector<std::array<int, 76>>& w,
                     long long samples, const std::string& path) {
  FapWriter writer(name, fps);
  EXPECT_TRUE(writer.open(nullptr));
  for (size_t i = 0; i < w.size(); ++i) EXPECT_TRUE(writer.addWindow(i, w[i].data()));
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  TextWriter out(fd, 100);  // small buffer: the copy crosses many flushes
  EXPECT_TRUE(writer.finish(samples, out));
  ::close(fd);
  return bytesOf(path);
}

TEST(FapWriter, ExactLayout) {
  ScratchDir dir;
  // 4 windows = 2560 samples; at 50 fps 3 frames (0, 960, 1920 samples) take windows
  // 0, 1 (centre 1024) and 3 (centre 2048, nearer 1920 than 1536).
  const std::string text = writeFap("my speech", 50, windowsFaps(4), 2560, dir / "a.fap");
  const std::string mask =
      "0 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 "
      "0 0 0 0 0 0 0 1 1 1 1 1 1 1 1 1 1 0 0 0 0 0 0 0 0\n";
  EXPECT_EQ(text, "2.1 my_speech 50 3\n" + mask + "0 -140 0 0 0 0 0 0 0 0 0 0\n" + mask +
                      "1 -139 -1 -2 -3 -4 -5 -6 -7 -8 -9 -10\n" + mask +
                      "2 -137 -3 -6 -9 -12 -15 -18 -21 -24 -27 -30\n");
  FapWriter skipping("x", 25);
  ASSERT_TRUE(skipping.open(nullptr));
  EXPECT_FALSE(skipping.addWindow(1, windowsFaps(1)[0].data()));
  EXPECT_EQ(skipping.problem(), "window 1 came where 0 was due");
  // No window at all: a header with 0 frames.
  EXPECT_EQ(writeFap("", 25, {}, 1000, dir / "b.fap"), "2.1 zarvo 25 0\n");
}

TEST(FapWriter, RoundTripFollowsTheFrameRule) {
  ScratchDir dir;
  for (int fps : {1, 25, 30, 75, 200}) {
    SCOPED_TRACE(fps);
    const int windows = 300;
    const long long samples = 1024 + 512 * (windows - 1) + 300;  // a tail shorter than a hop
    const auto w = windowsFaps(windows);
    writeFap("x", fps, w, samples, dir / "r.fap");
    FapHeader h;
    std::vector<FapFrame> frames;
    std::string problem;
    ASSERT_TRUE(readFapFile(dir / "r.fap", h, frames, &problem)) << problem;
    EXPECT_EQ(h.name, "x");
    EXPECT_EQ(h.fps, fps);
    ASSERT_EQ(h.frames, fapFrameCount(samples, fps));
    ASSERT_EQ(static_cast<long long>(frames.size()), h.frames);
    for (long long k = 0; k < h.frames; ++k) {
      const long long i = std::min<long long>(fapWindowForFrame(k, fps), windows - 1);
      for (int f = 0; f < 76; ++f) {
        const bool written = f == 3 || (f >= 51 && f <= 60);
        ASSERT_EQ(frames[k].set[f], written);
        ASSERT_EQ(frames[k].faps[f], written ? w[i][f] : 0) << k << " FAP " << f;
      }
    }
  }
}

TEST(FapReader, ToleratesWhatOtherWritersDoAndNamesTheLineOfAnError) {
  std::string mask68(135, ' ');
  for (int k = 0; k < 68; ++k) mask68[2 * k] = '0';
  auto maskWith = [&](std::vector<int> on, int extra = 0) {
    std::string m = mask68;
    for (int f : on) m[2 * (f - 1)] = '1';
    for (int i = 0; i < extra; ++i) m += " 1";
    return m + "\n";
  };
  // Comments, blank lines, CRLF, a 70-token mask, visemes and expressions.
  const std::string good = "# made elsewhere\n2.1 face 30.5 2\r\n\n" + maskWith({1, 2, 3}, 2) +
                           "0 1 2 3 4 10 11 12 13 14 15 -300\n# between\n" + maskWith({68}) +
                           "1 +7\n# trailing\n";
  FapHeader h;
  std::vector<FapFrame> f;
  std::string problem;
  ASSERT_TRUE(parseFapText(good, h, f, &problem)) << problem;
  EXPECT_EQ(h.fps, 30.5);
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].viseme, (std::array<int, 4>{1, 2, 3, 4}));
  EXPECT_EQ(f[0].expression, (std::array<int, 6>{10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(f[0].faps[3], -300);
  EXPECT_EQ(f[0].faps[1], 0);
  EXPECT_EQ(f[1].faps[68], 7);
  EXPECT_FALSE(f[1].set[3]);

  const std::string m3 = maskWith({3});
  struct Case {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "line 0: no header line"},
      {"# only\n", "line 1: no header line"},
      {"2.0 a 25 1\n", "line 1: header must start with version 2.1"},
      {"2.1 a 25\n", "line 1: header must be"},
      {"2.1 a 25 1 9\n", "line 1: header must be"},
      {"2.1 a 0 1\n", "line 1: frame rate \"0\""},
      {"2.1 a x 1\n", "line 1: frame rate \"x\""},
      {"2.1 a 25 -1\n", "line 1: frame count \"-1\""},
      {"2.1 a 25 2\n" + m3 + "0 5\n", "line 3: the file ends after 1 of 2 frames"},
      {"2.1 a 25 1\n" + m3, "line 2: the file ends after the mask of frame 0"},
      {"2.1 a 25 1\n0 1 0\n0 5\n", "line 2: mask has 3 tokens, needs 68"},
      {"2.1 a 25 1\n" + mask68.replace(4, 1, "2") + "\n0\n", "line 2: mask token 3 is \"2\""},
      {"2.1 a 25 1\n" + m3 + "1 5\n", "line 3: expected frame number 0, found \"1\""},
      {"2.1 a 25 1\n" + m3 + "0\n", "line 3: frame 0 has fewer values"},
      {"2.1 a 25 1\n" + m3 + "0 5 6\n", "line 3: frame 0 has more values"},
      {"2.1 a 25 1\n" + m3 + "0 5.5\n", "line 3: value \"5.5\" is not an integer"},
      {"2.1 a 25 1\n" + m3 + "0 99999999999\n", "line 3: value \"99999999999\""},
      {"2.1 a 25 1\n" + m3 + "0 5\n" + m3, "line 4: more frames than the header's 1"},
      {"2.1 a 25 1\n" + std::string(70000, '1') + "\n", "line 2: longer than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    problem.clear();
    EXPECT_FALSE(parseFapText(c.text, h, f, &problem));
    EXPECT_EQ(problem.rfind(c.error, 0), 0u) << problem;
  }
  EXPECT_FALSE(readFapFile("/nonexistent/a.fap", h, f, &problem));
  EXPECT_EQ(problem, "cannot open: No such file or directory");
}

TEST(OutputFile, CommitRenamesAndFailureLeavesNothing) {
  ScratchDir dir;
  std::string problem;
  {
    auto out = OutputFile::create(dir / "a.csv", &problem);
    ASSERT_NE(out, nullptr) << problem;
    TextWriter w(out->fd());
    w.put("hello\n");
    ASSERT_TRUE(w.flush());
    EXPECT_EQ(dir.entries().size(), 1u);  // only the temporary so far
    EXPECT_NE(out->temporaryPath().find("/.a.csv."), std::string::npos);
    ASSERT_TRUE(out->commit(&problem)) << problem;
  }
  EXPECT_EQ(bytesOf(dir / "a.csv"), "hello\n");
  {
    auto out = OutputFile::create(dir / "a.csv", &problem);  // abandoned: old file stays
    TextWriter w(out->fd());
    w.put("half");
    w.flush();
  }
  EXPECT_EQ(bytesOf(dir / "a.csv"), "hello\n");
  EXPECT_EQ(dir.entries().size(), 1u);
  // A device is written in place, never replaced by a rename.
  auto null = OutputFile::create("/dev/null", &problem);
  ASSERT_NE(null, nullptr) << problem;
  EXPECT_EQ(null->temporaryPath(), "");
  EXPECT_TRUE(null->commit(&problem));
  struct stat st {};
  ASSERT_EQ(stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_EQ(OutputFile::create(dir / "no/such/dir/x", &problem), nullptr);
  EXPECT_EQ(problem, "cannot create: No such file or directory");
}

TEST(TextWriter, NumbersAsPrintfAndWriteErrors) {
  ScratchDir dir;
  const int fd = ::open((dir / "n.txt").c_str(), O_WRONLY | O_CREAT, 0644);
  TextWriter w(fd, 64);
  std::string expected;
  char buf[64];
  for (long long v : {0LL, 7LL, -1LL, 1234567890123LL, -9223372036854775807LL - 1}) {
    w.putInt(v);
    w.put(',');
    std::snprintf(buf, sizeof buf, "%lld,", v);
    expected += buf;
  }
  for (double v : {120.2059991327962, -100.0, 0.0000005, 0.0000015, 2.5e-7, 1e20, -0.0}) {
    w.putFixed(v, 6);
    w.put(';');
    std::snprintf(buf, sizeof buf, "%.6f;", v);
    expected += buf;
  }
  ASSERT_TRUE(w.flush());
  ::close(fd);
  EXPECT_EQ(bytesOf(dir / "n.txt"), expected);

  const int full = ::open("/dev/full", O_WRONLY);
  TextWriter f(full, 64);
  f.put(std::string(1000, 'x'));
  EXPECT_TRUE(f.failed());
  EXPECT_FALSE(f.flush());
  EXPECT_EQ(f.problem(), "No space left on device");
  ::close(full);
}

}  // namespace
