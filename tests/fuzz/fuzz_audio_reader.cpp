// The speech-file reader (libsndfile, libsoxr and the project's own WAV checks) on
// arbitrary bytes, from memory, and the live analysis of whatever it delivers. Input: the
// first byte chooses raw float32 (bit 0), the rest is the file. A refused or failed input
// must say why; every delivered block is counted; every analysed window has a finite level,
// a volume in the analysis' range and FAP values within what the analysis can give.
#include <cstddef>
#include <cstdint>
#include <string>

#include "audiofile/AudioReader.h"
#include "audiofile/SpeechFaps.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  AudioReader::Options options;
  options.raw = data[0] & 1;
  // A few bytes of a compressed format can stand for hours of silence: ten seconds keep
  // every input quick and still reach the length limit's error path.
  options.maxSeconds = 10.0;
  std::string problem;
  auto reader = AudioReader::openMemory(data + 1, size - 1, "input", options, &problem);
  if (!reader) {
    fuzz::check(!problem.empty(), "a refused input says why");
    return 0;
  }
  fuzz::check(reader->sourceRate() > 0 && reader->sourceChannels() > 0, "rate and channels");

  SpeechFaps analysis(*reader);
  AnalysedWindow w;
  while (analysis.next(w)) {
    fuzz::check(std::isfinite(w.level), "level finite");
    fuzz::check(w.volume >= -1694 && w.volume <= 6265, "volume within the analysis' range");
    // Distances are clamped to 1e8 pixels and scaled by at most 15.
    for (int k = 0; k < 76; ++k)
      fuzz::check(w.faps[k] >= -1500000000 && w.faps[k] <= 1500000000, "FAP values bounded");
  }
  if (analysis.failed()) fuzz::check(!analysis.problem().empty(), "a failed read says why");
  fuzz::check(reader->samplesDelivered() <= 10 * AudioReader::kRate, "the length limit holds");
  return 0;
}
