// mouth-check [FAPS.csv ...]: how the head in the working directory's vertex.txt and
// face.txt speaks, measured with the program's own readers, weights and moves.
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
//   folds      no triangle's normal turns over against the neutral head, for the corners
//              of the box of FAP values speech reaches and for every window of the files.
// The FAP files are zarvo-fap's CSV (index, level, vol, FAP 3, 51..60).
//
// Exit status: 0 all goals met, 1 a goal missed, 2 bad input.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "speech/FAPmozgat.h"

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
std::map<int, std::pair<int, int>> kRange = {
    {3, {-140, 1020}},  {51, {-150, 105}}, {52, {-1250, 200}}, {53, {-260, 150}},
    {54, {-310, 160}},  {55, {-90, 195}},  {56, {-120, 270}},  {57, {-1037, 162}},
    {58, {-1137, 175}}, {59, {-510, 75}},  {60, {-510, 75}}};

std::vector<Faps> boxCorners(const std::vector<Faps>& speech) {
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
        const auto [lo, hi] = kRange[g.fap[k]];
        base[g.fap[k]] = end * g.sign[k] > 0 ? hi : lo;
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

// ---- looking along parallel rays ----

struct View {
  const char* name;
  V3 dir, up;  // into the scene; the picture's up; the picture's right is +x
};
const double kTilt = 20.0 * 3.14159265358979323846 / 180.0;
const View kViews[2] = {
    {"front", {0, 0, -1}, {0, 1, 0}},
    {"live tilt", {0, -std::sin(kTilt), -std::cos(kTilt)}, {0, std::cos(kTilt), -std::sin(kTilt)}}};

// The rays of a view: the grid of whole units over u (= x) in [kU0, kU1] and v (along up)
// in [kV0, kV1], wide enough for every box a mouth can ask for.
constexpr int kU0 = -60, kU1 = 60, kV0 = -150, kV1 = 10;
constexpr int kCols = kU1 - kU0 + 1, kRows = kV1 - kV0 + 1;

struct Hit {
  double depth = 0.0;
  int face = -1;  // -1: the ray meets nothing
  bool front = false;
};
using Picture = std::vector<Hit>;  // kCols * kRows, column-major

// First surface along every ray of the rectangle [u0, u1] x [v0, v1] (grid units).
Picture look(const Mesh& p, const View& v, int u0, int u1, int w0, int w1) {
  Picture pic(kCols * kRows);
  for (int j = 0; j < kFaceCount; ++j) {
    const V3 a = p[hda[j]], b = p[hdb[j]], c = p[hdc[j]];
    const double au = a.x, bu = b.x, cu = c.x;
    const double av = dot(a, v.up), bv = dot(b, v.up), cv = dot(c, v.up);
    const double det = (bu - au) * (cv - av) - (cu - au) * (bv - av);
    if (det == 0.0) continue;
    const bool front = dot(faceNormal(p, j), v.dir) < 0.0;
    const int i0 = std::max(u0, int(std::ceil(std::min({au, bu, cu}))));
    const int i1 = std::min(u1, int(std::floor(std::max({au, bu, cu}))));
    const int k0 = std::max(w0, int(std::ceil(std::min({av, bv, cv}))));
    const int k1 = std::min(w1, int(std::floor(std::max({av, bv, cv}))));
    const double ad = dot(a, v.dir), bd = dot(b, v.dir), cd = dot(c, v.dir);
    for (int i = i0; i <= i1; ++i)
      for (int k = k0; k <= k1; ++k) {
        const double s = ((i - au) * (cv - av) - (cu - au) * (k - av)) / det;
        const double t = ((bu - au) * (k - av) - (i - au) * (bv - av)) / det;
        if (s < 0.0 || t < 0.0 || s + t > 1.0) continue;
        const double depth = ad + s * (bd - ad) + t * (cd - ad);
        Hit& h = pic[(i - kU0) * kRows + (k - kV0)];
        if (h.face < 0 || depth < h.depth) h = {depth, j, front};
      }
  }
  return pic;
}

// Reference depth of every ray from the neutral head (NaN where none was found).
std::vector<double> references(const Mesh& neutral, const View& v) {
  const Picture pic = look(neutral, v, kU0, kU1, kV0, kV1);
  std::vector<double> ref(kCols * kRows, NAN);
  for (int i = 0; i < kCols; ++i)
    for (int k = 0; k < kRows; ++k) {
      // the ray itself, else the nearest one above or below in its column
      for (int step = 0; step < kRows; ++step) {
        double found = NAN;
        for (int kk : {k + step, k - step}) {
          if (kk < 0 || kk >= kRows) continue;
          const Hit& h = pic[i * kRows + kk];
          if (h.face >= 0 && h.front) {
            found = h.depth;
            break;
          }
        }
        if (!std::isnan(found)) {
          ref[i * kRows + k] = found;
          break;
        }
      }
    }
  return ref;
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

Frame measure(const Mesh& p, const View& v, const std::vector<double>& ref,
              const std::set<int>& lips) {
  const int u0 = int(std::floor(std::min(p[66].x, p[76].x) - 2.0));
  const int u1 = int(std::ceil(std::max(p[66].x, p[76].x) + 2.0));
  const int w0 = int(std::floor(dot(p[194], v.up) - 14.0));
  const int w1 = int(std::ceil(dot(p[184], v.up) + 3.0));
  const Picture pic = look(p, v, u0, u1, w0, w1);
  Frame f;
  int iMin = kCols, iMax = -1, kMin = kRows, kMax = -1;
  std::vector<int> column(kCols, 0);
  for (int i = u0 - kU0; i <= u1 - kU0; ++i)
    for (int k = w0 - kV0; k <= w1 - kV0; ++k) {
      const Hit& h = pic[i * kRows + k];
      const double r = ref[i * kRows + k];
      const bool open = h.face < 0 || !h.front || h.depth > r + 4.0;
      if (!open) {
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

bool readFaps(const std::string& path, std::vector<Faps>& out) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line) || line.rfind("index,level,vol,fap3", 0) != 0) return false;
  const int order[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string cell;
    std::vector<std::string> cells;
    while (std::getline(ls, cell, ',')) cells.push_back(cell);
    if (cells.size() != 14) return false;
    Faps f{};
    for (int k = 0; k < 11; ++k) f[order[k]] = std::stoi(cells[3 + k]);
    out.push_back(f);
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

}  // namespace

int main(int argc, char** argv) {
  std::vector<Faps> speech;
  for (int a = 1; a < argc; ++a)
    if (!readFaps(argv[a], speech)) {
      std::fprintf(stderr, "mouth-check: %s is not a zarvo-fap CSV file\n", argv[a]);
      return 2;
    }
  vertexbeolv();
  facebeolv();
  if (hdx[223] == 0.0 && hdy[223] == 0.0) {
    std::fprintf(stderr, "mouth-check: no vertex.txt in the working directory\n");
    return 2;
  }
  tavolsag();
  const Mesh neutral = positions();
  const std::set<int> lips = lipVertices();
  bool ok = true;

  // Rest pose.
  std::printf("rest pose (quiet window)\n");
  const Mesh rest = posed(neutral, restFaps());
  std::vector<int> upper, lower;
  const bool found = contours(upper, lower);
  const double clearance = found ? lipClearance(rest, upper, lower) : NAN;
  std::printf("  inner upper lip over the inner lower lip: at least %.2f units%s\n", clearance,
              found ? "" : " (no mouth contour)");
  ok &= goal(found && clearance >= -0.5, "the lips do not cross (>= -0.5)");
  std::vector<std::vector<double>> refs;
  for (const View& v : kViews) refs.push_back(references(neutral, v));
  for (int k = 0; k < 2; ++k) {
    const Frame f = measure(rest, kViews[k], refs[k], lips);
    std::printf("  opening, %s: %d square units\n", kViews[k].name, f.area);
    ok &= goal(f.area <= 2, "the lips meet (<= 2)");
  }
  const Frame start = measure(neutral, kViews[0], refs[0], lips);
  std::printf("  start view (no FAPs), front: opening %d square units\n", start.area);

  // Speech windows.
  std::printf("speech: %zu windows\n", speech.size());
  std::vector<double> fill[2], quarter[2];
  long rays = 0, background = 0, deep = 0, inN = 0, lipN = 0;
  double inLum = 0.0, lipLum = 0.0;
  int speechFolds = 0, foldedWindows = 0;
  for (const Faps& w : speech) {
    const Mesh p = posed(neutral, w);
    const int n = folds(neutral, p);
    speechFolds = std::max(speechFolds, n);
    foldedWindows += n > 0;
    for (int k = 0; k < 2; ++k) {
      const Frame f = measure(p, kViews[k], refs[k], lips);
      lipLum += f.lipLum, lipN += f.lipN;
      if (f.area < 8) continue;
      fill[k].push_back(double(f.area) / (f.boxW * f.boxH));
      quarter[k].push_back(f.quarter);
      rays += f.area, background += f.background, deep += f.deep;
      inLum += f.interiorLum, inN += f.interiorN;
    }
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
    const double bad = rays ? double(background + deep) / rays : 1.0;
    std::printf(
        "  through the opening (%ld rays): background %.1f %%, deeper than 45 units "
        "%.1f %%\n",
        rays, 100.0 * background / std::max(1L, rays), 100.0 * deep / std::max(1L, rays));
    ok &= goal(bad <= 0.02, "interior: <= 2 % background or too deep");
    const double ratio = (inLum / std::max(1L, inN)) / (lipLum / std::max(1L, lipN));
    std::printf("  luminance inside %.3f, lips %.3f: ratio %.2f\n", inLum / std::max(1L, inN),
                lipLum / std::max(1L, lipN), ratio);
    ok &= goal(inN > 0 && ratio <= 0.6, "interior: <= 0.6 x the lips' luminance");
  }

  // Folds.
  int cornerFolds = 0, foldedCorners = 0;
  const auto corners = boxCorners(speech);
  for (const Faps& c : corners) {
    const int n = folds(neutral, posed(neutral, c));
    cornerFolds = std::max(cornerFolds, n);
    foldedCorners += n > 0;
  }
  std::printf("folds\n  box corners: %d of %zu fold, at most %d triangles\n", foldedCorners,
              corners.size(), cornerFolds);
  ok &= goal(cornerFolds == 0, "no folds at the box corners");
  if (!speech.empty()) {
    std::printf("  speech: %d of %zu windows fold, at most %d triangles\n", foldedWindows,
                speech.size(), speechFolds);
    ok &= goal(speechFolds == 0, "no folds in speech");
  }
  restore(neutral);
  std::printf("%s\n", ok ? "all goals met" : "goals missed");
  return ok ? 0 : 1;
}
