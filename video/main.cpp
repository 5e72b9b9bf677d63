// zarvo-render: a talking-head clip from a speech recording or an MPEG-4 FAP file.
//
//   zarvo-render SPEECH -o clip.mp4|clip.webm|clip.gif [--fps N] [--size WxH]
//                [--camera live|front|45|profile] [--zoom Z] [--tilt DEGREES]
//                [--mode poly|smooth|wire|points] [--look lifelike|designed] [--axes]
//                [--background COLOR] [--designed] [--stats]
//   zarvo-render FILE.fap [--audio SPEECH] -o clip.mp4 ...
//   zarvo-render SPEECH -o frames/%05d.png [--background transparent] ...
//   zarvo-render --help | --version
//
// Exit status 0 when the output is complete (notes, such as a FAP file and its sound of
// different lengths, go to standard error); 2 after a usage error, bad input, an output
// that cannot be written or an encoder failure, with one line on standard error and
// nothing of the output left behind. A signal (Ctrl-C) also removes the partial output.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/parseutils.h>
}

#include "fapfile/StopSignal.h"
#include "video/render.h"

namespace {

const char kUsage[] =
    "usage: zarvo-render SPEECH_FILE -o OUTPUT [options]\n"
    "       zarvo-render FILE.fap [--audio SPEECH_FILE] -o OUTPUT [options]\n"
    "  SPEECH_FILE        any audio file (WAV, FLAC, Ogg, MP3, ...), or raw float32\n"
    "                     48 kHz mono named .raw or .f32\n"
    "  --audio SPEECH_FILE  the sound of a FAP file's clip; its loudness sets the live zoom;\n"
    "                     the clip ends with the shorter of the two\n"
    "  OUTPUT             clip.mp4 (H.264 + AAC), clip.webm (VP9 + Opus), clip.gif (no\n"
    "                     sound), or frames/%05d.png (numbered PNG frames; older frames of\n"
    "                     the pattern numbered past this render's last are removed)\n"
    "  --fps N            frames per second, 1 to 240 (default 30; a FAP file's own rate)\n"
    "  --size WxH         frame size in pixels (default 720x720; even for MP4 and WebM)\n"
    "  --camera C         live: the live mode's framing with its loudness zoom (default);\n"
    "                     front: the whole head as the program starts; 45, profile: the\n"
    "                     head turned 45 or 90 degrees to its right (--view: the same)\n"
    "  --zoom Z           Z times larger than the camera's own framing (0.1 to 10; 1)\n"
    "  --tilt DEGREES     the camera's turn about the screen's x axis, -90 to 90, instead of\n"
    "                     its own (live 20, the others 0); more shows more of the top\n"
    "  --mode poly|smooth|wire|points   drawing mode (default poly: flat-shaded polygons)\n"
    "  --look lifelike|designed  lifelike (default): the polygon models with a rounder\n"
    "                     surface, eyes that blink, teeth, and the head moving between\n"
    "                     words; designed: the program's own look\n"
    "  --axes             draw the viewer's coordinate axes and rotation marker\n"
    "  --background COLOR a colour name (white, black, steelblue, ...) or #rrggbb (default\n"
    "                     white); transparent: PNG frames with an alpha channel\n"
    "  --designed         the mouth of the designed FAPs, not of the articulated ones\n"
    "                     (corrected by the visemes)\n"
    "  --stats            print the time spent per stage when done\n"
    "  --help, --version  this text; the program's name and version\n";

int usage(const std::string& why) {
  std::fprintf(stderr, "zarvo-render: %s; see --help\n", why.c_str());
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

bool real(const char* text, double low, double high, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= low && v <= high)) return false;
  out = v;
  return true;
}

bool size(const std::string& text, int& w, int& h) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) return false;
  return number(text.substr(0, x).c_str(), 16, 4096, w) &&
         number(text.substr(x + 1).c_str(), 16, 4096, h);
}

// A colour name or #rrggbb (FFmpeg's list of names), opaque; "transparent" sets `clear`.
bool colour(const std::string& text, Look& look, bool& clear) {
  clear = text == "transparent";
  if (clear) return true;
  uint8_t rgba[4];
  if (text == "random" || av_parse_color(rgba, text.c_str(), -1, nullptr) < 0 || rgba[3] != 255)
    return false;
  for (int c = 0; c < 3; ++c) look.background[c] = static_cast<float>(rgba[c]) / 255.0f;
  return true;
}

bool camera(const std::string& text, View& view) {
  if (text == "live")
    view = View::live;
  else if (text == "front")
    view = View::front;
  else if (text == "45")
    view = View::turned;
  else if (text == "profile")
    view = View::profile;
  else
    return false;
  return true;
}

bool mode(const std::string& text, Mode& mode) {
  if (text == "poly")
    mode = Mode::poly;
  else if (text == "smooth")
    mode = Mode::smooth;
  else if (text == "wire")
    mode = Mode::wire;
  else if (text == "points")
    mode = Mode::points;
  else
    return false;
  return true;
}

// Reads the command line into `job`; 0 to go on, else the exit status (after --help,
// --version or a usage error, which it reports).
int parse(int argc, char** argv, RenderJob& job, bool& stats) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    // The option's value, or "" (which no option takes) when the line ends.
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (a == "--version") {
      std::puts("zarvo-render " ZARVO_VERSION);
      return -1;
    } else if (a == "-o" || a == "--output") {
      job.output = value();
      if (job.output.empty()) return usage(a + " needs a file name");
    } else if (a == "--audio") {
      job.audio = value();
      if (job.audio.empty()) return usage("--audio needs a speech file");
    } else if (a == "--fps") {
      if (!number(value().c_str(), 1, 240, job.fps))
        return usage("--fps needs a whole number from 1 to 240");
    } else if (a == "--size") {
      if (!size(value(), job.width, job.height))
        return usage("--size needs WIDTHxHEIGHT, each 16 to 4096 pixels");
    } else if (a == "--camera" || a == "--view") {
      if (!camera(value(), job.look.view)) return usage(a + " is live, front, 45 or profile");
    } else if (a == "--zoom") {
      if (!real(value().c_str(), 0.1, 10.0, job.look.zoom))
        return usage("--zoom needs a number from 0.1 to 10");
    } else if (a == "--tilt") {
      double tilt = 0.0;
      if (!real(value().c_str(), -90.0, 90.0, tilt))
        return usage("--tilt needs degrees from -90 to 90");
      job.look.tilt = tilt;
    } else if (a == "--mode") {
      if (!mode(value(), job.look.mode)) return usage("--mode is poly, smooth, wire or points");
    } else if (a == "--look") {
      const std::string v = value();
      if (v == "lifelike")
        job.look.style = Style::lifelike;
      else if (v == "designed")
        job.look.style = Style::designed;
      else
        return usage("--look is lifelike or designed");
    } else if (a == "--axes") {
      job.look.axes = true;
    } else if (a == "--background") {
      if (!colour(value(), job.look, job.transparent))
        return usage("--background needs a colour name, #rrggbb or transparent");
    } else if (a == "--designed") {
      job.articulate = false;
    } else if (a == "--stats") {
      stats = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + a);
    } else if (job.input.empty()) {
      job.input = a;
    } else {
      return usage("one input file only (" + job.input + " and " + a + ")");
    }
  }
  if (job.input.empty()) return usage("no input file");
  if (job.output.empty()) return usage("no output: give -o clip.mp4 or -o frames/%05d.png");
  if (!job.articulate && isFapFile(job.input))
    return usage("--designed goes with a speech file; a FAP file brings its own FAPs");
  if (!job.audio.empty() && !isFapFile(job.input))
    return usage("--audio goes with a FAP file; a speech file brings its own sound");
  if (job.transparent && !isPngPattern(job.output))
    return usage("--background transparent needs PNG frames (-o frames/%05d.png)");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Failures are reported in one line of our own; the libraries' chatter would bury it.
  av_log_set_level(AV_LOG_QUIET);
  RenderJob job;
  bool stats = false;
  if (const int status = parse(argc, argv, job, stats); status != 0) return status < 0 ? 0 : status;
  job.progress = isatty(STDERR_FILENO) == 1;

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
  for (const std::string& note : figures.notes)
    std::fprintf(stderr, "zarvo-render: note: %s\n", note.c_str());
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
