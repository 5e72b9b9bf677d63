// zarvo-render: a talking-head clip from a speech recording or an MPEG-4 FAP file.
//
//   zarvo-render SPEECH -o clip.mp4 [--fps N] [--size WxH] [--view live|front]
//                [--mode poly|smooth|wire|points] [--look lifelike|designed] [--stats]
//   zarvo-render FILE.fap [--audio SPEECH] -o clip.mp4 ...
//   zarvo-render SPEECH -o frames/%05d.png ...
//
// Exit status 0 when the output is complete; 2 after a usage error, bad input, an output
// that cannot be written or an encoder failure, with one line on standard error and
// nothing of the output left behind. A signal (Ctrl-C) also removes the partial output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "fapfile/StopSignal.h"
#include "video/render.h"

namespace {

const char kUsage[] =
    "usage: zarvo-render SPEECH_FILE -o OUTPUT [options]\n"
    "       zarvo-render FILE.fap [--audio SPEECH_FILE] -o OUTPUT [options]\n"
    "  SPEECH_FILE        any audio file (WAV, FLAC, Ogg, MP3, ...), or raw float32\n"
    "                     48 kHz mono named .raw or .f32\n"
    "  --audio SPEECH_FILE  the sound of a FAP file's clip; its loudness sets the live zoom\n"
    "  OUTPUT             clip.mp4 (H.264 + AAC), or frames/%05d.png (numbered PNG frames)\n"
    "  --fps N            frames per second (default 30; a FAP file's own whole rate)\n"
    "  --size WxH         frame size in pixels (default 720x720; even for MP4)\n"
    "  --view live|front  live: the live mode's framing with its loudness zoom (default);\n"
    "                     front: the whole head as the program starts\n"
    "  --mode poly|smooth|wire|points   drawing mode (default poly: flat-shaded polygons)\n"
    "  --look lifelike|designed  lifelike (default): the polygon models with a rounder\n"
    "                     surface, eyes that blink, teeth, and the head moving between\n"
    "                     words; designed: the program's own look\n"
    "  --stats            print the time spent per stage when done\n";

int usage(const std::string& why) {
  std::fprintf(stderr, "zarvo-render: %s\n%s", why.c_str(), kUsage);
  return 2;
}

bool number(const char* text, int low, int high, int& out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < low || v > high) return false;
  out = static_cast<int>(v);
  return true;
}

bool size(const std::string& text, int& w, int& h) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  return number(text.substr(0, x).c_str(), 16, 4096, w) &&
         number(text.substr(x + 1).c_str(), 16, 4096, h);
}

}  // namespace

int main(int argc, char** argv) {
  RenderJob job;
  bool stats = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "-o" || a == "--output") {
      if (!hasValue) return usage(a + " needs a file name");
      job.output = argv[++i];
    } else if (a == "--audio") {
      if (!hasValue) return usage("--audio needs a speech file");
      job.audio = argv[++i];
    } else if (a == "--fps") {
      if (!hasValue || !number(argv[++i], 1, 240, job.fps))
        return usage("--fps needs a whole number from 1 to 240");
    } else if (a == "--size") {
      if (!hasValue || !size(argv[++i], job.width, job.height))
        return usage("--size needs WIDTHxHEIGHT, each 16 to 4096 pixels");
    } else if (a == "--view") {
      const std::string v = hasValue ? argv[++i] : "";
      if (v == "live")
        job.view = View::live;
      else if (v == "front")
        job.view = View::front;
      else
        return usage("--view is live or front");
    } else if (a == "--mode") {
      const std::string v = hasValue ? argv[++i] : "";
      if (v == "poly")
        job.mode = Mode::poly;
      else if (v == "smooth")
        job.mode = Mode::smooth;
      else if (v == "wire")
        job.mode = Mode::wire;
      else if (v == "points")
        job.mode = Mode::points;
      else
        return usage("--mode is poly, smooth, wire or points");
    } else if (a == "--look") {
      const std::string v = hasValue ? argv[++i] : "";
      if (v == "lifelike")
        job.look = Look::lifelike;
      else if (v == "designed")
        job.look = Look::designed;
      else
        return usage("--look is lifelike or designed");
    } else if (a == "--stats") {
      stats = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else if (job.input.empty()) {
      job.input = a;
    } else {
      return usage("one input file only");
    }
  }
  if (job.input.empty()) return usage("no input file");
  if (job.output.empty()) return usage("no output: give -o clip.mp4 or -o frames/%05d.png");
  if (!job.audio.empty() && !isFapFile(job.input))
    return usage("--audio goes with a FAP file; a speech file brings its own sound");
  job.progress = isatty(STDERR_FILENO) == 1;
  // Failures are reported in one line of our own; the libraries' chatter would bury it.
  av_log_set_level(AV_LOG_QUIET);

  // A signal stops the frame loop; the partial output is gone before the program ends
  // the way the signal would have ended it.
  catchStopSignals();
  RenderFigures figures;
  std::string problem;
  const bool done = render(job, figures, problem);
  endIfStopped();
  if (!done) {
    std::fprintf(stderr, "zarvo-render: %s\n", problem.c_str());
    return 2;
  }
  if (stats) {
    std::fprintf(stderr,
                 "%ld frames, %.2f s of clip in %.2f s (%.2fx real time): analysis %.2f s, "
                 "drawing %.2f s, conversion %.2f s, encoding %.2f s\n",
                 figures.frames, figures.clipSeconds, figures.total,
                 figures.clipSeconds / figures.total, figures.analysis, figures.drawing,
                 figures.conversion, figures.encoding);
  }
  return 0;
}
