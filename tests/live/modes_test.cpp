// The continuous mode, the devices and the capture at other rates, on the offscreen window
// system with the real shell, analysis and drawing. CTest runs each suite in its set-up:
//   FedContinuous.*   under zarvo-feeder with the speech recording
//   DeviceGone.*      under zarvo-feeder --close-after or --stall-after (the device goes
//                     away mid-run, or stops delivering with a read that never returns)
//   NoDevice.*        with alsa-nodevice.conf
//   FedRate.*         under zarvo-feeder --rate 44100 with a 44100 Hz sine
// ZARVO_MESH_DIR may name the real mesh; without it the synthetic head is used.
#include "live/modes.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audiofile/AudioReader.h"
#include "live/capture.h"
#include "live/devices.h"
#include "live/session.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "shell/ablak_beall.h"
#include "shell/parancssor.h"
#include "tests/live/sink_log.h"
#include "tests/render/support.h"
#include "tests/shell/program_window.h"

namespace {

namespace fs = std::filesystem;

bool fed() { return std::getenv("ALSA_CONFIG_PATH") != nullptr; }

// What each frame of a mode saw, taken in the frame observer.
struct Seen {
  live::ModeFrame frame;
  int winW;
  int nezet;
  std::array<double, 16> view;  // model-view as drawn
  bool checked;                 // the mode's menu item
};
std::vector<Seen> g_seen;
// Posted (as the user's input) when the frame with this index has been shown.
struct Act {
  int at;
  UINT message;
  WPARAM wParam;
};
std::vector<Act> g_acts;

bool itemChecked(UINT id) {
  for (const auto& top : offscreen::menu_bar(hWnd))
    for (const auto& item : top.popup)
      if (item.id == id) return (item.flags & MF_CHECKED) != 0;
  return false;
}

void observe(const live::ModeFrame& f) {
  Seen s{f, winW, nezetselect, {}, itemChecked(kFolyamatosParancs)};
  glGetDoublev(GL_MODELVIEW_MATRIX, s.view.data());
  g_seen.push_back(s);
  for (const Act& a : g_acts) {
    if (a.at != f.index) continue;
    if (a.message == WM_SIZE)
      offscreen::resize_queued(hWnd, static_cast<int>(a.wParam), static_cast<int>(a.wParam) - 100);
    else
      PostMessageA(hWnd, a.message, a.wParam, 1);
  }
}

class Mode : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(support::open_program_window(dir.path(), std::getenv("ZARVO_MESH_DIR"), &instance),
              nullptr);
    g_seen.clear();
    g_acts.clear();
    live::modeFrameShown = observe;
  }
  void TearDown() override { live::modeFrameShown = nullptr; }

  static int boxesStartingWith(const std::string& text) {
    int n = 0;
    for (const auto& b : offscreen::message_boxes()) n += b.text.rfind(text, 0) == 0;
    return n;
  }

  support::TempDir dir;
  HINSTANCE instance = nullptr;
};

// Rotation part of a model-view matrix.
bool sameTurn(const std::array<double, 16>& a, const std::array<double, 16>& b) {
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r)
      if (std::abs(a[c * 4 + r] - b[c * 4 + r]) > 1e-9) return false;
  return true;
}

TEST_F(Mode, FedContinuousFramesFollowWindowsAndTheWindowIsServedBetweenThem) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder";
  // At frame 40 the user resizes, picks the wire mesh, turns the head; at 300 (3.2 s of
  // speech) presses Space.
  g_acts = {{40, WM_SIZE, 500},
            {40, WM_COMMAND, 9005},
            {40, WM_KEYDOWN, VK_NUMPAD4},
            {300, WM_KEYDOWN, VK_SPACE}};
  SendMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 1);

  ASSERT_GE(g_seen.size(), 301u);
  EXPECT_LE(g_seen.size(), 302u) << "Space ends the mode before the next window";
  EXPECT_EQ(live::lastMode.windows, static_cast<int>(g_seen.size()));
  EXPECT_EQ(live::lastMode.skippedWindows, 0);
  EXPECT_EQ(live::lastMode.ended, "");
  for (std::size_t i = 0; i < g_seen.size(); ++i) {
    ASSERT_EQ(g_seen[i].frame.index, static_cast<int>(i));
    ASSERT_EQ(g_seen[i].frame.end, 1024 + 512 * static_cast<int64_t>(i))
        << "every window, in order";
    ASSERT_TRUE(g_seen[i].checked) << i;
  }
  EXPECT_FALSE(itemChecked(kFolyamatosParancs));
  // Served before the very next frame: the new size, the wire mesh, the turn.
  EXPECT_EQ(g_seen[40].winW, 576);
  EXPECT_EQ(g_seen[41].winW, 400);
  EXPECT_EQ(g_seen[40].nezet, 2);
  EXPECT_EQ(g_seen[41].nezet, 1);
  EXPECT_TRUE(sameTurn(g_seen[10].view, g_seen[40].view)) << "the mode does not re-frame";
  EXPECT_FALSE(sameTurn(g_seen[40].view, g_seen[41].view)) << "the turn shows at once";
  EXPECT_TRUE(sameTurn(g_seen[41].view, g_seen[300].view)) << "and stays for the mode";
  EXPECT_TRUE(IsWindow(hWnd));
  EXPECT_TRUE(offscreen::message_boxes().empty());
}

TEST_F(Mode, FedContinuousEscapeStopsTheModeAndASecondOneTheProgram) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder";
  // As `zarvo --live`: the program from its start.
  DestroyWindow(hWnd);
  instance = offscreen::reset();
  support::reset_viewer();
  g_acts = {{20, WM_KEYDOWN, VK_ESCAPE}, {20, WM_KEYDOWN, VK_ESCAPE}};
  inditoParancs = kFolyamatosParancs;
  EXPECT_EQ(WinMain(instance, nullptr, nullptr, SW_SHOWNORMAL), 0);
  inditoParancs = 0;
  EXPECT_EQ(g_seen.size(), 21u);
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_FALSE(offscreen::starved());
}

TEST_F(Mode, FedContinuousCloseBoxDuringTheModeEndsTheProgram) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder";
  DestroyWindow(hWnd);
  instance = offscreen::reset();
  support::reset_viewer();
  g_acts = {{10, WM_CLOSE, 0}};
  inditoParancs = kFolyamatosParancs;
  EXPECT_EQ(WinMain(instance, nullptr, nullptr, SW_SHOWNORMAL), 0);
  inditoParancs = 0;
  EXPECT_EQ(g_seen.size(), 11u);
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_FALSE(eloModFut());
}

TEST_F(Mode, FedContinuousDevicesUnderTheFedConfiguration) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder";
  std::string problem;
  const std::vector<live::Device> devices = live::listDevices(&problem);
  ASSERT_EQ(devices.size(), 1u) << problem;
  EXPECT_EQ(devices[0].name, "default");
  EXPECT_GT(devices[0].inputs, 0);
  struct Case {
    const char* asked;
    int index;
  };
  for (const Case& c :
       {Case{"0", 0}, Case{"DEF", 0}, Case{"default", 0}, Case{"1", -1}, Case{"usb", -1}}) {
    problem.clear();
    EXPECT_EQ(live::findDevice(devices, c.asked, true, &problem), c.index) << c.asked;
    if (c.index < 0) {
      EXPECT_NE(problem.find("0 \"default\""), std::string::npos) << problem;
    }
  }
}

TEST_F(Mode, ZoomClicksDuringAModeKeepLaterFramesInsideTheZoomBounds) {
  live::Session session(hWnd, 0);
  session.frameStart();
  int faps[76] = {};
  session.frame(faps, -100, 0);  // a pause: FAPzoom gives 0.53
  d = kDmin;                     // the user clicked in to the limit meanwhile
  session.frame(faps, 160, 0);   // a loud window is closer by 0.026 than the pause
  EXPECT_EQ(d, kDmin);
  d = kDmax;
  session.frame(faps, -200, 0);
  EXPECT_EQ(d, kDmax);
}

TEST(Devices, NamesMatchCaseInsensitivelyAWholeNameWinsAmbiguityIsRefused) {
  const std::vector<live::Device> devices = {
      {0, "HDA Intel PCH: ALC3246 Analog (hw:0,0)", "ALSA", 2, 2, 44100, false, false},
      {1, "HDA Intel PCH: HDMI 0 (hw:0,3)", "ALSA", 0, 8, 44100, false, false},
      {2, "USB Audio: Mic (hw:1,0)", "ALSA", 1, 0, 48000, false, false},
      {3, "pulse", "ALSA", 32, 32, 44100, false, false},
      {4, "pulse monitor", "ALSA", 2, 0, 44100, false, false},
  };
  struct Case {
    const char* asked;
    bool input;
    int index;
    const char* inProblem;
  };
  const Case cases[] = {
      {"usb", true, 2, ""},
      {"hdmi", false, 1, ""},
      {"HDMI", true, -1, "no input device matches \"HDMI\""},
      {"pulse", true, 3, ""},  // a whole name beats "pulse monitor"
      {"puls", true, -1, "matches more than one input device: 3 \"pulse\", 4 \"pulse monitor\""},
      {"intel", true, 0, ""},
      {"intel", false, -1, "more than one output device"},
      {"2", false, -1, "no output device 2"},
      {"2", true, 2, ""}};
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_EQ(live::findDevice(devices, c.asked, c.input, &problem), c.index) << c.asked;
    EXPECT_NE(problem.find(c.inProblem), std::string::npos) << c.asked << ": " << problem;
    EXPECT_EQ(problem.find('\n'), std::string::npos);
  }
}

TEST_F(Mode, DeviceGoneEndsTheModeWithOneMessage) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder --close-after";
  SendMessageA(hWnd, WM_COMMAND, kFolyamatosParancs, 0);
  EXPECT_GT(g_seen.size(), 50u) << "it ran before the device went";
  EXPECT_NE(live::lastMode.ended, "");
  EXPECT_EQ(offscreen::message_boxes().size(), 1u);
  EXPECT_EQ(boxesStartingWith("Az audiobemenet megszakadt: a hangbemeneti eszköz megszűnt (") +
                boxesStartingWith("Az audiobemenet megszakadt: az eszköz nem ad több hangot."),
            1);
  EXPECT_FALSE(itemChecked(kFolyamatosParancs));
  EXPECT_TRUE(IsWindow(hWnd));  // the program carries on
}

TEST_F(Mode, NoDeviceGivesAMessageAndNoMode) {
  SendMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(g_seen.empty());
  ASSERT_EQ(offscreen::message_boxes().size(), 1u);
  EXPECT_EQ(offscreen::message_boxes()[0].text,
            "Az audiobemenet nem nyitható meg: nincs hangbemeneti eszköz.");
  EXPECT_EQ(offscreen::message_boxes()[0].caption, "Folyamatos élő mód");
  EXPECT_FALSE(eloModFut());
  EXPECT_FALSE(itemChecked(kFolyamatosParancs));
}

TEST(FedRate, ADeviceAt44100IsResampledTo48000) {
  if (!fed()) GTEST_SKIP() << "run under zarvo-feeder --rate 44100";
  // The feeder plays a 1 kHz sine of amplitude 0.5 at 44100 Hz; opened at that rate, the
  // windows must hold the same tone at 48000 Hz: 1024 samples span 21.33 periods.
  live::Capture capture(paNoDevice, 44100);
  ASSERT_TRUE(capture.ok()) << capture.problem();
  EXPECT_TRUE(capture.resampling());
  EXPECT_EQ(capture.deviceRate(), 44100);
  ASSERT_EQ(capture.start(), paNoError);
  std::vector<double> w(1024);
  int windows = 0, checked = 0;
  for (int wait = 0; wait < 5000 && windows < 150; ++wait) {
    if (!capture.isNew()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    capture.handleNew(w.data());
    if (++windows < 20) continue;  // past the resampler's start and the feeder's first chunks
    double energy = 0;
    int crossings = 0;
    for (int i = 0; i < 1024; ++i) {
      energy += w[i] * w[i];
      if (i > 0 && (w[i - 1] < 0) != (w[i] < 0)) ++crossings;
    }
    EXPECT_NEAR(std::sqrt(energy / 1024), 0.5 / std::sqrt(2.0), 0.01) << windows;
    EXPECT_NEAR(crossings, 2 * 1000.0 * 1024 / 48000, 1.5) << windows;  // 44100 would give 46
    ++checked;
  }
  EXPECT_GE(checked, 100);
  EXPECT_EQ(capture.skippedWindows(), 0);
}

}  // namespace

// ---- playback ----

namespace {

std::vector<float> readFloats(const std::string& path) {
  std::vector<float> v;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return v;
  float buf[4096];
  size_t n;
  while ((n = std::fread(buf, sizeof(float), 4096, f)) > 0) v.insert(v.end(), buf, buf + n);
  std::fclose(f);
  return v;
}

// Every sample the project's reader gives for the file: what must be heard.
std::vector<float> decoded(const std::string& path) {
  std::string problem;
  auto reader = AudioReader::open(path, AudioReader::Options{}, &problem);
  std::vector<float> out, block(4096);
  long n;
  while (reader && (n = reader->read(block.data(), 4096)) > 0)
    out.insert(out.end(), block.begin(), block.begin() + n);
  return out;
}

}  // namespace

TEST_F(Mode, FedPlaybackPlaysTheFilesSamplesWithTheFramesInStep) {
  const char* file = std::getenv("ZARVO_PLAY_FILE");
  const char* sink = std::getenv("ZARVO_SINK_FILE");
  const char* sinkLog = std::getenv("ZARVO_SINK_LOG");
  if (file == nullptr || sink == nullptr || sinkLog == nullptr) GTEST_SKIP() << "run by ctest";
  const std::vector<float> want = decoded(file);  // 22050 Hz stereo in the file: resampled
  ASSERT_GT(want.size(), 48000u);
  lejatszas(hWnd, file);
  EXPECT_TRUE(offscreen::message_boxes().empty()) << "no message for a good file";
  EXPECT_FALSE(eloModFut());

  // What the device played: silence while the stream started, then the file bit for bit,
  // then silence. The last chunks reach the device's reader a little after the end.
  std::vector<float> played;
  for (int i = 0; i < 200 && played.size() < want.size() + 1024; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    played = readFloats(sink);
  }
  std::size_t lead = 0;
  while (lead < played.size() && played[lead] == 0.0f && want[0] != 0.0f) ++lead;
  ASSERT_GE(played.size(), lead + want.size());
  std::size_t differ = 0;
  for (std::size_t i = 0; i < want.size(); ++i) differ += played[lead + i] != want[i];
  EXPECT_EQ(differ, 0u) << "of " << want.size() << " samples, after " << lead << " zeros";
  for (std::size_t i = lead + want.size(); i < played.size(); ++i) ASSERT_EQ(played[i], 0.0f);

  // Every window analysed, the frames in the order of their windows.
  const int windows = static_cast<int>((want.size() - 1024) / 512 + 1);
  EXPECT_EQ(live::lastMode.windows + live::lastMode.skippedWindows, windows);
  EXPECT_GT(live::lastMode.windows, windows / 2);
  for (std::size_t i = 1; i < g_seen.size(); ++i)
    ASSERT_GT(g_seen[i].frame.end, g_seen[i - 1].frame.end);
  // In step: when a frame was shown, the device was playing its window's last sample. The
  // sample being played at a moment comes from the device's log (one chunk of 512 a period);
  // the median over all frames must lie within one output buffer after that sample and, before
  // it, at most the frames the device's socket holds unplayed (2048) and a buffer.
  const std::vector<SinkChunk> chunks = readSinkLog(sinkLog);
  ASSERT_FALSE(chunks.empty());
  std::vector<double> offsets;  // samples heard beyond the window's last one
  for (const Seen& s : g_seen) {
    const std::optional<double> heard = sampleHeardAt(chunks, s.frame.shownNs);
    if (heard) offsets.push_back(*heard - static_cast<double>(lead + s.frame.end - 1));
  }
  ASSERT_GT(offsets.size(), g_seen.size() / 2);
  std::sort(offsets.begin(), offsets.end());
  const double median = offsets[offsets.size() / 2];
  std::printf("picture - sound: median %.1f ms (5th percentile %.1f, 95th %.1f; %zu frames)\n",
              median / 48.0, offsets[offsets.size() / 20] / 48.0,
              offsets[offsets.size() * 19 / 20] / 48.0, offsets.size());
  EXPECT_GE(median, -2048 - 512);
  EXPECT_LE(median, 512);
}

TEST_F(Mode, FedPlaybackStopsOnSpaceAndEscape) {
  const char* file = std::getenv("ZARVO_PLAY_FILE");
  if (file == nullptr) GTEST_SKIP() << "run by ctest";
  for (WPARAM key : {VK_SPACE, VK_ESCAPE}) {
    g_seen.clear();
    g_acts = {{30, WM_KEYDOWN, key}};
    lejatszas(hWnd, file);
    EXPECT_EQ(g_seen.size(), 31u) << key;
    EXPECT_FALSE(eloModFut());
    EXPECT_TRUE(IsWindow(hWnd)) << "Escape stops the playback only";
  }
}

TEST_F(Mode, FedPlaybackStalledSpeakerEndsItWithOneMessage) {
  const char* file = std::getenv("ZARVO_PLAY_FILE");
  if (file == nullptr) GTEST_SKIP() << "run by ctest";
  lejatszas(hWnd, file);
  EXPECT_GT(g_seen.size(), 50u) << "it played before the speaker stalled";
  ASSERT_EQ(offscreen::message_boxes().size(), 1u);
  EXPECT_EQ(offscreen::message_boxes()[0].text,
            "A lejátszás megszakadt: a hangkimenet nem veszi át a hangot.");
  EXPECT_FALSE(eloModFut());
}

TEST_F(Mode, PlaybackOfAFileThatCannotBeReadSaysWhichAndWhy) {
  ::testing::internal::CaptureStderr();
  lejatszas(hWnd, "nincs-ilyen.wav");
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("zarvo: nincs-ilyen.wav: ", 0), 0u) << err;  // a line before the box
  ASSERT_EQ(offscreen::message_boxes().size(), 1u);
  const auto& box = offscreen::message_boxes()[0];
  EXPECT_EQ(box.caption, "Lejátszás");
  EXPECT_EQ(box.text.rfind("A fájl nem játszható le:\nnincs-ilyen.wav\n", 0), 0u) << box.text;
  EXPECT_GT(box.text.size(), std::string("A fájl nem játszható le:\nnincs-ilyen.wav\n").size());
  EXPECT_TRUE(g_seen.empty());
}

TEST_F(Mode, NoDevicePlaybackRunsSilentlyAtRealTimePaceAndSaysSoOnce) {
  const char* file = std::getenv("ZARVO_PLAY_FILE");
  if (file == nullptr) GTEST_SKIP() << "run by ctest";
  const std::vector<float> want = decoded(file);
  const int windows = static_cast<int>((want.size() - 1024) / 512 + 1);
  for (int run = 0; run < 2; ++run) {
    g_seen.clear();
    const auto t0 = std::chrono::steady_clock::now();
    lejatszas(hWnd, file);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(live::lastMode.windows + live::lastMode.skippedWindows, windows) << run;
    // The whole file is not read at once: its early windows are shown, not overrun.
    EXPECT_LT(live::lastMode.skippedWindows, windows / 4) << run;
    // Paced by the clock: never faster than the sound would have played.
    EXPECT_GE(seconds, (want.size() - 512) / 48000.0) << run;
  }
  EXPECT_EQ(boxesStartingWith("Nincs hangkimenet ("), 1);
  EXPECT_EQ(offscreen::message_boxes().size(), 1u);
}
