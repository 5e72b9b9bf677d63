#include "video/drawer.h"

#include <GL/gl.h>

#include <algorithm>

#include "lifelike/look.h"
#include "lipsync/MeshGuard.h"
#include "model/valtozok.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"

namespace {

const char kClass[] = "zarvo-render";

// The middle of the skull along z, in the neutral mesh: the side views turn the head about
// it so that it stays in the picture (the model's origin lies near the face).
double skullMiddle() {
  const auto [low, high] = std::minmax_element(hdz, hdz + kVertexCount);
  return (*low + *high) / 2.0;
}

}  // namespace

FrameDrawer::FrameDrawer(int width, int height, const Look& look)
    : width_(width), height_(height), look_(look) {
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
  if (look_.style == Style::lifelike) {
    lifelike::setOn(true);
    lifelike::meshLoaded();
    lifelike::lifeStart();
  }
  ok_ = true;
}

FrameDrawer::~FrameDrawer() {
  if (look_.style == Style::lifelike) {
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
  nezetselect = look_.mode == Mode::points ? 0 : look_.mode == Mode::wire ? 1 : 2;
  sima = look_.mode == Mode::smooth;
  tolx = 0.0;
  roty = rotz = 0.0;
  double pivotZ = 0.0;
  if (look_.view == View::live && look_.style == Style::lifelike) {
    lifelike::portrait(volume);
  } else if (look_.view == View::live) {
    FAPkeret(volume);
  } else {
    toly = 0.0;
    rotx = 0.0;
    d = 0.7;
  }
  if (look_.view == View::turned || look_.view == View::profile) {
    roty = look_.view == View::turned ? -45.0 : -90.0;
    pivotZ = skullMiddle();
  }
  if (look_.tilt) rotx = *look_.tilt;
  d /= look_.zoom;
  if (look_.style == Style::lifelike) lifelike::lifeStep(seconds, volume);
  // Drawn held: a pose that would turn lip triangles over is drawn as near as the mesh
  // holds (what the FAP file or the analysis says is not changed).
  int held[76];
  lipsync::heldFaps(faps, held);
  FAPmozgat(held, 1);
  initMapping();
  // The window's viewport is the square at the bottom left of its client area; a frame
  // that is not square gets the same square centred instead.
  if (width_ != height_) glViewport((width_ - side) / 2, (height_ - side) / 2, side, side);
  frame(pivotZ);
  FAPmozgat(held, -1);
  return offscreen::front();
}

// The viewer's frame (modellnezet) with the background, the turn's pivot and the axes
// chosen: cleared, turned by the increments (about z = pivotZ), lit, the axes, the model
// and the marker in the viewer's order, shown.
void FrameDrawer::frame(double pivotZ) {
  // Alpha 0, as the viewer clears: every lit surface has alpha 1, so alpha tells the head
  // from the background.
  glClearColor(look_.background[0], look_.background[1], look_.background[2], 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  if (pivotZ != 0.0) glTranslated(0.0, 0.0, pivotZ);
  glRotatef(static_cast<GLfloat>(rotx), 1.0f, 0.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(roty), 0.0f, 1.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(rotz), 0.0f, 0.0f, 1.0f);
  if (pivotZ != 0.0) glTranslated(0.0, 0.0, -pivotZ);
  lights();
  if (look_.axes) tengelyek();
  if (nezetselect == 2) {
    if (look_.axes) rotpont();
    if (look_.style == Style::lifelike)
      lifelike::head();
    else
      poly_og();
  } else {
    if (nezetselect == 0) vertex_og();
    if (nezetselect == 1) halo_og();
    if (look_.axes) rotpont();
  }
  SwapBuffers(hDC);
}

const offscreen::Image& FrameDrawer::readBack() {
  SwapBuffers(hDC);
  return offscreen::front();
}
