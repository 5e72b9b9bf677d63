// zarvo-stream: the lip sync of a voice, live, for other programs; no window.
//
//   zarvo-stream [--vmc HOST[:PORT]] [--names SET] [--rate HZ] [--osc HOST:PORT] [--json]
//                [--designed] [--input-device N|NAME]      the microphone
//   zarvo-stream [...] FILE|- [--no-realtime]                a recording, or standard input
//   zarvo-stream --list-devices | --help | --version
//
// The voice goes through the library (libzarvo: articulated FAPs, visemes, vowels,
// blendshapes, shape, level) and every frame goes out as soon as it is ready, on this
// thread: the microphone's samples arrive through the capture ring (the audio callback only
// copies), a file's are read here, at the pace of real time unless --no-realtime.
//
// Exit status: 0 at the end of a file or on Ctrl-C (SIGINT, SIGTERM, SIGHUP), with a
// summary on standard error; 2 for a bad option, address, name set or file, or no input
// device (one line); 1 when the input device dies or the JSON lines cannot be written.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audiofile/AudioReader.h"
#include "cli/option_value.h"
#include "live/capture.h"
#include "live/devices.h"
#include "sending/outlets.h"
#include "speech/AbsRecorder.h"
#include "zarvo/zarvo.h"

namespace {

const char kUsage[] =
    "usage: zarvo-stream [--vmc HOST[:PORT]] [--names SET] [--rate HZ] [--osc HOST:PORT]\n"
    "                    [--json] [--designed] [--input-device N|NAME | FILE [--no-realtime]]\n"
    "       zarvo-stream --list-devices | --help | --version\n"
    "Analyses the microphone (or FILE, - for standard input, at the pace of real time) and\n"
    "sends the mouth of every 10.7 ms window:\n"
    "  --vmc HOST[:PORT]  VMC protocol bundles to an avatar program (port 39539 when none):\n"
    "                     /VMC/Ext/Blend/Val per name, then /VMC/Ext/Blend/Apply\n"
    "  --names SET        the names sent by --vmc: vrm0 (A I U E O, the default), vrm1\n"
    "                     (aa ih ou ee oh), blendshapes (jawOpen ... mouthUpperUpRight),\n"
    "                     visemes (viseme_sil ... viseme_ou)\n"
    "  --rate HZ          VMC bundles per second (default every window, 93.75)\n"
    "  --osc HOST:PORT    everything in Zarvo's OSC namespace: /zarvo/faps, /zarvo/visemes,\n"
    "                     /zarvo/vowels, /zarvo/blendshapes, /zarvo/shape, /zarvo/level\n"
    "  --json             one JSON object per window on standard output\n"
    "  --designed         the designed FAPs, not the articulated ones\n"
    "  --input-device X   capture from device X: its index, or part of its name\n"
    "  --no-realtime      a file as fast as it can be read, not at its own pace\n"
    "  --list-devices     print the audio devices and end\n"
    "Ctrl-C ends it (status 0) with a summary on standard error.\n";

volatile sig_atomic_t g_stop = 0;
void onStop(int) { g_stop = 1; }

// The first signal asks for a clean end; a second one (SA_RESETHAND) ends the process at
// once, for a run blocked reading a pipe whose writer does not stop.
void catchStop() {
  struct sigaction sa {};
  sa.sa_handler = onStop;
  sa.sa_flags = SA_RESETHAND;  // and no SA_RESTART: a blocked read returns
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  // A reader of the JSON lines that goes away shows as EPIPE (an end, not a death).
  signal(SIGPIPE, SIG_IGN);
}

struct Options {
  sending::Settings send;
  std::string file;  // empty: the microphone
  std::string device;
  bool realtime = true, designed = false, list = false, help = false, version = false;
  std::string problem;
};

Options parse(int argc, char** argv) {
  Options o;
  bool options = true, haveFile = false;
  for (int i = 1; i < argc && o.problem.empty(); ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name, std::string* to) {
      const cli::Value v = cli::optionValue(argc, argv, i, name, to);
      if (v == cli::Value::kMissing || v == cli::Value::kEmpty)
        o.problem = std::string(name) + " needs a value";
      return v != cli::Value::kOther;
    };
    if (options && a == "--") {
      options = false;
    } else if (options && (value("--vmc", &o.send.vmc) || value("--osc", &o.send.osc) ||
                           value("--names", &o.send.names) || value("--rate", &o.send.rate) ||
                           value("--input-device", &o.device))) {
    } else if (options && a == "--json") {
      o.send.json = true;
    } else if (options && a == "--designed") {
      o.designed = true;
    } else if (options && a == "--no-realtime") {
      o.realtime = false;
    } else if (options && a == "--list-devices") {
      o.list = true;
    } else if (options && (a == "--help" || a == "-h")) {
      o.help = true;
    } else if (options && a == "--version") {
      o.version = true;
    } else if (options && a.size() > 1 && a[0] == '-') {
      o.problem = "unknown option " + a + " (zarvo-stream --help lists them)";
    } else if (haveFile) {
      o.problem = "one input at a time (" + o.file + ", " + a + ")";
    } else {
      o.file = a;
      haveFile = true;
    }
  }
  if (!o.problem.empty() || o.help || o.version || o.list) return o;
  if (haveFile && !o.device.empty())
    o.problem = "--input-device is for the microphone, not for a file";
  else if (!haveFile && !o.realtime)
    o.problem = "--no-realtime is for a file: the microphone comes in real time";
  else if (o.send.vmc.empty() && o.send.osc.empty() && !o.send.json)
    o.problem = "nothing to send: give --vmc, --osc or --json";
  return o;
}

// The library's stream and the outlets: every frame the samples make ready is sent, after
// `pace` has waited for its time (a file in real time) or at once.
class Sender {
 public:
  Sender(bool articulate, sending::Outlets& outlets) : out(outlets) {
    zarvo_options o;
    zarvo_options_init(&o);
    o.articulate = articulate ? 1 : 0;
    o.flags = ZARVO_FLAG_NONFINITE_AS_SILENCE;  // as the analysis of a file takes them
    stream = zarvo_stream_create(&o, &error);
    frame.struct_size = sizeof frame;
  }
  ~Sender() { zarvo_stream_destroy(stream); }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  bool ok() const { return stream != nullptr; }
  const char* problem() const { return zarvo_strerror(error); }

  // Pushes n samples at 48 kHz; false when the outlets can no longer send.
  template <typename Pace>
  bool push(const float* samples, int64_t n, Pace pace) {
    while (n > 0) {
      const int64_t took = zarvo_stream_push_float(stream, samples, n);
      if (took < 0) return false;  // cannot happen: checked samples, a stream not flushed
      samples += took;
      n -= took;
      if (!pull(pace)) return false;
    }
    return true;
  }
  template <typename Pace>
  bool finish(Pace pace) {
    zarvo_stream_flush(stream);
    return pull(pace);
  }
  double seconds() const { return pushed; }

 private:
  template <typename Pace>
  bool pull(Pace pace) {
    while (!g_stop && zarvo_stream_pull(stream, &frame) == 1) {
      pace(frame);
      if (g_stop) break;
      if (!out.send(frame)) return false;
      pushed = frame.centre_seconds;
    }
    return true;
  }

  sending::Outlets& out;
  zarvo_stream* stream = nullptr;
  int error = ZARVO_OK;
  zarvo_frame frame{};
  double pushed = 0.0;
};

// Sleeps until steady time `ns`, in slices, so a stop request is seen within 50 ms.
void sleepUntil(int64_t ns) {
  for (int64_t now = steadyNs(); now < ns && !g_stop; now = steadyNs())
    std::this_thread::sleep_for(std::chrono::nanoseconds(std::min<int64_t>(ns - now, 50'000'000)));
}

// A file or standard input; 0, 1 (JSON lines failed) or 2 (the input failed).
int fromFile(const Options& o, Sender& sender) {
  std::string problem;
  std::unique_ptr<AudioReader> reader = AudioReader::open(o.file, AudioReader::Options{}, &problem);
  if (!reader) {
    std::fprintf(stderr, "zarvo-stream: %s: %s\n", o.file.c_str(), problem.c_str());
    return 2;
  }
  // Real time: a frame goes out when the input's samples up to the last one it needs would
  // have been heard, counted from when the first block arrived. An input that comes slower
  // than real time (a speech synthesiser thinking) moves the start on, so the frames after
  // a gap keep their spacing instead of catching up in a burst.
  int64_t startNs = -1;
  auto pace = [&](const zarvo_frame& f) {
    if (!o.realtime) return;
    const int64_t due =
        startNs + static_cast<int64_t>((f.centre_seconds * 1000.0 + f.delay_ms) * 1e6);
    const int64_t late = steadyNs() - due;
    if (late > 100'000'000) startNs += late;
    sleepUntil(due);
  };
  // One hop at a time: a live pipe is not waited on for more than the next window needs.
  std::vector<float> block(ZARVO_HOP);
  for (;;) {
    const long n = reader->read(block.data(), static_cast<long>(block.size()));
    if (g_stop) return 0;
    if (n < 0) {
      std::fprintf(stderr, "zarvo-stream: %s: %s\n", o.file.c_str(), reader->problem().c_str());
      return 2;
    }
    if (startNs < 0) startNs = steadyNs();
    if (n == 0) break;
    if (!sender.push(block.data(), n, pace)) return 1;
  }
  if (!reader->note().empty())
    std::fprintf(stderr, "zarvo-stream: %s: note: %s\n", o.file.c_str(), reader->note().c_str());
  return sender.finish(pace) ? 0 : 1;
}

std::string captureProblem(live::Capture& c) {
  switch (c.device().lastError) {
    case paDeviceUnavailable: return "no audio input device";
    case paInvalidDevice: return "the device chosen is not an audio input";
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported: return "the input device records in no format known here";
    case paNoError: return c.problem();
    default: return Pa_GetErrorText(c.device().lastError);
  }
}

// The microphone until a stop request; 0, 1 (the device died, the JSON lines failed) or 2
// (no device).
int fromMicrophone(Sender& sender, std::string* figures) {
  live::Capture capture;
  if (!capture.ok() || capture.start() != paNoError) {
    std::fprintf(stderr, "zarvo-stream: cannot capture: %s\n", captureProblem(capture).c_str());
    return 2;
  }
  constexpr int kWindow = live::Capture::kWindow, kStep = live::Capture::kStep;
  double window[kWindow];
  float fresh[kWindow];
  const std::vector<float> zeros(kWindow, 0.0f);
  int64_t last = 0;
  bool first = true;
  int status = 0;
  auto now = [](const zarvo_frame&) {};
  while (!g_stop) {
    const std::string died = capture.health();
    if (!died.empty()) {
      std::fprintf(stderr, "zarvo-stream: the audio input stopped: %s\n",
                   capture.device().lastError != paNoError
                       ? Pa_GetErrorText(capture.device().lastError)
                       : "the device went away or stopped delivering");
      status = 1;
      break;
    }
    if (!capture.isNew()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(capture.msUntilNextWindow()));
      continue;
    }
    capture.handleNew(window);
    const int64_t end = capture.windowEnd();
    // The samples new since the last window: a hop, or the whole window at the start. The
    // window end is a 32-bit count that wraps (after 12 hours at 48 kHz): the step is its
    // difference modulo 2^32. Windows the capture lost become silence, so every frame's
    // time stays the microphone's.
    const int64_t step =
        first ? kWindow
              : static_cast<int32_t>(static_cast<uint32_t>(end) - static_cast<uint32_t>(last));
    int n = kWindow;
    if (step == kStep) {
      n = kStep;
    } else if (step > kWindow) {
      for (int64_t gap = step - kWindow; gap > 0 && status == 0; gap -= kWindow)
        if (!sender.push(zeros.data(), std::min<int64_t>(gap, kWindow), now)) status = 1;
    }
    first = false;
    last = end;
    std::transform(window + kWindow - n, window + kWindow, fresh,
                   [](double x) { return static_cast<float>(x); });
    if (status != 0 || !sender.push(fresh, n, now)) {
      status = 1;
      break;
    }
  }
  *figures = ", " + std::to_string(capture.skippedWindows()) + " windows lost, " +
             std::to_string(capture.inputOverflows()) + " input overflows";
  capture.finish();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  if (!o.problem.empty()) {
    std::fprintf(stderr, "zarvo-stream: %s\n", o.problem.c_str());
    return 2;
  }
  if (o.help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (o.version) {
    std::puts("zarvo-stream " ZARVO_VERSION);
    return 0;
  }
  if (o.list) return live::printDevices(stdout) ? 0 : 1;

  std::string problem;
  const std::unique_ptr<sending::Outlets> outlets =
      sending::Outlets::open(o.send, stdout, &problem);
  if (!outlets) {
    std::fprintf(stderr, "zarvo-stream: %s\n", problem.c_str());
    return 2;
  }
  if (!o.device.empty()) {
    const std::vector<live::Device> devices = live::listDevices(&problem);
    const int index = live::findDevice(devices, o.device, true, &problem);
    if (index < 0) {
      std::fprintf(stderr, "zarvo-stream: %s\n", problem.c_str());
      return 2;
    }
    InfiniteRecorder::chosenInput = index;
  }
  Sender sender(!o.designed, *outlets);
  if (!sender.ok()) {
    std::fprintf(stderr, "zarvo-stream: %s\n", sender.problem());
    return 1;
  }
  catchStop();
  std::string figures;
  int status = o.file.empty() ? fromMicrophone(sender, &figures) : fromFile(o, sender);
  if (!outlets->problem().empty() && !outlets->readerGone()) {
    std::fprintf(stderr, "zarvo-stream: %s\n", outlets->problem().c_str());
    status = 1;
  } else if (outlets->readerGone()) {
    status = 0;
  }
  if (status == 2 && outlets->frames() == 0) return 2;
  std::fprintf(stderr, "zarvo-stream: %ld frames, %.1f s%s; %s\n", outlets->frames(),
               sender.seconds(), figures.c_str(), outlets->summary().c_str());
  return status;
}
