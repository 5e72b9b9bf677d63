// The lip-sync writers alone, on a minute of frames each: how many times faster than real
// time each format is written (counter "x_real_time"), to /dev/null. The analysis before
// them costs about 5 us a window (2000x real time); a writer must not slow that down much.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "export/FaceCapture.h"
#include "export/GltfHead.h"
#include "export/MouthCues.h"
#include "fapfile/FapFile.h"
#include "model/modellbeolv.h"

namespace {

constexpr int kWindows = 5625;  // one minute: 60 * 48000 / 512
constexpr long long kSamples = 60LL * 48000;

// Frames whose shape changes every 3 to 12 windows and whose values all move.
const std::vector<zarvo_frame>& frames() {
  static const std::vector<zarvo_frame> f = [] {
    std::vector<zarvo_frame> v(kWindows);
    for (int i = 0; i < kWindows; ++i) {
      zarvo_frame& w = v[i];
      w = {};
      w.index = i;
      w.centre_seconds = 512.0 * (i + 1) / 48000;
      w.vol = static_cast<int>(60 + 60 * std::fabs(std::sin(0.07 * i)));
      for (int k = 0; k < ZARVO_FAPS; ++k)
        w.faps[k] = static_cast<int>(300 * std::sin(0.05 * i + k));
      for (int k = 0; k < ZARVO_VISEMES; ++k)
        w.visemes[k] = static_cast<float>(0.5 + 0.5 * std::sin(0.1 * i + k)) / 8;
      for (int k = 0; k < ZARVO_BLENDSHAPES; ++k)
        w.blendshapes[k] = static_cast<float>(0.5 + 0.5 * std::sin(0.03 * i + k));
      w.shape = ZARVO_SHAPE_NAMES[(i / (3 + i % 10)) % 9];
    }
    return v;
  }();
  return f;
}

template <typename Make>
void writeMinute(benchmark::State& state, Make make) {
  const int fd = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    TextWriter out(fd);
    std::unique_ptr<FrameExport> e = make();
    for (const zarvo_frame& f : frames()) e->add(f, out);
    e->finish(kSamples, out);
    out.flush();
  }
  ::close(fd);
  state.counters["x_real_time"] = benchmark::Counter(60.0 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}

void BM_export_cues(benchmark::State& state) {
  const auto format = static_cast<CueFormat>(state.range(0));
  writeMinute(state, [&] {
    std::string problem;
    return makeCueExport(format, "speech.wav", kAllShapes, 24, &problem);
  });
}
BENCHMARK(BM_export_cues)
    ->ArgName("tsv_json_xml_dat")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMicrosecond);

void BM_export_blendshapes_csv(benchmark::State& state) {
  writeMinute(state, [] { return makeFaceCaptureExport(60); });
}
BENCHMARK(BM_export_blendshapes_csv)->Unit(benchmark::kMicrosecond);

void BM_export_gltf(benchmark::State& state) {
  static HeadMorphs morphs;
  std::string problem;
  if (!modellbetolt({ZARVO_DATA_DIR}, problem)) return state.SkipWithError(problem.c_str());
  measureHeadMorphs(morphs);
  writeMinute(state, [&] { return makeGltfExport(morphs, "speech", &problem); });
}
BENCHMARK(BM_export_gltf)->Unit(benchmark::kMicrosecond);

void BM_export_fap_visemes(benchmark::State& state) {
  const int fd = ::open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    FapWriter w("speech", 25, true);
    w.open(nullptr);
    int faps[76], viseme[4];
    for (const zarvo_frame& f : frames()) {
      for (int k = 0; k < 76; ++k) faps[k] = 0;
      for (int k = 0; k < ZARVO_FAPS; ++k) faps[zarvo_fap_number(k)] = f.faps[k];
      fapViseme(f.visemes, viseme);
      w.addWindow(f.index, faps, viseme);
    }
    TextWriter out(fd);
    w.finish(kSamples, out);
  }
  ::close(fd);
  state.counters["x_real_time"] = benchmark::Counter(60.0 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate);
}
BENCHMARK(BM_export_fap_visemes)->Unit(benchmark::kMicrosecond);

}  // namespace
