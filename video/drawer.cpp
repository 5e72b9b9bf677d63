#include "video/drawer.h"

#include <GL/gl.h>

#include <algorithm>

#include "lifelike/look.h"
#include "model/valtozok.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"

namespace {

const char kClass[] = "zarvo-render";

}  // namespace

FrameDrawer::FrameDrawer(int width, int height, View view, Mode mode, Look look)
    : width_(width), height_(height), view_(view), mode_(mode), look_(look) {
  HINSTANCE instance = offscreen::reset();
  offscreen::keep_call_records(false);
  if (offscreen::register_class(kClass, DefWindowProcA, instance, CS_OWNDC) == 0) {
    problem_ = "cannot register the drawing window's class";
    return;
  }
  window_ = CreateWindowExA(0, kClass, kClass, WS_OVERLAPPEDWINDOW, 0, 0, width, height, nullptr,
                            nullptr, instance, nullptr);
  if (!window_) {
    problem_ = "cannot create the drawing window";
    return;
  }
  hGLRC = offscreen::make_current(window_, &hDC);
  if (!hGLRC) {
    problem_ = "no OpenGL pixel format or context (OSMesa) for the drawing window";
    return;
  }
  if (look_ == Look::lifelike) {
    lifelike::setOn(true);
    lifelike::meshLoaded();
    lifelike::lifeStart();
  }
  ok_ = true;
}

FrameDrawer::~FrameDrawer() {
  if (look_ == Look::lifelike) {
    lifelike::lifeStop();
    lifelike::setOn(false);
  }
  if (hGLRC) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(hGLRC);
  }
  if (window_) DestroyWindow(window_);
  hGLRC = nullptr;
  hDC = nullptr;
}

const offscreen::Image& FrameDrawer::draw(const int* faps, int volume, double seconds) {
  const int side = std::min(width_, height_);
  winW = winH = side;
  rotspeed = 1;
  feny = 0.5;
  nezetselect = mode_ == Mode::points ? 0 : mode_ == Mode::wire ? 1 : 2;
  sima = mode_ == Mode::smooth;
  tolx = 0.0;
  roty = rotz = 0.0;
  if (view_ == View::live && look_ == Look::lifelike) {
    lifelike::portrait(volume);
  } else if (view_ == View::live) {
    FAPkeret(volume);
  } else {
    toly = 0.0;
    rotx = 0.0;
    d = 0.7;
  }
  if (look_ == Look::lifelike) lifelike::lifeStep(seconds, volume);
  FAPmozgat(faps, 1);
  initMapping();
  // The window's viewport is the square at the bottom left of its client area; a frame
  // that is not square gets the same square centred instead.
  if (width_ != height_) glViewport((width_ - side) / 2, (height_ - side) / 2, side, side);
  modellnezet();
  FAPmozgat(faps, -1);
  return offscreen::front();
}

const offscreen::Image& FrameDrawer::readBack() {
  SwapBuffers(hDC);
  return offscreen::front();
}
