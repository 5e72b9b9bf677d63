// The lip sync's cost per window (recogniser, articulation and vocabularies), on top of the
// speech analysis. Budget: 5 us a window on one core, nothing allocated.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "lipsync/LipSync.h"

namespace {

// Windows of a changing, speech-like input: levels from a pause to a loud vowel, and
// coefficients that move, so every part of the network and smoothing works.
std::vector<lipsync::WindowInput> windows(int n) {
  std::vector<lipsync::WindowInput> out(n);
  for (int i = 0; i < n; ++i) {
    lipsync::WindowInput& w = out[i];
    w = {};
    w.index = i;
    w.level = 60.0 + 60.0 * std::fabs(std::sin(0.07 * i));
    w.vol = static_cast<int>(w.level);
    for (int k = 0; k < 16; ++k) w.cepstra[k] = 0.5 * std::sin(0.13 * i * (k + 1));
    const int faps[11][2] = {{3, 300}, {51, 10},   {52, -300}, {53, 40},   {54, 20},  {55, 30},
                             {56, 40}, {57, -250}, {58, -270}, {59, -100}, {60, -100}};
    for (const auto& f : faps) w.faps[f[0]] = static_cast<int>(f[1] * std::sin(0.05 * i));
  }
  return out;
}

void BM_lipsync_window(benchmark::State& state) {
  const std::vector<lipsync::WindowInput> in = windows(1024);
  lipsync::LipSync sync(state.range(0) != 0);
  lipsync::Frame frame;
  size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(sync.push(in[k], frame));
    benchmark::DoNotOptimize(frame);
    if (++k == in.size()) k = 0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_lipsync_window)->Arg(1)->Arg(0)->ArgName("articulate");

}  // namespace
