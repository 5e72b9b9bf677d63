// The live mode end to end on the offscreen window system: the real shell, window, mesh,
// analysis and drawing, with the microphone replaced by the fed ALSA device.
//   FedLive.*     under zarvo-feeder; ZARVO_FEED_FILE names what the feeder plays ("-" for
//                 silence only).
//   NoDeviceLive.* with alsa-nodevice.conf.
//   LiveLog.*     spawns this program again to see log.txt across program starts.
// ZARVO_MESH_DIR may name a directory with the real vertex.txt and face.txt; without them
// the synthetic head of tests/render/support.h is used.
#include "speech/FAPbeolv.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "model/costav.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "shell/ablak_beall.h"
#include "speech/FAPmozgat.h"
#include "speech/LiveRun.h"
#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "tests/render/support.h"
#include "tests/shell/program_window.h"

namespace {

namespace fs = std::filesystem;

// flog was opened on log.txt in the directory the program started in.
const fs::path g_startDir = fs::current_path();

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<float> readRaw(const char* path) {
  std::vector<float> v;
  if (std::string(path) == "-") return v;
  std::ifstream in(path, std::ios::binary);
  float x;
  while (in.read(reinterpret_cast<char*>(&x), sizeof x)) v.push_back(x);
  return v;
}

// The zoom the live mode must leave for a window of volume v: (200 - v) / 10000 + 0.5,
// with v held to [-200, 200].
double expectedZoom(int v) {
  v = std::clamp(v, -200, 200);
  return (200 - v) / 10000.0 + 0.5;
}

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;  // inclusive, rows from the top
  void add(int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  bool contains(int x, int y, int margin) const {
    return x >= x0 - margin && x <= x1 + margin && y >= y0 - margin && y <= y1 + margin;
  }
};

// A frame kept for a pixel comparison after the run.
struct Pose {
  std::array<double, 348> x{}, y{}, z{};
};
Pose currentPose() {
  Pose p;
  std::copy(hdx, hdx + 348, p.x.begin());
  std::copy(hdy, hdy + 348, p.y.begin());
  std::copy(hdz, hdz + 348, p.z.begin());
  return p;
}
void setPose(const Pose& p) {
  std::copy(p.x.begin(), p.x.end(), hdx);
  std::copy(p.y.begin(), p.y.end(), hdy);
  std::copy(p.z.begin(), p.z.end(), hdz);
}

struct Shot {
  LiveFrame frame;
  double maxMove;  // largest vertex displacement, model units
  Box touched;     // screen box of every triangle with a moved vertex, both poses
  Pose pose;       // the mesh as drawn
  offscreen::Image image;
};

struct Observed {
  Pose rest;  // stored positions before the run
  std::array<double, 348>& x = rest.x;
  std::array<double, 348>& y = rest.y;
  std::array<double, 348>& z = rest.z;
  std::vector<LiveFrame> frames;
  std::vector<double> maxMove;
  std::vector<Shot> loud, quiet;
  int quietRun = 0;  // consecutive windows below the gate's silence level
};
Observed* g_obs = nullptr;

// Window coordinates (rows from the top) of a model point under the current matrices.
std::array<int, 2> project(double px, double py, double pz) {
  double mv[16], pr[16];
  int vp[4];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  glGetDoublev(GL_PROJECTION_MATRIX, pr);
  glGetIntegerv(GL_VIEWPORT, vp);
  const double in[4] = {px, py, pz, 1.0};
  double eye[4] = {0, 0, 0, 0}, clip[4] = {0, 0, 0, 0};
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) eye[r] += mv[c * 4 + r] * in[c];
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) clip[r] += pr[c * 4 + r] * eye[c];
  const double nx = clip[0] / clip[3], ny = clip[1] / clip[3];
  const int wx = static_cast<int>(std::floor(vp[0] + (nx + 1) * vp[2] / 2));
  const int wy = static_cast<int>(std::floor(vp[1] + (ny + 1) * vp[3] / 2));
  return {wx, offscreen::front().height - 1 - wy};
}

void observe(const LiveFrame& f) {
  Observed& o = *g_obs;
  std::vector<bool> moved(kVertexCount, false);
  double maxMove = 0.0;
  for (int i = 0; i < kVertexCount; ++i) {
    const double m =
        std::max({std::abs(hdx[i] - o.x[i]), std::abs(hdy[i] - o.y[i]), std::abs(hdz[i] - o.z[i])});
    moved[i] = m > 0.0;
    maxMove = std::max(maxMove, m);
  }
  o.frames.push_back(f);
  o.maxMove.push_back(maxMove);
  o.quietRun = f.volume < 50 ? o.quietRun + 1 : 0;

  // Loud windows, and windows after four silent ones (the smoothed shape has settled on
  // the rest shape): keep a few of each with the screen box the deformation can touch.
  const bool loud = f.volume >= 120 && o.loud.size() < 3;
  const bool quiet = o.quietRun >= 4 && o.quiet.size() < 3;
  if (!loud && !quiet) return;
  Shot s{f, maxMove, {}, currentPose(), offscreen::front()};
  for (int j = 0; j < kFaceCount; ++j) {
    const int v[3] = {hda[j], hdb[j], hdc[j]};
    if (!moved[v[0]] && !moved[v[1]] && !moved[v[2]]) continue;
    for (int k : v) {
      const auto now = project(hdx[k], hdy[k], hdz[k]);
      const auto before = project(o.x[k], o.y[k], o.z[k]);
      s.touched.add(now[0], now[1]);
      s.touched.add(before[0], before[1]);
    }
  }
  (loud ? o.loud : o.quiet).push_back(std::move(s));
}

// Draws `pose` as a live frame with zoom `zoom` (tilt 20, pan 42), puts the mesh back.
const offscreen::Image& drawPose(const Pose& pose, double zoom) {
  const Pose keep = currentPose();
  setPose(pose);
  d = zoom;
  toly = 42.0;
  rotx = 20.0;
  roty = rotz = 0.0;
  initMapping();
  modellnezet();
  setPose(keep);
  return offscreen::front();
}

// Pixels that differ between two pictures, inside and outside a box.
struct Diff {
  int inside = 0, outside = 0;
};
Diff compare(const offscreen::Image& a, const offscreen::Image& b, const Box& box) {
  Diff diff;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x)
      if (a.rgb(x, y) != b.rgb(x, y)) ++(box.contains(x, y, 1) ? diff.inside : diff.outside);
  return diff;
}

class Live : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(support::open_program_window(dir.path(), std::getenv("ZARVO_MESH_DIR"), &instance),
              nullptr);
    for (int i = 0; i < 348; ++i) {
      obs.x[i] = hdx[i];
      obs.y[i] = hdy[i];
      obs.z[i] = hdz[i];
    }
    g_obs = &obs;
    liveFrameShown = observe;
  }
  void TearDown() override {
    liveFrameShown = nullptr;
    g_obs = nullptr;
  }

  // The live command as the user gives it: Enter in the main window.
  void pressEnter() { SendMessageA(hWnd, WM_KEYDOWN, VK_RETURN, 0); }

  void expectMeshRestored() {
    for (int i = 0; i < 348; ++i) {
      ASSERT_NEAR(hdx[i], obs.x[i], 1e-9 * (1 + std::abs(obs.x[i]))) << i;
      ASSERT_NEAR(hdy[i], obs.y[i], 1e-9 * (1 + std::abs(obs.y[i]))) << i;
      ASSERT_NEAR(hdz[i], obs.z[i], 1e-9 * (1 + std::abs(obs.z[i]))) << i;
    }
  }

  HINSTANCE instance = nullptr;
  support::TempDir dir;
  Observed obs;
};

// Volumes of the windows ending at 1024, 1536, ... of `samples` (zero after its end),
// from the offline analyser: the live run must find the same.
std::vector<int> offlineVolumes(std::vector<float> samples, int windows) {
  samples.resize(static_cast<size_t>(512) * (windows + 2), 0.0f);
  MemoryRecorder source(samples.data(), static_cast<int>(samples.size()));
  QspRecorder analyser(&source, 3);
  std::vector<int> vols;
  double out[30];
  while (static_cast<int>(vols.size()) < windows && analyser.isNew()) {
    analyser.handleNew(out);
    vols.push_back(analyser.volume());
  }
  return vols;
}

TEST_F(Live, FedSpeechDrawsEveryWindowAndLeavesTheHeadAsItWas) {
  const char* feed = std::getenv("ZARVO_FEED_FILE");
  if (feed == nullptr) GTEST_SKIP() << "run under zarvo-feeder (ctest does)";
  const std::vector<float> file = readRaw(feed);
  ASSERT_GT(file.size(), 48000u);
  const int framesBefore = offscreen::frame_count();
  const int sleepsBefore = offscreen::sleep_count();

  pressEnter();

  const LiveRunFigures& run = lastLiveRun;
  const int windows = static_cast<int>(obs.frames.size());
  // One frame per analysed window, nothing else drawn; 1000 polls, 1000 sleeps.
  EXPECT_EQ(run.polls, 1000);
  EXPECT_EQ(offscreen::sleep_count() - sleepsBefore, 1000);
  EXPECT_EQ(run.windows, windows);
  EXPECT_EQ(offscreen::frame_count() - framesBefore, windows);
  EXPECT_GE(windows, 80) << "1000 polls of at least 1 ms cover about 90 windows";

  // The windows are the recording's from its first sample on, in order; any window the
  // loop fell behind on is accounted for as skipped.
  ASSERT_GT(windows, 0);
  EXPECT_EQ(obs.frames[0].window, 0);
  EXPECT_EQ(obs.frames[0].endFrame % 512, 0);
  int skippedSeen = (obs.frames[0].endFrame - 1024) / 512;
  for (int k = 1; k < windows; ++k) {
    const LiveFrame& f = obs.frames[k];
    EXPECT_EQ(f.window, k);
    const int hop = f.endFrame - obs.frames[k - 1].endFrame;
    ASSERT_GT(hop, 0);
    ASSERT_EQ(hop % 512, 0);
    skippedSeen += hop / 512 - 1;
    EXPECT_GE(f.framesRecorded, f.endFrame);
  }
  EXPECT_EQ(skippedSeen, run.skippedWindows);
  std::printf("%d windows drawn, %d skipped\n", windows, run.skippedWindows);

  // Every window's level is the offline analyser's for the same samples.
  const std::vector<int> vols = offlineVolumes(file, (obs.frames.back().endFrame - 512) / 512);
  for (const LiveFrame& f : obs.frames) {
    ASSERT_EQ(f.volume, vols[(f.endFrame - 1024) / 512]) << "window ending at " << f.endFrame;
  }

  // The view the live mode leaves: tilt and pan of the live frames, zoom of the last.
  EXPECT_EQ(rotx, 20.0);
  EXPECT_EQ(toly, 42.0);
  EXPECT_EQ(run.lastVolume, obs.frames.back().volume);
  EXPECT_EQ(d, expectedZoom(obs.frames.back().volume));
  expectMeshRestored();

  // The mouth moves on the picture. Each kept frame is exactly its pose drawn at its
  // zoom, and differs from the undeformed head at that zoom only where deformed
  // triangles lie; a loud window's mouth and a settled pause's mouth differ on the
  // picture at equal zoom, and the loud one moves the mesh much further.
  ASSERT_FALSE(obs.loud.empty());
  ASSERT_FALSE(obs.quiet.empty()) << "the recording has pauses of over four windows";
  for (const std::vector<Shot>* shots : {&obs.loud, &obs.quiet}) {
    for (const Shot& s : *shots) {
      const Diff same = compare(drawPose(s.pose, s.frame.d), s.image, s.touched);
      EXPECT_EQ(same.inside + same.outside, 0) << "redraw of window " << s.frame.window;
      const Diff rest = compare(drawPose(obs.rest, s.frame.d), s.image, s.touched);
      EXPECT_EQ(rest.outside, 0) << "window " << s.frame.window;
      EXPECT_GT(rest.inside, 0) << "window " << s.frame.window;
    }
  }
  double loudMove = 0, quietMove = 0;
  for (const Shot& s : obs.loud) loudMove = std::max(loudMove, s.maxMove);
  for (const Shot& s : obs.quiet) quietMove = std::max(quietMove, s.maxMove);
  const Shot& loud = obs.loud.back();
  const Shot& quiet = obs.quiet.back();
  const Diff mouths = compare(drawPose(quiet.pose, loud.frame.d), loud.image, loud.touched);
  std::printf("largest move: loud %.1f, quiet %.1f model units; %d pixels differ\n", loudMove,
              quietMove, mouths.inside);
  EXPECT_GT(loudMove, 2 * quietMove);
  EXPECT_GT(mouths.inside, 0);
}

TEST_F(Live, FedLevelHundredZoomsTo051) {
  // Every sample 1/32: each window's energy is exactly 1, level 100.
  const char* feed = std::getenv("ZARVO_FEED_FILE");
  if (feed == nullptr) GTEST_SKIP() << "run under zarvo-feeder (ctest does)";
  pressEnter();
  ASSERT_GT(lastLiveRun.windows, 0);
  for (const LiveFrame& f : obs.frames) ASSERT_EQ(f.volume, 100);
  EXPECT_EQ(d, 0.51);
  expectMeshRestored();
}

// The program draws each window's FAPs through liveFapsDrawn (held where the mesh cannot
// take them): every frame shows the pose the hook gave, not the computed one, and that pose
// is what is taken back afterwards.
int g_drawnCalls = 0;
void drawJawOpen(const int*, int* drawn) {
  std::fill(drawn, drawn + 76, 0);
  drawn[3] = 400;
  ++g_drawnCalls;
}

TEST_F(Live, FedLevelHundredDrawsThePoseOfTheHook) {
  const char* feed = std::getenv("ZARVO_FEED_FILE");
  if (feed == nullptr) GTEST_SKIP() << "run under zarvo-feeder (ctest does)";
  int pose[76] = {};
  pose[3] = 400;
  FAPmozgat(pose, 1);
  double want = 0.0;
  for (int i = 0; i < kVertexCount; ++i)
    want = std::max({want, std::abs(hdx[i] - obs.x[i]), std::abs(hdy[i] - obs.y[i]),
                     std::abs(hdz[i] - obs.z[i])});
  FAPmozgat(pose, -1);
  ASSERT_GT(want, 1.0);

  g_drawnCalls = 0;
  liveFapsDrawn = drawJawOpen;
  pressEnter();
  liveFapsDrawn = nullptr;
  ASSERT_GT(lastLiveRun.windows, 0);
  EXPECT_EQ(g_drawnCalls, lastLiveRun.windows);
  for (double m : obs.maxMove) ASSERT_NEAR(m, want, 1e-9);
  expectMeshRestored();
}

TEST_F(Live, FedDigitalSilenceZoomsTo053) {
  // Exact zeros have no finite level; the analysis gives them level -100.
  const char* feed = std::getenv("ZARVO_FEED_FILE");
  if (feed == nullptr) GTEST_SKIP() << "run under zarvo-feeder (ctest does)";
  pressEnter();
  ASSERT_GT(lastLiveRun.windows, 0);
  for (const LiveFrame& f : obs.frames) ASSERT_EQ(f.volume, -100);
  EXPECT_EQ(d, 0.53);
  expectMeshRestored();
}

TEST_F(Live, NoDeviceRunPollsAThousandTimesAndDrawsNothing) {
  const int framesBefore = offscreen::frame_count();
  const int sleepsBefore = offscreen::sleep_count();
  const double dBefore = d;
  pressEnter();
  EXPECT_EQ(lastLiveRun.polls, 1000);
  EXPECT_EQ(lastLiveRun.windows, 0);
  EXPECT_EQ(offscreen::sleep_count() - sleepsBefore, 1000);
  EXPECT_EQ(offscreen::frame_count(), framesBefore);
  EXPECT_TRUE(obs.frames.empty());
  EXPECT_EQ(d, dBefore);
  EXPECT_EQ(toly, 0.0);
  EXPECT_EQ(rotx, 0.0);
  for (int i = 0; i < 348; ++i) {
    ASSERT_EQ(hdx[i], obs.x[i]);
    ASSERT_EQ(hdy[i], obs.y[i]);
    ASSERT_EQ(hdz[i], obs.z[i]);
  }
}

// Run by LiveLog in a child process: a fresh program start in a directory of its own.
TEST_F(Live, LogChildTwoRuns) {
  if (std::getenv("ZARVO_LIVE_LOG_CHILD") == nullptr) GTEST_SKIP() << "child of LiveLog";
  const fs::path log = g_startDir / "log.txt";
  EXPECT_EQ(slurp(log), "") << "emptied when the program started";
  pressEnter();
  EXPECT_EQ(slurp(log), "...");
  pressEnter();
  EXPECT_EQ(slurp(log), "......");
}

TEST(LiveLog, ThreeMarksPerRunEmptiedAtEachProgramStart) {
  if (std::getenv("ZARVO_LIVE_LOG_CHILD") != nullptr) GTEST_SKIP();
  support::TempDir scratch;
  { std::ofstream(fs::path(scratch.path()) / "log.txt") << "left over from before\n"; }
  const std::string self = fs::read_symlink("/proc/self/exe");
  for (int start = 0; start < 2; ++start) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      setenv("ZARVO_LIVE_LOG_CHILD", "1", 1);
      execl(self.c_str(), self.c_str(), "--gtest_filter=Live.LogChildTwoRuns", nullptr);
      _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "program start " << start;
    EXPECT_EQ(slurp(fs::path(scratch.path()) / "log.txt"), "......");
  }
}

}  // namespace
