// Counting stand-ins for the modes of live/modes.h, linked into the shell tests in place of
// zarvo_modes (which would bring the audio library): each call is recorded; a test can make
// eloModFut() report a running mode.
#pragma once

#include <string>
#include <vector>

namespace fake_modes {

void reset();
int continuous();                          // folyamatos calls
const std::vector<std::string>& played();  // lejatszas paths, in order
int stops();                               // eloModLeallit calls while "running"
void set_running(bool running);

}  // namespace fake_modes
