// lipsync-frames: what the analysis and the lip sync make of one recording, window by window,
// as a NumPy array (.npy, float64, one row per window), for the fitting and checking scripts
// of tools/lipsync/.
//
//   lipsync-frames [--designed] -o OUT.npy FILE
//   lipsync-frames --columns          the column names, one per line
//
// Columns:
//   index level vol c0..c15 s0..s5 p0..p29 fap3 fap51..fap60      what the analysis gives
//   art3 art51..art60 viseme_sil..viseme_ou vowel_* blendshapes shape  the lip sync's frame
// --designed switches the articulation off (art* == fap*).
//
// Exit status: 0 done, 2 bad usage or input, 1 the output could not be written.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audiofile/AudioReader.h"
#include "audiofile/SpeechFaps.h"
#include "fapfile/FapFile.h"
#include "lipsync/LipSync.h"
#include "lipsync/LipSyncInput.h"

namespace {

std::vector<std::string> columnNames() {
  std::vector<std::string> c = {"index", "level", "vol"};
  for (int i = 0; i < 16; ++i) c.push_back("c" + std::to_string(i));
  for (int i = 0; i < 6; ++i) c.push_back("s" + std::to_string(i));
  for (int i = 0; i < 30; ++i) c.push_back("p" + std::to_string(i));
  for (int f : kSpeechFaps) c.push_back("fap" + std::to_string(f));
  for (int f : kSpeechFaps) c.push_back("art" + std::to_string(f));
  for (const char* v : lipsync::kVisemeNames) c.push_back(std::string("viseme_") + v);
  for (const char* v : lipsync::kVowelNames) c.push_back(std::string("vowel_") + v);
  for (const char* b : lipsync::kBlendshapeNames) c.push_back(b);
  c.push_back("shape");
  return c;
}

void addFrame(const lipsync::Frame& f, const std::vector<lipsync::WindowInput>& inputs,
              std::vector<double>& rows) {
  const lipsync::WindowInput& in = inputs.at(static_cast<size_t>(f.index));
  rows.push_back(static_cast<double>(in.index));
  rows.push_back(in.level);
  rows.push_back(in.vol);
  rows.insert(rows.end(), in.cepstra, in.cepstra + 16);
  rows.insert(rows.end(), in.scores, in.scores + 6);
  rows.insert(rows.end(), in.points, in.points + 30);
  for (int k : kSpeechFaps) rows.push_back(f.faps[k]);
  for (int k : kSpeechFaps) rows.push_back(f.articulated[k]);
  rows.insert(rows.end(), f.visemes, f.visemes + lipsync::kVisemeCount);
  rows.insert(rows.end(), f.vowels, f.vowels + lipsync::kVowelCount);
  rows.insert(rows.end(), f.blendshapes, f.blendshapes + lipsync::kBlendshapeCount);
  rows.push_back(
      static_cast<double>(std::strchr(lipsync::kShapeNames, f.shape) - lipsync::kShapeNames));
}

// The .npy layout: magic, version 1.0, a header dict padded to a multiple of 64 bytes.
bool writeNpy(const std::string& path, const std::vector<double>& rows, size_t columns) {
  std::string header = "{'descr': '<f8', 'fortran_order': False, 'shape': (" +
                       std::to_string(columns ? rows.size() / columns : 0) + ", " +
                       std::to_string(columns) + "), }";
  const size_t total = 10 + header.size() + 1;
  header.append((64 - total % 64) % 64, ' ');
  header += '\n';
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const unsigned char magic[8] = {0x93, 'N', 'U', 'M', 'P', 'Y', 1, 0};
  const unsigned short len = static_cast<unsigned short>(header.size());
  bool ok = std::fwrite(magic, 1, 8, f) == 8;
  const unsigned char le[2] = {static_cast<unsigned char>(len & 0xff),
                               static_cast<unsigned char>(len >> 8)};
  ok = ok && std::fwrite(le, 1, 2, f) == 2;
  ok = ok && std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = ok && std::fwrite(rows.data(), sizeof(double), rows.size(), f) == rows.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, in;
  bool articulate = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-o" && i + 1 < argc)
      out = argv[++i];
    else if (a == "--columns") {
      for (const std::string& n : columnNames()) std::printf("%s\n", n.c_str());
      return 0;
    } else if (a == "--designed")
      articulate = false;
    else if (in.empty() && (a == "-" || a[0] != '-'))
      in = a;
    else {
      std::fprintf(stderr, "usage: lipsync-frames [--designed] -o OUT.npy FILE\n");
      return 2;
    }
  }
  if (out.empty() || in.empty()) {
    std::fprintf(stderr, "usage: lipsync-frames [--designed] -o OUT.npy FILE\n");
    return 2;
  }
  std::string problem;
  auto reader = AudioReader::open(in, AudioReader::Options{}, &problem);
  if (!reader) {
    std::fprintf(stderr, "lipsync-frames: %s: %s\n", in.c_str(), problem.c_str());
    return 2;
  }
  SpeechFaps analysis(*reader);
  lipsync::LipSync sync(articulate);
  std::vector<lipsync::WindowInput> inputs;
  std::vector<double> rows;
  const std::vector<std::string> names = columnNames();
  AnalysedWindow w;
  lipsync::Frame frame;
  while (analysis.next(w)) {
    inputs.emplace_back();
    lipsync::fillWindowInput(analysis.analyser(), analysis.points(), w.faps, w.index,
                             inputs.back());
    if (sync.push(inputs.back(), frame)) addFrame(frame, inputs, rows);
  }
  while (sync.flush(frame)) addFrame(frame, inputs, rows);
  if (analysis.failed()) {
    std::fprintf(stderr, "lipsync-frames: %s: %s\n", in.c_str(), analysis.problem().c_str());
    return 2;
  }
  if (!writeNpy(out, rows, names.size())) {
    std::fprintf(stderr, "lipsync-frames: cannot write %s\n", out.c_str());
    return 1;
  }
  return 0;
}
