// zarvo-live-latency: how long the live mode takes from sound to picture. Runs the live
// mode (the real shell, analysis and drawing, on the offscreen window system) over the fed
// capture device and prints, for every frame drawn:
//   callback -> swap   from the audio callback that completed the window to the buffer swap
//                      of its frame (the loop's polling, analysis, deformation and drawing);
//   write -> callback  with --feeder-log (zarvo-feeder --log): from the feeder putting the
//                      window's last chunk into the device to that callback (the device);
// as median and 95th percentile, the frames drawn per second, and the algorithmic delay.
// Run it through tools/live-latency.sh, or by hand:
//   zarvo-feeder --alsa-config tests/speech/alsa-fed.conf --log /tmp/chunks SPEECH.raw
//       -- zarvo-live-latency --feeder-log /tmp/chunks [--runs N] [--mesh DIR]
// --mesh DIR takes vertex.txt and face.txt from DIR; without it the synthetic test head
// (same vertex and triangle counts, so the same drawing work) is used.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "shell/ablak_beall.h"
#include "speech/FAPbeolv.h"
#include "speech/LiveRun.h"
#include "tests/render/support.h"

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 48000.0;
// A frame shows the mean of the shapes of four windows that end 0, 512, 1024 and 1536
// samples before the newest sample; a window's centre lies 512 samples before its end, so
// the audio shown is centred 512 + 768 = 1280 samples (26.67 ms) before the newest sample.
constexpr double kAlgorithmicMs = 1280 / kRate * 1000;

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Sample {
  int run;
  LiveFrame frame;
  int64_t swapNs;
};
std::vector<Sample> g_samples;
int g_run = 0;

void onFrame(const LiveFrame& f) { g_samples.push_back({g_run, f, nowNs()}); }

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

}  // namespace

int main(int argc, char** argv) {
  const char* feederLog = nullptr;
  const char* meshDir = nullptr;
  int runs = 1;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--feeder-log") == 0)
      feederLog = argv[i + 1];
    else if (std::strcmp(argv[i], "--mesh") == 0)
      meshDir = argv[i + 1];
    else if (std::strcmp(argv[i], "--runs") == 0)
      runs = std::max(1, std::atoi(argv[i + 1]));
    else {
      std::fprintf(stderr,
                   "usage: zarvo-live-latency [--feeder-log FILE] [--runs N] [--mesh DIR]\n");
      return 2;
    }
  }
  if (std::getenv("ALSA_CONFIG_PATH") == nullptr) {
    std::fprintf(stderr, "zarvo-live-latency: run it under zarvo-feeder (tools/live-latency.sh)\n");
    return 2;
  }

  support::TempDir dir;  // the program reads the mesh from its working directory
  if (meshDir != nullptr) {
    fs::copy_file(fs::path(meshDir) / "vertex.txt", fs::path(dir.path()) / "vertex.txt");
    fs::copy_file(fs::path(meshDir) / "face.txt", fs::path(dir.path()) / "face.txt");
  } else {
    support::write_sphere(dir.path());
  }
  const HINSTANCE instance = offscreen::reset();
  support::reset_viewer();
  MyRegisterClass(instance);
  if (MyCreateInstance(instance, SW_SHOWNORMAL) == nullptr) return 1;

  liveFrameShown = onFrame;
  double seconds = 0;
  int windows = 0, skipped = 0;
  for (g_run = 0; g_run < runs; ++g_run) {
    rotx = roty = rotz = 0.0;
    const int64_t t0 = nowNs();
    FAPbeolv();
    seconds += (nowNs() - t0) / 1e9;
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
    // Only the first run reads the recording from its first chunk on, so only there
    // the window ending at frame E completes with chunk E/512 - 1 of the file. The
    // first two chunks wait in the socket before capture starts: leave them out.
    const long chunk = s.frame.endFrame / 512 - 1;
    const auto w = chunks.find(chunk);
    if (s.run == 0 && chunk >= 2 && w != chunks.end() &&
        s.frame.framesRecorded == s.frame.endFrame) {
      const double fromDevice = (s.frame.bufferNs - w->second) / 1e6;
      device.push_back(fromDevice);
      total.push_back(kAlgorithmicMs + fromDevice + processing);
    }
  }

  const Stats a = stats(toSwap);
  std::printf("live runs: %d, frames drawn: %d in %.2f s (%.1f frames/s), windows skipped: %d\n",
              runs, windows, seconds, windows / seconds, skipped);
  std::printf(
      "callback -> swap:   median %.2f ms, 95th percentile %.2f ms (%zu frames, %d taken "
      "after a later callback)\n",
      a.median, a.p95, a.n, late);
  if (feederLog != nullptr) {
    const Stats b = stats(device);
    std::printf(
        "write -> callback:  median %.2f ms, 95th percentile %.2f ms (%zu frames of "
        "the first run)\n",
        b.median, b.p95, b.n);
  }
  std::printf(
      "algorithmic delay:  window 1024 samples = 21.33 ms, its centre 10.67 ms before its "
      "newest sample;\n                    smoothing over 4 windows (2560 samples, 53.33 "
      "ms) puts the centre 26.67 ms back\n");
  if (feederLog != nullptr) {
    const Stats t = stats(total);
    std::printf(
        "audio to photon:    median %.1f ms, 95th percentile %.1f ms (algorithmic + "
        "device + processing; display scan-out not included)\n",
        t.median, t.p95);
  }
  return 0;
}
