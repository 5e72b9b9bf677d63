// The camera, lights and the three drawing modes, rendered for real on the offscreen
// backend and checked pixel by pixel against values worked out by hand from the lighting
// equation and the perspective projection.
#include "render/rajzolo.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "lifelike/look.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "speech/FAPmozgat.h"
#include "tests/render/support.h"

namespace {

constexpr int kSide = 500;  // client area and viewport, pixels

using Rgb = std::array<int, 3>;

bool close(Rgb got, Rgb want, int tolerance) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[i] - want[i]) > tolerance) return false;
  return true;
}

::testing::AssertionResult near(Rgb got, Rgb want, int tolerance = 2) {
  if (!close(got, want, tolerance))
    return ::testing::AssertionFailure()
           << "got (" << got[0] << ", " << got[1] << ", " << got[2] << "), want (" << want[0]
           << ", " << want[1] << ", " << want[2] << ")";
  return ::testing::AssertionSuccess();
}

const Rgb kWhite{255, 255, 255};
const Rgb kSkin{249, 199, 176};  // mat_ad_arc in bytes, for scaling
// Lines and points have the normal (0, 1, 0), at right angles to the light (2, 0, 2): only
// the global ambient 0.5 lights them.
const Rgb kAxisRed{102, 0, 0};
const Rgb kAxisGreen{0, 128, 0};
const Rgb kBlue{0, 0, 128};

// Skin lit by ambient feny plus light 1 (diffuse 0.5) on a face turned towards the viewer:
// cos of the angle to the light direction (2, 0, 2) is 1/sqrt(2).
Rgb skin_facing_viewer(double ambient) {
  const double k = ambient + 0.5 / std::sqrt(2.0);
  const double m[3] = {0.9764, 0.7804, 0.6902};
  return {static_cast<int>(std::lround(255 * m[0] * k)),
          static_cast<int>(std::lround(255 * m[1] * k)),
          static_cast<int>(std::lround(255 * m[2] * k))};
}

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    HINSTANCE instance = offscreen::reset();
    support::reset_viewer();
    winW = winH = kSide;
    ASSERT_NE(offscreen::register_class("drawing", DefWindowProcA, instance), 0);
    window_ = CreateWindowExA(0, "drawing", "drawing", WS_OVERLAPPEDWINDOW, 0, 0, kSide, kSide,
                              nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window_, nullptr);
    hGLRC = offscreen::make_current(window_, &hDC);
    ASSERT_NE(hGLRC, nullptr);
    initMapping();
  }
  void TearDown() override {
    hDC = nullptr;
    hGLRC = nullptr;
  }

  // Pixel of model point (x, y, 0) in the front image, at the camera's distance of 125.
  static int px(double x) { return static_cast<int>((x / (125.0 * d) + 1.0) * 0.5 * kSide); }
  static int py(double y) {
    return kSide - 1 - static_cast<int>((y / (125.0 * d) + 1.0) * 0.5 * kSide);
  }
  static Rgb at(double x, double y) { return offscreen::front().rgb(px(x), py(y)); }

  static std::array<double, 16> matrix(GLenum which) {
    std::array<double, 16> m{};
    glGetDoublev(which, m.data());
    return m;
  }

  // Every triangle of the mesh made the same triangle a, b, c.
  static void all_faces(int a, int b, int c) {
    for (int j = 0; j < kFaceCount; ++j) {
      hda[j] = a;
      hdb[j] = b;
      hdc[j] = c;
    }
  }

  static int count(Rgb colour, int tolerance = 3) {
    const auto& img = offscreen::front();
    int n = 0;
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        if (close(img.rgb(x, y), colour, tolerance)) ++n;
    return n;
  }

  HWND window_ = nullptr;
};

TEST_F(Drawing, CameraHoldsPanAndFrustumOnly) {
  tolx = 3.0;
  toly = -4.0;
  d = 0.7;
  initMapping();
  // Translation by the pan and the camera distance, no rotation or scaling (column-major).
  const std::array<double, 16> modelview{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 3, -4, -125, 1};
  EXPECT_EQ(matrix(GL_MODELVIEW_MATRIX), modelview);
  const auto p = matrix(GL_PROJECTION_MATRIX);
  EXPECT_NEAR(p[0], 1.0 / 0.7, 1e-6);
  EXPECT_NEAR(p[5], 1.0 / 0.7, 1e-6);
  EXPECT_NEAR(p[10], -251.0 / 249.0, 1e-6);
  EXPECT_NEAR(p[11], -1.0, 1e-9);
  EXPECT_NEAR(p[14], -500.0 / 249.0, 1e-6);
  GLint mode = 0, viewport[4] = {};
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[2], kSide);
  EXPECT_EQ(viewport[3], kSide);
}

TEST_F(Drawing, DefaultPoseIsXRightYUpZTowardsTheViewer) {
  poly();  // the unloaded mesh: nothing but the axes
  EXPECT_TRUE(near(at(50, 0), kAxisRed));
  EXPECT_TRUE(near(at(-50, 0), kWhite));
  EXPECT_TRUE(near(at(0, 50), kAxisGreen));
  EXPECT_TRUE(near(at(0, -50), kWhite));
  // A quarter turn about y carries an axis that points at the viewer to the right.
  roty = 90.0;
  poly();
  EXPECT_TRUE(near(at(50, 0), kBlue));
  EXPECT_TRUE(near(at(-50, 0), kWhite));
}

TEST_F(Drawing, PolygonModeShadesFacesWithTheSkinMaterial) {
  hdx[0] = -70;
  hdy[0] = -70;
  hdx[1] = 70;
  hdy[1] = -70;
  hdx[2] = 0;
  hdy[2] = 70;
  all_faces(0, 1, 2);
  poly();
  EXPECT_TRUE(near(at(-20, -20), skin_facing_viewer(0.5)));
  EXPECT_TRUE(near(at(-80, 60), kWhite));
  feny = 0.25;  // a darker ambient shows at the next frame
  poly();
  EXPECT_TRUE(near(at(-20, -20), skin_facing_viewer(0.25)));
}

TEST_F(Drawing, BackFacesTakeTheGreyOfTheWireModeOnceItWasDrawn) {
  hdx[0] = -70;
  hdy[0] = -70;
  hdx[1] = 70;
  hdy[1] = -70;
  hdx[2] = 0;
  hdy[2] = 70;
  all_faces(0, 2, 1);  // clockwise seen from the viewer: the back is in front
  // The library's default back material: ambient 0.2, diffuse 0.8.
  const double fresh = 0.2 * 0.5 + 0.8 * 0.5 / std::sqrt(2.0);
  const int f = static_cast<int>(std::lround(255 * fresh));
  poly();
  EXPECT_TRUE(near(at(-20, -20), {f, f, f}));
  halo();
  poly();
  const double grey = 0.7 * 0.5 + 0.7 * 0.5 / std::sqrt(2.0);
  const int g = static_cast<int>(std::lround(255 * grey));
  EXPECT_TRUE(near(at(-20, -20), {g, g, g}));
}

TEST_F(Drawing, FaceNormalFollowsTheWindingAndIsUnitLength) {
  hdx[1] = 3.0;
  hdy[2] = 4.0;
  all_faces(0, 1, 2);  // (0,0,0), (3,0,0), (0,4,0): counter-clockwise seen from +z
  poly_og();
  GLfloat n[3] = {};
  glGetFloatv(GL_CURRENT_NORMAL, n);
  EXPECT_FLOAT_EQ(n[0], 0.0f);
  EXPECT_FLOAT_EQ(n[1], 0.0f);
  EXPECT_FLOAT_EQ(n[2], 1.0f);

  hdy[2] = 0.0;
  hdz[2] = 1.0;  // (0,0,0), (3,0,0), (0,0,1): the normal is (3,0,0) x (0,0,1) = -y
  poly_og();
  glGetFloatv(GL_CURRENT_NORMAL, n);
  EXPECT_FLOAT_EQ(n[0], 0.0f);
  EXPECT_FLOAT_EQ(n[1], -1.0f);
  EXPECT_FLOAT_EQ(n[2], 0.0f);
}

TEST_F(Drawing, ZeroAreaTrianglesGetAFiniteNormal) {
  // The unloaded mesh: every triangle is (0, 0, 0) on the origin.
  poly();
  GLfloat n[3] = {};
  glGetFloatv(GL_CURRENT_NORMAL, n);
  for (float c : n) EXPECT_TRUE(std::isfinite(c));
  EXPECT_FLOAT_EQ(n[2], 1.0f);
  // A collinear triangle of positive extent has no area either.
  hdx[1] = 10.0;
  hdx[2] = 20.0;
  all_faces(0, 1, 2);
  poly_og();
  glGetFloatv(GL_CURRENT_NORMAL, n);
  for (float c : n) EXPECT_TRUE(std::isfinite(c));
}

TEST_F(Drawing, EachModeShowsItsOwnColours) {
  support::load_sphere();
  const Rgb lit = skin_facing_viewer(0.5);
  poly();
  EXPECT_TRUE(near(at(-5, -10), lit, 25));  // the middle of the head faces the viewer
  // Light from the front right: the right flank is brighter than the left.
  const Rgb right = at(30, -10), left = at(-30, -10);
  EXPECT_GT(right[0], left[0] + 20);
  EXPECT_EQ(count(kAxisRed, 3) > 0, true);
  EXPECT_EQ(count(kBlue, 3), 0);

  vertex();
  EXPECT_GT(count(kBlue), 300);  // 2-pixel points over the head (and the marker)
  EXPECT_LT(count(lit, 25), 50);

  halo();
  // The mesh lines outweigh the short visible part of the red x axis by far.
  EXPECT_GT(count(kAxisRed), 2000);
  EXPECT_LT(count(lit, 25), 50);
  EXPECT_EQ(offscreen::frame_count(), 3);
}

TEST_F(Drawing, PointModeDrawsTheVerticesAndNeverTheSpareElement) {
  // A 19 x 19 grid clear of the axes; slot 347 goes to the spare element, which must stay
  // invisible.
  auto slot = [](int i) {
    return std::array<double, 2>{-74.0 + 8 * (i % 19), -74.0 + 8 * (i / 19)};
  };
  for (int i = 0; i < 348; ++i) {
    hdx[i] = slot(i)[0];
    hdy[i] = slot(i)[1];
  }
  vertex();
  auto blue_near = [&](double x, double y) {
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        if (close(offscreen::front().rgb(px(x) + dx, py(y) + dy), kBlue, 3)) return true;
    return false;
  };
  int shown = 0;
  for (int i = 0; i < kVertexCount; ++i) shown += blue_near(slot(i)[0], slot(i)[1]);
  EXPECT_EQ(shown, kVertexCount);
  EXPECT_FALSE(blue_near(slot(347)[0], slot(347)[1]));
}

TEST_F(Drawing, MarkerAtTheTipOfTheYAxisIsRotspeedPixelsWide) {
  d = 1.0;  // the tip at 100 units is inside the view only when zoomed out
  initMapping();
  auto run = [&](int x0, int y0, int dx, int dy) {
    int n = 0;
    for (int k = -10; k <= 10; ++k)
      if (close(offscreen::front().rgb(x0 + k * dx, y0 + k * dy), kBlue, 3)) ++n;
    return n;
  };
  for (int speed : {1, 4, 5}) {
    rotspeed = speed;
    poly();
    EXPECT_EQ(run(px(0), py(100), 1, 0), speed) << "rotspeed " << speed;
    EXPECT_EQ(run(px(0), py(100), 0, 1), speed) << "rotspeed " << speed;
  }
}

TEST_F(Drawing, RotationIncrementsAccumulateUntilTheCameraReset) {
  rotz = 90.0;
  poly();
  poly();  // two quarter turns about z: the x axis now points left
  EXPECT_TRUE(near(at(-50, 0), kAxisRed));
  EXPECT_TRUE(near(at(50, 0), kWhite));
  const auto m = matrix(GL_MODELVIEW_MATRIX);
  EXPECT_NEAR(m[0], -1.0, 1e-5);
  EXPECT_NEAR(m[5], -1.0, 1e-5);
  EXPECT_NEAR(m[14], -125.0, 1e-5);

  initMapping();
  rotz = 0.0;
  poly();
  EXPECT_TRUE(near(at(50, 0), kAxisRed));
  EXPECT_TRUE(near(at(-50, 0), kWhite));
}

TEST_F(Drawing, UnknownModeDrawsNothing) {
  support::load_sphere();
  nezetselect = 2;
  modellnezet();
  const auto before = offscreen::front().rgba;
  nezetselect = 3;
  modellnezet();
  EXPECT_EQ(offscreen::frame_count(), 1);
  EXPECT_EQ(offscreen::front().rgba, before);
  nezetselect = 0;
  modellnezet();
  EXPECT_EQ(offscreen::frame_count(), 2);
}

// Smooth shading. On a closed mesh the area vectors of all faces sum to zero, so the
// area-weighted normal at a corner of a tetrahedron is exactly the outward direction
// opposite its far face: an independent reference for any shape of the tetrahedron.
TEST_F(Drawing, SmoothNormalsOfATetrahedronFollowEachDeformationInTheSameFrame) {
  const double p[4][3] = {{0, 0, 30}, {30, 0, -10}, {-20, 25, -10}, {-10, -30, -5}};
  for (int i = 0; i < 4; ++i) {
    hdx[i] = p[i][0];
    hdy[i] = p[i][1];
    hdz[i] = p[i][2];
  }
  const int faces[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};  // outward
  for (int j = 0; j < kFaceCount; ++j) {  // the spare triangles repeat the first
    hda[j] = faces[j % 4][0];
    hdb[j] = faces[j % 4][1];
    hdc[j] = faces[j % 4][2];
  }
  sima = true;
  auto expect_opposite_faces = [](const char* when) {
    for (int f = 0; f < 4; ++f) {
      const int a = hda[f], b = hdb[f], c = hdc[f];
      const int corner = 6 - a - b - c;  // the vertex this face does not hold
      const double ux = hdx[b] - hdx[a], uy = hdy[b] - hdy[a], uz = hdz[b] - hdz[a];
      const double wx = hdx[c] - hdx[a], wy = hdy[c] - hdy[a], wz = hdz[c] - hdz[a];
      double n[3] = {-(uy * wz - uz * wy), -(uz * wx - ux * wz), -(ux * wy - uy * wx)};
      const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      EXPECT_NEAR(cnx[corner], n[0] / len, 1e-12) << when << ", vertex " << corner;
      EXPECT_NEAR(cny[corner], n[1] / len, 1e-12) << when << ", vertex " << corner;
      EXPECT_NEAR(cnz[corner], n[2] / len, 1e-12) << when << ", vertex " << corner;
    }
    // A vertex no triangle uses gets a finite normal towards the viewer.
    EXPECT_EQ(cnz[200], 1.0) << when;
  };
  poly();
  expect_opposite_faces("at rest");
  const auto rest = offscreen::front().rgba;
  hdx[0] += 25.0;  // a deformation, drawn at once
  hdz[0] -= 10.0;
  poly();
  expect_opposite_faces("deformed");
  EXPECT_NE(offscreen::front().rgba, rest);
}

TEST_F(Drawing, SmoothNormalsOfAClosedConvexMeshPointOutward) {
  support::load_sphere();
  sima = true;
  poly();
  const double a = support::kRadius, c = support::kHalfHeight;
  for (int i = 0; i < 314; ++i) {  // the vertices of the ellipsoid
    // Outward normal of the ellipsoid x^2/a^2 + y^2/c^2 + z^2/a^2 = 1.
    double g[3] = {hdx[i] / (a * a), hdy[i] / (c * c), hdz[i] / (a * a)};
    const double len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
    EXPECT_NEAR(cnx[i] * cnx[i] + cny[i] * cny[i] + cnz[i] * cnz[i], 1.0, 1e-12);
    EXPECT_GT((cnx[i] * g[0] + cny[i] * g[1] + cnz[i] * g[2]) / len, 0.99) << "vertex " << i;
  }
}

TEST_F(Drawing, OnlyThePolygonModelTurnsSmooth) {
  support::load_sphere();
  auto shades_along_the_middle = [] {
    std::vector<std::array<int, 3>> seen;
    for (double x = -35; x <= 35; x += 0.25) {
      const Rgb c = at(x, -10);
      if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
    }
    return seen.size();
  };
  std::vector<unsigned char> flat[3];
  for (bool smooth : {false, true}) {
    sima = smooth;
    vertex();
    if (!smooth)
      flat[0] = offscreen::front().rgba;
    else
      EXPECT_EQ(offscreen::front().rgba, flat[0]);
    halo();
    if (!smooth)
      flat[1] = offscreen::front().rgba;
    else
      EXPECT_EQ(offscreen::front().rgba, flat[1]);
    poly();
    if (!smooth) flat[2] = offscreen::front().rgba;
  }
  // Flat: one shade per facet crossed (26 slices round the ellipsoid); smooth: a gradient.
  const std::size_t smooth_shades = shades_along_the_middle();
  sima = false;
  poly();
  EXPECT_EQ(offscreen::front().rgba, flat[2]);
  const std::size_t flat_shades = shades_along_the_middle();
  EXPECT_LE(flat_shades, 16u);
  EXPECT_GT(smooth_shades, 2 * flat_shades);
}

// Background pixels inside the inner lips (FP 2.4, 2.6, 2.2, 2.7, 2.5, 2.9, 2.3, 2.8) in the
// frame drawn for `faps` in the `side`-pixel viewport; 0 when the mouth is cut off.
int see_through(const int* faps, int side) {
  const int* lips[] = {&h204pivotindex, &h206pivotindex, &h202pivotindex, &h207pivotindex,
                       &h205pivotindex, &h209pivotindex, &h203pivotindex, &h208pivotindex};
  FAPmozgat(faps, 1);
  modellnezet();
  double m[16], p[16], q[8][2];
  glGetDoublev(GL_MODELVIEW_MATRIX, m);
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  for (int i = 0; i < 8; ++i) {
    const double v[4] = {hdx[*lips[i]], hdy[*lips[i]], hdz[*lips[i]], 1.0};
    double e[4] = {}, c[4] = {};
    for (int r = 0; r < 16; ++r) e[r % 4] += m[r] * v[r / 4];
    for (int r = 0; r < 16; ++r) c[r % 4] += p[r] * e[r / 4];
    q[i][0] = (c[0] / c[3] + 1) * side / 2, q[i][1] = (1 - c[1] / c[3]) * side / 2;
  }
  FAPmozgat(faps, -1);
  for (auto& a : q)
    if (a[0] < 0 || a[1] < 0 || a[0] >= side || a[1] >= side) return 0;
  int n = 0;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      bool in = false;
      for (int i = 0, j = 7; i < 8; j = i++)
        in ^= (q[i][1] > y) != (q[j][1] > y) &&
              x < q[j][0] + (q[i][0] - q[j][0]) * (y - q[j][1]) / (q[i][1] - q[j][1]);
      const auto& img = offscreen::front();  // the viewport: the bottom-left square
      n += in && img.rgb(x, img.height - side + y) == std::array<int, 3>{255, 255, 255};
    }
  return n;
}

// The shipped head's widest-open poses, in both looks, from the pans (100 presses of W among
// them), zooms and turns within 60 degrees of the mouth's front: no background shows through
// the open mouth, but for a pixel where a far corner meets the face's outline.
TEST_F(Drawing, NoPanZoomOrTurnSeesThroughTheOpenMouth) {
  std::string problem;
  ASSERT_TRUE(modellbetolt({ZARVO_DATA_DIR}, problem)) << problem;
  lifelike::meshLoaded();
  const int kSmall = 240, fap[] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
  const int open[2][11] = {{860, 75, -1025, -230, -260, 195, 255, -837, -937, -510, -465},
                           {1020, 105, -1250, 150, 160, 195, 270, -1037, -1137, -510, -510}};
  winW = winH = kSmall;  // quick
  auto look = [&](double zoom, double x, double y, double rx, double ry) {
    for (const auto& pose : open) {
      int faps[76] = {};
      for (int k = 0; k < 11; ++k) faps[fap[k]] = pose[k];
      d = zoom, tolx = x, toly = y;
      initMapping();
      rotx = rx, roty = ry, rotz = 0;
      ASSERT_LE(see_through(faps, kSmall), 1) << lifelike::isOn() << " d " << zoom << " pan " << x
                                              << " " << y << " turn " << rx << " " << ry;
    }
  };
  for (const bool on : {false, true}) {
    lifelike::setOn(on);
    for (const double zoom : {0.7, 2.0, kDmax})
      for (double x = -kTolMax; x <= kTolMax; x += 25)
        for (double y = -kTolMax; y <= kTolMax; y += 25)
          if (std::hypot(x, y - 37) <= std::min(125 * std::sqrt(3.0), 125 * zoom))
            look(zoom, x, y, 0, 0);
    for (int rx = -60; rx <= 60; rx += 10)
      for (int ry = -90; ry <= 90; ry += 10)
        if (std::cos(rx * M_PI / 180) * std::cos(ry * M_PI / 180) >= 0.5) look(0.7, 0, 0, rx, ry);
  }
  lifelike::setOn(false);
}

}  // namespace
