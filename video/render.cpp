#include "video/render.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "audiofile/AudioReader.h"
#include "audiofile/FileFrames.h"
#include "audiofile/FileName.h"
#include "fapfile/FapFile.h"
#include "fapfile/StopSignal.h"
#include "model/modellbeolv.h"
#include "video/clip.h"
#include "video/png.h"
#include "video/progress.h"
#include "video/sink.h"

namespace {

constexpr long long kRate = AudioReader::kRate;
constexpr long kChunk = 4800;  // samples read at a time: 0.1 s

using Clock = std::chrono::steady_clock;

// A recording read twice at once: one reader for the sound track, one for the analysis,
// each streaming, so the whole recording is never held.
struct Sound {
  std::unique_ptr<AudioReader> track, analysed;
  std::unique_ptr<FileFrames> windows;
  zarvo_frame shown{};  // the window of the last frame
  int mouth[76] = {};   // its FAPs by number
  bool haveWindow = false;
  long long samples = 0;  // read from `track` so far
  bool ended = false;

  bool open(const std::string& path, bool articulate, std::string& problem) {
    // Two readers need a file that can be read twice: not a pipe or standard input.
    struct stat st {};
    if (path != "-" && stat(path.c_str(), &st) != 0) {
      problem = path + ": " + std::strerror(errno);
      return false;
    }
    if (path == "-" || !S_ISREG(st.st_mode)) {
      problem = path + ": not a regular file (it is read twice, for the sound and the mouth)";
      return false;
    }
    std::string why;
    track = AudioReader::open(path, AudioReader::Options{}, &why);
    if (track) analysed = AudioReader::open(path, AudioReader::Options{}, &why);
    if (!track || !analysed) {
      problem = path + ": " + why;
      return false;
    }
    windows = std::make_unique<FileFrames>(*analysed, articulate, ZARVO_OUTPUT_FAPS);
    return true;
  }

  // Seconds of sound the header promises; <= 0 when not known.
  double seconds() const {
    const long long frames = track->sourceFrames();
    return frames > 0 ? static_cast<double>(frames) / track->sourceRate() : 0.0;
  }

  // Moves the shown window on to `index` (or the last there is). False on a read error.
  bool showWindow(long long index, std::string& problem) {
    zarvo_frame next;
    while (!haveWindow || shown.index < index) {
      if (!windows->next(next)) break;
      shown = next;
      haveWindow = true;
    }
    FileFrames::fapArray(shown, mouth);
    if (windows->failed()) {
      problem = windows->problem();
      return false;
    }
    return true;
  }
};

// A FAP file read one frame at a time.
struct Faps {
  std::ifstream file;
  std::unique_ptr<FapReader> reader;
  FapHeader header;
  FapFrame frame;
  long long at = -1;  // number of the frame in `frame`

  bool open(const std::string& path, std::string& problem) {
    file.open(path, std::ios::binary);
    if (!file) {
      problem = path + ": " + std::strerror(errno);
      return false;
    }
    reader = std::make_unique<FapReader>(file);
    if (!reader->readHeader(header)) {
      problem = path + ": " + reader->problem();
      return false;
    }
    if (header.frames <= 0) {
      problem = path + ": no frames";
      return false;
    }
    return true;
  }

  // Frames of a clip at `fps` that covers the file's frames: ceil(frames / rate * fps).
  long long videoFrames(int fps) const {
    return static_cast<long long>(std::ceil(header.frames * fps / header.fps - 1e-9));
  }

  // Samples at 48000 Hz the file's frames last; a recording it was made from is no longer
  // (its frames cover every sample, the last frame reaching past the end).
  long long samples() const {
    return static_cast<long long>(std::floor(header.frames * kRate / header.fps + 1e-6));
  }

  // Moves on to the file's frame nearest time k / fps (ties to the earlier one, as in the
  // frame rule). False on an error in the file.
  bool showFrame(long long k, int fps, const std::string& path, std::string& problem) {
    const long long want = std::min<long long>(
        header.frames - 1, static_cast<long long>(std::ceil(k * header.fps / fps - 0.5 - 1e-9)));
    while (at < want) {
      const int r = reader->next(frame);
      if (r != 1) {
        problem = path + ": " + (r < 0 ? reader->problem() : "fewer frames than the header says");
        return false;
      }
      ++at;
    }
    return true;
  }
};

std::unique_ptr<FrameSink> openSink(const RenderJob& job, int fps, bool sound,
                                    std::string& problem) {
  std::unique_ptr<FrameSink> sink;
  if (isPngPattern(job.output)) {
    sink = std::make_unique<PngSequence>(job.output, job.width, job.height, job.transparent);
  } else {
    ClipSettings s;
    if (endsWithNoCase(job.output, ".mp4")) {
      s.container = Container::mp4;
    } else if (endsWithNoCase(job.output, ".webm")) {
      s.container = Container::webm;
    } else if (endsWithNoCase(job.output, ".gif")) {
      s.container = Container::gif;
    } else {
      problem = job.output +
                ": the name must end in .mp4, .webm or .gif (a clip) or .png (numbered frames)";
      return nullptr;
    }
    s.width = job.width;
    s.height = job.height;
    s.fps = fps;
    s.sound = sound;
    sink = std::make_unique<ClipWriter>(job.output, s);
  }
  if (sink->ok()) return sink;
  problem = sink->problem();
  return nullptr;
}

// The clip's frame rate: --fps, else a FAP file's own rate, else 30. A FAP file's rate that
// a clip cannot have is refused rather than quietly replaced.
bool clipRate(const RenderJob& job, const Faps* faps, int& fps, std::string& problem) {
  fps = job.fps != 0 ? job.fps : 30;
  if (job.fps != 0 || !faps) return true;
  const double own = faps->header.fps;
  if (own >= 1 && own <= 240 && own == std::floor(own)) {
    fps = static_cast<int>(own);
    return true;
  }
  char rate[32];
  std::snprintf(rate, sizeof rate, "%g", own);
  problem = job.input + ": its rate of " + rate +
            " frames per second is not one a clip takes (a whole number from 1 to 240); choose "
            "the clip's with --fps N";
  return false;
}

// Where the first sample that is not a finite number lies among n, or -1: the encoders
// refuse such sound, and it is no recording's.
long firstNonFinite(const float* samples, long n) {
  for (long i = 0; i < n; ++i)
    if (!std::isfinite(samples[i])) return i;
  return -1;
}

std::string seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

}  // namespace

bool isFapFile(const std::string& path) { return endsWithNoCase(path, ".fap"); }

bool isPngPattern(const std::string& path) { return endsWithNoCase(path, ".png"); }

bool render(const RenderJob& job, RenderFigures& fig, std::string& problem) {
  const auto began = Clock::now();
  fig = RenderFigures{};

  // ---- inputs: the mouth from the speech or the FAP file; sound and zoom from the speech
  auto start = Clock::now();
  std::unique_ptr<Faps> faps;
  std::unique_ptr<Sound> sound;
  if (isFapFile(job.input)) {
    faps = std::make_unique<Faps>();
    if (!faps->open(job.input, problem)) return false;
  }
  const std::string soundPath = faps ? job.audio : job.input;
  if (!soundPath.empty()) {
    sound = std::make_unique<Sound>();
    if (!sound->open(soundPath, job.articulate, problem)) return false;
  }
  int fps = 0;
  if (!clipRate(job, faps.get(), fps, problem)) return false;
  fig.fps = fps;
  fig.clipSeconds = faps ? faps->header.frames / faps->header.fps : sound->seconds();
  fig.analysis += secondsSince(start);

  // ---- the head, the drawing and the output
  // Found as the program finds it: the working directory first, then the program's folders,
  // so build/zarvo-render works from the repository root and an installed one from anywhere.
  if (!modellbetolt(alap_adatmappak(), problem)) return false;
  FrameDrawer drawer(job.width, job.height, job.look);
  if (!drawer.ok()) {
    problem = drawer.problem();
    return false;
  }
  std::unique_ptr<FrameSink> sink = openSink(job, fps, sound != nullptr, problem);
  if (!sink) return false;
  auto fails = [&](const std::string& why) {
    sink->abandon();
    problem = why;
    return false;
  };

  Progress progress(job.progress, fig.clipSeconds, fps);
  float chunk[kChunk];
  // The sound a FAP file's clip keeps is no longer than the file; `beyond` counts what
  // the recording has past that.
  const long long keep = faps ? faps->samples() : -1;
  long long beyond = 0;
  // Reads the sound on until it covers `samples` (all of it for -1) and hands it over.
  auto pumpSound = [&](long long samples) {
    while (sound && !sound->ended && (samples < 0 || sound->samples < samples)) {
      start = Clock::now();
      const long n = sound->track->read(chunk, kChunk);
      fig.analysis += secondsSince(start);
      if (n < 0) return fails(soundPath + ": " + sound->track->problem());
      if (n == 0) {
        sound->ended = true;
        break;
      }
      const long bad = firstNonFinite(chunk, n);
      if (bad >= 0)
        return fails(soundPath + ": sample " + std::to_string(sound->samples + beyond + bad) +
                     " (" + seconds(static_cast<double>(sound->samples + beyond + bad) / kRate) +
                     " in) is not a number (NaN or infinite)");
      const long take =
          keep < 0 ? n : static_cast<long>(std::clamp<long long>(keep - sound->samples, 0, n));
      beyond += n - take;
      sound->samples += take;
      if (take > 0 && !sink->audio(chunk, take)) return fails(sink->problem());
    }
    return true;
  };
  const long long fapFrames = faps ? faps->videoFrames(fps) : 0;
  for (long long k = 0;; ++k) {
    if (stopRequested()) return fails("interrupted");
    // Frame k exists while its time lies inside the FAP file and inside the speech.
    if (!pumpSound(std::max<long long>((k * kRate) / fps + 1, ZARVO_WINDOW))) return false;
    if (faps && k >= fapFrames) break;
    if (sound && sound->ended && k >= fapFrameCount(sound->samples, fps)) break;

    start = Clock::now();
    if (sound && !sound->showWindow(fapWindowForFrame(k, fps), problem))
      return fails(soundPath + ": " + problem);
    if (faps && !faps->showFrame(k, fps, job.input, problem)) return fails(problem);
    fig.analysis += secondsSince(start);
    const int* mouth = faps ? faps->frame.faps.data() : sound->mouth;
    // Without sound there is no loudness: the live zoom of a quiet room.
    const int volume = sound && sound->haveWindow ? sound->shown.vol : 0;

    start = Clock::now();
    const offscreen::Image& picture = drawer.draw(mouth, volume, static_cast<double>(k) / fps);
    fig.drawing += secondsSince(start);
    if (!sink->frame(picture)) return fails(sink->problem());
    fig.frames = k + 1;
    progress.update(fig.frames);
  }
  if (!pumpSound(-1)) return false;
  if (fig.frames == 0)
    return fails(job.input + ": too short: less than one analysis window (1024 samples)");
  if (faps && sound && (beyond > 0 || keep - sound->samples >= kRate / faps->header.fps)) {
    const double fapSeconds = faps->header.frames / faps->header.fps;
    const double soundSeconds = static_cast<double>(sound->samples + beyond) / kRate;
    fig.notes.push_back(job.input + " lasts " + seconds(fapSeconds) + ", " + soundPath + " " +
                        seconds(soundSeconds) + ": the clip ends with the shorter, at " +
                        seconds(std::min(fapSeconds, soundSeconds)));
  }
  if (!sink->commit()) {
    problem = sink->problem();
    return false;
  }
  if (!sink->note().empty()) fig.notes.push_back(sink->note());
  progress.finish(fig.frames);
  fig.conversion = sink->conversionSeconds;
  fig.encoding = sink->encodingSeconds;
  fig.total = secondsSince(began);
  return true;
}
