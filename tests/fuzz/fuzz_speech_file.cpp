// zarvo-fap's reading of speech files (WAV in its variants, raw float32) on arbitrary
// bytes, and the analysis of whatever it accepts. A refused file must say why; an accepted
// one must decode to the count of samples its data holds, and every analysed window must
// give a finite level and finite point positions (NaN and infinite samples included).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tests/fuzz/fuzz_support.h"

// The tool's decoder lives in its own file, private to it; its entry is renamed here.
#define main zarvo_fap_main
#include "tools/zarvo_fap.cpp"
#undef main

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> bytes(data, data + size);
  std::vector<float> samples;
  g_problem.clear();
  if (!decode(bytes, samples)) {
    fuzz::check(!g_problem.empty(), "a refused file says why");
    return 0;
  }
  const bool wav = size >= 4 && tagIs(data, "RIFF");
  fuzz::check(wav ? samples.size() <= size / 2 : samples.size() == size / 4,
              "sample count within what the bytes hold");

  MemoryRecorder rec(samples.data(), static_cast<int>(samples.size()));
  QspRecorder analyser(&rec, kHistory);
  double points[30];
  int faps[76];
  while (analyser.isNew()) {
    analyser.handleNew(points);
    fuzz::check(std::isfinite(analyser.level), "level finite");
    for (double p : points) fuzz::check(std::isfinite(p), "point positions finite");
    pixels2FAPs(points, faps);
  }
  return 0;
}
