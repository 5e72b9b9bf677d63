// zarvo-render's speed: a ten-second recording of synthetic speech rendered to a 720x720,
// 30 fps MP4 (the whole tool: analysis, drawing, conversion, encoding, muxing), with the
// time per stage as counters, and the read-back alone per frame so the drawing can be told
// apart from it. The goal is at least 2x real time; `realtime` is clip seconds per
// wall-clock second. `load1` is the machine's one-minute load average when the run ended.
// The tool's default look is the lifelike one; the designed look is timed beside it.
#include <benchmark/benchmark.h>
#include <unistd.h>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/modellbeolv.h"
#include "video/drawer.h"
#include "video/render.h"

namespace {

double load1() {
  double load[1] = {0.0};
  return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

void renderTenSeconds(benchmark::State& state, Style style) {
  av_log_set_level(AV_LOG_QUIET);  // the encoders' own reports
  RenderJob job;
  job.look.style = style;
  job.input = ZARVO_BENCH_SPEECH;
  job.output = "/tmp/zarvo-bench-" + std::to_string(getpid()) + ".mp4";
  RenderFigures sum, f;
  std::string problem;
  for (auto _ : state) {
    if (!render(job, f, problem)) {
      state.SkipWithError(problem.c_str());
      break;
    }
    sum.clipSeconds += f.clipSeconds;
    sum.analysis += f.analysis;
    sum.drawing += f.drawing;
    sum.conversion += f.conversion;
    sum.encoding += f.encoding;
    sum.total += f.total;
    sum.frames += f.frames;
  }
  std::remove(job.output.c_str());
  const double runs = static_cast<double>(state.iterations());
  state.counters["realtime"] = sum.clipSeconds / sum.total;
  state.counters["frames"] = sum.frames / runs;
  state.counters["analysis_s"] = sum.analysis / runs;
  state.counters["drawing_s"] = sum.drawing / runs;
  state.counters["conversion_s"] = sum.conversion / runs;
  state.counters["encoding_s"] = sum.encoding / runs;
  state.counters["load1"] = load1();
}
void BM_render_10s_720_30fps(benchmark::State& state) { renderTenSeconds(state, Style::lifelike); }
void BM_render_10s_720_30fps_designed(benchmark::State& state) {
  renderTenSeconds(state, Style::designed);
}
BENCHMARK(BM_render_10s_720_30fps)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_render_10s_720_30fps_designed)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

// One frame's read-back at 720x720: waiting for the rasteriser (idle here) and copying the
// picture out of the drawing buffer, without drawing anything new.
void BM_video_readback_720(benchmark::State& state) {
  std::string problem;
  if (!modellbetolt(alap_adatmappak(), problem)) {
    state.SkipWithError(problem.c_str());
    return;
  }
  FrameDrawer drawer(720, 720, Look{});
  const int faps[76] = {};
  drawer.draw(faps, 0);
  for (auto _ : state) benchmark::DoNotOptimize(drawer.readBack().rgba.data());
}
BENCHMARK(BM_video_readback_720)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One whole frame at 720x720 in the live framing: pose, draw, read back, pose taken back.
void BM_video_frame_720(benchmark::State& state) {
  std::string problem;
  if (!modellbetolt(alap_adatmappak(), problem)) {
    state.SkipWithError(problem.c_str());
    return;
  }
  FrameDrawer drawer(720, 720, Look{});
  int faps[76] = {};
  faps[3] = 300;  // jaw open: the deformation does real work
  for (auto _ : state) benchmark::DoNotOptimize(drawer.draw(faps, 120).rgba.data());
}
BENCHMARK(BM_video_frame_720)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
