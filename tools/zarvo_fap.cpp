// zarvo-fap: runs recorded speech through the live analysis and writes the MPEG-4 FAPs it
// gives, as CSV (one row per analysed window), JSON, or an MPEG-4 FAP file.
//
//   zarvo-fap [--format csv|json|fap] [--fps N] [--articulate] [--outputs LIST] [--raw]
//             [--max-seconds S] [-o FILE|DIR/] FILE...
//
// Input: any audio file libsndfile reads (WAV, FLAC, Ogg, MP3, AIFF, ...), any rate and
// channel count, or raw float32 at 48000 Hz mono (--raw, or .raw/.f32); "-" is standard
// input. Windows are cut exactly as in live mode: the first once 1024 samples are in, then
// one every 512, each through the same QspRecorder (history 3), by the library the programs
// share (libzarvo). The input is streamed: memory stays bounded whatever its length.
//
// The FAPs are the designed ones, as the live analysis gives them; --articulate writes the
// articulated ones (corrected by the visemes). --outputs (csv and json) chooses the columns
// after index, level and vol: faps (the default), visemes, vowels, blendshapes, shape.
//
// Output: standard output, or -o FILE (written under a temporary name beside it and
// renamed when complete), or with several inputs -o DIR/ (one file per input, named after
// it with the format's extension).
//   csv:  header line, then per window: index, level, vol, FAP 3, FAP 51, ..., FAP 60,
//         viseme_sil..viseme_ou, vowel_aa..vowel_oh, the blendshapes, shape (as asked for)
//   json: {"sample_rate":48000,"hop":512,"window":1024,"faps":[3,51,...,60],
//          "columns":[...],"rows":[[index,level,vol,FAP 3,...,FAP 60],...]}
//   fap:  the MPEG-4 FAP text file (fapfile/FapFile.h), --fps frames per second
//
// Exit status: 0 done; 2 bad usage or bad input (one line on standard error naming the
// file; nothing written for it, except that rows already sent to standard output stay
// when the input fails part way); 1 the output could not be written (one line; the run
// stops at once). A progress bar appears on standard error when it is a terminal, the
// output does not go to that terminal, and the input is longer than a few seconds.
// SIGINT, SIGTERM and SIGHUP stop the run between two windows: the output file being
// written is removed (standard output keeps what it received), and the program ends by
// the signal.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "audiofile/AudioReader.h"
#include "audiofile/FileFrames.h"
#include "fapfile/FapFile.h"
#include "fapfile/OutputFile.h"
#include "fapfile/StopSignal.h"

namespace {

const char kUsage[] =
    "usage: zarvo-fap [--format csv|json|fap] [--fps N] [--articulate] [--outputs LIST] "
    "[--raw] [--max-seconds S] [-o FILE|DIR/] FILE...\n";

const char kHelp[] =
    "Analyses recorded speech as the live mode does and writes the MPEG-4 FAPs.\n"
    "  FILE              any audio file libsndfile reads (WAV, FLAC, Ogg, MP3, AIFF, ...);\n"
    "                    - for standard input\n"
    "  --format F        csv (default): one row per 10.67 ms window; json; fap: an MPEG-4\n"
    "                    FAP file\n"
    "  --fps N           frames per second of --format fap (whole number 1..1000; 25)\n"
    "  --articulate      the articulated FAPs (corrected by the visemes), not the designed\n"
    "  --outputs LIST    csv, json: columns after index, level, vol, from faps (default),\n"
    "                    visemes, vowels, blendshapes, shape, separated by commas\n"
    "  -o FILE, -o DIR/  write there instead of standard output (several inputs: DIR/)\n"
    "  --raw             the input is raw little-endian float32, 48000 Hz mono\n"
    "  --max-seconds S   refuse inputs longer than S seconds of audio (86400; 0: none)\n"
    "Exit status: 0 done, 1 output not written, 2 bad usage or input.\n";

constexpr double kProgressAfterSeconds = 5.0;  // shorter inputs finish before a bar helps

enum class Format { kCsv, kJson, kFap };

struct Settings {
  Format format = Format::kCsv;
  int fps = 25;
  bool articulate = false;
  unsigned outputs = ZARVO_OUTPUT_FAPS;
  AudioReader::Options reading;
  std::string output;  // "" for standard output
  bool outputIsDir = false;
  std::vector<std::string> inputs;
};

const char* extension(Format f) {
  return f == Format::kCsv ? ".csv" : f == Format::kJson ? ".json" : ".fap";
}

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
    const bool takesValue =
        a == "--format" || a == "--fps" || a == "-o" || a == "--max-seconds" || a == "--outputs";
    const size_t eq = a.find('=');
    if (options && a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a.resize(eq);
    } else if (options && takesValue) {
      if (i + 1 == argc) return usage(a + " needs a value");
      value = argv[++i];
    }
    if (!options || a == "-" || a.empty() || a[0] != '-') {
      s.inputs.push_back(argv[i]);
    } else if (a == "--") {
      options = false;
    } else if (a == "--format") {
      if (value == "csv")
        s.format = Format::kCsv;
      else if (value == "json")
        s.format = Format::kJson;
      else if (value == "fap")
        s.format = Format::kFap;
      else
        return usage("unknown format \"" + value + "\"");
    } else if (a == "--fps") {
      char* end = nullptr;
      const long fps = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || value[0] == '+' || value[0] == '-' || fps < 1 ||
          fps > 1000)
        return usage("--fps takes a whole number from 1 to 1000, not \"" + value + "\"");
      s.fps = static_cast<int>(fps);
    } else if (a == "--max-seconds") {
      char* end = nullptr;
      const double v = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !(v >= 0))
        return usage("--max-seconds takes a number of seconds, not \"" + value + "\"");
      s.reading.maxSeconds = v;
    } else if (a == "-o") {
      if (value.empty()) return usage("-o needs a file or directory");
      s.output = value;
    } else if (a == "--articulate") {
      s.articulate = true;
    } else if (a == "--outputs") {
      if (!parseOutputs(value, s.outputs))
        return usage(
            "--outputs takes faps, visemes, vowels, blendshapes, shape separated by "
            "commas, not \"" +
            value + "\"");
    } else if (a == "--raw") {
      s.reading.raw = true;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      std::exit(0);
    } else {
      return usage("unknown option " + a);
    }
  }
  if (s.inputs.empty()) return usage("no input file");
  if (s.format == Format::kFap && s.outputs != ZARVO_OUTPUT_FAPS)
    return usage("--format fap holds FAPs only; --outputs goes with csv or json");
  if (!s.output.empty()) {
    struct stat st {};
    s.outputIsDir =
        s.output.back() == '/' || (::stat(s.output.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  }
  if (s.inputs.size() > 1 && !s.outputIsDir)
    return usage("several inputs need -o DIR/ (one output file each)");
  if (s.outputIsDir) {
    std::vector<std::string> names;
    for (const std::string& in : s.inputs) {
      const std::string n = baseName(in);
      for (const std::string& seen : names)
        if (seen == n) return usage("two inputs would both write " + n + extension(s.format));
      names.push_back(n);
    }
  }
  return true;
}

// Progress on standard error: percentage (when the length is known), audio done, and the
// speed as a multiple of real time; redrawn at most ten times a second.
class Progress {
 public:
  Progress(bool enabled, const std::string& name, const AudioReader& reader)
      : enabled_(enabled), name_(name), reader_(reader), start_(Clock::now()), last_(start_) {
    if (reader.sourceFrames() >= 0 && reader.sourceRate() > 0)
      total_ = static_cast<double>(reader.sourceFrames()) / reader.sourceRate();
  }
  void tick(long long windows) {
    if (!enabled_ || (windows & 255) != 0) return;
    const auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    const double done = static_cast<double>(reader_.samplesDelivered()) / AudioReader::kRate;
    if ((total_ >= 0 ? total_ : done) < kProgressAfterSeconds) return;
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
    if (shown_) std::fputs("\r\033[K", stderr);
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::string name_;
  const AudioReader& reader_;
  double total_ = -1;
  Clock::time_point start_, last_;
  bool shown_ = false;
};

void putWeights(TextWriter& out, const float* w, int n) {
  for (int k = 0; k < n; ++k) {
    out.put(',');
    out.putFixed(w[k], 6);
  }
}

// index,level,vol,FAP 3,FAP 51,...,FAP 60 and the other outputs asked for: the values of a
// CSV row and a JSON row (where the shape is a string).
void putValues(TextWriter& out, const zarvo_frame& w, unsigned outputs, bool json) {
  out.putInt(w.index);
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

// The column names after index, level and vol.
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
  std::string h = "index,level,vol";
  for (const std::string& c : columnNames(outputs)) h += "," + c;
  return h + "\n";
}

std::string jsonHead(unsigned outputs) {
  std::string faps, columns = "\"index\",\"level\",\"vol\"";
  for (int f : kSpeechFaps) faps += (faps.empty() ? "" : ",") + std::to_string(f);
  for (const std::string& c : columnNames(outputs)) columns += ",\"" + c + "\"";
  return "{\"sample_rate\":" + std::to_string(AudioReader::kRate) +
         ",\"hop\":" + std::to_string(ZARVO_HOP) + ",\"window\":" + std::to_string(ZARVO_WINDOW) +
         ",\"faps\":[" + faps + "],\"columns\":[" + columns + "],\n\"rows\":[";
}

enum Outcome { kDone = 0, kWriteFailed = 1, kBadInput = 2, kStopped = 3 };

Outcome writeFailed(const std::string& target, const std::string& why) {
  std::fprintf(stderr, "zarvo-fap: cannot write %s: %s\n", target.c_str(), why.c_str());
  return kWriteFailed;
}

// Analyses one input into one output. Nothing is created for an input that cannot be
// opened; an output file is only renamed into place when everything went well, and not
// when a signal stopped the run.
Outcome analyse(const Settings& s, const std::string& input) {
  std::string problem;
  auto reader = AudioReader::open(input, s.reading, &problem);
  if (reader == nullptr) {
    std::fprintf(stderr, "zarvo-fap: %s: %s\n", input.c_str(), problem.c_str());
    return kBadInput;
  }
  std::string target = "standard output";
  std::unique_ptr<OutputFile> file;
  if (!s.output.empty()) {
    target = s.outputIsDir ? s.output + (s.output.back() == '/' ? "" : "/") + baseName(input) +
                                 extension(s.format)
                           : s.output;
    struct stat in {
    }, out{};
    if (input != "-" && ::stat(input.c_str(), &in) == 0 && ::stat(target.c_str(), &out) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
      std::fprintf(stderr, "zarvo-fap: %s: the output would replace its own input\n",
                   input.c_str());
      return kBadInput;
    }
    file = OutputFile::create(target, &problem);
    if (file == nullptr) return writeFailed(target, problem);
  }
  std::unique_ptr<FapWriter> fap;
  if (s.format == Format::kFap) {
    fap = std::make_unique<FapWriter>(baseName(input), s.fps);
    if (!fap->open(&problem)) return writeFailed(target, problem);
  }
  TextWriter out(file != nullptr ? file->fd() : STDOUT_FILENO);
  const bool toTerminal = file == nullptr && ::isatty(STDOUT_FILENO);
  Progress progress(::isatty(STDERR_FILENO) && !toTerminal, baseName(input), *reader);

  if (s.format == Format::kCsv) out.put(csvHeader(s.outputs));
  if (s.format == Format::kJson) out.put(jsonHead(s.outputs));
  FileFrames faps(*reader, s.articulate, s.outputs);
  zarvo_frame w;
  int mouth[76];
  while (!stopRequested() && faps.next(w) && !out.failed()) {
    if (s.format == Format::kCsv) {
      putValues(out, w, s.outputs, false);
      out.put('\n');
    } else if (s.format == Format::kJson) {
      out.put(w.index == 0 ? "\n[" : ",\n[");
      putValues(out, w, s.outputs, true);
      out.put(']');
    } else {
      FileFrames::fapArray(w, mouth);
      if (!fap->addWindow(w.index, mouth)) return writeFailed(target, fap->problem());
    }
    progress.tick(w.index);
  }
  if (stopRequested()) return kStopped;
  if (out.failed()) return writeFailed(target, out.problem());
  if (faps.failed()) {
    out.flush();  // what standard output has received stays valid up to here
    std::fprintf(stderr, "zarvo-fap: %s: %s\n", input.c_str(), faps.problem().c_str());
    return kBadInput;
  }
  if (s.format == Format::kJson) out.put(faps.windows() > 0 ? "\n]}\n" : "]}\n");
  if (s.format == Format::kFap && !fap->finish(reader->samplesDelivered(), out))
    return writeFailed(target, out.failed() ? out.problem() : fap->problem());
  if (!out.flush()) return writeFailed(target, out.problem());
  if (file != nullptr && !file->commit(&problem)) return writeFailed(target, problem);
  return kDone;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe must show as a failed write (EPIPE), not end the process silently.
  ::signal(SIGPIPE, SIG_IGN);
  catchStopSignals();
  try {
    Settings s;
    if (!parseArgs(argc, argv, s)) return 2;
    int status = kDone;
    for (const std::string& input : s.inputs) {
      const Outcome o = analyse(s, input);
      endIfStopped();  // the output file is gone already
      if (o == kWriteFailed) return 1;
      if (o == kBadInput) status = 2;
    }
    return status;
  } catch (const std::bad_alloc&) {
    std::fputs("zarvo-fap: out of memory\n", stderr);
    return 2;
  }
}
