// Cost of the weight computation (every repaint) and of one region move (22 per analysed
// audio window in the live loop), on a random 347-vertex mesh.
#include <benchmark/benchmark.h>

#include <random>

#include "model/costav.h"
#include "model/mozgat.h"
#include "model/valtozok.h"

namespace {

void random_head() {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-60.0, 60.0);
  for (int i = 0; i < kVertexCount; ++i) {
    hdx[i] = u(gen);
    hdy[i] = u(gen);
    hdz[i] = u(gen);
  }
}

void BM_tavolsag(benchmark::State& state) {
  random_head();
  for (auto _ : state) {
    tavolsag();
    benchmark::DoNotOptimize(h201tav);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_tavolsag);

// The chin region is the largest (40 vertices); moving it back and forth keeps the mesh
// from drifting, so each iteration is two moves and the figure is per move.
void BM_mozgat_201(benchmark::State& state) {
  random_head();
  tavolsag();
  for (auto _ : state) {
    mozgat(201, 0.5, 0, -1, 0);
    mozgat(201, 0.5, 0, 1, 0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_mozgat_201);

}  // namespace
