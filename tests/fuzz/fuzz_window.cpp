// The window procedure driven by random message sequences on the offscreen backend, with
// the shipped head. After every message the viewer state must be finite and inside its
// bounds (model/valtozok.h), the mesh finite, the OpenGL matrices finite, and the live
// mode's stand-in called once per live command, and nothing may crash.
//
// Input: a sequence of operations, one byte saying which and the next bytes its argument:
//   0, 1  WM_KEYDOWN with kKeys[b]          4  WM_LBUTTONDOWN
//   2     WM_COMMAND with kCommands[b]      5  WM_RBUTTONDOWN
//   3     WM_COMMAND with 9000 + b          6  resize to (b1 % 128) x (b2 % 128)
//   7     WM_SIZE with lParam b1 b2 b3 b4   8  the window uncovered: a repaint
// (b reduced modulo the table's length; operation bytes modulo 9.) Escape ends the input.
//
// Commands that start something elsewhere are replaced by counting stand-ins shared with
// the shell tests: the designed live run (tests/shell/fake_live.*) and the continuous mode
// and playback (tests/shell/fake_modes.*; no mode is ever running there, and the file
// chooser is left unanswered, so nothing is played). A new command or key of that kind is
// added to kCommands / kKeys and counted in live_commands() or mode_commands().
#include <GL/gl.h>

#include <cstddef>
#include <cstdint>

#include "live/modes.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "shell/ablak_beall.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/render/support.h"
#include "tests/shell/fake_live.h"
#include "tests/shell/fake_modes.h"

namespace {

// Every key the viewer handles, some it does not, and Escape.
const WPARAM kKeys[] = {VK_NUMPAD1, VK_NUMPAD3, VK_NUMPAD4, VK_NUMPAD6, VK_NUMPAD7, VK_NUMPAD9,
                        VK_NUMPAD8, VK_NUMPAD2, VK_NUMPAD5, VK_LEFT,    VK_RIGHT,   VK_UP,
                        VK_DOWN,    VK_PRIOR,   VK_NEXT,    'W',        'A',        'S',
                        'D',        VK_F1,      VK_F2,      VK_RETURN,  VK_SPACE,   VK_CLEAR,
                        'Q',        0,          0xFFFF,     VK_ESCAPE};

// Every menu command and a few identifiers that name nothing.
const UINT kCommands[] = {9002, 9003, 9004, 9005, 9006, 9007, 9008, 9009, 9010, 9011, 9012,
                          9201, 9202, 9203, 9204, 9205, 9206, 9207, 9208, 9209, 9210, 9801,
                          9802, 9803, 9804, 9805, 9806, 9807, 9808, 9909, 9000, 9001, 9013,
                          9014, 9015, 9016, 9020, 9021, 9200, 9211, 9809, 9910, 0};

// How many times the live-mode stand-in must have been called after this message.
int live_commands(UINT message, WPARAM w) {
  if (message == WM_KEYDOWN) return w == VK_RETURN;
  if (message == WM_COMMAND) return LOWORD(w) == 9011;
  return 0;
}

// How many times the continuous mode's stand-in must have been started after this message.
int mode_commands(UINT message, WPARAM w) {
  if (message == WM_KEYDOWN) return w == VK_SPACE;
  if (message == WM_COMMAND) return LOWORD(w) == kFolyamatosParancs;
  return 0;
}

bool valid_point(int code) {
  return code == 0 || code == 909 || (code >= 201 && code <= 210) || (code >= 801 && code <= 808);
}

void check_state(int live_calls, int mode_calls) {
  using fuzz::check;
  using fuzz::inside;
  check(inside(d, kDmin, kDmax), "zoom d inside [kDmin, kDmax]");
  check(inside(feny, kFenyMin, kFenyMax), "light feny inside [kFenyMin, kFenyMax]");
  check(rotspeed >= 1 && rotspeed <= kRotspeedMax, "rotspeed inside [1, kRotspeedMax]");
  for (double r : {rotx, roty, rotz})
    check(inside(r, -kRotspeedMax, kRotspeedMax), "rotation increments within the step bound");
  check(inside(tolx, -kTolMax, kTolMax) && inside(toly, -kTolMax, kTolMax), "pans within kTolMax");
  check(nezetselect >= 0 && nezetselect <= 2, "drawing mode 0..2");
  check(valid_point(pontselect), "selected point names a feature point or none");
  for (int i = 0; i < 348; ++i)
    check(std::isfinite(hdx[i]) && std::isfinite(hdy[i]) && std::isfinite(hdz[i]),
          "mesh coordinates finite");
  for (double p : p909move) check(std::isfinite(p), "teeth displacement finite");
  if (hGLRC) {
    GLdouble m[16], p[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    glGetDoublev(GL_PROJECTION_MATRIX, p);
    for (int k = 0; k < 16; ++k)
      check(std::isfinite(m[k]) && std::isfinite(p[k]), "OpenGL matrices finite");
  }
  check(fake_live::calls() == live_calls, "the live mode started once per live command");
  check(fake_modes::continuous() == mode_calls, "the continuous mode started once per command");
  check(fake_modes::played().empty(), "nothing played without a chosen file");
}

// Each input starts from the viewer as the program starts, in a 96-pixel square (small
// frames are cheap). The window and its context are kept from input to input unless an
// input destroyed them: a new OSMesa context costs more than a whole run of messages.
void start() {
  support::reset_viewer();  // also the size the window is created with
  winW = winH = 96;
  if (!platform::is_window(hWnd)) {
    HINSTANCE instance = offscreen::reset();
    offscreen::keep_call_records(false);  // the call list would only grow
    hWnd = nullptr;
    hDC = nullptr;
    hGLRC = nullptr;
    hPalette = nullptr;
    MyRegisterClass(instance);
    fuzz::check(MyCreateInstance(instance, SW_SHOWNORMAL) != nullptr, "the window opens");
  }
  p909move[0] = p909move[1] = p909move[2] = 0.0;
  fake_live::reset();
  fake_modes::reset();
  offscreen::resize(hWnd, 96, 96);
  // Delivers the repaint, and takes a quit request an earlier input may have left.
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) == 1) DispatchMessageA(&msg);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::work_in("fuzz_window-cwd");
  adatmappak({ZARVO_DATA_DIR});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  start();
  int live_calls = 0, mode_calls = 0;
  std::size_t at = 0;
  auto next = [&] { return at < size ? data[at++] : std::uint8_t{0}; };
  while (at < size && platform::is_window(hWnd)) {
    const int op = next() % 9;
    UINT message = 0;
    WPARAM w = 0;
    switch (op) {
      case 0:
      case 1:
        message = WM_KEYDOWN;
        w = kKeys[next() % std::size(kKeys)];
        SendMessageA(hWnd, message, w, 1);
        break;
      case 2:
      case 3:
        message = WM_COMMAND;
        w = op == 2 ? kCommands[next() % std::size(kCommands)] : 9000 + next();
        SendMessageA(hWnd, message, w, 0);
        break;
      case 4:
      case 5:
        message = op == 4 ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
        SendMessageA(hWnd, message, op == 4 ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(next(), next()));
        break;
      case 6: {
        const int width = next() % 128, height = next() % 128;
        offscreen::resize(hWnd, width, height);
        break;
      }
      case 7: {
        LPARAM l = 0;
        for (int k = 0; k < 4; ++k) l = l << 8 | next();
        SendMessageA(hWnd, WM_SIZE, SIZE_RESTORED, l);
        break;
      }
      default:
        offscreen::expose(hWnd);
        offscreen::pump();
        break;
    }
    live_calls += live_commands(message, w);
    mode_calls += mode_commands(message, w);
    check_state(live_calls, mode_calls);
  }
  return 0;
}
