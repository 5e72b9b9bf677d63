// Everything a frame is sent to, as the command line asks (zarvo-stream, and the viewer's
// live modes): VMC bundles to an avatar program, Zarvo's own OSC namespace to anything
// that speaks OSC, JSON lines to a script. Made on the main thread before the audio
// starts; then used by the analysis thread alone (the one that pulls the frames).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "sending/names.h"
#include "sending/osc.h"
#include "sending/settings.h"
#include "zarvo/zarvo.h"

namespace sending {

class Outlets {
 public:
  // Resolves the addresses and checks the names and the rate; null with *problem set to
  // one line naming the option when any is bad. JSON lines go to `json` (not owned).
  static std::unique_ptr<Outlets> open(const Settings& settings, FILE* json, std::string* problem);
  ~Outlets();
  Outlets(const Outlets&) = delete;
  Outlets& operator=(const Outlets&) = delete;

  // Sends `frame` (which must carry every output) everywhere asked; VMC only when its
  // time has come at --rate (frame time, so a run is the same however fast it goes; a
  // frame earlier than the last one, a new run, starts the count afresh). False once the
  // JSON lines cannot be written: problem() says why, readerGone() when the reader of a
  // pipe went away (an end, not a fault).
  bool send(const zarvo_frame& frame);

  long frames() const { return count; }
  long failures() const;  // bundles that could not be sent, all targets
  const std::string& problem() const { return why; }
  bool readerGone() const { return gone; }
  // One line: per target what was sent and what failed ("vmc 127.0.0.1:39539 (vrm0): 940
  // bundles, 0 failed; json: 940 lines").
  std::string summary() const;

 private:
  Outlets() = default;

  std::unique_ptr<Target> vmc, osc;
  Names names = Names::vrm0;
  std::string namesGiven;
  double period = 0.0;  // seconds between VMC bundles; 0: every frame
  double due = 0.0, last = -1.0;
  FILE* json = nullptr;
  std::string line;
  long count = 0, lines = 0;
  std::string why;
  bool gone = false;
};

}  // namespace sending
