// Checks of the shipped head mesh, data/vertex.txt and data/face.txt, made without the
// generator: the file format, a valid consistently wound triangle mesh with the boundary
// Euler's formula allows and a closed pocket behind the mouth, feature points where the region
// tables expect them, every region the neighbourhood of its pivot, the proportions the FAP units
// assume, and the program's own readers, weights and moves deforming it without folding.
//
// Runs with the working directory set to data/, where the readers look for the files.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <locale>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "lipsync/Articulation.h"
#include "lipsync/MeshGuard.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "speech/FAPmozgat.h"
#include "speech/TempFile_beolv.h"

namespace {

constexpr int kV = 347;
constexpr int kF = 632;

struct Vec {
  double x, y, z;
};

Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double dist(Vec a, Vec b) { return std::sqrt(dot(a - b, a - b)); }

using Tri = std::array<int, 3>;

struct Region {
  int code;
  int pivot;
  const int* index;
  int n;
};

#define REGION(c) \
  Region { c, h##c##pivotindex, h##c##index, int(std::size(h##c##index)) }
const std::array<Region, 18> kRegions = {
    REGION(201), REGION(202), REGION(203), REGION(204), REGION(205), REGION(206),
    REGION(207), REGION(208), REGION(209), REGION(210), REGION(801), REGION(802),
    REGION(803), REGION(804), REGION(805), REGION(806), REGION(807), REGION(808)};
#undef REGION

// Vertex numbers the generator gives the points the proportions are measured at.
constexpr int kNoseBase = 1;
constexpr int kLeftEye = 5;  // the face's left, +x
constexpr int kRightEye = 9;

// The files, parsed here line by line (one record per line, classic number syntax).
struct Mesh {
  std::vector<Vec> p;
  std::vector<Tri> t;
  std::string error;
};

std::vector<std::vector<double>> readRecords(const std::string& path, std::string& error) {
  std::vector<std::vector<double>> out;
  std::ifstream in(path);
  if (!in) {
    error = "cannot open " + path;
    return out;
  }
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    ls.imbue(std::locale::classic());
    std::vector<double> rec;
    double v;
    while (ls >> v) rec.push_back(v);
    if (!ls.eof() || rec.size() != 4) {
      error = path + ": bad record '" + line + "'";
      return out;
    }
    out.push_back(rec);
  }
  return out;
}

const Mesh& shipped() {
  static const Mesh mesh = [] {
    Mesh m;
    const std::string dir = ZARVO_DATA_DIR;
    for (const auto& r : readRecords(dir + "/vertex.txt", m.error)) {
      if (r[0] != double(m.p.size())) m.error = "vertex record out of order";
      m.p.push_back({r[1], r[2], r[3]});
    }
    for (const auto& r : readRecords(dir + "/face.txt", m.error)) {
      if (r[0] != double(m.t.size())) m.error = "face record out of order";
      Tri tri{};
      for (int k = 0; k < 3; ++k) {
        if (r[k + 1] != std::floor(r[k + 1])) m.error = "non-integer subscript";
        tri[k] = int(r[k + 1]);
      }
      m.t.push_back(tri);
    }
    return m;
  }();
  return mesh;
}

Vec normal(const std::vector<Vec>& p, const Tri& t) {
  return cross(p[t[1]] - p[t[0]], p[t[2]] - p[t[0]]);
}

// Boundary edges (directed as in their triangle) and the loops they form.
std::vector<std::vector<int>> boundaryLoops(const std::vector<Tri>& tris, int* edges) {
  std::set<std::pair<int, int>> directed;
  for (const Tri& t : tris)
    for (int k = 0; k < 3; ++k) directed.insert({t[k], t[(k + 1) % 3]});
  std::map<int, int> next;
  *edges = 0;
  for (auto [a, b] : directed)
    if (!directed.count({b, a})) {
      next[a] = b;
      ++*edges;
    }
  std::vector<std::vector<int>> loops;
  std::set<int> seen;
  for (auto [start, unused] : next) {
    (void)unused;
    if (seen.count(start)) continue;
    std::vector<int> loop;
    for (int v = start; !seen.count(v); v = next.count(v) ? next[v] : start) {
      seen.insert(v);
      loop.push_back(v);
    }
    loops.push_back(loop);
  }
  return loops;
}

const std::vector<int>& mouthLoop() {
  static const std::vector<int> loop = [] {
    int edges = 0;
    for (auto& l : boundaryLoops(shipped().t, &edges))
      if (std::count(l.begin(), l.end(), 223)) return l;
    return std::vector<int>{};
  }();
  return loop;
}

// Distance between two vertices along the face: straight, unless the straight way passes
// through the closed mouth (the mouth line between the inner corners, in front of the
// teeth), in which case it goes round the nearer corner. The two lips touch, but on the
// surface they are only connected round the corners.
double surfaceDistance(const std::vector<Vec>& p, Vec a, Vec b) {
  const double ym = 0.5 * (p[223].y + p[203].y);
  double zmin = 1e9;
  for (int v : mouthLoop()) zmin = std::min(zmin, p[v].z);
  const double ya = a.y - ym, yb = b.y - ym;
  if (ya * yb < 0.0) {
    const double s = ya / (ya - yb);
    const double x = a.x + s * (b.x - a.x), z = a.z + s * (b.z - a.z);
    if (x > p[42].x && x < p[11].x && z > zmin - 2.0)
      return std::min(dist(a, p[11]) + dist(p[11], b), dist(a, p[42]) + dist(p[42], b));
  }
  return dist(a, b);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// ---------------------------------------------------------------------------

TEST(ShippedFiles, OneRecordPerLineInTheProgramsFormat) {
  const Mesh& m = shipped();
  ASSERT_EQ(m.error, "");
  ASSERT_EQ(int(m.p.size()), kV);
  ASSERT_EQ(int(m.t.size()), kF);
  for (const Tri& t : m.t)
    for (int v : t) {
      EXPECT_GE(v, 0);
      EXPECT_LT(v, kV);
    }
}

TEST(ShippedFiles, TheProgramsReadersLoadExactlyThem) {
  const Mesh& m = shipped();
  ASSERT_EQ(m.error, "");
  vertexbeolv();
  facebeolv();
  for (int i = 0; i < kV; ++i) {
    EXPECT_EQ(hdindex[i], double(i));
    EXPECT_EQ(hdx[i], m.p[i].x) << i;
    EXPECT_EQ(hdy[i], m.p[i].y) << i;
    EXPECT_EQ(hdz[i], m.p[i].z) << i;
  }
  for (int j = 0; j < kF; ++j) {
    EXPECT_EQ(hda[j], m.t[j][0]);
    EXPECT_EQ(hdb[j], m.t[j][1]);
    EXPECT_EQ(hdc[j], m.t[j][2]);
  }
}

TEST(ShippedMesh, TrianglesAreProperDistinctAndUseEveryVertex) {
  const Mesh& m = shipped();
  std::set<Tri> keys;
  std::vector<bool> used(kV, false);
  for (const Tri& t : m.t) {
    Tri key = t;
    std::sort(key.begin(), key.end());
    EXPECT_TRUE(key[0] != key[1] && key[1] != key[2]) << "repeated vertex";
    EXPECT_TRUE(keys.insert(key).second)
        << "duplicate triangle " << key[0] << " " << key[1] << " " << key[2];
    const Vec n = normal(m.p, t);
    EXPECT_GT(0.5 * std::sqrt(dot(n, n)), 0.05)
        << "degenerate triangle " << t[0] << " " << t[1] << " " << t[2];
    for (int v : t) used[v] = true;
  }
  EXPECT_EQ(std::count(used.begin(), used.end(), false), 0);
}

// 347 vertices and 632 triangles: a disk-like sheet has 60 boundary edges, a sheet with one
// more hole 62, and a closed shell beside it takes 4 more off. The head is open at the neck
// and at the mouth, whose lips are parted with no FAP; behind the mouth a closed pocket.
TEST(ShippedMesh, WindingIsConsistentAndOnlyNeckAndMouthAreOpen) {
  const Mesh& m = shipped();
  std::set<std::pair<int, int>> directed;
  for (const Tri& t : m.t)
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(directed.insert({t[k], t[(k + 1) % 3]}).second)
          << "edge " << t[k] << "-" << t[(k + 1) % 3] << " twice in one direction";
  int edges = 0;
  const auto loops = boundaryLoops(m.t, &edges);
  EXPECT_EQ(edges, 58);
  ASSERT_EQ(loops.size(), 2u);
  const auto& mouth = mouthLoop();
  for (int v : {223, 203, 11, 42}) EXPECT_EQ(std::count(mouth.begin(), mouth.end(), v), 1) << v;
  const auto& neck = loops[0] == mouth ? loops[1] : loops[0];
  for (int v : neck) EXPECT_LT(m.p[v].y, -90.0) << "neck opening vertex " << v;
  for (int v : mouth) {
    EXPECT_NEAR(m.p[v].y, -40.0, 4.0) << "mouth vertex " << v;
    EXPECT_LE(std::abs(m.p[v].x), m.p[11].x + 1e-9);
  }
}

// The pocket behind the lips is a closed shell of its own, seen from the mouth from its back:
// its faces turn their front inwards (it encloses a negative volume), and it lies inside the
// head (a ray from it towards the viewer leaves the face once), behind the lips and their
// corners: the live view looks past the corners, stretched out by up to 8 units, into the
// cheeks.
TEST(ShippedMesh, MouthPocketIsClosedFacesInwardsAndLiesBehindTheLips) {
  const Mesh& m = shipped();
  // the triangles not connected to the face
  std::set<int> face{223};
  for (bool grew = true; grew;) {
    grew = false;
    for (const Tri& t : m.t)
      if (face.count(t[0]) + face.count(t[1]) + face.count(t[2]) > 0)
        for (int v : t) grew |= face.insert(v).second;
  }
  std::vector<Tri> pocket;
  for (const Tri& t : m.t)
    if (!face.count(t[0])) pocket.push_back(t);
  ASSERT_GE(pocket.size(), 4u);
  double vol6 = 0.0;
  std::set<std::pair<int, int>> edges;
  for (const Tri& t : pocket) {
    vol6 += dot(m.p[t[0]], cross(m.p[t[1]], m.p[t[2]]));
    for (int k = 0; k < 3; ++k) edges.insert({t[k], t[(k + 1) % 3]});
  }
  for (auto [a, b] : edges) EXPECT_TRUE(edges.count({b, a})) << "pocket edge " << a << "-" << b;
  EXPECT_LT(vol6, 0.0);
  const double lips = std::min(m.p[223].z, m.p[203].z);
  auto crossings = [&](Vec q) {
    int n = 0;
    for (const Tri& t : m.t) {
      if (!face.count(t[0])) continue;
      const Vec a = m.p[t[0]], b = m.p[t[1]], c = m.p[t[2]];
      const double det = (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
      if (det == 0.0) continue;
      const double s = ((q.x - a.x) * (c.y - a.y) - (c.x - a.x) * (q.y - a.y)) / det;
      const double r = ((b.x - a.x) * (q.y - a.y) - (q.x - a.x) * (b.y - a.y)) / det;
      if (s >= 0.0 && r >= 0.0 && s + r <= 1.0 && a.z + s * (b.z - a.z) + r * (c.z - a.z) > q.z)
        ++n;
    }
    return n;
  };
  for (const Tri& t : pocket)
    for (int v : t) {
      EXPECT_LT(m.p[v].z, lips - 5.0) << v;
      EXPECT_LT(std::abs(m.p[v].x), m.p[66].x + 10.0) << v;
      EXPECT_EQ(crossings(m.p[v]) % 2, 1) << "pocket vertex " << v << " outside the head";
    }
}

// Faces seen counter-clockwise from outside: the mesh, closed with a fan over each opening,
// encloses a positive volume, and the extreme vertices' triangles face outwards.
TEST(ShippedMesh, NormalsPointOut) {
  const Mesh& m = shipped();
  double vol6 = 0.0;
  for (const Tri& t : m.t) vol6 += dot(m.p[t[0]], cross(m.p[t[1]], m.p[t[2]]));
  int edges = 0;
  for (const auto& loop : boundaryLoops(m.t, &edges)) {
    Vec c{0, 0, 0};
    for (int v : loop)
      c = {c.x + m.p[v].x / loop.size(), c.y + m.p[v].y / loop.size(),
           c.z + m.p[v].z / loop.size()};
    // the loop runs along the boundary in the triangles' direction; the cap runs against it
    for (size_t k = 0; k < loop.size(); ++k)
      vol6 += dot(c, cross(m.p[loop[(k + 1) % loop.size()]], m.p[loop[k]]));
  }
  EXPECT_GT(vol6 / 6.0, 100000.0);

  auto facing = [&](int v) {
    Vec s{0, 0, 0};
    for (const Tri& t : m.t)
      if (t[0] == v || t[1] == v || t[2] == v) {
        const Vec n = normal(m.p, t);
        s = {s.x + n.x, s.y + n.y, s.z + n.z};
      }
    return s;
  };
  auto extreme = [&](auto key) {
    return int(
        std::max_element(m.p.begin(), m.p.end(), [&](Vec a, Vec b) { return key(a) < key(b); }) -
        m.p.begin());
  };
  EXPECT_GT(facing(extreme([](Vec a) { return a.z; })).z, 0.0);   // nose tip
  EXPECT_LT(facing(extreme([](Vec a) { return -a.z; })).z, 0.0);  // back of the head
  EXPECT_GT(facing(extreme([](Vec a) { return a.y; })).y, 0.0);   // crown
  EXPECT_GT(facing(extreme([](Vec a) { return a.x; })).x, 0.0);   // left side
}

TEST(ShippedMesh, FeaturePointsSitWhereTheTablesExpectThem) {
  const auto& p = shipped().p;
  for (int v : {136, 126, 223, 203, 184, 194})
    EXPECT_EQ(p[v].x, 0.0) << "FP vertex " << v << " off the midline";
  // 2.1: the lowest point of the chin; 2.10 the chin boss above and in front of it
  for (int v = 0; v < kV; ++v) {
    if (v != 136 && dist(p[v], p[136]) < 30.0) {
      EXPECT_GT(p[v].y, p[136].y) << v;
    }
  }
  EXPECT_GT(p[126].y, p[136].y + 8.0);
  EXPECT_GT(p[126].z, p[136].z);
  // lip middles, top to bottom: outer upper, inner upper, inner lower, outer lower
  EXPECT_GT(p[184].y, p[223].y);
  EXPECT_GT(p[223].y, p[203].y);
  EXPECT_GT(p[203].y, p[194].y);
  // with no FAP the lips are parted a little; the rest shape of a quiet window closes them
  EXPECT_GT(p[223].y - p[203].y, 2.0);
  EXPECT_LT(p[223].y - p[203].y, 8.0);
  // left (+x) / right (-x) pairs are mirror images
  for (auto [l, r] : {std::pair{11, 42}, {10, 43}, {242, 344}, {66, 76}, {93, 106}, {190, 307}}) {
    EXPECT_GT(p[l].x, 0.0) << l;
    EXPECT_NEAR(p[r].x, -p[l].x, 1e-9) << r;
    EXPECT_NEAR(p[r].y, p[l].y, 1e-9) << r;
    EXPECT_NEAR(p[r].z, p[l].z, 1e-9) << r;
  }
  // 2.6 / 2.8 between the middle and the inner corner, the outer corner beyond it
  EXPECT_LT(p[10].x, p[11].x);
  EXPECT_LT(p[242].x, p[11].x);
  EXPECT_LT(p[11].x, p[66].x);
  // 8.5 / 8.7 on the outer contour above / below the inner lips
  EXPECT_GT(p[93].y, p[10].y + 4.0);
  EXPECT_LT(p[190].y, p[242].y - 4.0);
  EXPECT_GT(p[93].x, p[184].x);
  EXPECT_LT(p[93].x, p[66].x);
}

// A vertex outside a region is no nearer the pivot than the median member: the lists are
// the neighbourhoods of their pivots on the face.
TEST(ShippedMesh, EveryRegionIsTheNeighbourhoodOfItsPivot) {
  const auto& p = shipped().p;
  for (const Region& r : kRegions) {
    std::vector<double> d;
    std::set<int> members(r.index, r.index + r.n);
    for (int k = 0; k < r.n; ++k) d.push_back(surfaceDistance(p, p[r.pivot], p[r.index[k]]));
    const double med = median(d);
    for (int v = 0; v < kV; ++v) {
      if (!members.count(v)) {
        EXPECT_GE(surfaceDistance(p, p[r.pivot], p[v]), med)
            << "vertex " << v << " lies inside region " << r.code;
      }
    }
  }
}

// The FAP units are these distances / 1024 (MW between the outer lip corners, MNS from the
// nose base to the mouth, ENS from the eyes to the nose base, ES between the eye centres).
TEST(ShippedMesh, ProportionsAgreeWithTheFapUnits) {
  const auto& p = shipped().p;
  const double mouthY = 0.5 * (p[223].y + p[203].y);
  EXPECT_NEAR(dist(p[66], p[76]), MW * 1024.0, 0.03 * MW * 1024.0);
  EXPECT_NEAR(p[kNoseBase].y - mouthY, MNS * 1024.0, 0.03 * MNS * 1024.0);
  EXPECT_NEAR(p[kLeftEye].y - p[kNoseBase].y, ENS * 1024.0, 0.03 * ENS * 1024.0);
  EXPECT_NEAR(dist(p[kLeftEye], p[kRightEye]), ES * 1024.0, 0.03 * ES * 1024.0);
  EXPECT_EQ(p[kNoseBase].x, 0.0);
  EXPECT_GT(p[kLeftEye].x, 0.0);
  EXPECT_NEAR(mouthY, -40.0, 2.0);
  // the nose base is under the nose: the nose tip (the foremost vertex) is above it
  const Vec tip = *std::max_element(p.begin(), p.end(), [](Vec a, Vec b) { return a.z < b.z; });
  EXPECT_GT(tip.y, p[kNoseBase].y);
  EXPECT_LT(tip.y, p[kLeftEye].y);
}

// The start camera: eye 125 units in front of the origin, +-87.5 visible at z = 0.
TEST(ShippedMesh, HeadFillsTheStartView) {
  const auto& p = shipped().p;
  double lo = 1e9, hi = -1e9, left = 1e9, right = -1e9;
  for (int v = 0; v < kV; ++v) {
    const double sx = p[v].x * 125.0 / (125.0 - p[v].z), sy = p[v].y * 125.0 / (125.0 - p[v].z);
    if (p[v].y > -70.0) {  // above the chin everything is in view
      EXPECT_LT(std::abs(sx), 87.5) << v;
      EXPECT_LT(std::abs(sy), 87.5) << v;
    }
    lo = std::min(lo, sy), hi = std::max(hi, sy), left = std::min(left, sx),
    right = std::max(right, sx);
  }
  // a head is taller than wide: it spans most of the height and over half the width
  EXPECT_GT(right - left, 0.5 * 175.0);
  EXPECT_GT(std::min(hi, 87.5) - std::max(lo, -87.5), 0.8 * 175.0);
  EXPECT_LT(std::abs(p[136].y * 125.0 / (125.0 - p[136].z)), 87.5) << "chin out of view";
}

// ---------------------------------------------------------------------------
// Deformation with the program's own weights and moves.

class Deformation : public ::testing::Test {
 protected:
  void SetUp() override {
    vertexbeolv();
    facebeolv();
    tavolsag();
    rest_ = positions();
  }
  static std::vector<Vec> positions() {
    std::vector<Vec> out;
    for (int i = 0; i < kV; ++i) out.push_back({hdx[i], hdy[i], hdz[i]});
    return out;
  }
  // Triangles whose face normal turned by more than a right angle.
  int folded() const {
    const auto now = positions();
    int n = 0;
    for (int j = 0; j < kF; ++j) {
      const Tri t{hda[j], hdb[j], hdc[j]};
      if (dot(normal(rest_, t), normal(now, t)) <= 0.0) ++n;
    }
    return n;
  }
  // The live loop's eleven moves (apply with sign 1, undo with -1).
  static void live(const std::map<int, int>& faps, int sign) {
    int all[76] = {};
    for (const auto& [fap, value] : faps) all[fap] = value;
    FAPmozgat(all, sign);
  }
  std::vector<Vec> rest_;
};

TEST_F(Deformation, ChinDownTenUnitsOpensTheJawWithoutTearing) {
  mozgat(201, 10.0, 0, -1, 0);
  EXPECT_NEAR(hdy[136], rest_[136].y - 10.0, 1e-9);
  EXPECT_LT(hdy[126], rest_[126].y - 1.0) << "the chin boss follows";
  EXPECT_EQ(folded(), 0);
  const std::set<int> chin(h201index, h201index + std::size(h201index));
  int moved = 0;
  for (int i = 0; i < kV; ++i)
    if (hdy[i] != rest_[i].y) {
      ++moved;
      EXPECT_TRUE(chin.count(i)) << "vertex " << i << " outside the chin moved";
    }
  EXPECT_GE(moved, 35) << "the whole chin follows, not just the pivot";
}

// The FAPs of three windows of the English test sentence: the widest open, the corners
// pulled in furthest (a rounded vowel), the corners out furthest (a spread one).
const std::map<int, int> kWidest = {{3, 1100},   {51, 105},  {52, -1350}, {53, -100},
                                    {54, -120},  {55, 180},  {56, 255},   {57, -1125},
                                    {58, -1237}, {59, -570}, {60, -585}};
const std::map<int, int> kRounded = {{3, 500},   {51, 60},   {52, -550}, {53, -270},
                                     {54, -300}, {55, 165},  {56, 210},  {57, -437},
                                     {58, -512}, {59, -330}, {60, -270}};
const std::map<int, int> kSpread = {{3, 460},   {51, -15}, {52, -587}, {53, 200},
                                    {54, 180},  {55, -30}, {56, -30},  {57, -475},
                                    {58, -525}, {59, -30}, {60, -90}};
// FAPs of every quiet window.
const std::map<int, int> kRest = {{3, -140}, {51, 30},  {52, 200}, {53, 0},  {54, -50}, {55, 15},
                                  {56, 15},  {57, 162}, {58, 175}, {59, 75}, {60, 75}};

TEST_F(Deformation, WidestSpeechOpensAnOvalWithoutFolding) {
  live(kWidest, 1);
  EXPECT_GT(hdy[223] - hdy[203], 30.0);
  EXPECT_GT(hdy[10] - hdy[242], 0.6 * (hdy[223] - hdy[203])) << "open beside the middle too";
  EXPECT_EQ(folded(), 0);
  live(kWidest, -1);
  for (int i = 0; i < kV; ++i) EXPECT_NEAR(hdy[i], rest_[i].y, 1e-9) << i;
}

// From the rest shape to each of the three windows, in tenths: no step folds.
TEST_F(Deformation, SpeechFromRestToWideRoundedAndSpreadNeverFolds) {
  for (const auto* end : {&kWidest, &kRounded, &kSpread})
    for (int k = 0; k <= 10; ++k) {
      std::map<int, int> faps;
      for (auto [fap, v] : kRest) faps[fap] = v + (end->at(fap) - v) * k / 10;
      live(faps, 1);
      EXPECT_EQ(folded(), 0) << "step " << k << " towards FAP 53 = " << end->at(53);
      live(faps, -1);
    }
}

// The inner corners stretched out towards the outer corners (FP 8.3 / 8.4, which the live
// loop never moves, sit just above the way) or in, raised or lowered, on their own.
TEST_F(Deformation, CornerMovesWithinTheirRoomNeverFold) {
  for (auto [h, v] : {std::pair{80, 0}, {-140, 0}, {0, 180}, {0, -180}, {40, 80}, {-80, -120}}) {
    const std::map<int, int> faps = {{53, h}, {54, h}, {59, v}, {60, v}};
    live(faps, 1);
    EXPECT_EQ(folded(), 0) << "stretch " << h << " raise " << v;
    live(faps, -1);
  }
}

TEST_F(Deformation, RestShapeClosesTheLips) {
  live(kRest, 1);
  EXPECT_EQ(folded(), 0);
  EXPECT_LE(hdy[223] - hdy[203], 0.0) << "the lips meet";
  EXPECT_GT(hdy[223] - hdy[203], -0.5) << "without crossing";
  EXPECT_LT(std::abs(hdy[136] - rest_[136].y - 140 * MNS), 1e-9) << "the chin rises 4 units";
}

// The articulation's guard, generated from the mesh: poses anywhere in (and a little beyond)
// its box, kept by holdMesh, fold nothing on the mesh the program loads and moves, and the
// guard's own measure agrees with the program's deformation.
TEST_F(Deformation, PosesTheArticulationKeepsNeverFold) {
  std::mt19937 rng(7);
  int changed = 0;
  for (int n = 0; n < 3000; ++n) {
    double f[11];
    for (int k = 0; k < 11; ++k) {
      const double lo = lipsync::kArticulatedLeast[k], hi = lipsync::kArticulatedMost[k];
      const double reach = 0.1 * (hi - lo);
      f[k] = std::uniform_real_distribution<double>(lo - reach, hi + reach)(rng);
    }
    changed += lipsync::holdMesh(f);
    EXPECT_GE(lipsync::meshLeast(f), 0.99 * lipsync::kMeshLeast) << "pose " << n;
    std::map<int, int> faps;
    for (int k = 0; k < 11; ++k) faps[kSpeechFaps[k]] = static_cast<int>(std::lround(f[k]));
    live(faps, 1);
    EXPECT_EQ(folded(), 0) << "pose " << n;
    live(faps, -1);
  }
  EXPECT_GT(changed, 300) << "the box reaches poses that fold unguarded";

  // Drawing (heldFaps, whole FAP values): the designed stream reaches further in at the
  // corners (53 to -260, 54 to -310), and what is drawn of it folds nothing either.
  constexpr int kDesignedLeast[11] = {-140, -150,  -1250, -260, -310, -90,
                                      -120, -1037, -1137, -510, -510};
  int drawnHeld = 0;
  for (int n = 0; n < 1000; ++n) {
    int all[76] = {}, drawn[76];
    for (int k = 0; k < 11; ++k)
      all[kSpeechFaps[k]] = std::uniform_int_distribution<int>(
          kDesignedLeast[k], static_cast<int>(lipsync::kArticulatedMost[k]))(rng);
    all[2] = 77;  // FAPs the mouth does not use pass through
    drawnHeld += lipsync::heldFaps(all, drawn);
    EXPECT_EQ(drawn[2], 77);
    std::map<int, int> faps;
    for (int k : kSpeechFaps) faps[k] = drawn[k];
    live(faps, 1);
    EXPECT_EQ(folded(), 0) << "drawn pose " << n;
    live(faps, -1);
  }
  EXPECT_GT(drawnHeld, 100);
  double rest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};
  EXPECT_FALSE(lipsync::holdMesh(rest)) << "a pose that holds stays as it is";
}

}  // namespace
