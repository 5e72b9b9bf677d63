// Cost of one polygon-model frame of the shipped head, flat and smooth-shaded, on the
// offscreen backend (Mesa's software rasteriser): the smooth variant adds the vertex
// normals and three normals per triangle to every frame. The lifelike look (lifelike/look.h)
// subdivides the skin once and adds eyes and teeth; its goal is at most 2.5 flat frames.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "lifelike/look.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "render/rajzolo.h"

namespace {

// The shipped head in a 576-pixel square, as the program shows it at start.
bool open_head() {
  HINSTANCE instance = offscreen::reset();
  if (!offscreen::register_class("bench", DefWindowProcA, instance)) return false;
  winW = winH = 576;
  HWND w = CreateWindowExA(0, "bench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, winW, winH, nullptr,
                           nullptr, instance, nullptr);
  if (!w || !(hGLRC = offscreen::make_current(w, &hDC))) return false;
  if (chdir(ZARVO_DATA_DIR) != 0) return false;
  vertexbeolv();
  facebeolv();
  rotx = roty = rotz = 0.0;
  initMapping();
  return true;
}

void frame(benchmark::State& state, bool smooth) {
  if (!open_head()) {
    state.SkipWithError("no offscreen context or no data/");
    return;
  }
  sima = smooth;
  // SwapBuffers waits for the frame (glFinish); the rasteriser works in threads of its own,
  // so the figure that counts is the wall-clock time.
  for (auto _ : state) poly();
  sima = false;
}

void BM_poly_flat(benchmark::State& state) { frame(state, false); }
void BM_poly_smooth(benchmark::State& state) { frame(state, true); }
void BM_poly_lifelike(benchmark::State& state) {
  if (!open_head()) {
    state.SkipWithError("no offscreen context or no data/");
    return;
  }
  tavolsag();
  lifelike::setOn(true);
  lifelike::meshLoaded();
  for (auto _ : state) poly();
  lifelike::setOn(false);
}
BENCHMARK(BM_poly_flat)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_poly_lifelike)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_poly_smooth)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
