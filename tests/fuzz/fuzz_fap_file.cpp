// The FAP file reader on arbitrary text. A refused file names the line; an accepted one
// has as many frames as its header says, and written out again in the format (header,
// 68-token masks, values in ascending FAP order) it reads back to the same header and
// frames.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "fapfile/FapFile.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::string write_out(const FapHeader& header, const std::vector<FapFrame>& frames) {
  char number[64];
  std::snprintf(number, sizeof number, " %.17g %lld\n", header.fps, header.frames);
  std::string text = "2.1 " + header.name + number;
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const FapFrame& frame = frames[f];
    for (int k = 1; k <= 68; ++k)
      text += frame.set[k] ? (k == 1 ? "1" : " 1") : (k == 1 ? "0" : " 0");
    text += "\n" + std::to_string(f);
    for (int k = 1; k <= 68; ++k) {
      if (!frame.set[k]) continue;
      if (k == 1)
        for (int v : frame.viseme) text += " " + std::to_string(v);
      else if (k == 2)
        for (int v : frame.expression) text += " " + std::to_string(v);
      else
        text += " " + std::to_string(frame.faps[k]);
    }
    text += "\n";
  }
  return text;
}

bool same(const FapFrame& a, const FapFrame& b) {
  return a.faps == b.faps && a.set == b.set && a.viseme == b.viseme && a.expression == b.expression;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  FapHeader header;
  std::vector<FapFrame> frames;
  std::string problem;
  if (!parseFapText(text, header, frames, &problem)) {
    fuzz::check(problem.rfind("line ", 0) == 0, "a refused file names the line");
    return 0;
  }
  fuzz::check(static_cast<long long>(frames.size()) == header.frames, "frames as the header says");
  fuzz::check(header.fps > 0 && !header.name.empty(), "a positive rate and a name");

  FapHeader again;
  std::vector<FapFrame> frames_again;
  fuzz::check(parseFapText(write_out(header, frames), again, frames_again, &problem),
              "what was read, written out, reads again");
  fuzz::check(again.name == header.name && again.fps == header.fps &&
                  again.frames == header.frames && frames_again.size() == frames.size(),
              "the same header");
  for (std::size_t f = 0; f < frames.size(); ++f)
    fuzz::check(same(frames[f], frames_again[f]), "the same frames");
  return 0;
}
