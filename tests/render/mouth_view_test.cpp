// The open mouth of the shipped head, drawn in the polygon model (the designed look and the
// lifelike one) from the pans, zooms and turns the viewer allows: no pixel inside the inner
// lips shows the white background.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "lifelike/look.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "render/nyilaszaro.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"
#include "tests/render/support.h"

namespace {

constexpr int kSide = 240;

// The inner lip points in order round the mouth: 2.4, 2.6, 2.2, 2.7, 2.5, 2.9, 2.3, 2.8.
const int* const kInnerLip[] = {&h204pivotindex, &h206pivotindex, &h202pivotindex, &h207pivotindex,
                                &h205pivotindex, &h209pivotindex, &h203pivotindex, &h208pivotindex};

// Window pixel (x right, y down) of model point v under the current matrices.
std::array<double, 2> project(int v) {
  double m[16], p[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  const double in[4] = {hdx[v], hdy[v], hdz[v], 1.0};
  double e[4] = {}, c[4] = {};
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) e[r] += m[k * 4 + r] * in[k];
  for (int r = 0; r < 4; ++r)
    for (int k = 0; k < 4; ++k) c[r] += p[k * 4 + r] * e[k];
  return {(c[0] / c[3] + 1.0) * 0.5 * kSide, (1.0 - c[1] / c[3]) * 0.5 * kSide};
}

// Background pixels inside the polygon of the inner lip points, as drawn for `faps`; -1
// when the mouth is not wholly in the picture.
int see_through(const int* faps) {
  FAPmozgat(faps, 1);
  modellnezet();  // leaves the frame's matrices in place
  std::array<std::array<double, 2>, 8> lip;
  for (int i = 0; i < 8; ++i) lip[i] = project(*kInnerLip[i]);
  FAPmozgat(faps, -1);
  for (const auto& q : lip)
    if (q[0] < 0 || q[1] < 0 || q[0] >= kSide || q[1] >= kSide) return -1;
  // Two pixels in from the lips: seen from the side, the far corner of the mouth lies on
  // the outline of the face, with the background beside it.
  double cx = 0.0, cy = 0.0;
  for (const auto& q : lip) cx += q[0] / 8, cy += q[1] / 8;
  for (auto& q : lip) {
    const double l = std::hypot(q[0] - cx, q[1] - cy);
    if (l > 2.0) q = {q[0] - 2.0 * (q[0] - cx) / l, q[1] - 2.0 * (q[1] - cy) / l};
  }
  const auto& img = offscreen::front();
  int n = 0;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      bool inside = false;  // even-odd rule
      for (int i = 0, j = 7; i < 8; j = i++)
        if ((lip[i][1] > y) != (lip[j][1] > y) &&
            x < lip[j][0] + (lip[i][0] - lip[j][0]) * (y - lip[j][1]) / (lip[i][1] - lip[j][1]))
          inside = !inside;
      n += inside && img.rgb(x, y) == std::array<int, 3>{255, 255, 255};
    }
  return n;
}

TEST(MouthView, NoPanZoomOrTurnSeesThroughTheOpenMouth) {
  const std::string data = ZARVO_DATA_DIR;
  if (!std::filesystem::exists(data + "/vertex.txt")) GTEST_SKIP() << "no mesh in " << data;
  HINSTANCE instance = offscreen::reset();
  support::reset_viewer();
  winW = winH = kSide;
  ASSERT_NE(offscreen::register_class("mouth", DefWindowProcA, instance), 0);
  HWND w = CreateWindowExA(0, "mouth", "mouth", WS_OVERLAPPEDWINDOW, 0, 0, kSide, kSide, nullptr,
                           nullptr, instance, nullptr);
  hGLRC = offscreen::make_current(w, &hDC);
  ASSERT_NE(hGLRC, nullptr);
  std::string problem;
  ASSERT_TRUE(modellbetolt({data}, problem)) << problem;
  EXPECT_EQ(zart_nyilasok(), 1) << "the neck closed, the mouth open";

  // The widest speech opens (the jaw, the lips apart and stretched) and a corner of the
  // range speech reaches.
  int speech[76] = {}, corner[76] = {};
  const int wide[][2] = {{3, 860},  {51, 75},   {52, -1025}, {53, -230}, {54, -260}, {55, 195},
                         {56, 255}, {57, -837}, {58, -937},  {59, -510}, {60, -465}};
  const int most[][2] = {{3, 1020}, {51, 105},   {52, -1250}, {53, 150},  {54, 160}, {55, 195},
                         {56, 270}, {57, -1037}, {58, -1137}, {59, -510}, {60, -510}};
  for (const auto& f : wide) speech[f[0]] = f[1];
  for (const auto& f : most) corner[f[0]] = f[1];

  int views = 0;
  bool elethu = false;
  auto look = [&](double dd, double tx, double ty, double rx, double ry) {
    d = dd;
    tolx = tx;
    toly = ty;
    for (const int* faps : {speech, corner}) {
      initMapping();  // the frame turns by the increments once, from unturned
      rotx = rx;
      roty = ry;
      rotz = 0.0;
      const int n = see_through(faps);
      views += n >= 0;
      ASSERT_LE(n, 0) << (elethu ? "lifelike, " : "") << "d " << dd << ", pan " << tx << ", " << ty
                      << ", turn " << rx << ", " << ry;
    }
  };
  // Pans wherever the mouth is in the picture and turned at most 60 degrees from the eye
  // (100 presses of W at the start-up zoom among them), at three zooms up to the widest;
  // further round, the mouth is seen edge on and its far corner lies on the face's outline.
  const double reach = 125.0 * std::tan(60.0 * M_PI / 180.0);
  lifelike::meshLoaded();
  for (const bool on : {false, true}) {
    elethu = on;
    lifelike::setOn(on);
    for (const double dd : {0.7, 2.0, kDmax})
      for (double tx = -kTolMax; tx <= kTolMax; tx += 25.0)
        for (double ty = -kTolMax; ty <= kTolMax; ty += 25.0)
          if (std::hypot(tx, ty - 37.0) <= reach && std::abs(tx) <= 125 * dd &&
              std::abs(ty - 37.0) <= 125 * dd)
            look(dd, tx, ty, 0, 0);
    // Turns about x and y by the same rule.
    for (int rx = -90; rx <= 90; rx += 10)
      for (int ry = -90; ry <= 90; ry += 10)
        if (std::cos(rx * M_PI / 180.0) * std::cos(ry * M_PI / 180.0) >= 0.5)
          look(0.7, 0.0, 0.0, rx, ry);
  }
  lifelike::setOn(false);
  EXPECT_GT(views, 800);
  rotx = roty = 0.0;
  hDC = nullptr;
  hGLRC = nullptr;
}

}  // namespace
