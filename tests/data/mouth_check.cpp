// mouth-check [--articulated] [FAPS.csv ...]: how the head in the working directory's vertex.txt
// and face.txt speaks, measured with the program's own readers, weights and moves.
//
// The mouth is looked at along parallel rays, one per model unit, from the front (along -z)
// and from the live view's 20-degree tilt (along (0, -sin 20, -cos 20)), over a box from the
// outer lip corners +-2 sideways and from 14 units below the outer lower-lip middle to 3
// above the outer upper-lip middle. A ray's reference is the depth at which it meets the
// neutral head's front-facing surface; a ray through the neutral mouth takes the nearest
// ray above or below that has one. In a posed frame a ray belongs to the opening when it
// meets nothing, first meets a back face, or first meets a surface more than 4 units
// deeper than its reference.
//
// A third view is the live view itself, the program's perspective camera: the model turned
// 20 degrees about x, panned 42 up, 125 in front of the eye, seen through glFrustum(-d, d,
// -d, d, 1, 250) with the window's zoom d from its loudness, a ray from the eye through
// every pixel of a square window (the same box, projected). Rays through the mouth corners
// come in at up to 12 degrees sideways and steeper than the tilt from above. Here only the
// rays through the mouth's outline count, and a ray's depth is measured along it.
//
// Goals, each printed with its figure:
//   rest       the rest pose of a quiet window: opening <= 2 square units in both views,
//              and the inner upper lip above the inner lower lip all along the mouth
//              (tolerance 0.5 units);
//   oval       over the speech windows whose opening is >= 8 square units: the 10th
//              percentile of the opening's share of its bounding box >= 0.6, and at +-1/4
//              of its width the opening at least half as tall as at its tallest;
//   interior   <= 2 % of the rays through the opening see the background or a surface more
//              than 45 units behind the neutral lip surface, and what they see is at most
//              0.6 times as bright as the lips (luminance under the program's lighting);
//              the same for the live perspective on its own;
//   folds      no triangle's normal turns over against the neutral head, for the corners
//              of the box of FAP values speech reaches and for every window of the files;
//              with --articulated or --held, no triangle about the mouth's corners shows
//              the front or the live view its back (a spike) either;
//   pocket     no ray of any view outside the mouth's outline first meets the pocket behind
//              the lips (it would show through the skin), in the rest pose, the box corners
//              and every window.
// The FAP files are zarvo-fap's CSV (index, level, vol, FAP 3, 51..60). With --articulated
// they are articulated FAPs, and the box is the articulation's, its corners kept to what the
// mesh holds as the articulation keeps every pose (lipsync/MeshGuard.h). With --held every
// pose, the box corners too, is taken as the continuous mode, the playback and zarvo-render
// draw it (lipsync::heldFaps).
//
// Exit status: 0 all goals met, 1 a goal missed, 2 bad input.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lipsync/Articulation.h"
#include "lipsync/MeshGuard.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "speech/FAPmozgat.h"
#include "speech/TempFile_beolv.h"

namespace {

struct V3 {
  double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3 unit(V3 a) {
  const double l = std::sqrt(dot(a, a));
  return l > 0.0 ? V3{a.x / l, a.y / l, a.z / l} : V3{0, 0, 0};
}

using Faps = std::array<int, 76>;
using Mesh = std::vector<V3>;

// FAP values of a quiet window: the rest shape the analysis gives in every pause.
Faps restFaps() {
  Faps f{};
  const int rest[11][2] = {{3, -140}, {51, 30},  {52, 200}, {53, 0},  {54, -50}, {55, 15},
                           {56, 15},  {57, 162}, {58, 175}, {59, 75}, {60, 75}};
  for (const auto& r : rest) f[r[0]] = r[1];
  return f;
}

// The range of every FAP over recorded and synthetic speech. Its corners are posed the way
// speech combines the values: the FAPs go in three groups that speech moves together (the
// jaw, the lower lip and the corner raises, whose correlation over speech is 0.96 to 1.00;
// the two corner stretches, 0.98; the upper lip), and for each end of each group the
// window of speech that goes furthest towards it is taken, with that group set to the end
// of the range. Six corners; without speech, the rest shape stands in for the window.
struct Group {
  int fap[6];
  int sign[6];  // +1 where the FAP's max is the group's "high" end
  int n;
};
const Group kGroups[3] = {{{3, 52, 57, 58, 59, 60}, {1, -1, -1, -1, -1, -1}, 6},
                          {{53, 54}, {1, 1}, 2},
                          {{51, 55, 56}, {1, 1, 1}, 3}};
const std::map<int, std::pair<int, int>> kRange = {
    {3, {-140, 1020}},  {51, {-150, 105}}, {52, {-1250, 200}}, {53, {-260, 150}},
    {54, {-310, 160}},  {55, {-90, 195}},  {56, {-120, 270}},  {57, {-1037, 162}},
    {58, {-1137, 175}}, {59, {-510, 75}},  {60, {-510, 75}}};

bool articulatedBox = false;  // --articulated
bool heldPoses = false;       // --held

std::vector<Faps> boxCorners(const std::vector<Faps>& speech) {
  auto range = kRange;
  if (articulatedBox)
    for (int k = 0; k < 11; ++k)
      range[kSpeechFaps[k]] = {lipsync::kArticulatedLeast[k], lipsync::kArticulatedMost[k]};
  std::vector<Faps> out;
  for (const Group& g : kGroups)
    for (int end : {1, -1}) {
      Faps base = restFaps();
      double best = -1e18;
      for (const Faps& w : speech) {
        double score = 0.0;
        for (int k = 0; k < g.n; ++k) score += end * g.sign[k] * w[g.fap[k]];
        if (score > best) best = score, base = w;
      }
      for (int k = 0; k < g.n; ++k) {
        const auto [lo, hi] = range.at(g.fap[k]);
        base[g.fap[k]] = end * g.sign[k] > 0 ? hi : lo;
      }
      if (articulatedBox || heldPoses) {
        double f[11];
        for (int k = 0; k < 11; ++k) f[k] = base[kSpeechFaps[k]];
        lipsync::holdMesh(f);
        for (int k = 0; k < 11; ++k) base[kSpeechFaps[k]] = static_cast<int>(std::lround(f[k]));
      }
      out.push_back(base);
    }
  return out;
}

Mesh positions() {
  Mesh p(kVertexCount);
  for (int i = 0; i < kVertexCount; ++i) p[i] = {hdx[i], hdy[i], hdz[i]};
  return p;
}

void restore(const Mesh& p) {
  for (int i = 0; i < kVertexCount; ++i) {
    hdx[i] = p[i].x;
    hdy[i] = p[i].y;
    hdz[i] = p[i].z;
  }
}

// The head posed by one window's FAPs with the live moves (the arrays are left posed).
Mesh posed(const Mesh& neutral, const Faps& f) {
  restore(neutral);
  FAPmozgat(f.data(), 1);
  return positions();
}

V3 faceNormal(const Mesh& p, int j) { return cross(p[hdb[j]] - p[hda[j]], p[hdc[j]] - p[hda[j]]); }

int folds(const Mesh& neutral, const Mesh& p) {
  int n = 0;
  for (int j = 0; j < kFaceCount; ++j)
    if (dot(faceNormal(neutral, j), faceNormal(p, j)) < 0.0) ++n;
  return n;
}

// Triangles about the mouth's corners that face the front or the live view (20 degrees from
// above) in the neutral head and show that view their backs in p: a dark spike at a corner
// drawn far in, though no triangle may have turned over.
int backs(const Mesh& neutral, const Mesh& p) {
  const double s = std::sin(20.0 * M_PI / 180.0), c = std::cos(20.0 * M_PI / 180.0);
  const V3 views[2] = {{0.0, 0.0, 1.0}, {0.0, s, c}};
  int n = 0;
  for (int j = 0; j < kFaceCount; ++j) {
    const V3& a = neutral[hda[j]];
    const V3& b = neutral[hdb[j]];
    const V3& e = neutral[hdc[j]];
    const double mx = (a.x + b.x + e.x) / 3.0, my = (a.y + b.y + e.y) / 3.0;
    if (std::abs(mx) < 14.0 || std::abs(mx) > 40.0 || my < -60.0 || my > -20.0) continue;
    const V3 n0 = faceNormal(neutral, j), n1 = faceNormal(p, j);
    for (const V3& v : views)
      if (dot(n0, v) > 0.3 * std::sqrt(dot(n0, n0)) && dot(n1, v) < 0.0) {
        ++n;
        break;
      }
  }
  return n;
}

// ---- looking at the head ----

// A camera maps a model point to grid coordinates (u to the right, v up; a ray through
// every whole (u, v)) and a value that is linear over a triangle's projection, from which
// the depth along the ray follows.
struct Camera {
  const char* name;
  bool perspective;
  V3 dir, up;    // parallel: into the scene; the picture's up; the picture's right is +x
  double d = 0;  // perspective: the frustum's half-width at the near plane
  V3 project(V3 p) const;
  double depth(double z, int u, int v) const;
  bool clipped(double z) const;
};

const double kTilt = kKeretRotx * 3.14159265358979323846 / 180.0;
const Camera kViews[2] = {{"front", false, {0, 0, -1}, {0, 1, 0}},
                          {"live tilt",
                           false,
                           {0, -std::sin(kTilt), -std::cos(kTilt)},
                           {0, std::cos(kTilt), -std::sin(kTilt)}}};

// The live view as the program sets it up: the model turned 20 degrees about x, panned 42
// up and 125 away from the eye, seen through glFrustum(-d, d, -d, d, 1, 250) in a square
// window of kSide pixels (a pixel is about half a unit at the mouth); a ray through every
// pixel's centre.
constexpr int kSide = 256;
constexpr double kAway = 125.0, kNear = 1.0, kFar = 250.0;

Camera liveCamera(int volume) {
  Camera c{"live perspective", true, {0, 0, -1}, {0, 1, 0}};
  c.d = FAPzoom(volume);
  return c;
}

V3 Camera::project(V3 p) const {
  if (!perspective) return {p.x, dot(p, up), dot(p, dir)};
  const double y = std::cos(kTilt) * p.y - std::sin(kTilt) * p.z + kKeretToly;
  const double w = kAway - (std::sin(kTilt) * p.y + std::cos(kTilt) * p.z);
  const double half = 0.5 * kSide;
  return {(p.x / w / d + 1.0) * half - 0.5, (y / w / d + 1.0) * half - 0.5, 1.0 / w};
}

// Parallel: the linear value is the depth. Perspective: it is 1 / w (w the distance in
// front of the eye); the depth is measured along the ray.
double Camera::depth(double z, int u, int v) const {
  if (!perspective) return z;
  const double x = d * ((u + 0.5) * 2.0 / kSide - 1.0), y = d * ((v + 0.5) * 2.0 / kSide - 1.0);
  return std::sqrt(1.0 + x * x + y * y) / z;
}

// Perspective: what lies outside the near and the far plane is not drawn.
bool Camera::clipped(double z) const { return perspective && (z > 1.0 / kNear || z < 1.0 / kFar); }

struct Hit {
  double depth = 0.0;
  int face = -1;  // -1: the ray meets nothing
  bool front = false;
};

// The first surface along every ray of a rectangle of the grid, column-major.
struct Picture {
  int u0, v0, cols, rows;
  std::vector<Hit> hits;
  Picture(int u0_, int u1, int v0_, int v1)
      : u0(u0_),
        v0(v0_),
        cols(std::max(0, u1 - u0_ + 1)),
        rows(std::max(0, v1 - v0_ + 1)),
        hits(size_t(cols) * rows) {}
  Hit& at(int u, int v) { return hits[size_t(u - u0) * rows + (v - v0)]; }
  const Hit& at(int u, int v) const { return hits[size_t(u - u0) * rows + (v - v0)]; }
};

// A face is seen from its front where its projection turns counter-clockwise, as the
// library decides which side it lights. One projected triangle (a, b, c) named `j` into
// the picture, where it is nearer than what the picture holds.
void rasterise(Picture& pic, const Camera& cam, V3 a, V3 b, V3 c, int j) {
  const int u0 = pic.u0, u1 = pic.u0 + pic.cols - 1, w0 = pic.v0, w1 = pic.v0 + pic.rows - 1;
  // nearest first: the smallest depth, that is the largest 1 / w in perspective
  const double sign = cam.perspective ? -1.0 : 1.0;
  const double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
  if (det == 0.0) return;
  const double inv = 1.0 / det;
  const int i0 = std::max(u0, int(std::ceil(std::min({a.x, b.x, c.x}))));
  const int i1 = std::min(u1, int(std::floor(std::max({a.x, b.x, c.x}))));
  const int k0 = std::max(w0, int(std::ceil(std::min({a.y, b.y, c.y}))));
  const int k1 = std::min(w1, int(std::floor(std::max({a.y, b.y, c.y}))));
  for (int i = i0; i <= i1; ++i)
    for (int k = k0; k <= k1; ++k) {
      const double s = ((i - a.x) * (c.y - a.y) - (c.x - a.x) * (k - a.y)) * inv;
      const double t = ((b.x - a.x) * (k - a.y) - (i - a.x) * (b.y - a.y)) * inv;
      if (s < 0.0 || t < 0.0 || s + t > 1.0) continue;
      const double z = a.z + s * (b.z - a.z) + t * (c.z - a.z);
      if (cam.clipped(z)) continue;
      Hit& h = pic.at(i, k);
      if (h.face < 0 || sign * z < sign * h.depth) h = {z, j, det > 0.0};
    }
}

// The projection's linear values turned into depths along the rays.
void depths(Picture& pic, const Camera& cam) {
  const int u0 = pic.u0, u1 = pic.u0 + pic.cols - 1, w0 = pic.v0, w1 = pic.v0 + pic.rows - 1;
  for (int i = u0; i <= u1; ++i)
    for (int k = w0; k <= w1; ++k) {
      Hit& h = pic.at(i, k);
      if (h.face >= 0) h.depth = cam.depth(h.depth, i, k);
    }
}

Picture look(const Mesh& p, const Camera& cam, int u0, int u1, int w0, int w1) {
  Picture pic(u0, u1, w0, w1);
  std::vector<V3> q(p.size());
  for (size_t i = 0; i < p.size(); ++i) q[i] = cam.project(p[i]);
  for (int j = 0; j < kFaceCount; ++j) rasterise(pic, cam, q[hda[j]], q[hdb[j]], q[hdc[j]], j);
  depths(pic, cam);
  return pic;
}

// Reference depth of every ray from the neutral head: the ray itself, else the nearest one
// above or below in its column that meets a front face (NaN where there is none).
std::vector<double> references(const Picture& pic) {
  std::vector<double> ref(pic.hits.size(), NAN);
  for (int i = 0; i < pic.cols; ++i)
    for (int k = 0; k < pic.rows; ++k)
      for (int step = 0; step < pic.rows && std::isnan(ref[size_t(i) * pic.rows + k]); ++step)
        for (int kk : {k + step, k - step}) {
          if (kk < 0 || kk >= pic.rows) continue;
          const Hit& h = pic.hits[size_t(i) * pic.rows + kk];
          if (h.face >= 0 && h.front) {
            ref[size_t(i) * pic.rows + k] = h.depth;
            break;
          }
        }
  return ref;
}

// The neutral head's reference depths over a rectangle of a camera's grid.
struct Reference {
  Picture pic;
  std::vector<double> depth;
  Reference(const Mesh& neutral, const Camera& cam, int u0, int u1, int v0, int v1)
      : pic(look(neutral, cam, u0, u1, v0, v1)), depth(references(pic)) {}
  double at(int u, int v) const {
    if (u < pic.u0 || v < pic.v0 || u >= pic.u0 + pic.cols || v >= pic.v0 + pic.rows) return NAN;
    return depth[size_t(u - pic.u0) * pic.rows + (v - pic.v0)];
  }
};

// A parallel camera's references over a grid wide enough for every box a mouth can ask for.
Reference parallelReference(const Mesh& neutral, const Camera& cam) {
  return Reference(neutral, cam, -60, 60, -150, 10);
}

// ---- lighting: the polygon model's flat shading ----

// Luminance (Rec. 709) of a face under light 1 from (2, 0, 2), fixed to the model, and the
// global ambient 0.5: the skin material on front faces, the library's default material
// (ambient 0.2, diffuse 0.8) on back faces, lit with the reversed normal.
double luminance(const Mesh& p, int j, bool front) {
  const V3 n = unit(faceNormal(p, j));
  const double l = std::max(0.0, (front ? 1.0 : -1.0) * (n.x + n.z) / std::sqrt(2.0));
  const double ambient = 0.5, diffuse = 0.5;
  double rgb[3];
  const double skin[3] = {0.9764, 0.7804, 0.6902};
  for (int k = 0; k < 3; ++k)
    rgb[k] = front ? skin[k] * (ambient + diffuse * l) : 0.2 * ambient + 0.8 * diffuse * l;
  for (double& c : rgb) c = std::min(1.0, c);
  return 0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2];
}

// ---- one posed frame seen from one view ----

struct Frame {
  int area = 0;                  // rays in the opening
  int boxW = 0, boxH = 0;        // its bounding box, rays
  double quarter = 1.0;          // height at +-1/4 width over the largest, the lower
  int background = 0, deep = 0;  // opening rays seeing nothing / too far
  double interiorLum = 0.0, lipLum = 0.0;
  int interiorN = 0, lipN = 0;
  double perUnit = 1.0;  // rays per square unit at the mouth
};

// What the measures need to know of the mesh: the lips' vertices, the faces of the pocket
// (the shell not connected to the face) and the mouth's boundary loop.
struct Scene {
  std::set<int> lips;
  std::vector<bool> pocket;
  std::vector<int> mouth;
};

std::set<int> lipVertices() {
  std::set<int> s;
  auto add = [&](const int* idx, int n) { s.insert(idx, idx + n); };
  add(h202index, 15), add(h203index, 15), add(h204index, 18), add(h205index, 18);
  add(h206index, 6), add(h207index, 6), add(h208index, 11), add(h209index, 11);
  add(h801index, 25), add(h802index, 24), add(h803index, 9), add(h804index, 9);
  add(h805index, 14), add(h806index, 14), add(h807index, 19), add(h808index, 19);
  return s;
}

// The box the opening is looked for in: from the outer lip corners +-2 sideways, from 14
// below the outer lower-lip middle to 3 above the outer upper-lip middle (grid units).
struct Box {
  int u0, u1, v0, v1;
};
Box mouthBox(const Mesh& p, const Camera& cam) {
  const V3 up = cam.perspective ? V3{0, std::cos(kTilt), -std::sin(kTilt)} : cam.up;
  auto shifted = [](V3 a, V3 by, double k) {
    return V3{a.x + k * by.x, a.y + k * by.y, a.z + k * by.z};
  };
  const V3 left = p[66].x < p[76].x ? p[66] : p[76], right = p[66].x < p[76].x ? p[76] : p[66];
  return {int(std::floor(cam.project(shifted(left, {1, 0, 0}, -2.0)).x)),
          int(std::ceil(cam.project(shifted(right, {1, 0, 0}, 2.0)).x)),
          int(std::floor(cam.project(shifted(p[194], up, -14.0)).y)),
          int(std::ceil(cam.project(shifted(p[184], up, 3.0)).y))};
}

// Whether (u, v) lies inside a closed polygon (even-odd rule).
bool inside(const std::vector<V3>& poly, double u, double v) {
  bool in = false;
  for (size_t a = 0, b = poly.size() - 1; a < poly.size(); b = a++)
    if ((poly[a].y > v) != (poly[b].y > v) &&
        u < poly[a].x + (v - poly[a].y) / (poly[b].y - poly[a].y) * (poly[b].x - poly[a].x))
      in = !in;
  return in;
}

// The mouth's boundary loop as the camera sees it.
std::vector<V3> projectedLoop(const Mesh& p, const Camera& cam, const Scene& scene) {
  std::vector<V3> loop;
  for (int v : scene.mouth) loop.push_back(cam.project(p[v]));
  return loop;
}

// Rays outside the mouth whose first hit is the pocket: the pocket showing through the skin.
// Looked for over the pocket's own extent in the picture (the pocket never moves).
int pocketSeen(const Mesh& p, const Camera& cam, const Scene& scene) {
  Box box{INT_MAX, INT_MIN, INT_MAX, INT_MIN};
  for (int j = 0; j < kFaceCount; ++j)
    if (scene.pocket[j])
      for (int v : {hda[j], hdb[j], hdc[j]}) {
        const V3 q = cam.project(p[v]);
        box = {std::min(box.u0, int(std::floor(q.x))), std::max(box.u1, int(std::ceil(q.x))),
               std::min(box.v0, int(std::floor(q.y))), std::max(box.v1, int(std::ceil(q.y)))};
      }
  if (box.u0 > box.u1) return 0;
  const Picture pic = look(p, cam, box.u0, box.u1, box.v0, box.v1);
  const std::vector<V3> loop = projectedLoop(p, cam, scene);
  int n = 0;
  for (int i = box.u0; i <= box.u1; ++i)
    for (int k = box.v0; k <= box.v1; ++k) {
      const Hit& h = pic.at(i, k);
      n += h.face >= 0 && scene.pocket[h.face] && !inside(loop, i, k);
    }
  return n;
}

// The opening of one posed frame. With `throughOnly`, only the rays inside the projection
// of the mouth's boundary loop count: the rays that pass through the mouth.
Frame measure(const Mesh& p, const Camera& cam, const Box& box, const Reference& ref,
              const Scene& scene, bool throughOnly = false) {
  const Picture pic = look(p, cam, box.u0, box.u1, box.v0, box.v1);
  const std::vector<V3> loop = projectedLoop(p, cam, scene);
  Frame f;
  int iMin = pic.cols, iMax = -1, kMin = pic.rows, kMax = -1;
  std::vector<int> column(pic.cols, 0);
  for (int i = 0; i < pic.cols; ++i)
    for (int k = 0; k < pic.rows; ++k) {
      const Hit& h = pic.at(box.u0 + i, box.v0 + k);
      const double r = ref.at(box.u0 + i, box.v0 + k);
      const bool open = (h.face < 0 || !h.front || h.depth > r + 4.0) &&
                        (!throughOnly || inside(loop, box.u0 + i, box.v0 + k));
      if (!open) {
        if (h.face < 0 || !h.front) continue;  // beside the head; the lips face the eye
        const auto& lips = scene.lips;
        if (lips.count(hda[h.face]) && lips.count(hdb[h.face]) && lips.count(hdc[h.face])) {
          f.lipLum += luminance(p, h.face, true);
          ++f.lipN;
        }
        continue;
      }
      ++f.area;
      ++column[i];
      iMin = std::min(iMin, i), iMax = std::max(iMax, i);
      kMin = std::min(kMin, k), kMax = std::max(kMax, k);
      if (h.face < 0) {
        ++f.background;
      } else {
        if (h.depth > r + 45.0) ++f.deep;
        f.interiorLum += luminance(p, h.face, h.front);
        ++f.interiorN;
      }
    }
  if (f.area > 0) {
    f.boxW = iMax - iMin + 1;
    f.boxH = kMax - kMin + 1;
    const int tallest = *std::max_element(column.begin(), column.end());
    const double mid = 0.5 * (iMin + iMax), q = 0.25 * f.boxW;
    const int left = column[int(std::lround(mid - q))], right = column[int(std::lround(mid + q))];
    f.quarter = double(std::min(left, right)) / tallest;
  }
  return f;
}

// The pocket seen through the skin from any of the three views.
int pocketSeenAnywhere(const Mesh& p, int volume, const Scene& scene) {
  return pocketSeen(p, kViews[0], scene) + pocketSeen(p, kViews[1], scene) +
         pocketSeen(p, liveCamera(volume), scene);
}

// The live view of one window: its zoom from its loudness, the references of the neutral
// head in the same picture. The box reaches past the chin's outline when the jaw drops, and
// the background beside the head is not seen through the mouth: the rays count only inside
// the mouth's outline.
Frame measureLive(const Mesh& neutral, const Mesh& p, int volume, const Scene& scene) {
  const Camera cam = liveCamera(volume);
  const Box box = mouthBox(p, cam);
  const Reference ref(neutral, cam, box.u0, box.u1, box.v0 - 40, box.v1 + 40);
  Frame f = measure(p, cam, box, ref, scene, true);
  const double side = 0.5 * kSide / cam.d * cam.project(neutral[223]).z;  // pixels a unit
  f.perUnit = side * side;
  return f;
}

// ---- the inner lip contours ----

// The mouth's boundary loop (the one through 223), split at the inner corners 11 and 42
// into the upper and the lower contour.
bool contours(std::vector<int>& upper, std::vector<int>& lower) {
  std::map<int, int> next;
  std::set<std::pair<int, int>> directed;
  for (int j = 0; j < kFaceCount; ++j) {
    const int t[3] = {hda[j], hdb[j], hdc[j]};
    for (int k = 0; k < 3; ++k) directed.insert({t[k], t[(k + 1) % 3]});
  }
  for (auto [a, b] : directed)
    if (!directed.count({b, a})) next[a] = b;
  if (!next.count(223)) return false;
  std::vector<int> loop{223};
  for (int v = next[223]; v != 223 && loop.size() < 400; v = next.count(v) ? next[v] : 223)
    loop.push_back(v);
  const auto c1 = std::find(loop.begin(), loop.end(), 11);
  const auto c2 = std::find(loop.begin(), loop.end(), 42);
  if (c1 == loop.end() || c2 == loop.end()) return false;
  std::rotate(loop.begin(), c1 < c2 ? c1 : c2, loop.end());
  const auto other = std::find(loop.begin() + 1, loop.end(), loop[0] == 11 ? 42 : 11);
  std::vector<int> a(loop.begin(), other + 1), b(other, loop.end());
  b.push_back(loop[0]);
  const bool aUpper = std::count(a.begin(), a.end(), 223) > 0;
  upper = aUpper ? a : b;
  lower = aUpper ? b : a;
  return std::count(lower.begin(), lower.end(), 203) > 0;
}

// The faces of the pocket: those not connected to the face through the mouth's vertex 223.
std::vector<bool> pocketFaces() {
  std::vector<bool> face(kVertexCount, false);
  face[223] = true;
  for (bool grew = true; grew;) {
    grew = false;
    for (int j = 0; j < kFaceCount; ++j)
      if (face[hda[j]] || face[hdb[j]] || face[hdc[j]])
        for (int v : {hda[j], hdb[j], hdc[j]})
          if (!face[v]) face[v] = grew = true;
  }
  std::vector<bool> pocket(kFaceCount);
  for (int j = 0; j < kFaceCount; ++j) pocket[j] = !face[hda[j]];
  return pocket;
}

// y of a contour (a polyline over x) at x; NaN outside it.
double contourY(const Mesh& p, const std::vector<int>& c, double x) {
  for (size_t k = 0; k + 1 < c.size(); ++k) {
    const V3 a = p[c[k]], b = p[c[k + 1]];
    if ((x - a.x) * (x - b.x) <= 0.0 && a.x != b.x)
      return a.y + (x - a.x) / (b.x - a.x) * (b.y - a.y);
  }
  return NAN;
}

// Smallest height of the upper contour over the lower one, compared at every vertex of
// either.
double lipClearance(const Mesh& p, const std::vector<int>& upper, const std::vector<int>& lower) {
  double worst = 1e9;
  for (const auto* c : {&upper, &lower})
    for (int v : *c) {
      const double yu = contourY(p, upper, p[v].x), yl = contourY(p, lower, p[v].x);
      if (!std::isnan(yu) && !std::isnan(yl)) worst = std::min(worst, yu - yl);
    }
  return worst;
}

// ---- speech ----

// FAPs and loudness of every window, the columns found by their names in the header.
bool readFaps(const std::string& path, std::vector<Faps>& out, std::vector<int>& volumes) {
  std::ifstream in(path);
  std::string line;
  auto cellsOf = [](const std::string& text) {
    std::istringstream ls(text);
    std::vector<std::string> cells;
    for (std::string cell; std::getline(ls, cell, ',');) cells.push_back(cell);
    return cells;
  };
  if (!in || !std::getline(in, line)) return false;
  const std::vector<std::string> names = cellsOf(line);
  auto column = [&](const std::string& name) {
    return static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
  };
  const int order[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
  int at[11];
  for (int k = 0; k < 11; ++k) at[k] = column("fap" + std::to_string(order[k]));
  const int vol = column("vol");
  const int width = static_cast<int>(names.size());
  if (vol == width || std::find(at, at + 11, width) != at + 11) return false;
  while (std::getline(in, line)) {
    const std::vector<std::string> cells = cellsOf(line);
    if (static_cast<int>(cells.size()) != width) return false;
    Faps f{};
    for (int k = 0; k < 11; ++k) f[order[k]] = std::stoi(cells[at[k]]);
    out.push_back(f);
    volumes.push_back(std::stoi(cells[vol]));
  }
  return true;
}

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  return v[size_t(std::floor(q * (v.size() - 1)))];
}

bool goal(bool met, const char* what) {
  std::printf("  %s %s\n", met ? "met   " : "MISSED", what);
  return met;
}

// The interior goals over the rays of the open windows of one or more views.
bool interior(const char* views, long rays, long background, long deep, double inside, double lips,
              bool seen) {
  const double bad = rays ? double(background + deep) / rays : 1.0;
  std::printf(
      "  %s, through the opening (%ld rays): background %.1f %%, deeper than 45 units "
      "%.1f %%\n",
      views, rays, 100.0 * background / std::max(1L, rays), 100.0 * deep / std::max(1L, rays));
  bool ok = goal(bad <= 0.02, "interior: <= 2 % background or too deep");
  std::printf("  luminance inside %.3f, lips %.3f: ratio %.2f\n", inside, lips, inside / lips);
  ok &= goal(seen && inside / lips <= 0.6, "interior: <= 0.6 x the lips' luminance");
  return ok;
}

}  // namespace

#ifndef MOUTH_CHECK_MACHINERY_ONLY
int main(int argc, char** argv) {
  std::vector<Faps> speech;
  std::vector<int> volumes;
  for (int a = 1; a < argc; ++a)
    if (std::string(argv[a]) == "--articulated")
      articulatedBox = true;
    else if (std::string(argv[a]) == "--held")
      heldPoses = true;
    else if (!readFaps(argv[a], speech, volumes)) {
      std::fprintf(stderr, "mouth-check: %s is not a zarvo-fap CSV file\n", argv[a]);
      return 2;
    }
  if (heldPoses)
    for (Faps& f : speech) lipsync::heldFaps(f.data(), f.data());
  vertexbeolv();
  facebeolv();
  if (hdx[223] == 0.0 && hdy[223] == 0.0) {
    std::fprintf(stderr, "mouth-check: no vertex.txt in the working directory\n");
    return 2;
  }
  tavolsag();
  const Mesh neutral = positions();
  Scene scene{lipVertices(), std::vector<bool>(kFaceCount, false), {}};
  bool ok = true;

  // Rest pose.
  std::printf("rest pose (quiet window)\n");
  const Mesh rest = posed(neutral, restFaps());
  std::vector<int> upper, lower;
  const bool found = contours(upper, lower);
  scene.mouth = upper;
  scene.mouth.insert(scene.mouth.end(), lower.begin(), lower.end());
  scene.pocket = pocketFaces();
  const double clearance = found ? lipClearance(rest, upper, lower) : NAN;
  std::printf("  inner upper lip over the inner lower lip: at least %.2f units%s\n", clearance,
              found ? "" : " (no mouth contour)");
  ok &= goal(found && clearance >= -0.5, "the lips do not cross (>= -0.5)");
  std::vector<Reference> refs;
  for (const Camera& cam : kViews) refs.push_back(parallelReference(neutral, cam));
  long pocketShows = pocketSeenAnywhere(neutral, 0, scene) + pocketSeenAnywhere(rest, -100, scene);
  for (int k = 0; k < 2; ++k) {
    const Frame f = measure(rest, kViews[k], mouthBox(rest, kViews[k]), refs[k], scene);
    std::printf("  opening, %s: %d square units\n", kViews[k].name, f.area);
    ok &= goal(f.area <= 2, "the lips meet (<= 2)");
  }
  const Frame start = measure(neutral, kViews[0], mouthBox(neutral, kViews[0]), refs[0], scene);
  std::printf("  start view (no FAPs), front: opening %d square units\n", start.area);

  // Speech windows. The parallel views share the interior figures; the live perspective
  // has its own.
  std::printf("speech: %zu windows\n", speech.size());
  std::vector<double> fill[2], quarter[2];
  long rays = 0, background = 0, deep = 0, inN = 0, lipN = 0;
  double inLum = 0.0, lipLum = 0.0;
  Frame live;
  int liveOpen = 0;
  int speechFolds = 0, foldedWindows = 0, backWindows = 0;
  for (size_t n = 0; n < speech.size(); ++n) {
    const Mesh p = posed(neutral, speech[n]);
    pocketShows += pocketSeenAnywhere(p, volumes[n], scene);
    backWindows += backs(neutral, p) > 0;
    const int folded = folds(neutral, p);
    speechFolds = std::max(speechFolds, folded);
    foldedWindows += folded > 0;
    for (int k = 0; k < 2; ++k) {
      const Frame f = measure(p, kViews[k], mouthBox(p, kViews[k]), refs[k], scene);
      lipLum += f.lipLum, lipN += f.lipN;
      if (f.area < 8) continue;
      fill[k].push_back(double(f.area) / (f.boxW * f.boxH));
      quarter[k].push_back(f.quarter);
      rays += f.area, background += f.background, deep += f.deep;
      inLum += f.interiorLum, inN += f.interiorN;
    }
    const Frame f = measureLive(neutral, p, volumes[n], scene);
    live.lipLum += f.lipLum, live.lipN += f.lipN;
    if (f.area < 8.0 * f.perUnit) continue;
    ++liveOpen;
    live.area += f.area, live.background += f.background, live.deep += f.deep;
    live.interiorLum += f.interiorLum, live.interiorN += f.interiorN;
  }
  if (!speech.empty()) {
    for (int k = 0; k < 2; ++k) {
      std::printf(
          "  %s: %zu windows open >= 8; fill of the bounding box: 10th percentile %.2f, "
          "median %.2f; height at +-1/4 width: 10th percentile %.2f, lowest %.2f\n",
          kViews[k].name, fill[k].size(), percentile(fill[k], 0.1), percentile(fill[k], 0.5),
          percentile(quarter[k], 0.1),
          quarter[k].empty() ? NAN : *std::min_element(quarter[k].begin(), quarter[k].end()));
      ok &= goal(!fill[k].empty() && percentile(fill[k], 0.1) >= 0.6, "oval: fill >= 0.6");
      ok &= goal(!quarter[k].empty() && percentile(quarter[k], 0.1) >= 0.5,
                 "oval: height at +-1/4 width >= 0.5");
    }
    ok &= interior("front and live tilt", rays, background, deep, inLum / std::max(1L, inN),
                   lipLum / std::max(1L, lipN), inN > 0);
    std::printf("  live perspective: %d windows open >= 8\n", liveOpen);
    ok &= interior("live perspective", live.area, live.background, live.deep,
                   live.interiorLum / std::max(1, live.interiorN),
                   live.lipLum / std::max(1, live.lipN), live.interiorN > 0);
  }

  // Folds.
  int cornerFolds = 0, foldedCorners = 0, backCorners = 0;
  const auto corners = boxCorners(speech);
  for (const Faps& c : corners) {
    const Mesh p = posed(neutral, c);
    backCorners += backs(neutral, p) > 0;
    const int n = folds(neutral, p);
    cornerFolds = std::max(cornerFolds, n);
    foldedCorners += n > 0;
    pocketShows += pocketSeenAnywhere(p, 0, scene);
  }
  std::printf("folds\n  box corners: %d of %zu fold, at most %d triangles\n", foldedCorners,
              corners.size(), cornerFolds);
  ok &= goal(cornerFolds == 0, "no folds at the box corners");
  if (!speech.empty()) {
    std::printf("  speech: %d of %zu windows fold, at most %d triangles\n", foldedWindows,
                speech.size(), speechFolds);
    ok &= goal(speechFolds == 0, "no folds in speech");
  }
  std::printf("  a corner triangle's back shown to the front or live view: %d of %zu box corners",
              backCorners, corners.size());
  if (!speech.empty()) std::printf(", %d of %zu windows", backWindows, speech.size());
  std::printf("\n");
  // A goal for the poses the program keeps (articulated, or drawn held); the designed stream
  // as the designed live run draws it shows them at corners drawn far in (a figure).
  if (articulatedBox || heldPoses)
    ok &= goal(backCorners == 0 && backWindows == 0, "no spikes at the corners");
  std::printf("pocket\n  rays outside the mouth that see it, all poses and views: %ld\n",
              pocketShows);
  ok &= goal(pocketShows == 0, "the pocket stays behind the skin");
  restore(neutral);
  std::printf("%s\n", ok ? "all goals met" : "goals missed");
  return ok ? 0 : 1;
}
#endif
