#include "video/render.h"

#include <chrono>
#include <memory>

#include "video/head.h"
#include "video/mp4.h"
#include "video/png.h"
#include "video/progress.h"
#include "video/speech_input.h"

std::atomic<bool> renderStop{false};

namespace {

constexpr long kRate = 48000;
constexpr long kChunk = 4800;  // samples read at a time: 0.1 s

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

bool endsWith(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i])
      return false;
  return true;
}

std::unique_ptr<FrameSink> openSink(const RenderJob& job, std::string& problem) {
  if (endsWith(job.output, ".png")) {
    auto png = std::make_unique<PngSequence>(job.output, job.width, job.height);
    if (png->ok()) return png;
    problem = png->problem();
  } else if (endsWith(job.output, ".mp4")) {
    Mp4Settings s;
    s.width = job.width;
    s.height = job.height;
    s.fps = job.fps;
    auto mp4 = std::make_unique<Mp4Writer>(job.output, s);
    if (mp4->ok()) return mp4;
    problem = mp4->problem();
  } else {
    problem = job.output + ": the name must end in .mp4 (a video) or .png (numbered frames)";
  }
  return nullptr;
}

}  // namespace

bool render(const RenderJob& job, RenderFigures& fig, std::string& problem) {
  const auto began = Clock::now();
  fig = RenderFigures{};

  SpeechInput speech;
  auto start = Clock::now();
  if (!speech.open(job.input, problem)) return false;
  fig.analysis += since(start);
  fig.clipSeconds = speech.seconds();

  if (!loadHead(problem)) return false;
  FrameDrawer drawer(job.width, job.height, job.view, job.mode);
  if (!drawer.ok()) {
    problem = drawer.problem();
    return false;
  }
  std::unique_ptr<FrameSink> sink = openSink(job, problem);
  if (!sink) return false;

  Progress progress(job.progress, fig.clipSeconds, job.fps);
  float chunk[kChunk];
  long long samples = 0;  // sound read and handed to the sink so far
  bool soundEnded = false;
  AnalysedWindow shown, next;
  bool haveWindow = false;
  // Before the first full window (a recording shorter than 1024 samples) the mouth rests
  // and the zoom is that of digital silence.
  shown.volume = -100;

  auto fails = [&](const std::string& why) {
    sink->abandon();
    problem = why;
    return false;
  };
  for (long k = 0;; ++k) {
    if (renderStop.load()) return fails("interrupted");
    // Frame k exists while its time k / fps lies inside the sound.
    start = Clock::now();
    while (!soundEnded && samples * job.fps <= static_cast<long long>(k) * kRate) {
      const long n = speech.read(chunk, kChunk);
      if (n < 0) return fails(job.input + ": read error");
      if (n == 0) {
        soundEnded = true;
        break;
      }
      samples += n;
      fig.analysis += since(start);
      if (!sink->audio(chunk, n)) return fails(sink->problem());
      start = Clock::now();
    }
    if (samples * job.fps <= static_cast<long long>(k) * kRate) break;
    const long want = frameWindow(k, job.fps);
    while (!haveWindow || shown.index < want) {
      if (!speech.next(next)) break;
      shown = next;
      haveWindow = true;
    }
    fig.analysis += since(start);

    start = Clock::now();
    const offscreen::Image& picture = drawer.draw(shown.faps, shown.volume);
    fig.drawing += since(start);
    if (!sink->frame(picture)) return fails(sink->problem());
    fig.frames = k + 1;
    progress.update(fig.frames);
  }
  if (fig.frames == 0) return fails(job.input + ": no sound");
  if (!sink->commit()) {
    problem = sink->problem();
    return false;
  }
  progress.finish(fig.frames);
  fig.conversion = sink->conversionSeconds;
  fig.encoding = sink->encodingSeconds;
  fig.total = since(began);
  return true;
}
