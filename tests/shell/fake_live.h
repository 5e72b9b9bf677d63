// A counting stand-in for the live mode, linked into the shell tests in place of the real
// FAPbeolv: it records each call and the rotation increments it found.
#pragma once

namespace fake_live {

struct Call {
  double rotx, roty, rotz;
};
void reset();
int calls();
const Call& last();

}  // namespace fake_live
