// The speech pipeline's per-window steps, and one whole window's analysis. The live budget
// per window is 512 samples at 48 kHz, 10.67 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "speech/neuro.h"
#include "speech/pca_reconv.h"

namespace {

// Half a second of a loud, changing two-partial signal: every window takes the full road
// (MFCC, network, ungated reconstruction, smoothing). Short enough to stay in cache like
// the live recorder's ring of 2560 samples.
std::vector<float> speechLike() {
  std::vector<float> s(24000);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = i / 48000.0;
    s[i] = static_cast<float>(0.4 * std::sin(2 * M_PI * 180 * t) *
                                  (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t)) +
                              0.15 * std::sin(2 * M_PI * (800 + 600 * std::sin(2 * M_PI * t)) * t));
  }
  return s;
}

void BM_neuro(benchmark::State& state) {
  double in[16] = {-60.1, 12.5, -3.2, 4.4, -1.9, 0.7, 2.2, -0.4,
                   0.9,   -1.1, 0.3,  0.6, -0.8, 0.1, 0.2, -0.05};
  double out[6];
  for (auto _ : state) {
    benchmark::DoNotOptimize(in);
    neuro(in, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_neuro);

void BM_pca_reconv(benchmark::State& state) {
  double in[6] = {0.54, 0.0085, 0.019, 0.026, -0.005, -0.0054};
  double out[30];
  for (auto _ : state) {
    benchmark::DoNotOptimize(in);
    pca_reconv(in, out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_pca_reconv);

void BM_pixels2FAPs(benchmark::State& state) {
  double zero[6] = {};
  double points[30];
  pca_reconv(zero, points);
  int faps[76];
  for (auto _ : state) {
    benchmark::DoNotOptimize(points);
    pixels2FAPs(points, faps);
    benchmark::DoNotOptimize(faps);
  }
}
BENCHMARK(BM_pixels2FAPs);

void BM_QspRecorder_handleNew(benchmark::State& state) {
  const std::vector<float> s = speechLike();
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder analyser(&rec, 3);
  double out[30];
  for (auto _ : state) {
    // Start over at the end of the recording (one store; history carries on).
    if (!rec.isNew()) rec.readPos = rec.windowsize() - rec.step;
    analyser.handleNew(out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_QspRecorder_handleNew);

// The live loop's analysis of one window: analysis plus the FAP conversion.
void BM_window_to_FAPs(benchmark::State& state) {
  const std::vector<float> s = speechLike();
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder analyser(&rec, 3);
  double out[30];
  int faps[76];
  for (auto _ : state) {
    if (!rec.isNew()) rec.readPos = rec.windowsize() - rec.step;
    analyser.handleNew(out);
    pixels2FAPs(out, faps);
    benchmark::DoNotOptimize(faps);
  }
}
BENCHMARK(BM_window_to_FAPs);

}  // namespace
