#include "live/session.h"

#include <GL/gl.h>

#include <algorithm>

#include "lifelike/look.h"
#include "lipsync/MeshGuard.h"
#include "live/modes.h"
#include "model/valtozok.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "speech/AbsRecorder.h"
#include "speech/FAPmozgat.h"

namespace live {

ModeFigures lastMode;
void (*modeFrameShown)(const ModeFrame& frame) = nullptr;

namespace {

bool g_running = false;
bool g_stop = false;

}  // namespace

void tell(HWND hwnd, const char* caption, const std::string& text) {
  MessageBoxA(IsWindow(hwnd) ? hwnd : nullptr, text.c_str(), caption, MB_ICONEXCLAMATION | MB_OK);
}

Session::Session(HWND hwnd_, UINT check_) : hwnd(hwnd_), check(check_) {
  g_running = true;
  g_stop = false;
  lastMode = ModeFigures{};
  if (check != 0 && GetMenu(hwnd)) CheckMenuItem(GetMenu(hwnd), check, MF_BYCOMMAND | MF_CHECKED);
}

Session::~Session() {
  g_running = false;
  g_stop = false;
  if (check != 0 && IsWindow(hwnd) && GetMenu(hwnd))
    CheckMenuItem(GetMenu(hwnd), check, MF_BYCOMMAND | MF_UNCHECKED);
}

bool Session::going() const { return g_running && !g_stop && IsWindow(hwnd) && hGLRC != nullptr; }

bool Session::serve() {
  MSG msg;
  while (going() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop, after the mode
      g_stop = true;
      break;
    }
    ++lastMode.messages;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return going();
}

void Session::wait(int ms) {
  ++lastMode.waits;
  MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(ms), QS_ALLINPUT);
}

void Session::frameStart() {
  // The lifelike look frames the whole face, eyes included.
  const bool portrait = lifelike::isOn();
  toly = portrait ? lifelike::kPortraitToly : kKeretToly;
  d = FAPzoom(0) + (portrait ? lifelike::kPortraitZoom : 0.0);
  initMapping();
  rotx = portrait ? lifelike::kPortraitRotx : kKeretRotx;
  roty = rotz = 0.0;
  modellnezet();
  rotx = 0.0;
  zoomOffset = 0.0;
  lastZoom = d;
}

void Session::frame(const int* faps, int volume, int64_t end) {
  // Increments left by a view key were applied by its own frame; applying them again here
  // would keep the head spinning.
  rotx = roty = rotz = 0.0;
  zoomOffset += d - lastZoom;  // the user's zoom clicks since the last frame
  // Held inside the zoom's bounds: clicks made at a quiet frame must not push a loud one
  // through zero.
  const double further = lifelike::isOn() ? lifelike::kPortraitZoom : 0.0;
  d = std::clamp(FAPzoom(volume) + further + zoomOffset, kDmin, kDmax);
  lastZoom = d;
  // The new zoom needs the projection rebuilt; the model-view keeps the user's turns.
  GLdouble view[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, view);
  initMapping();
  glLoadMatrixd(view);

  if (lifelike::isOn()) lifelike::lifeStep(static_cast<double>(end) / 48000.0, volume);
  // Drawn held: a designed pose of a voice that would turn lip triangles over is drawn as
  // near as the mesh holds (the stream itself is sent and written as it is).
  int held[76];
  lipsync::heldFaps(faps, held);
  FAPmozgat(held, 1);
  modellnezet();
  if (modeFrameShown != nullptr) modeFrameShown(ModeFrame{frames, end, volume, steadyNs()});
  FAPmozgat(held, -1);
  ++frames;
  ++lastMode.windows;
}

void Session::rest() {
  if (!IsWindow(hwnd) || hGLRC == nullptr) return;
  rotx = roty = rotz = 0.0;
  lifelike::lifeStop();  // the still head again, and the next run starts its life afresh
  modellnezet();
}

}  // namespace live

bool eloModFut() { return live::g_running; }
void eloModLeallit() {
  if (live::g_running) live::g_stop = true;
}
