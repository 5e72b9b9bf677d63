// zarvo-fap: runs recorded speech through the live analysis and writes the MPEG-4 FAPs it
// gives, as CSV (one row per analysed window), JSON, or an MPEG-4 FAP file; or the lip sync
// in the layouts animation tools read (export/): mouth cues, face-capture CSV, glTF.
//
//   zarvo-fap [--format F] [--fps N] [--articulate] [--outputs LIST] [--visemes]
//             [--shapes SET] [--audio-out FILE|DIR/] [--raw] [--max-seconds S] [-j N]
//             [-o FILE|DIR/] FILE...
//   zarvo-fap --help | --version
//
// Input: any audio file libsndfile reads (WAV, FLAC, Ogg, MP3, AIFF, ...), any rate and
// channel count, or raw float32 at 48000 Hz mono (--raw, or .raw/.f32); "-" is standard
// input. Windows are cut exactly as in live mode: the first once 1024 samples are in, then
// one every 512, each through the same QspRecorder (history 3), by the library the programs
// share (libzarvo). The input is streamed: memory stays bounded whatever its length.
//
// The FAPs are the designed ones, as the live analysis gives them; --articulate writes the
// articulated ones (corrected by the visemes). --outputs (csv and json) chooses the columns
// after index, time, level and vol: faps (the default), visemes, vowels, blendshapes, shape.
//
// Output: standard output, or -o FILE (written under a temporary name beside it and
// renamed when complete), or with several inputs -o DIR/ (one file per input, named after
// it with the format's extension). -j N analyses up to N inputs at once, each on its own
// thread; every output is the same as one at a time.
//   csv:  header line, then per window: index, time, level, vol, FAP 3, FAP 51, ..., FAP 60
//         (time: the window's centre, 512 (index + 1) / 48000 seconds), then as asked
//         viseme_sil..viseme_ou, vowel_aa..vowel_oh, the blendshapes' names, shape
//   json: {"sample_rate":48000,"hop":512,"window":1024,"faps":[3,51,...,60],
//          "columns":[...],"rows":[[index,time,level,vol,FAP 3,...,FAP 60],...]}
//   fap:  the MPEG-4 FAP text file (fapfile/FapFile.h), --fps frames per second; with
//         --visemes FAP 1 too
//   cues-tsv, cues-json, cues-xml, cues-dat (--fps, 24 by default): mouth cues of the
//         cartoon shapes (export/MouthCues.h); --shapes ABCDEF keeps the basic six
//   blendshapes-csv: the face-capture CSV, --fps rows per second (60) (export/FaceCapture.h)
//   gltf: a .glb of the head speaking, FAPs as morph weights (export/GltfHead.h)
// The FAP formats (csv, json, fap, gltf) follow --articulate; the cues and the face-capture
// CSV always come from the articulated engine. --audio-out writes the 48 kHz mono samples
// analysed as a WAV beside the output (one per input into DIR/).
//
// Exit status: 0 done; 2 bad usage or bad input (one line on standard error naming the
// file; nothing written for it, except that rows already sent to standard output stay
// when the input fails part way); 1 the output could not be written (one line; the run
// stops at once, and outputs still being written are dropped). An input accepted with a
// remark (a streamed WAV shorter than its header said) gets a "note:" line and counts as
// done. A progress bar appears on standard error when it is a terminal, the output does
// not go to that terminal, and the input is longer than a few seconds.
// SIGINT, SIGTERM and SIGHUP stop the run between two windows: the output file being
// written is removed (standard output keeps what it received), and the program ends by
// the signal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "audiofile/AudioReader.h"
#include "audiofile/FileFrames.h"
#include "export/AudioOut.h"
#include "export/FaceCapture.h"
#include "export/GltfHead.h"
#include "export/MouthCues.h"
#include "fapfile/FapFile.h"
#include "fapfile/OutputFile.h"
#include "fapfile/StopSignal.h"

namespace {

const char kUsage[] =
    "usage: zarvo-fap [--format F] [--fps N] [--articulate] [--outputs LIST] [--visemes] "
    "[--shapes SET] [--audio-out FILE|DIR/] [--raw] [--max-seconds S] [-j N] [-o FILE|DIR/] "
    "FILE...\n";

const char kHelp[] =
    "Analyses recorded speech as the live mode does and writes the MPEG-4 FAPs.\n"
    "  FILE              any audio file libsndfile reads (WAV, FLAC, Ogg, MP3, AIFF, ...);\n"
    "                    - for standard input\n"
    "  --format F        csv (default): one row per 10.67 ms window (index, time of its\n"
    "                    centre in s, level, vol, FAPs); json: the same rows; fap: an\n"
    "                    MPEG-4 FAP file; cues-tsv, cues-json, cues-xml, cues-dat: mouth\n"
    "                    cues of the cartoon shapes A-H, X; blendshapes-csv: face-capture\n"
    "                    CSV; gltf: binary glTF 2.0 of the head speaking\n"
    "  --fps N           frames per second: fap 1..1000 (25), cues-dat 24..100 (24),\n"
    "                    blendshapes-csv 1..1000 (60)\n"
    "  --articulate      the articulated FAPs (corrected by the visemes), not the designed\n"
    "  --outputs LIST    csv, json: the columns after index, time, level, vol, from faps\n"
    "                    (default), visemes, vowels, blendshapes, shape, joined by commas\n"
    "  --visemes         fap: FAP 1 (viseme) in every frame, from the two strongest\n"
    "  --shapes SET      cues: the shapes used, A-F and any of G, H, X (ABCDEFGHX); without\n"
    "                    X, G, H their cues become A, B, C\n"
    "  --audio-out PATH  also write the samples analysed (48 kHz mono WAV) to PATH, or one\n"
    "                    file per input into PATH/\n"
    "  -o FILE, -o DIR/  write there instead of standard output (several inputs: DIR/)\n"
    "  -j N              analyse up to N inputs at once (1..64; default 1)\n"
    "  --raw             the input is raw little-endian float32, 48000 Hz mono\n"
    "  --max-seconds S   refuse inputs longer than S seconds of audio (86400; 0: none)\n"
    "  --help, --version this text; the program's name and version\n"
    "Exit status: 0 done, 1 output not written, 2 bad usage or input.\n";

constexpr double kProgressAfterSeconds = 5.0;  // shorter inputs finish before a bar helps

enum class Format {
  kCsv,
  kJson,
  kFap,
  kCuesTsv,
  kCuesJson,
  kCuesXml,
  kCuesDat,
  kBlendshapesCsv,
  kGltf
};

struct FormatInfo {
  const char* name;
  Format format;
  const char* extension;
  int fpsMin, fpsMax, fpsDefault;  // 0: no --fps
};
constexpr FormatInfo kFormats[] = {
    {"csv", Format::kCsv, ".csv", 0, 0, 0},
    {"json", Format::kJson, ".json", 0, 0, 0},
    {"fap", Format::kFap, ".fap", 1, 1000, 25},
    {"cues-tsv", Format::kCuesTsv, ".tsv", 0, 0, 0},
    {"cues-json", Format::kCuesJson, ".json", 0, 0, 0},
    {"cues-xml", Format::kCuesXml, ".xml", 0, 0, 0},
    {"cues-dat", Format::kCuesDat, ".dat", 24, 100, 24},
    {"blendshapes-csv", Format::kBlendshapesCsv, ".csv", 1, 1000, 60},
    {"gltf", Format::kGltf, ".glb", 0, 0, 0}};

const FormatInfo& info(Format f) {
  for (const FormatInfo& i : kFormats)
    if (i.format == f) return i;
  return kFormats[0];
}

bool isCues(Format f) {
  return f == Format::kCuesTsv || f == Format::kCuesJson || f == Format::kCuesXml ||
         f == Format::kCuesDat;
}

struct Settings {
  Format format = Format::kCsv;
  int fps = 25;
  bool fpsGiven = false;
  bool articulate = false;
  unsigned outputs = ZARVO_OUTPUT_FAPS;
  bool visemes = false;
  std::string shapes = kAllShapes;
  bool shapesGiven = false;
  std::string audioOut;  // "" for none
  bool audioOutIsDir = false;
  HeadMorphs* morphs = nullptr;  // gltf: measured once before any thread starts
  int jobs = 1;
  AudioReader::Options reading;
  std::string output;  // "" for standard output
  bool outputIsDir = false;
  std::vector<std::string> inputs;
};

const char* extension(Format f) { return info(f).extension; }

std::string baseName(const std::string& path) {
  if (path == "-") return "stdin";
  std::string b = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  const size_t dot = b.rfind('.');
  if (dot != std::string::npos && dot > 0) b.resize(dot);
  return b.empty() ? "zarvo" : b;
}

bool usage(const std::string& why) {
  std::fprintf(stderr, "zarvo-fap: %s; %s", why.c_str(), kUsage);
  return false;
}

// "faps,visemes,...": the ZARVO_OUTPUT_* bits, each name once at most.
bool parseOutputs(const std::string& list, unsigned& outputs) {
  static const std::pair<const char*, unsigned> kNames[] = {
      {"faps", ZARVO_OUTPUT_FAPS},
      {"visemes", ZARVO_OUTPUT_VISEMES},
      {"vowels", ZARVO_OUTPUT_VOWELS},
      {"blendshapes", ZARVO_OUTPUT_BLENDSHAPES},
      {"shape", ZARVO_OUTPUT_SHAPE}};
  outputs = 0;
  size_t at = 0;
  for (;;) {
    const size_t comma = list.find(',', at);
    const std::string name = list.substr(at, comma == std::string::npos ? comma : comma - at);
    unsigned bit = 0;
    for (const auto& [n, b] : kNames)
      if (name == n) bit = b;
    if (bit == 0 || (outputs & bit) != 0) return false;
    outputs |= bit;
    if (comma == std::string::npos) return true;
    at = comma + 1;
  }
}

bool parseArgs(int argc, char** argv, Settings& s) {
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    std::string value;
    if (options && a.size() > 2 && a.rfind("-j", 0) == 0) {  // -jN
      value = a.substr(2);
      a = "-j";
    }
    const bool takesValue = a == "--format" || a == "--fps" || a == "-o" || a == "--max-seconds" ||
                            a == "-j" || a == "--jobs" || a == "--outputs" || a == "--shapes" ||
                            a == "--audio-out";
    const size_t eq = a.find('=');
    if (options && a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a.resize(eq);
    } else if (options && takesValue && value.empty()) {
      if (i + 1 == argc) return usage(a + " needs a value");
      value = argv[++i];
    }
    if (!options || a == "-" || a.empty() || a[0] != '-') {
      s.inputs.push_back(argv[i]);
    } else if (a == "--") {
      options = false;
    } else if (a == "--format") {
      const FormatInfo* f = nullptr;
      for (const FormatInfo& i : kFormats)
        if (value == i.name) f = &i;
      if (f == nullptr) return usage("unknown format \"" + value + "\"");
      s.format = f->format;
    } else if (a == "--fps") {
      char* end = nullptr;
      const long fps = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || value[0] == '+' || value[0] == '-' || fps < 1 ||
          fps > 1000)
        return usage("--fps takes a whole number from 1 to 1000, not \"" + value + "\"");
      s.fps = static_cast<int>(fps);
      s.fpsGiven = true;
    } else if (a == "-j" || a == "--jobs") {
      char* end = nullptr;
      const long jobs = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || jobs < 1 || jobs > 64)
        return usage("-j takes a whole number of inputs from 1 to 64, not \"" + value + "\"");
      s.jobs = static_cast<int>(jobs);
    } else if (a == "--max-seconds") {
      char* end = nullptr;
      const double v = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(v >= 0))
        return usage("--max-seconds takes a number of seconds, not \"" + value + "\"");
      s.reading.maxSeconds = v;
    } else if (a == "-o") {
      if (value.empty()) return usage("-o needs a file or directory");
      s.output = value;
    } else if (a == "--visemes") {
      s.visemes = true;
    } else if (a == "--shapes") {
      if (!validShapeSet(value))
        return usage("--shapes takes A, B, C, D, E, F and any of G, H, X, each once, not \"" +
                     value + "\"");
      s.shapes = value;
      s.shapesGiven = true;
    } else if (a == "--audio-out") {
      if (value.empty()) return usage("--audio-out needs a file or directory");
      s.audioOut = value;
    } else if (a == "--articulate") {
      s.articulate = true;
    } else if (a == "--outputs") {
      if (!parseOutputs(value, s.outputs))
        return usage(
            "--outputs takes faps, visemes, vowels, blendshapes, shape joined by "
            "commas, not \"" +
            value + "\"");
    } else if (a == "--raw") {
      s.reading.raw = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      std::exit(0);
    } else if (a == "--version") {
      std::puts("zarvo-fap " ZARVO_VERSION);
      std::exit(0);
    } else {
      return usage("unknown option " + a);
    }
  }
  if (s.inputs.empty()) return usage("no input file");
  const FormatInfo& format = info(s.format);
  if (s.outputs != ZARVO_OUTPUT_FAPS && s.format != Format::kCsv && s.format != Format::kJson)
    return usage("--format " + std::string(format.name) +
                 " has its own columns; --outputs goes with csv or json");
  if (s.fpsGiven && format.fpsMax == 0)
    return usage("--fps goes with --format fap, cues-dat or blendshapes-csv (" +
                 std::string(format.name) + " follows the analysis windows)");
  if (s.fpsGiven && (s.fps < format.fpsMin || s.fps > format.fpsMax))
    return usage("--fps of " + std::string(format.name) + " is a whole number from " +
                 std::to_string(format.fpsMin) + " to " + std::to_string(format.fpsMax));
  if (!s.fpsGiven) s.fps = format.fpsDefault;
  if (s.visemes && s.format != Format::kFap) return usage("--visemes goes with --format fap");
  if (s.shapesGiven && !isCues(s.format))
    return usage("--shapes goes with the cue formats (cues-tsv, cues-json, cues-xml, cues-dat)");
  if (s.format == Format::kGltf && s.output.empty() && ::isatty(STDOUT_FILENO))
    return usage("a .glb is binary: give -o FILE or redirect standard output");
  if (!s.output.empty()) {
    struct stat st {};
    s.outputIsDir =
        s.output.back() == '/' || (::stat(s.output.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  }
  if (s.inputs.size() > 1 && !s.outputIsDir)
    return usage("several inputs need -o DIR/ (one output file each)");
  if (!s.audioOut.empty()) {
    struct stat st {};
    s.audioOutIsDir =
        s.audioOut.back() == '/' || (::stat(s.audioOut.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
    if (s.inputs.size() > 1 && !s.audioOutIsDir)
      return usage("several inputs need --audio-out DIR/ (one WAV each)");
  }
  if (s.outputIsDir || s.audioOutIsDir) {
    std::vector<std::string> names;
    for (const std::string& in : s.inputs) {
      const std::string n = baseName(in);
      for (const std::string& seen : names)
        if (seen == n)
          return usage("two inputs would both write " + n +
                       (s.outputIsDir ? extension(s.format) : ".wav"));
      names.push_back(n);
    }
  }
  return true;
}

// Progress on standard error: which input of how many, percentage (when the length is
// known), audio done, and the speed as a multiple of real time; redrawn at most ten times
// a second. Inputs analysed at once share the one line: whichever moves on redraws it.
class Progress {
 public:
  Progress(bool enabled, const std::string& name, const AudioReader& reader, size_t file,
           size_t files)
      : enabled_(enabled), name_(name), reader_(reader), start_(Clock::now()) {
    if (files > 1)
      name_ = "file " + std::to_string(file + 1) + " of " + std::to_string(files) + "  " + name_;
    if (reader.sourceFrames() >= 0 && reader.sourceRate() > 0)
      total_ = static_cast<double>(reader.sourceFrames()) / reader.sourceRate();
  }
  void tick(long long windows) {
    if (!enabled_ || (windows & 255) != 0) return;
    const double done = static_cast<double>(reader_.samplesDelivered()) / AudioReader::kRate;
    if ((total_ >= 0 ? total_ : done) < kProgressAfterSeconds) return;
    const std::lock_guard<std::mutex> hold(lineLock());
    const auto now = Clock::now();
    if (now - lastDrawn() < std::chrono::milliseconds(100)) return;
    lastDrawn() = now;
    const double wall = std::chrono::duration<double>(now - start_).count();
    const double speed = wall > 0 ? done / wall : 0;
    if (total_ > 0)
      std::fprintf(stderr, "\r%s %3d%%  %.1f of %.1f s  %.0f\u00D7 real time\033[K", name_.c_str(),
                   static_cast<int>(100 * std::min(1.0, done / total_)), done, total_, speed);
    else
      std::fprintf(stderr, "\r%s  %.1f s  %.0f\u00D7 real time\033[K", name_.c_str(), done, speed);
    shown_ = true;
  }
  ~Progress() {
    if (!shown_) return;
    const std::lock_guard<std::mutex> hold(lineLock());
    std::fputs("\r\033[K", stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  static std::mutex& lineLock() {
    static std::mutex m;
    return m;
  }
  static Clock::time_point& lastDrawn() {  // guarded by lineLock()
    static Clock::time_point t;
    return t;
  }
  bool enabled_;
  std::string name_;
  const AudioReader& reader_;
  double total_ = -1;
  Clock::time_point start_;
  bool shown_ = false;
};

void putWeights(TextWriter& out, const float* w, int n) {
  for (int k = 0; k < n; ++k) {
    out.put(',');
    out.putFixed(w[k], 6);
  }
}

// index,time,level,vol,FAP 3,FAP 51,...,FAP 60 and the other outputs asked for: the values
// of a CSV row and a JSON row (where the shape is a string).
void putValues(TextWriter& out, const zarvo_frame& w, unsigned outputs, bool json) {
  out.putInt(w.index);
  out.put(',');
  // The window's centre: what it shows is heard there.
  out.putFixed(w.centre_seconds, 6);
  out.put(',');
  out.putFixed(w.level, 6);
  out.put(',');
  out.putInt(w.vol);
  if (outputs & ZARVO_OUTPUT_FAPS)
    for (int f : w.faps) {
      out.put(',');
      out.putInt(f);
    }
  if (outputs & ZARVO_OUTPUT_VISEMES) putWeights(out, w.visemes, ZARVO_VISEMES);
  if (outputs & ZARVO_OUTPUT_VOWELS) putWeights(out, w.vowels, ZARVO_VOWELS);
  if (outputs & ZARVO_OUTPUT_BLENDSHAPES) putWeights(out, w.blendshapes, ZARVO_BLENDSHAPES);
  if (outputs & ZARVO_OUTPUT_SHAPE) {
    out.put(json ? ",\"" : ",");
    out.put(w.shape);
    if (json) out.put('"');
  }
}

// The column names after index, time, level and vol.
std::vector<std::string> columnNames(unsigned outputs) {
  std::vector<std::string> c;
  if (outputs & ZARVO_OUTPUT_FAPS)
    for (int f : kSpeechFaps) c.push_back("fap" + std::to_string(f));
  if (outputs & ZARVO_OUTPUT_VISEMES)
    for (int k = 0; k < ZARVO_VISEMES; ++k)
      c.push_back(std::string("viseme_") + zarvo_viseme_name(k));
  if (outputs & ZARVO_OUTPUT_VOWELS)
    for (int k = 0; k < ZARVO_VOWELS; ++k) c.push_back(std::string("vowel_") + zarvo_vowel_name(k));
  if (outputs & ZARVO_OUTPUT_BLENDSHAPES)
    for (int k = 0; k < ZARVO_BLENDSHAPES; ++k) c.push_back(zarvo_blendshape_name(k));
  if (outputs & ZARVO_OUTPUT_SHAPE) c.push_back("shape");
  return c;
}

// The CSV header line, and the JSON text before the first row.
std::string csvHeader(unsigned outputs) {
  std::string h = "index,time,level,vol";
  for (const std::string& c : columnNames(outputs)) h += "," + c;
  return h + "\n";
}

std::string jsonHead(unsigned outputs) {
  std::string faps, columns = "\"index\",\"time\",\"level\",\"vol\"";
  for (int f : kSpeechFaps) (faps += faps.empty() ? "" : ",") += std::to_string(f);
  for (const std::string& c : columnNames(outputs)) columns += ",\"" + c + "\"";
  return "{\"sample_rate\":" + std::to_string(AudioReader::kRate) +
         ",\"hop\":" + std::to_string(ZARVO_HOP) + ",\"window\":" + std::to_string(ZARVO_WINDOW) +
         ",\"faps\":[" + faps + "],\"columns\":[" + columns + "],\n\"rows\":[";
}

enum Outcome { kDone = 0, kWriteFailed = 1, kBadInput = 2, kStopped = 3 };

// Set once an output could not be written: the run ends, inputs still being analysed drop
// their outputs, and no further input is started.
std::atomic<bool> g_writeFailed{false};

bool stopping() { return stopRequested() || g_writeFailed.load(std::memory_order_relaxed); }

// AudioReader::open, one at a time: libsndfile keeps the reason a file would not open in
// one place for the whole process.
std::unique_ptr<AudioReader> openInput(const Settings& s, const std::string& input,
                                       std::string& problem) {
  static std::mutex opening;
  const std::lock_guard<std::mutex> hold(opening);
  return AudioReader::open(input, s.reading, &problem);
}

Outcome writeFailed(const std::string& target, const std::string& why) {
  std::fprintf(stderr, "zarvo-fap: cannot write %s: %s\n", target.c_str(), why.c_str());
  return kWriteFailed;
}

// Where input k's output goes when `to` is a directory or a file.
std::string targetFor(const std::string& to, bool isDir, const std::string& input,
                      const char* ext) {
  return isDir ? to + (to.back() == '/' ? "" : "/") + baseName(input) + ext : to;
}

bool sameFile(const std::string& input, const std::string& target) {
  struct stat in {
  }, out{};
  return input != "-" && ::stat(input.c_str(), &in) == 0 && ::stat(target.c_str(), &out) == 0 &&
         in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// The writer of the lip-sync formats (export/); null for csv, json and fap.
std::unique_ptr<FrameExport> makeExport(const Settings& s, const std::string& input,
                                        std::string* problem) {
  switch (s.format) {
    case Format::kCuesTsv: return makeCueExport(CueFormat::kTsv, input, s.shapes, s.fps, problem);
    case Format::kCuesJson: return makeCueExport(CueFormat::kJson, input, s.shapes, s.fps, problem);
    case Format::kCuesXml: return makeCueExport(CueFormat::kXml, input, s.shapes, s.fps, problem);
    case Format::kCuesDat: return makeCueExport(CueFormat::kDat, input, s.shapes, s.fps, problem);
    case Format::kBlendshapesCsv: return makeFaceCaptureExport(s.fps);
    case Format::kGltf: return makeGltfExport(*s.morphs, baseName(input), problem);
    default: return nullptr;
  }
}

// Analyses input number k into its output. Nothing is created for an input that cannot be
// opened; an output file is only renamed into place when everything went well, and not
// when a signal or another input's write failure stopped the run.
Outcome analyse(const Settings& s, size_t k) {
  const std::string& input = s.inputs[k];
  std::string problem;
  auto reader = openInput(s, input, problem);
  if (reader == nullptr) {
    std::fprintf(stderr, "zarvo-fap: %s: %s\n", input.c_str(), problem.c_str());
    return kBadInput;
  }
  std::string target = "standard output";
  std::unique_ptr<OutputFile> file;
  if (!s.output.empty()) {
    target = targetFor(s.output, s.outputIsDir, input, extension(s.format));
    if (sameFile(input, target)) {
      std::fprintf(stderr, "zarvo-fap: %s: the output would replace its own input\n",
                   input.c_str());
      return kBadInput;
    }
    file = OutputFile::create(target, &problem);
    if (file == nullptr) return writeFailed(target, problem);
  }
  std::unique_ptr<FapWriter> fap;
  if (s.format == Format::kFap) {
    fap = std::make_unique<FapWriter>(baseName(input), s.fps, s.visemes);
    if (!fap->open(&problem)) return writeFailed(target, problem);
  }
  std::unique_ptr<FrameExport> exporter = makeExport(s, input, &problem);
  if (exporter == nullptr && !problem.empty()) return writeFailed(target, problem);
  std::unique_ptr<AudioOut> audio;
  const std::string audioTarget =
      s.audioOut.empty() ? std::string() : targetFor(s.audioOut, s.audioOutIsDir, input, ".wav");
  if (!audioTarget.empty()) {
    if (sameFile(input, audioTarget)) {
      std::fprintf(stderr, "zarvo-fap: %s: the sound would replace its own input\n", input.c_str());
      return kBadInput;
    }
    audio = AudioOut::create(audioTarget, &problem);
    if (audio == nullptr) return writeFailed(audioTarget, problem);
  }
  TextWriter out(file != nullptr ? file->fd() : STDOUT_FILENO);
  const bool toTerminal = file == nullptr && ::isatty(STDOUT_FILENO);
  Progress progress(::isatty(STDERR_FILENO) && !toTerminal, baseName(input), *reader, k,
                    s.inputs.size());

  if (s.format == Format::kCsv) out.put(csvHeader(s.outputs));
  if (s.format == Format::kJson) out.put(jsonHead(s.outputs));
  // The cues and the face-capture CSV are the articulated engine's in any case.
  unsigned outputs = s.outputs;
  bool articulate = s.articulate;
  if (isCues(s.format)) outputs = ZARVO_OUTPUT_SHAPE;
  if (s.format == Format::kBlendshapesCsv) outputs = ZARVO_OUTPUT_BLENDSHAPES;
  if (isCues(s.format) || s.format == Format::kBlendshapesCsv) articulate = true;
  if (s.visemes) outputs |= ZARVO_OUTPUT_VISEMES;
  FileFrames faps(*reader, articulate, outputs);
  if (audio != nullptr) faps.tap([&audio](const float* p, long n) { return audio->write(p, n); });
  zarvo_frame w;
  int mouth[76];
  while (!stopping() && faps.next(w) && !out.failed()) {
    if (s.format == Format::kCsv) {
      putValues(out, w, s.outputs, false);
      out.put('\n');
    } else if (s.format == Format::kJson) {
      out.put(w.index == 0 ? "\n[" : ",\n[");
      putValues(out, w, s.outputs, true);
      out.put(']');
    } else if (exporter != nullptr) {
      if (!exporter->add(w, out)) return writeFailed(target, exporter->problem());
    } else {
      FileFrames::fapArray(w, mouth);
      int viseme[4];
      if (s.visemes) fapViseme(w.visemes, viseme);
      if (!fap->addWindow(w.index, mouth, s.visemes ? viseme : nullptr))
        return writeFailed(target, fap->problem());
    }
    progress.tick(w.index);
  }
  if (stopping()) return kStopped;
  if (out.failed()) return writeFailed(target, out.problem());
  if (audio != nullptr && !audio->problem().empty())
    return writeFailed(audioTarget, audio->problem());
  if (faps.failed()) {
    out.flush();  // what standard output has received stays valid up to here
    std::fprintf(stderr, "zarvo-fap: %s: %s\n", input.c_str(), faps.problem().c_str());
    return kBadInput;
  }
  if (s.format == Format::kJson) out.put(faps.windows() > 0 ? "\n]}\n" : "]}\n");
  if (s.format == Format::kFap && !fap->finish(reader->samplesDelivered(), out))
    return writeFailed(target, out.failed() ? out.problem() : fap->problem());
  if (exporter != nullptr && !exporter->finish(reader->samplesDelivered(), out))
    return writeFailed(target, out.failed() ? out.problem() : exporter->problem());
  if (!out.flush()) return writeFailed(target, out.problem());
  if (file != nullptr && !file->commit(&problem)) return writeFailed(target, problem);
  if (audio != nullptr && !audio->commit(&problem)) return writeFailed(audioTarget, problem);
  if (!reader->note().empty())
    std::fprintf(stderr, "zarvo-fap: %s: note: %s\n", input.c_str(), reader->note().c_str());
  return kDone;
}

Outcome analyseGuarded(const Settings& s, size_t k) {
  try {
    return analyse(s, k);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zarvo-fap: %s: out of memory\n", s.inputs[k].c_str());
    return kBadInput;
  }
}

// Analyses every input, up to s.jobs at once, each taken by the next free thread in the
// order given. Returns the exit status.
int analyseAll(const Settings& s) {
  std::atomic<size_t> next{0};
  std::atomic<bool> badInput{false};
  auto work = [&] {
    for (size_t k; !stopping() && (k = next++) < s.inputs.size();) {
      const Outcome o = analyseGuarded(s, k);
      if (o == kWriteFailed) g_writeFailed = true;
      if (o == kBadInput) badInput = true;
    }
  };
  std::vector<std::thread> helpers;
  const size_t threads = std::min<size_t>(static_cast<size_t>(s.jobs), s.inputs.size());
  try {
    while (helpers.size() + 1 < threads) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // fewer threads than asked for: the ones there are take every input all the same
  }
  work();
  for (std::thread& t : helpers) t.join();
  endIfStopped();  // the output files being written are gone already
  return g_writeFailed ? kWriteFailed : badInput ? kBadInput : kDone;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must show as a failed write (EPIPE), not end the process silently.
  ::signal(SIGPIPE, SIG_IGN);
  catchStopSignals();
  try {
    Settings s;
    if (!parseArgs(argc, argv, s)) return 2;
    // The head is read and measured here, before any thread starts: the mesh arrays are
    // the program's one model.
    HeadMorphs morphs;
    std::string problem;
    if (s.format == Format::kGltf) {
      if (!loadHeadMorphs(morphs, problem)) {
        std::fprintf(stderr, "zarvo-fap: %s\n", problem.c_str());
        return 2;
      }
      s.morphs = &morphs;
    }
    return analyseAll(s);
  } catch (const std::bad_alloc&) {
    std::fputs("zarvo-fap: out of memory\n", stderr);
    return 2;
  }
}
