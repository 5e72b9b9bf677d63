#include "lifelike/look.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

#include "model/costav.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "render/context.h"
#include "render/nyilaszaro.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"

namespace lifelike {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

// Landmarks the head's generator numbers first (no feature-point table names them).
constexpr int kNoseBase = 1, kEyeLeft = 5, kEyeRight = 9;
constexpr int kLevels = 1;

using V3 = std::array<double, 3>;
V3 add(V3 a, V3 b) { return {a[0] + b[0], a[1] + b[1], a[2] + b[2]}; }
V3 sub(V3 a, V3 b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
V3 mul(V3 a, double k) { return {a[0] * k, a[1] * k, a[2] * k}; }
double dot(V3 a, V3 b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
V3 cross(V3 a, V3 b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
V3 unit(V3 a) {
  const double l = std::sqrt(dot(a, a));
  return l > 0.0 ? mul(a, 1.0 / l) : V3{0.0, 0.0, 1.0};
}
V3 vertexAt(int i) { return {hdx[i], hdy[i], hdz[i]}; }

// Colours: the designed skin; the rest chosen to read as what they are under the designed
// light and to stay apart from each other and from the white background (the sclera and
// the catch light are never pure white).
const GLfloat kSkin[4] = {0.9764f, 0.7804f, 0.6902f, 1.0f};
const GLfloat kMouthInside[4] = {0.34f, 0.11f, 0.10f, 1.0f};  // the back of the pocket
const GLfloat kNoSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
const float kSclera[3] = {0.93f, 0.91f, 0.87f};
const float kIris[3] = {0.33f, 0.45f, 0.58f};
const float kLimbus[3] = {0.16f, 0.22f, 0.30f};
const float kPupil[3] = {0.03f, 0.03f, 0.04f};
const float kLash[3] = {0.30f, 0.20f, 0.16f};
const float kWetRim[3] = {0.86f, 0.56f, 0.52f};
const float kSkinRGB[3] = {kSkin[0], kSkin[1], kSkin[2]};
const float kTooth[3] = {0.93f, 0.90f, 0.80f};
const float kGum[3] = {0.78f, 0.42f, 0.42f};
const float kBacking[3] = {0.20f, 0.07f, 0.07f};

// Vertex arrays drawn in one call: position, normal, colour per vertex, triangles.
struct Batch {
  std::vector<float> p, n, c;
  std::vector<unsigned> tri;
  unsigned vertex(V3 pos, V3 nor, const float* col) {
    for (int k = 0; k < 3; ++k) {
      p.push_back(static_cast<float>(pos[k]));
      n.push_back(static_cast<float>(nor[k]));
      c.push_back(col[k]);
    }
    return static_cast<unsigned>(p.size() / 3 - 1);
  }
  void triangle(unsigned a, unsigned b, unsigned c_) { tri.insert(tri.end(), {a, b, c_}); }
  void clear() { p.clear(), n.clear(), c.clear(), tri.clear(); }
  void draw() const {
    if (tri.empty()) return;
    glVertexPointer(3, GL_FLOAT, 0, p.data());
    glNormalPointer(GL_FLOAT, 0, n.data());
    glColorPointer(3, GL_FLOAT, 0, c.data());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(tri.size()), GL_UNSIGNED_INT, tri.data());
  }
};

// ---- placement: what the neutral head tells ----

struct Teeth {
  Batch upper, lower;  // in the neutral head's coordinates
};

struct Placement {
  std::vector<double> x, y, z;  // the neutral head
  V3 eye[2]{};                  // eyeball centres
  double eyeRadius = 0.0;
  V3 pivot{};  // the neck: the head turns about it
  Teeth teeth;
  bool teethPlaced = false;
  int jaw = 0;             // the chin's pivot: the lower row follows it
  double lowerEdge = 0.0;  // height of the lower row's biting edge in the neutral head
};

std::optional<Placement> placed;
LoopSurface loop;
std::vector<std::array<int, 3>> loopFaces;  // the triangles the surface was built from
bool switchedOn = false;
std::unique_ptr<Life> running;
LifePose still;
LifePose current;

// The vertices no feature point moves (their positions tell one head from another).
bool sameHead() {
  if (!placed) return false;
  for (int i : {kNoseBase, kEyeLeft, kEyeRight})
    if (placed->x[i] != hdx[i] || placed->y[i] != hdy[i] || placed->z[i] != hdz[i]) return false;
  for (int j = 0; j < kFaceCount; ++j)
    if (loopFaces[j] != std::array<int, 3>{hda[j], hdb[j], hdc[j]}) return false;
  return true;
}

// The mouth's inner contour: the boundary loop of the surface through the inner upper lip's
// middle (FP 2.2's pivot).
std::vector<int> mouthLoop() {
  std::map<std::pair<int, int>, int> directed;
  for (int j = 0; j < kFaceCount; ++j) {
    const int t[3] = {hda[j], hdb[j], hdc[j]};
    for (int k = 0; k < 3; ++k) ++directed[{t[k], t[(k + 1) % 3]}];
  }
  std::map<int, int> next;
  for (const auto& [e, n] : directed)
    if (!directed.count({e.second, e.first})) next[e.first] = e.second;
  std::vector<int> out;
  const int start = h202pivotindex;
  if (!next.count(start)) return out;
  for (int v = start; out.size() < 400;) {
    out.push_back(v);
    auto it = next.find(v);
    if (it == next.end() || it->second == start) break;
    v = it->second;
  }
  return out;
}

// ---- teeth ----

// One row of teeth along an arch. The arch runs through `front` (the middle of the row's
// outer face) and bends back as z = front.z - bend * x^2. Widths are along the arch from
// the middle outwards; heights grow from the biting edge towards the gum (`down` -1 for the
// upper row, whose crowns hang down, +1 for the lower row).
void toothRow(Batch& b, V3 front, double bend, double smile, const std::vector<double>& widths,
              const std::vector<double>& heights, double thickness, int down) {
  auto archZ = [&](double x) { return front[2] - bend * x * x; };
  auto archPoint = [&](double x, double y, double inward) {
    // the arch's outward normal in the xz plane at x
    const V3 out = unit({2.0 * bend * x, 0.0, 1.0});
    return V3{x - out[0] * inward, y, archZ(x) - out[2] * inward};
  };
  // x on the arch for an arc length s from the middle (the arch is gentle: small steps)
  auto xAt = [&](double s) {
    double x = 0.0, done = 0.0;
    const double step = 0.02 * (s >= 0 ? 1 : -1);
    while (std::abs(done) < std::abs(s)) {
      const double slope = 2.0 * bend * x;
      done += step * std::sqrt(1.0 + slope * slope);
      x += step;
    }
    return x;
  };
  const double gap = 0.14;
  const double gum = 2.2;  // the gum's band beyond the crowns
  for (int side : {1, -1}) {
    double s = 0.0;
    for (size_t t = 0; t < widths.size(); ++t) {
      const double s0 = s + gap / 2, s1 = s + widths[t] - gap / 2;
      s += widths[t];
      const double h = heights[t];
      // crown outline across the tooth (u 0..1): the biting edge rounds off at the
      // corners; the gum line arches over every crown
      constexpr int kAcross = 4, kUp = 2;
      V3 frontGrid[kAcross + 1][kUp + 1], backGrid[kAcross + 1][kUp + 1];
      V3 frontNormal[kAcross + 1];
      for (int i = 0; i <= kAcross; ++i) {
        const double u = double(i) / kAcross;
        const double x = side * xAt(s0 + (s1 - s0) * u);
        const double c = 2.0 * u - 1.0;                // -1 .. 1 across
        const double edge = front[1] + smile * x * x;  // the edges rise towards the sides
        const double corner = 0.55 * std::pow(std::abs(c), 6.0);  // rounded biting corners
        const double tip = edge - down * corner;  // the biting edge drawn back at the corners
        const double root = edge - down * (h - 0.6 * (1.0 - c * c));
        for (int k = 0; k <= kUp; ++k) {
          const double y = tip + (root - tip) * double(k) / kUp;
          // the face is slightly convex across: its middle stands 0.25 forward
          const double bulge = 0.25 * (1.0 - c * c);
          frontGrid[i][k] = archPoint(x, y, -bulge);
          backGrid[i][k] = archPoint(x, y, thickness);
        }
        const V3 out = unit({2.0 * bend * x, 0.0, 1.0});
        const V3 along = unit({1.0, 0.0, -2.0 * bend * x});
        frontNormal[i] = unit(add(out, mul(along, side * 0.5 * c)));
      }
      // front face
      unsigned idx[kAcross + 1][kUp + 1];
      for (int i = 0; i <= kAcross; ++i)
        for (int k = 0; k <= kUp; ++k)
          idx[i][k] = b.vertex(frontGrid[i][k], frontNormal[i], kTooth);
      auto quad = [&](unsigned a, unsigned bb, unsigned c, unsigned dd, bool flip) {
        if (flip) {
          b.triangle(a, c, bb);
          b.triangle(a, dd, c);
        } else {
          b.triangle(a, bb, c);
          b.triangle(a, c, dd);
        }
      };
      // winding: counter-clockwise seen from the front; the grid runs along +x for side
      // 1 and -x for side -1, and along -y (upper) or +y (lower)
      const bool flip = (side * down) > 0;
      for (int i = 0; i < kAcross; ++i)
        for (int k = 0; k < kUp; ++k)
          quad(idx[i][k], idx[i + 1][k], idx[i + 1][k + 1], idx[i][k + 1], flip);
      // biting edge: from the front row k = 0 to the back
      const V3 edgeNormal{0.0, -double(down), 0.0};
      unsigned ef[kAcross + 1], eb[kAcross + 1];
      for (int i = 0; i <= kAcross; ++i) {
        ef[i] = b.vertex(frontGrid[i][0], edgeNormal, kTooth);
        eb[i] = b.vertex(backGrid[i][0], edgeNormal, kTooth);
      }
      for (int i = 0; i < kAcross; ++i) quad(ef[i], eb[i], eb[i + 1], ef[i + 1], flip);
      // the two sides of the crown
      for (int i : {0, kAcross}) {
        const V3 along = unit({1.0, 0.0, -2.0 * bend * frontGrid[i][0][0]});
        const V3 nrm = mul(along, (i == 0 ? -1.0 : 1.0) * side);
        unsigned sf[kUp + 1], sb[kUp + 1];
        for (int k = 0; k <= kUp; ++k) {
          sf[k] = b.vertex(frontGrid[i][k], nrm, kTooth);
          sb[k] = b.vertex(backGrid[i][k], nrm, kTooth);
        }
        for (int k = 0; k < kUp; ++k) quad(sf[k], sf[k + 1], sb[k + 1], sb[k], (i == 0) != flip);
      }
    }
    // the gum: a band along the arch over the roots, from the shortest crown's root on
    const double total = s;
    constexpr int kAlong = 24;
    unsigned g0 = 0, g1 = 0, g2 = 0;
    const double hMin = *std::min_element(heights.begin(), heights.end());
    for (int i = 0; i <= kAlong; ++i) {
      const double x = side * xAt(total * i / kAlong);
      const V3 out = unit({2.0 * bend * x, 0.0, 1.0});
      const double edge = front[1] + smile * x * x;
      const V3 lo = archPoint(x, edge - down * (hMin - 1.2), -0.3);
      const V3 hi = archPoint(x, edge - down * (hMin + gum), -0.1);
      const V3 back = archPoint(x, edge - down * (hMin + gum), thickness + 0.8);
      const unsigned a0 = b.vertex(lo, out, kGum), a1 = b.vertex(hi, out, kGum);
      const unsigned a2 = b.vertex(back, {0.0, -double(down), 0.0}, kGum);
      if (i > 0) {
        const bool flip = (side * down) > 0;
        if (flip) {
          b.triangle(g0, a1, a0), b.triangle(g0, g1, a1);
          b.triangle(g1, a2, a1), b.triangle(g1, g2, a2);
        } else {
          b.triangle(g0, a0, a1), b.triangle(g0, a1, g1);
          b.triangle(g1, a1, a2), b.triangle(g1, a2, g2);
        }
      }
      g0 = a0, g1 = a1, g2 = a2;
    }
    // Behind the crowns a dark band closes the gaps between them: through a gap the eye
    // meets the inside of the mouth, never the space behind the head.
    const double hMax = *std::max_element(heights.begin(), heights.end());
    unsigned k0 = 0, k1 = 0;
    for (int i = 0; i <= kAlong; ++i) {
      const double x = side * xAt(total * i / kAlong);
      const double edge = front[1] + smile * x * x;
      const V3 out = unit({2.0 * bend * x, 0.0, 1.0});
      const unsigned a0 = b.vertex(archPoint(x, edge + down * 0.3, 0.5 * thickness), out, kBacking);
      const unsigned a1 =
          b.vertex(archPoint(x, edge - down * hMax, 0.5 * thickness), out, kBacking);
      if (i > 0) {
        if ((side * down) > 0)
          b.triangle(k0, a1, a0), b.triangle(k0, k1, a1);
        else
          b.triangle(k0, a0, a1), b.triangle(k0, a1, k1);
      }
      k0 = a0, k1 = a1;
    }
  }
}

// The rows from the mouth's inner contour of the neutral head: their middle behind the
// inner lips' middle, the upper row's biting edge at the contour's middle height, the arch
// bending back so that it stays behind the lip corners.
void placeTeeth(Placement& pl) {
  const std::vector<int> loopV = mouthLoop();
  if (loopV.size() < 6) return;
  double xMax = 0.0, cornerZ = 0.0;
  for (int v : loopV)
    if (std::abs(hdx[v]) > xMax) xMax = std::abs(hdx[v]), cornerZ = hdz[v];
  const V3 top = vertexAt(h202pivotindex), bottom = vertexAt(h203pivotindex);
  const double width = 2.0 * xMax;  // inner corner to inner corner
  if (width <= 0.0) return;
  const double unitW = width / 39.0;  // the proportions below are for a mouth 39 wide
  const double frontZ = std::min(top[2], bottom[2]) - 2.6 * unitW;
  const double edgeY = 0.5 * (top[1] + bottom[1]) - 1.6 * unitW;
  // behind the corners by 3.5 at 0.7 of the half width: the ends stay behind the lip corners
  // when those draw in for a rounded vowel
  const double reach = 0.7 * xMax;
  const double bend = std::max(0.0, (frontZ - (cornerZ - 3.5 * unitW)) / (reach * reach));
  const std::vector<double> upperW = {4.6, 3.7, 3.9, 3.5, 3.4};
  const std::vector<double> upperH = {8.6, 7.6, 8.2, 7.0, 6.6};
  const std::vector<double> lowerW = {3.1, 3.2, 3.7, 3.6, 3.6};
  const std::vector<double> lowerH = {6.6, 6.6, 7.2, 6.2, 6.0};
  auto scaled = [&](std::vector<double> v) {
    for (double& e : v) e *= unitW;
    return v;
  };
  const double smile = 2.2 / (13.0 * 13.0 * unitW);
  toothRow(pl.teeth.upper, {0.0, edgeY, frontZ}, bend, smile, scaled(upperW), scaled(upperH),
           2.0 * unitW, -1);
  // The lower row bites behind the upper one, its edge 1.5 above the upper edge.
  pl.lowerEdge = edgeY + 1.5 * unitW;
  toothRow(pl.teeth.lower, {0.0, pl.lowerEdge, frontZ - 2.3 * unitW}, bend * 1.1, smile,
           scaled(lowerW), scaled(lowerH), 1.8 * unitW, 1);
  pl.teethPlaced = true;
}

// ---- eyes ----

// An eyeball of radius r looking along +z in its own frame: pupil, iris with a darker rim
// and sclera as rings about the gaze, each boundary on a ring of its own so that it is
// crisp.
Batch eyeball(double r) {
  Batch b;
  const double pupil = std::asin(0.19), iris = std::asin(0.46);
  // polar angles of the rings, from the gaze axis back to 110 degrees: the back of the
  // eyeball is never seen (the lids and the socket hide it)
  const std::vector<std::pair<double, const float*>> rings = {
      {0.0, kPupil},         {pupil * 0.6, kPupil},  {pupil, kPupil},      {pupil, kIris},
      {iris * 0.75, kIris},  {iris * 0.93, kLimbus}, {iris, kLimbus},      {iris, kSclera},
      {iris * 1.4, kSclera}, {60 * kDeg, kSclera},   {85 * kDeg, kSclera}, {110 * kDeg, kSclera}};
  constexpr int kAround = 24;
  std::vector<unsigned> prev;
  for (size_t k = 0; k < rings.size(); ++k) {
    const auto [a, col] = rings[k];
    std::vector<unsigned> row;
    for (int i = 0; i < kAround; ++i) {
      const double t = 2.0 * kPi * i / kAround;
      const V3 n{std::sin(a) * std::cos(t), std::sin(a) * std::sin(t), std::cos(a)};
      row.push_back(b.vertex(mul(n, r), n, col));
    }
    if (k > 0 && rings[k].first != rings[k - 1].first)
      for (int i = 0; i < kAround; ++i) {
        const int j = (i + 1) % kAround;
        b.triangle(prev[i], row[i], row[j]);
        b.triangle(prev[i], row[j], prev[j]);
      }
    prev = row;
  }
  return b;
}

// A lid: the band of a sphere about the eyeball's centre between the lid's edge and the
// pole (up for the upper lid, down for the lower), over the azimuths across the eye. The
// edge's elevation (radians) falls towards the corners for the upper lid and rises for the
// lower one; along the edge runs the lash line (upper) or the wet rim (lower).
void lid(Batch& b, V3 centre, double r, double edge, double cornerDrop, bool upper) {
  constexpr int kAcross = 18, kUp = 6;
  const double half = 110 * kDeg;
  const double pole = upper ? 90 * kDeg : -90 * kDeg;
  const double sign = upper ? 1.0 : -1.0;
  const double rim = (upper ? 2.2 : 1.0) * kDeg;
  const float* rimColour = upper ? kLash : kWetRim;
  // rows: (offset from the edge in radians, or -1 for a share of the way to the pole)
  struct Row {
    double offset, share;
    const float* colour;
    bool joins;  // joined to the row before
  };
  std::vector<Row> rows = {
      {0.0, 0.0, rimColour, false}, {rim, 0.0, rimColour, true}, {rim, 0.0, kSkinRGB, false}};
  for (int k = 1; k <= kUp; ++k) rows.push_back({rim, double(k) / kUp, kSkinRGB, true});
  std::vector<unsigned> prev;
  for (const Row& row : rows) {
    std::vector<unsigned> cur;
    for (int i = 0; i <= kAcross; ++i) {
      const double az = -half + 2.0 * half * i / kAcross;
      const double q = az / (55 * kDeg);
      double e0 = edge - sign * cornerDrop * q * q + sign * row.offset;
      if (sign * (e0 - pole) > 0) e0 = pole;
      const double el = e0 + (pole - e0) * row.share;
      const V3 n{std::cos(el) * std::sin(az), std::sin(el), std::cos(el) * std::cos(az)};
      cur.push_back(b.vertex(add(centre, mul(n, r)), n, row.colour));
    }
    if (row.joins)
      for (int i = 0; i < kAcross; ++i) {
        if (upper) {
          b.triangle(prev[i], prev[i + 1], cur[i + 1]);
          b.triangle(prev[i], cur[i + 1], cur[i]);
        } else {
          b.triangle(prev[i], cur[i + 1], prev[i + 1]);
          b.triangle(prev[i], cur[i], cur[i + 1]);
        }
      }
    prev = cur;
  }
}

}  // namespace

namespace {

// Eyes: radius as a share of the eye centres' distance, and how far the eyeball's front
// stands out of the socket's refined surface, in radii.
constexpr double kEyeShare = 0.14, kEyeOut = 0.34;
// Lid edges at rest, radians above the gaze's level (upper) and below it (lower), how far
// they follow the gaze up or down, and where they meet in a blink.
constexpr double kUpperRest = 15 * kDeg, kLowerRest = -23 * kDeg;
constexpr double kUpperFollow = 0.75, kLowerFollow = 0.4;
constexpr double kMeet = -11 * kDeg, kOverlap = 0.4 * kDeg;
// How far the eyes turn to the camera (radians), and the distance of the point they look
// at (model units; the camera's own distance would make them cross).
constexpr double kYawMax = 22 * kDeg, kPitchMax = 14 * kDeg, kLookFar = 700.0;
// The lower row follows this share of the chin's move (the incisors are nearer the joint
// than the chin), and closes at most this far above its place.
constexpr double kJawShare = 0.9, kJawUpMax = 1.0, kLipCover = 3.0;

Batch eyeballBatch;
std::vector<unsigned> skinIndex;
// The pocket behind the lips (the triangles not joined to the face through the mouth) is a
// small closed shell: subdivided it would shrink away from the lips and let the background
// show through the mouth, so it is drawn as it is.
std::vector<int> pocketFaces;

void place() {
  Placement pl;
  pl.x.assign(hdx, hdx + kVertexCount);
  pl.y.assign(hdy, hdy + kVertexCount);
  pl.z.assign(hdz, hdz + kVertexCount);
  loopFaces.resize(kFaceCount);
  for (int j = 0; j < kFaceCount; ++j) loopFaces[j] = {hda[j], hdb[j], hdc[j]};
  std::vector<char> joined(kVertexCount, 0);
  joined[h202pivotindex] = 1;
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& f : loopFaces)
      if (joined[f[0]] || joined[f[1]] || joined[f[2]])
        for (int v : f)
          if (!joined[v]) joined[v] = 1, grew = true;
  }
  std::vector<std::array<int, 3>> skin;
  pocketFaces.clear();
  for (int j = 0; j < kFaceCount; ++j) {
    if (joined[hda[j]])
      skin.push_back(loopFaces[j]);
    else
      pocketFaces.push_back(j);
  }
  loop.build(skin, kVertexCount, kLevels);
  skinIndex.clear();
  for (const auto& f : loop.faces())
    for (int v : f) skinIndex.push_back(static_cast<unsigned>(v));

  const double apart = std::abs(hdx[kEyeLeft] - hdx[kEyeRight]);
  if (apart > 0.0) {
    pl.eyeRadius = kEyeShare * apart;
    for (int e = 0; e < 2; ++e) {
      const std::array<double, 3> socket = loop.point(e == 0 ? kEyeLeft : kEyeRight, hdx, hdy, hdz);
      pl.eye[e] = {socket[0], socket[1], socket[2] - pl.eyeRadius * (1.0 - kEyeOut)};
    }
    eyeballBatch = eyeball(pl.eyeRadius);
  }
  double zLo = 1e300, zHi = -1e300;
  for (int i = 0; i < kVertexCount; ++i) zLo = std::min(zLo, hdz[i]), zHi = std::max(zHi, hdz[i]);
  pl.jaw = h201pivotindex;
  pl.pivot = {0.0, hdy[pl.jaw], 0.5 * (zLo + zHi)};
  placeTeeth(pl);
  placed = std::move(pl);
}

void ensurePlaced() {
  if (!sameHead()) place();
}

V3 jawShift() {
  const Placement& pl = *placed;
  V3 s = mul(sub(vertexAt(pl.jaw), {pl.x[pl.jaw], pl.y[pl.jaw], pl.z[pl.jaw]}), kJawShare);
  // The mesh moves the lower lip by its own FAPs; in speech it drops with the jaw and
  // further. The row goes down with it far enough that at most kLipCover of the crowns
  // stand above the lip's inner edge, so the lip keeps covering the gum.
  const int lip = h203pivotindex;
  s[1] = std::min({s[1], hdy[lip] + kLipCover - pl.lowerEdge, kJawUpMax});
  return s;
}

void drawEyes(V3 camera, double lids) {
  const Placement& pl = *placed;
  const double r = pl.eyeRadius;
  if (r <= 0.0) return;
  const V3 mid = mul(add(pl.eye[0], pl.eye[1]), 0.5);
  const V3 target = add(mid, mul(unit(sub(camera, mid)), kLookFar));
  Batch lids_;
  for (int e = 0; e < 2; ++e) {
    const V3 c = pl.eye[e];
    const V3 want = unit(sub(target, c));
    const double yaw = std::clamp(std::atan2(want[0], want[2]), -kYawMax, kYawMax);
    const double pitch =
        std::clamp(std::asin(std::clamp(want[1], -1.0, 1.0)), -kPitchMax, kPitchMax);
    const V3 g{std::cos(pitch) * std::sin(yaw), std::sin(pitch), std::cos(pitch) * std::cos(yaw)};
    const V3 xAxis = unit(cross({0.0, 1.0, 0.0}, g));
    const V3 yAxis = cross(g, xAxis);
    const GLdouble m[16] = {xAxis[0], xAxis[1], xAxis[2], 0, yAxis[0], yAxis[1], yAxis[2], 0,
                            g[0],     g[1],     g[2],     0, c[0],     c[1],     c[2],     1};
    glPushMatrix();
    glMultMatrixd(m);
    eyeballBatch.draw();
    // The catch light: the window's light mirrored in the cornea, up and towards the light.
    glDisable(GL_LIGHTING);
    glColor3f(0.96f, 0.96f, 0.95f);
    glBegin(GL_TRIANGLE_FAN);
    const double a = 13 * kDeg, b = 40 * kDeg, spot = 0.075 * r, lift = 1.005 * r;
    const V3 at{lift * std::sin(a) * std::cos(b), lift * std::sin(a) * std::sin(b),
                lift * std::cos(a)};
    glVertex3d(at[0], at[1], at[2]);
    for (int i = 0; i <= 12; ++i) {
      const double t = 2.0 * kPi * i / 12;
      glVertex3d(at[0] + spot * std::cos(t), at[1] + spot * std::sin(t), at[2]);
    }
    glEnd();
    glEnable(GL_LIGHTING);
    glPopMatrix();

    const double up = kUpperRest + kUpperFollow * pitch, down = kLowerRest + kLowerFollow * pitch;
    const double upper = up + (kMeet - kOverlap - up) * lids;
    const double lower = down + (kMeet + kOverlap - down) * lids;
    lid(lids_, c, 1.07 * r, upper, 12 * kDeg * (1.0 - 0.3 * lids), true);
    lid(lids_, c, 1.05 * r, lower, 6 * kDeg, false);
  }
  lids_.draw();
}

}  // namespace

void setOn(bool on) {
  switchedOn = on;
  polyKep = on ? &frame : nullptr;
}

bool isOn() { return switchedOn; }

void meshLoaded() { place(); }

void portrait(int volume) {
  toly = kPortraitToly;
  rotx = kPortraitRotx;
  d = FAPzoom(volume) + kPortraitZoom;
}

void lifeStart() {
  running = std::make_unique<Life>();
  current = still;
}

void lifeStep(double seconds, int volume) {
  if (!running) lifeStart();
  current = running->step(seconds, volume);
}

void lifeStop() {
  running.reset();
  current = still;
}

const LifePose& lifePose() { return current; }
const Life* life() { return running.get(); }

void frame() {
  glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  // The view increments accumulate as in the designed frame; the head's own turn is put on
  // top for this frame only.
  glRotatef(static_cast<GLfloat>(rotx), 1.0f, 0.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(roty), 0.0f, 1.0f, 0.0f);
  glRotatef(static_cast<GLfloat>(rotz), 0.0f, 0.0f, 1.0f);
  head();
  SwapBuffers(hDC);
}

void head() {
  ensurePlaced();
  glPushAttrib(GL_LIGHTING_BIT | GL_ENABLE_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  lights();
  glPushMatrix();
  const Placement& pl = *placed;
  glTranslated(pl.pivot[0], pl.pivot[1], pl.pivot[2]);
  glRotated(current.yaw, 0.0, 1.0, 0.0);
  glRotated(current.pitch, 1.0, 0.0, 0.0);
  glRotated(current.roll, 0.0, 0.0, 1.0);
  glTranslated(-pl.pivot[0], -pl.pivot[1], -pl.pivot[2]);

  glMaterialfv(GL_FRONT, GL_AMBIENT_AND_DIFFUSE, kSkin);
  glMaterialfv(GL_BACK, GL_AMBIENT_AND_DIFFUSE, kMouthInside);
  glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, kNoSpecular);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  loop.evaluate(hdx, hdy, hdz);
  glVertexPointer(3, GL_FLOAT, 0, loop.positions().data());
  glNormalPointer(GL_FLOAT, 0, loop.normals().data());
  glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(skinIndex.size()), GL_UNSIGNED_INT,
                 skinIndex.data());
  glBegin(GL_TRIANGLES);
  for (int j : pocketFaces) {
    const V3 a = vertexAt(hda[j]), b = vertexAt(hdb[j]), c = vertexAt(hdc[j]);
    const V3 n = unit(cross(sub(b, a), sub(c, a)));
    glNormal3d(n[0], n[1], n[2]);
    for (const V3& q : {a, b, c}) glVertex3d(q[0], q[1], q[2]);
  }
  glEnd();
  // The neck closed as in the designed look, so no view into the mouth leaves through it.
  nyilaszaro();

  // Eyes and teeth carry their colours per vertex.
  glEnableClientState(GL_COLOR_ARRAY);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  GLdouble mv[16];
  glGetDoublev(GL_MODELVIEW_MATRIX, mv);
  // the eye point in head coordinates: -R^T t of the model-view [R t]
  const V3 camera{-(mv[0] * mv[12] + mv[1] * mv[13] + mv[2] * mv[14]),
                  -(mv[4] * mv[12] + mv[5] * mv[13] + mv[6] * mv[14]),
                  -(mv[8] * mv[12] + mv[9] * mv[13] + mv[10] * mv[14])};
  drawEyes(camera, current.lids);
  if (pl.teethPlaced) {
    glPushMatrix();
    glTranslated(p909move[0], p909move[1], p909move[2]);
    pl.teeth.upper.draw();
    const V3 jaw = jawShift();
    glTranslated(jaw[0], jaw[1], jaw[2]);
    pl.teeth.lower.draw();
    glPopMatrix();
  }
  glPopMatrix();
  glPopClientAttrib();
  glPopAttrib();
}

void teethTriangles(std::vector<Triangle>& out) {
  out.clear();
  ensurePlaced();
  if (!placed->teethPlaced) return;
  const V3 jaw = jawShift();
  for (int row = 0; row < 2; ++row) {
    const Batch& b = row == 0 ? placed->teeth.upper : placed->teeth.lower;
    const V3 shift = add({p909move[0], p909move[1], p909move[2]}, row == 0 ? V3{} : jaw);
    for (size_t k = 0; k + 2 < b.tri.size(); k += 3) {
      Triangle t;
      for (int c = 0; c < 3; ++c)
        for (int a = 0; a < 3; ++a) t[c][a] = b.p[3 * b.tri[k + c] + a] + shift[a];
      out.push_back(t);
    }
  }
}

const LoopSurface& surface() {
  ensurePlaced();
  loop.evaluate(hdx, hdy, hdz);
  return loop;
}

EyePlacement eyes() {
  ensurePlaced();
  EyePlacement e;
  e.centre[0] = placed->eye[0];
  e.centre[1] = placed->eye[1];
  e.radius = placed->eyeRadius;
  return e;
}

}  // namespace lifelike
