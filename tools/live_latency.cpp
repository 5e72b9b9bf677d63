// zarvo-live-latency: how the live modes keep up, measured on the real shell, analysis and
// drawing (offscreen window system) over the fed devices. Three measurements:
//
// --mode designed (default): the designed run, --runs N times. How long it takes from sound
// to picture; for every frame drawn:
//   callback -> swap   from the audio callback that completed the window to the buffer swap
//                      of its frame (the loop's polling, analysis, deformation and drawing);
//   write -> callback  with --feeder-log (zarvo-feeder --log): from the feeder putting the
//                      window's last chunk into the device to that callback (the device);
// as median and 95th percentile, the frames drawn per second, and the algorithmic delay.
// Run it through tools/live-latency.sh, or by hand:
//   zarvo-feeder --alsa-config tests/speech/alsa-fed.conf --log /tmp/chunks SPEECH.raw
//       -- zarvo-live-latency --feeder-log /tmp/chunks [--runs N] [--mesh DIR]
// --mode continuous --seconds S: the continuous mode for S seconds. Frames, windows, skipped
// windows and input overflows, frames per second, the same latency figures (write -> swap
// from the feeder's chunk log), resident memory at the start and the end, and the CPU time
// of the whole process per second of the run; then, for comparison, the CPU that drawing
// the same frames at the same rate costs alone (--draw-seconds, default 20): the eleven
// moves, a frame and the moves back every 10.67 ms, nothing else.
//
// --mode playback --file F --sink-log L: plays F (zarvo-feeder --sink ... --sink-log L) and
// prints how far each frame is from the moment the device played its window's last sample
// (median, 5th and 95th percentile), frames and windows.
//
// --faps articulated|designed: what the continuous mode and the playback draw (default
// articulated, as in the program; the articulated FAPs wait one window of look-ahead).
// --mesh DIR takes vertex.txt and face.txt from DIR; without it the synthetic test head
// (same vertex and triangle counts, so the same drawing work) is used.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "live/modes.h"
#include "live/session.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/rajzolo.h"
#include "shell/ablak_beall.h"
#include "speech/AbsRecorder.h"
#include "speech/FAPbeolv.h"
#include "speech/FAPmozgat.h"
#include "speech/LiveRun.h"
#include "tests/live/sink_log.h"
#include "tests/render/support.h"
#include "tests/shell/program_window.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 48000.0;
// A frame shows the mean of the shapes of four windows that end 0, 512, 1024 and 1536
// samples before the newest sample; a window's centre lies 512 samples before its end, so
// the audio shown is centred 512 + 768 = 1280 samples (26.67 ms) before the newest sample.
constexpr double kAlgorithmicMs = 1280 / kRate * 1000;

struct Sample {
  int run;
  LiveFrame frame;
  int64_t swapNs;
};
std::vector<Sample> g_samples;
int g_run = 0;

void onFrame(const LiveFrame& f) { g_samples.push_back({g_run, f, steadyNs()}); }

// Time the window became complete: the stamp of the callback that delivered its last
// frames, or, when the loop took the window only after later callbacks, that stamp moved
// back by the audio time of the frames delivered since (the device runs in real time).
double completedNs(const LiveFrame& f) {
  return static_cast<double>(f.bufferNs) - (f.framesRecorded - f.endFrame) * 1e9 / kRate;
}

struct Stats {
  double median = 0, p95 = 0;
  size_t n = 0;
};
Stats stats(std::vector<double> ms) {
  Stats s;
  s.n = ms.size();
  if (ms.empty()) return s;
  std::sort(ms.begin(), ms.end());
  auto at = [&](double q) { return ms[static_cast<size_t>(q * (ms.size() - 1) + 0.5)]; };
  s.median = at(0.5);
  s.p95 = at(0.95);
  return s;
}

std::map<long, int64_t> readChunkLog(const char* path) {
  std::map<long, int64_t> chunks;
  std::ifstream in(path);
  long index;
  long long ns;
  while (in >> index >> ns) chunks[index] = ns;
  return chunks;
}

// When the feeder sent the chunk that completes the window ending at sample `end`: chunk
// end/512 - 1 of the file. None for the first two chunks (they wait in the socket before
// capture starts) and for chunks not logged.
std::optional<int64_t> windowSentNs(const std::map<long, int64_t>& chunks, int64_t end) {
  const long chunk = static_cast<long>(end / 512 - 1);
  const auto w = chunks.find(chunk);
  if (chunk < 2 || w == chunks.end()) return std::nullopt;
  return w->second;
}

// Resident memory of this process, kB.
long residentKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
    in.ignore(1 << 16, '\n');
  }
  return -1;
}

// CPU seconds (user + system) of the whole process so far.
double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void printLatency(const std::vector<double>& toSwap, const std::vector<double>& device,
                  const std::vector<double>& total, int late, bool haveLog) {
  const Stats a = stats(toSwap);
  if (!toSwap.empty())
    std::printf(
        "callback -> swap:   median %.2f ms, 95th percentile %.2f ms (%zu frames, %d taken "
        "after a later callback)\n",
        a.median, a.p95, a.n, late);
  if (haveLog) {
    const Stats b = stats(device);
    if (!device.empty())
      std::printf("write -> callback:  median %.2f ms, 95th percentile %.2f ms (%zu frames)\n",
                  b.median, b.p95, b.n);
  }
  std::printf(
      "algorithmic delay:  window 1024 samples = 21.33 ms, its centre 10.67 ms before its "
      "newest sample;\n                    smoothing over 4 windows (2560 samples, 53.33 "
      "ms) puts the centre 26.67 ms back\n");
  if (haveLog) {
    const Stats t = stats(total);
    std::printf(
        "audio to photon:    median %.1f ms, 95th percentile %.1f ms (algorithmic + "
        "device + processing; display scan-out not included; %zu frames)\n",
        t.median, t.p95, t.n);
  }
}

int designed(int runs, const char* feederLog) {
  liveFrameShown = onFrame;
  double seconds = 0;
  int windows = 0, skipped = 0;
  for (g_run = 0; g_run < runs; ++g_run) {
    rotx = roty = rotz = 0.0;
    const int64_t t0 = steadyNs();
    FAPbeolv();
    seconds += (steadyNs() - t0) / 1e9;
    windows += lastLiveRun.windows;
    skipped += lastLiveRun.skippedWindows;
  }
  liveFrameShown = nullptr;

  std::vector<double> toSwap, device, total;
  int late = 0;
  const std::map<long, int64_t> chunks =
      feederLog != nullptr ? readChunkLog(feederLog) : std::map<long, int64_t>{};
  for (const Sample& s : g_samples) {
    const double processing = (s.swapNs - completedNs(s.frame)) / 1e6;
    toSwap.push_back(processing);
    if (s.frame.framesRecorded != s.frame.endFrame) ++late;
    // Only the first run reads the recording from its first chunk on, so only there do
    // window ends count samples of the file.
    const std::optional<int64_t> sent = windowSentNs(chunks, s.frame.endFrame);
    if (s.run == 0 && sent && s.frame.framesRecorded == s.frame.endFrame) {
      const double fromDevice = (s.frame.bufferNs - *sent) / 1e6;
      device.push_back(fromDevice);
      total.push_back(kAlgorithmicMs + fromDevice + processing);
    }
  }
  std::printf("live runs: %d, frames drawn: %d in %.2f s (%.1f frames/s), windows skipped: %d\n",
              runs, windows, seconds, windows / seconds, skipped);
  printLatency(toSwap, device, total, late, feederLog != nullptr);
  return 0;
}

// ---- continuous mode ----

// Filled in place (allocated and touched before the run, so it adds nothing to the memory
// growth measured).
std::vector<live::ModeFrame> g_modeFrames;
std::size_t g_modeCount = 0;
int64_t g_stopAtNs = 0;
long g_rssAfterStartKb = -1, g_rssAfterMinuteKb = -1;

void keepModeFrame(const live::ModeFrame& f) {
  if (g_modeCount < g_modeFrames.size()) g_modeFrames[g_modeCount++] = f;
}

void onModeFrame(const live::ModeFrame& f) {
  keepModeFrame(f);
  if (f.index == 94 * 5) g_rssAfterStartKb = residentKb();    // started after 5 s
  if (f.index == 94 * 60) g_rssAfterMinuteKb = residentKb();  // the heap settled after a minute
  if (steadyNs() >= g_stopAtNs) eloModLeallit();
}

int continuousMode(double seconds, double drawSeconds, const char* feederLog) {
  g_modeFrames.assign(static_cast<std::size_t>(seconds * 100) + 1000, live::ModeFrame{});
  live::modeFrameShown = onModeFrame;
  const long rssBefore = residentKb();
  const double cpu0 = cpuSeconds();
  const int64_t t0 = steadyNs();
  g_stopAtNs = t0 + static_cast<int64_t>(seconds * 1e9);
  SendMessageA(hWnd, WM_KEYDOWN, VK_SPACE, 0);
  const double wall = (steadyNs() - t0) / 1e9;
  const double cpu = cpuSeconds() - cpu0;
  const long rssAfter = residentKb();
  live::modeFrameShown = nullptr;
  g_modeFrames.resize(g_modeCount);
  const live::ModeFigures f = live::lastMode;
  if (!f.ended.empty()) std::printf("the mode ended by itself: %s\n", f.ended.c_str());

  // Latency: from the feeder's sending of a window's last chunk to its frame.
  std::vector<double> total;
  const std::map<long, int64_t> chunks =
      feederLog != nullptr ? readChunkLog(feederLog) : std::map<long, int64_t>{};
  int ordered = 0;
  for (std::size_t i = 0; i < g_modeFrames.size(); ++i) {
    const live::ModeFrame& m = g_modeFrames[i];
    if (i > 0 && m.end == g_modeFrames[i - 1].end + 512) ++ordered;
    if (i > 0 && m.end != g_modeFrames[i - 1].end + 512)
      std::printf("windows lost before frame %zu (%.1f s into the run): %lld\n", i,
                  (m.shownNs - t0) / 1e9,
                  static_cast<long long>((m.end - g_modeFrames[i - 1].end) / 512 - 1));
    if (const std::optional<int64_t> sent = windowSentNs(chunks, m.end))
      total.push_back(kAlgorithmicMs + (m.shownNs - *sent) / 1e6);
  }
  // The device's own hiccups: the longest the feeder took between two chunks.
  double feederGap = 0;
  for (auto it = chunks.begin(); it != chunks.end() && std::next(it) != chunks.end(); ++it)
    feederGap = std::max(feederGap, (std::next(it)->second - it->second) / 1e6);
  if (!chunks.empty())
    std::printf("the fed device's longest pause between chunks: %.1f ms (10.7 ms is on time)\n",
                feederGap);
  std::printf(
      "continuous mode: %.1f s, %d frames for %d windows (%d in strict order), %d windows "
      "skipped, %d input overflows, %.1f frames/s, %d messages served, %d waits\n",
      wall, static_cast<int>(g_modeFrames.size()), f.windows + f.skippedWindows, ordered + 1,
      f.skippedWindows, f.inputOverflows, g_modeFrames.size() / wall, f.messages, f.waits);
  const Stats t = stats(total);
  if (!total.empty())
    std::printf(
        "audio to photon:    median %.1f ms, 95th percentile %.1f ms (algorithmic + device + "
        "processing, %zu frames)\n",
        t.median, t.p95, t.n);
  std::printf(
      "resident memory:    %ld kB before, %ld kB after 5 s, %ld kB after a minute, %ld kB at "
      "the end (%+ld kB after the first 5 s, %+ld kB after the first minute)\n",
      rssBefore, g_rssAfterStartKb, g_rssAfterMinuteKb, rssAfter,
      g_rssAfterStartKb >= 0 ? rssAfter - g_rssAfterStartKb : 0,
      g_rssAfterMinuteKb >= 0 ? rssAfter - g_rssAfterMinuteKb : 0);
  std::printf("CPU, whole process: %.1f %% of one core (%.2f s over %.1f s)\n", 100 * cpu / wall,
              cpu, wall);

  // The same frames drawn at the same pace and nothing else.
  if (drawSeconds > 0) {
    int faps[76] = {};
    faps[3] = 300;
    faps[51] = -80;
    faps[52] = 200;
    const double dcpu0 = cpuSeconds();
    const int64_t d0 = steadyNs();
    int64_t next = d0;
    int frames = 0;
    while (steadyNs() - d0 < static_cast<int64_t>(drawSeconds * 1e9)) {
      faps[3] = (frames % 20) * 30;
      rotx = roty = rotz = 0.0;
      FAPmozgat(faps, 1);
      modellnezet();
      FAPmozgat(faps, -1);
      ++frames;
      next += 10'666'667;
      const int64_t left = next - steadyNs();
      if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
    }
    const double dwall = (steadyNs() - d0) / 1e9;
    const double dcpu = cpuSeconds() - dcpu0;
    std::printf("CPU, drawing alone: %.1f %% of one core (%d frames, %.1f frames/s)\n",
                100 * dcpu / dwall, frames, frames / dwall);
    std::printf("ratio:              %.2f\n", (cpu / wall) / (dcpu / dwall));
  }
  return 0;
}

// ---- playback ----

int playbackMode(const char* file, const char* sinkLog) {
  g_modeFrames.assign(100000, live::ModeFrame{});
  live::modeFrameShown = keepModeFrame;
  const int64_t t0 = steadyNs();
  lejatszas(hWnd, file);
  const double wall = (steadyNs() - t0) / 1e9;
  live::modeFrameShown = nullptr;
  g_modeFrames.resize(g_modeCount);
  const live::ModeFigures f = live::lastMode;
  std::printf("playback: %.1f s, %d frames for %d windows (%d not drawn: late), %d underruns\n",
              wall, f.windows, f.windows + f.skippedWindows, f.skippedWindows, f.inputOverflows);
  if (sinkLog == nullptr) return 0;
  // The device's log: chunk of 512 samples starting at `first`, played from `ns` on. The
  // stream began with silence (the device's first buffers): the file starts at the first
  // chunk logged after that, found as the first nonzero sample.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<SinkChunk> chunks = readSinkLog(sinkLog);
  const char* sink = std::getenv("ZARVO_SINK_FILE");
  long long lead = 0;
  if (sink != nullptr) {
    std::ifstream in(sink, std::ios::binary);
    float x;
    while (in.read(reinterpret_cast<char*>(&x), sizeof x) && x == 0.0f) ++lead;
  }
  std::vector<double> ms;
  for (const live::ModeFrame& m : g_modeFrames) {
    const std::optional<double> heard = sampleHeardAt(chunks, m.shownNs);
    if (heard) ms.push_back((*heard - static_cast<double>(lead + m.end - 1)) / kRate * 1000);
  }
  std::sort(ms.begin(), ms.end());
  if (!ms.empty())
    std::printf(
        "picture vs sound:   median %+.1f ms, 5th percentile %+.1f, 95th %+.1f (%zu frames; "
        "negative: the picture came first; the file began after %lld samples of silence)\n",
        ms[ms.size() / 2], ms[ms.size() / 20], ms[ms.size() * 19 / 20], ms.size(), lead);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* feederLog = nullptr;
  const char* meshDir = nullptr;
  const char* file = nullptr;
  const char* sinkLog = nullptr;
  std::string mode = "designed";
  int runs = 1;
  double seconds = 30, drawSeconds = 20;
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("zarvo-live-latency " ZARVO_VERSION);
    return 0;
  }
  const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    const char* val = argv[i + 1];
    if (opt == "--feeder-log")
      feederLog = val;
    else if (opt == "--mesh")
      meshDir = val;
    else if (opt == "--runs")
      runs = std::max(1, std::atoi(val));
    else if (opt == "--mode")
      mode = val;
    else if (opt == "--seconds")
      seconds = std::atof(val);
    else if (opt == "--draw-seconds")
      drawSeconds = std::atof(val);
    else if (opt == "--file")
      file = val;
    else if (opt == "--sink-log")
      sinkLog = val;
    else if (opt == "--faps" &&
             (std::strcmp(val, "designed") == 0 || std::strcmp(val, "articulated") == 0))
      artikulacio = std::strcmp(val, "articulated") == 0;
    else
      mode = "?";
  }
  if (help || (mode != "designed" && mode != "continuous" && mode != "playback") ||
      (mode == "playback" && file == nullptr)) {
    std::fprintf(help ? stdout : stderr,
                 "usage: zarvo-live-latency [--mode designed|continuous|playback] [--feeder-log "
                 "FILE] [--runs N] [--seconds S] [--draw-seconds S] [--file F --sink-log L] "
                 "[--faps articulated|designed] [--mesh DIR]\n");
    return help ? 0 : 2;
  }
  if (std::getenv("ALSA_CONFIG_PATH") == nullptr) {
    std::fprintf(stderr, "zarvo-live-latency: run it under zarvo-feeder (tools/live-latency.sh)\n");
    return 2;
  }
  const std::string absFile = file != nullptr ? fs::absolute(file).string() : "";

  support::TempDir dir;  // the program reads the mesh from its working directory
  HINSTANCE instance = nullptr;
  if (support::open_program_window(dir.path(), meshDir, &instance) == nullptr) return 1;
  platform::set_tracing(false);  // the call list would grow with every frame
  if (mode == "continuous") return continuousMode(seconds, drawSeconds, feederLog);
  if (mode == "playback") return playbackMode(absFile.c_str(), sinkLog);
  return designed(runs, feederLog);
}
