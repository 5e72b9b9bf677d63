// What the command line asks to be sent (zarvo-stream, and the viewer's --vmc and --osc):
// the options' texts as given, checked when the outlets open (sending/outlets.h). Plain
// data, no dependencies, so the command-line parsers can hold it.
#pragma once

#include <string>

namespace sending {

// The options as given (strings, checked by Outlets::open).
struct Settings {
  std::string vmc;    // --vmc HOST[:PORT] (port 39539 when none); empty: none
  std::string osc;    // --osc HOST:PORT; empty: none
  std::string names;  // --names: the VMC name set (names.h); empty: vrm0
  std::string rate;   // --rate HZ: VMC bundles per second; empty: every frame
  bool json = false;  // --json: one line per frame
};

// The port avatar renderers listen on for the VMC protocol (a tracker taking helpers
// listens on 39540).
inline constexpr char kVmcPort[] = "39539";

}  // namespace sending
