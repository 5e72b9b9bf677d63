// lifelike-check [--pictures DIR] [--articulated] [FAPS.csv ...]: the lifelike look of the
// head in the working directory, measured on the program's own renders and with the mouth checker's
// rays (mouth_check.cpp, included for its machinery).
//
// Goals, each printed with its figure:
//   eyes    the front view at start: in each eye a dark iris and pupil blob with sclera on
//           both sides of it; the two eyes mirror images within 3 pixels (600 x 600 view);
//   teeth   rays of the front and the live tilt through the opening of the speech windows
//           that open >= 40 square units: >= 15 % see a lit tooth; no ray of any of the
//           three views outside the mouth's outline sees a tooth, in the neutral and the rest
//           pose, the corners of the range speech reaches and every window, for the
//           design's triangles and for the subdivided surface the look draws;
//   blinks  20 s of the continuous mode in silence (a frame every 512 samples, live
//           framing): 3 to 10 blinks, each closing the lids (no sclera, iris or pupil pixel
//           in either eye) for 1 to 4 frames, and every blink begun is seen closed;
//   idle    the same frames and the test sentences at 30 frames a second in the start-up
//           view: the silhouette's centroid moves, never more than 3 % of the head's width
//           from one frame to the next.
// With --articulated the files are articulated FAPs and the range is the articulation's, as
// in mouth-check. With --pictures, DIR gets PPM pictures for the documentation (front, 45
// degrees and profile, designed beside lifelike; a blink; the mouth at rest and in six
// windows).
//
// Exit status: 0 all goals met, 1 a goal missed, 2 bad input.
#define MOUTH_CHECK_MACHINERY_ONLY
#include <GL/gl.h>

#include "lifelike/look.h"
#include "model/mozgat.h"
#include "mouth_check.cpp"
#include "platform/offscreen.h"
#include "render/context.h"
#include "render/rajzolo.h"

namespace {

// ---- teeth along the mouth checker's rays ----

using Teeth = std::vector<lifelike::Triangle>;

Teeth teethOf(const Mesh& p) {
  restore(p);
  Teeth t;
  lifelike::teethTriangles(t);
  return t;
}

V3 v3(const std::array<double, 3>& a) { return {a[0], a[1], a[2]}; }

// A surface to look at: points and triangles, the triangles from `teethFrom` on the teeth.
struct Solid {
  std::vector<V3> points;
  std::vector<std::array<int, 3>> faces;
  int teethFrom = 0;
  std::vector<int> mouth;  // the opening's outline
};

// The boundary loop through `start`, following the faces' winding.
std::vector<int> boundaryLoop(const std::vector<std::array<int, 3>>& faces, int start) {
  std::set<std::pair<int, int>> directed;
  for (const auto& f : faces)
    for (int k = 0; k < 3; ++k) directed.insert({f[k], f[(k + 1) % 3]});
  std::map<int, int> next;
  for (auto [a, b] : directed)
    if (!directed.count({b, a})) next[a] = b;
  std::vector<int> loop;
  for (int v = start; next.count(v) && loop.size() < 5000;) {
    loop.push_back(v);
    v = next[v];
    if (v == start) break;
  }
  return loop;
}

// The design's triangles, or the subdivided skin with the pocket as drawn, plus the teeth.
Solid solidOf(const Mesh& p, bool refined, const Scene& scene) {
  restore(p);
  Solid s;
  if (!refined) {
    s.points = p;
    for (int j = 0; j < kFaceCount; ++j) s.faces.push_back({hda[j], hdb[j], hdc[j]});
    s.mouth = scene.mouth;
  } else {
    const lifelike::LoopSurface& surface = lifelike::surface();
    const std::vector<float>& q = surface.positions();
    for (int v = 0; v < surface.vertexCount(); ++v)
      s.points.push_back({q[3 * v], q[3 * v + 1], q[3 * v + 2]});
    s.faces = surface.faces();
    s.mouth = boundaryLoop(s.faces, h202pivotindex);
    for (int j = 0; j < kFaceCount; ++j)
      if (scene.pocket[j]) s.faces.push_back({hda[j], hdb[j], hdc[j]});
  }
  s.teethFrom = static_cast<int>(s.faces.size());
  for (const lifelike::Triangle& t : teethOf(p)) {
    const int n = static_cast<int>(s.points.size());
    for (const auto& c : t) s.points.push_back(v3(c));
    s.faces.push_back({n, n + 1, n + 2});
  }
  return s;
}

Picture lookAt(const Solid& s, const Camera& cam, const Box& b) {
  Picture pic(b.u0, b.u1, b.v0, b.v1);
  std::vector<V3> q(s.points.size());
  for (size_t i = 0; i < q.size(); ++i) q[i] = cam.project(s.points[i]);
  for (size_t j = 0; j < s.faces.size(); ++j)
    rasterise(pic, cam, q[s.faces[j][0]], q[s.faces[j][1]], q[s.faces[j][2]], int(j));
  depths(pic, cam);
  return pic;
}

// Rays outside the opening's outline that first meet a tooth.
int teethOutside(const Solid& s, const Camera& cam) {
  Box box{INT_MAX, INT_MIN, INT_MAX, INT_MIN};
  for (size_t j = s.teethFrom; j < s.faces.size(); ++j)
    for (int v : s.faces[j]) {
      const V3 q = cam.project(s.points[v]);
      box = {std::min(box.u0, int(std::floor(q.x))), std::max(box.u1, int(std::ceil(q.x))),
             std::min(box.v0, int(std::floor(q.y))), std::max(box.v1, int(std::ceil(q.y)))};
    }
  if (box.u0 > box.u1) return 0;
  const Picture pic = lookAt(s, cam, box);
  std::vector<V3> loop;
  for (int v : s.mouth) loop.push_back(cam.project(s.points[v]));
  int n = 0;
  for (int i = box.u0; i <= box.u1; ++i)
    for (int k = box.v0; k <= box.v1; ++k) {
      const Hit& h = pic.at(i, k);
      n += h.face >= s.teethFrom && !inside(loop, i, k);
    }
  return n;
}

int teethOutsideAnywhere(const Mesh& p, int volume, const Scene& scene) {
  int n = 0;
  for (bool refined : {false, true}) {
    const Solid s = solidOf(p, refined, scene);
    n += teethOutside(s, kViews[0]) + teethOutside(s, kViews[1]) +
         teethOutside(s, liveCamera(volume));
  }
  return n;
}

// Of the rays through one parallel view's opening (the mouth checker's rule), those whose
// first hit is the lit side of a tooth.
std::pair<int, int> teethInOpening(const Mesh& p, const Camera& cam, const Reference& ref,
                                   const Scene& scene) {
  const Box box = mouthBox(p, cam);
  const Picture bare = look(p, cam, box.u0, box.u1, box.v0, box.v1);
  const Picture with = lookAt(solidOf(p, false, scene), cam, box);
  int open = 0, teeth = 0;
  for (int i = box.u0; i <= box.u1; ++i)
    for (int k = box.v0; k <= box.v1; ++k) {
      const Hit& h = bare.at(i, k);
      const double r = ref.at(i, k);
      if (!(h.face < 0 || !h.front || h.depth > r + 4.0)) continue;
      ++open;
      const Hit& t = with.at(i, k);
      teeth += t.face >= kFaceCount && t.front;
    }
  return {open, teeth};
}

// ---- the program's own pictures ----

struct Shot {
  HWND window = nullptr;
  int side;
  explicit Shot(int side_) : side(side_) {
    HINSTANCE instance = offscreen::reset();
    offscreen::keep_call_records(false);
    offscreen::register_class("lifelike-check", DefWindowProcA, instance, CS_OWNDC);
    window = CreateWindowExA(0, "lifelike-check", "lifelike-check", WS_OVERLAPPEDWINDOW, 0, 0, side,
                             side, nullptr, nullptr, instance, nullptr);
    hGLRC = offscreen::make_current(window, &hDC);
  }
  bool ok() const { return hGLRC != nullptr; }
  // One frame: the view (the live framing at `volume`, the lifelike look's own with
  // `live` 2, or the start-up view turned `turn` degrees about y), the pose `faps` (null:
  // none), the look.
  const offscreen::Image& draw(const Faps* faps, int live, int volume, double turn, bool lifelike) {
    lifelike::setOn(lifelike);
    winW = winH = side;
    rotspeed = 1, feny = 0.5, nezetselect = 2, sima = false, tolx = 0.0;
    rotx = roty = rotz = 0.0;
    if (live == 3) {
      toly = 20.0, d = 1.0;  // the whole head, for the pictures
    } else if (live == 2) {
      lifelike::portrait(volume);
    } else if (live) {
      FAPkeret(volume);
    } else {
      toly = 0.0, d = 0.7;
    }
    if (faps) FAPmozgat(faps->data(), 1);
    initMapping();
    if (turn != 0.0) roty = turn;
    modellnezet();
    if (faps) FAPmozgat(faps->data(), -1);
    return offscreen::front();
  }
};

struct Rgb {
  double r, g, b;
};
Rgb rgbAt(const offscreen::Image& im, int x, int y) {
  const auto c = im.rgb(x, y);
  return {c[0] / 255.0, c[1] / 255.0, c[2] / 255.0};
}
// The eye's parts by colour under the program's white light: the iris is the one blue
// thing, the pupil the one near-black thing, the sclera the one bright grey thing (skin and
// lids are clearly redder than blue, the lash line too).
bool irisOrPupil(Rgb c) {
  return std::max({c.r, c.g, c.b}) < 0.1 || (c.b > c.r + 0.05 && c.b > 0.12);
}
bool sclera(Rgb c) {
  const double hi = std::max({c.r, c.g, c.b}), lo = std::min({c.r, c.g, c.b});
  return hi > 0.4 && hi < 0.985 && hi - lo < 0.09;
}

// Where a model point lands in the start-up view, pixels from the top left.
std::pair<double, double> onScreen(V3 p, int side) {
  const double w = 125.0 - p.z, half = 0.5 * side;
  return {(p.x / w / 0.7 + 1.0) * half, (1.0 - p.y / w / 0.7) * half};
}

struct EyeLook {
  int blob = 0, scleraLeft = 0, scleraRight = 0;
  double cx = 0, cy = 0;
};

EyeLook eyeIn(const offscreen::Image& im, int x0, int x1, int y0, int y1) {
  EyeLook e;
  int bx0 = INT_MAX, bx1 = INT_MIN, by0 = INT_MAX, by1 = INT_MIN;
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (irisOrPupil(rgbAt(im, x, y))) {
        ++e.blob, e.cx += x, e.cy += y;
        bx0 = std::min(bx0, x), bx1 = std::max(bx1, x), by0 = std::min(by0, y),
        by1 = std::max(by1, y);
      }
  if (e.blob == 0) return e;
  e.cx /= e.blob, e.cy /= e.blob;
  for (int y = by0; y <= by1; ++y)
    for (int x = x0; x <= x1; ++x) {
      if (!sclera(rgbAt(im, x, y))) continue;
      if (x < bx0) ++e.scleraLeft;
      if (x > bx1) ++e.scleraRight;
    }
  return e;
}

// Pixels of either eye that show the eyeball (closed lids show none).
int eyeballPixels(const offscreen::Image& im, const std::array<int, 4> boxes[2]) {
  int n = 0;
  for (int e = 0; e < 2; ++e)
    for (int y = boxes[e][2]; y <= boxes[e][3]; ++y)
      for (int x = boxes[e][0]; x <= boxes[e][1]; ++x) {
        const Rgb c = rgbAt(im, x, y);
        n += irisOrPupil(c) || sclera(c);
      }
  return n;
}

// Centroid and width of everything that is not the white background.
struct Silhouette {
  double cx = 0, cy = 0;
  int width = 0;
};
Silhouette silhouette(const offscreen::Image& im) {
  Silhouette s;
  long n = 0;
  int x0 = im.width, x1 = -1;
  for (int y = 0; y < im.height; ++y)
    for (int x = 0; x < im.width; ++x) {
      const auto c = im.rgb(x, y);
      if (c[0] + c[1] + c[2] >= 3 * 254) continue;
      s.cx += x, s.cy += y, ++n;
      x0 = std::min(x0, x), x1 = std::max(x1, x);
    }
  if (n > 0) s.cx /= n, s.cy /= n, s.width = x1 - x0 + 1;
  return s;
}

bool writePpm(const std::string& path, const offscreen::Image& im) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << im.width << " " << im.height << "\n255\n";
  for (size_t i = 0; i < im.rgba.size(); i += 4)
    out.write(reinterpret_cast<const char*>(&im.rgba[i]), 3);
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Faps> speech;
  std::vector<int> volumes;
  std::string pictures;
  for (int a = 1; a < argc; ++a) {
    if (std::string(argv[a]) == "--pictures" && a + 1 < argc) {
      pictures = argv[++a];
    } else if (std::string(argv[a]) == "--articulated") {
      articulatedBox = true;
    } else if (!readFaps(argv[a], speech, volumes)) {
      std::fprintf(stderr, "lifelike-check: %s is not a zarvo-fap CSV file\n", argv[a]);
      return 2;
    }
  }
  vertexbeolv();
  facebeolv();
  if (hdx[223] == 0.0 && hdy[223] == 0.0) {
    std::fprintf(stderr, "lifelike-check: no vertex.txt in the working directory\n");
    return 2;
  }
  tavolsag();
  lifelike::meshLoaded();
  const Mesh neutral = positions();
  Scene scene{lipVertices(), pocketFaces(), {}};
  std::vector<int> upper, lower;
  if (!contours(upper, lower)) {
    std::fprintf(stderr, "lifelike-check: no mouth contour\n");
    return 2;
  }
  scene.mouth = upper;
  scene.mouth.insert(scene.mouth.end(), lower.begin(), lower.end());
  bool ok = true;

  // ---- teeth ----
  std::printf("teeth\n");
  std::vector<Reference> refs;
  for (const Camera& cam : kViews) refs.push_back(parallelReference(neutral, cam));
  long outside = teethOutsideAnywhere(neutral, 0, scene) +
                 teethOutsideAnywhere(posed(neutral, restFaps()), -100, scene);
  for (const Faps& c : boxCorners(speech))
    outside += teethOutsideAnywhere(posed(neutral, c), 0, scene);
  long open[2] = {0, 0}, lit[2] = {0, 0};
  int windowsOpen[2] = {0, 0};
  std::vector<double> shares;
  for (size_t n = 0; n < speech.size(); ++n) {
    const Mesh p = posed(neutral, speech[n]);
    outside += teethOutsideAnywhere(p, volumes[n], scene);
    for (int k = 0; k < 2; ++k) {
      const auto [o, t] = teethInOpening(p, kViews[k], refs[k], scene);
      if (o < 40) continue;
      open[k] += o, lit[k] += t, ++windowsOpen[k];
      shares.push_back(double(t) / o);
    }
  }
  restore(neutral);
  for (int k = 0; k < 2; ++k)
    std::printf("  %s: %d windows open >= 40 square units, teeth in %.1f %% of the opening\n",
                kViews[k].name, windowsOpen[k], 100.0 * lit[k] / std::max(1L, open[k]));
  const double share = double(lit[0] + lit[1]) / std::max(1L, open[0] + open[1]);
  std::printf("  both views: %.1f %% (10th percentile of the windows %.1f %%)\n", 100.0 * share,
              100.0 * percentile(shares, 0.1));
  ok &= goal(!speech.empty() && share >= 0.15, "teeth: >= 15 % of the open windows' opening");
  std::printf("  rays outside the mouth that see a tooth, all poses and views: %ld\n", outside);
  ok &= goal(outside == 0, "teeth: never seen through the lips");

  Shot shot(600);
  if (!shot.ok()) {
    std::fprintf(stderr, "lifelike-check: no offscreen OpenGL context\n");
    return 2;
  }

  // ---- eyes ----
  std::printf("eyes\n");
  const lifelike::EyePlacement eyes = lifelike::eyes();
  const offscreen::Image& front = shot.draw(nullptr, false, 0, 0.0, true);
  EyeLook eye[2];
  for (int e = 0; e < 2; ++e) {
    const V3 c = v3(eyes.centre[e]);
    const auto [x, y] = onScreen(c, shot.side);
    const double r = 1.6 * eyes.radius * (x - onScreen({c.x - 1.0, c.y, c.z}, shot.side).first);
    eye[e] = eyeIn(front, int(x - r), int(x + r), int(y - r), int(y + r));
    std::printf("  %s eye: iris and pupil %d pixels at (%.1f, %.1f), sclera %d left and %d right\n",
                e == 0 ? "left" : "right", eye[e].blob, eye[e].cx, eye[e].cy, eye[e].scleraLeft,
                eye[e].scleraRight);
    ok &= goal(eye[e].blob > 50 && eye[e].scleraLeft > 10 && eye[e].scleraRight > 10,
               "eyes: an iris with sclera on both sides");
  }
  const double mirrorX = std::abs(eye[0].cx - (shot.side - 1 - eye[1].cx));
  const double mirrorY = std::abs(eye[0].cy - eye[1].cy);
  std::printf("  mirror images: %.1f pixels apart across, %.1f up and down; blob %d and %d\n",
              mirrorX, mirrorY, eye[0].blob, eye[1].blob);
  ok &= goal(mirrorX <= 3.0 && mirrorY <= 3.0 &&
                 std::abs(eye[0].blob - eye[1].blob) <= 0.1 * std::max(eye[0].blob, eye[1].blob),
             "eyes: mirror images within 3 pixels");

  // ---- blinks and idle motion: 20 s of the continuous mode in silence ----
  std::printf("blinks and idle motion\n");
  lifelike::lifeStart();
  Shot small(320);
  std::array<int, 4> boxes[2];
  {
    // the eye boxes in the live framing, from the still head's open eyes
    const offscreen::Image& im = small.draw(nullptr, 2, -100, 0.0, true);
    for (int e = 0; e < 2; ++e) {
      int x0 = INT_MAX, x1 = INT_MIN, y0 = INT_MAX, y1 = INT_MIN;
      const int half = im.width / 2;
      for (int y = 0; y < im.height; ++y)
        for (int x = e == 0 ? half : 0; x < (e == 0 ? im.width : half); ++x)
          if (irisOrPupil(rgbAt(im, x, y)) || sclera(rgbAt(im, x, y)))
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
      boxes[e] = {x0 - 6, x1 + 6, y0 - 6, y1 + 6};
    }
  }
  const Faps rest = restFaps();
  int runs = 0, run = 0, shortest = INT_MAX, longest = 0;
  double worstStep = 0.0, moved = 0.0;
  Silhouette first{}, last{};
  std::vector<int> closedFrames;
  for (int k = 0; k * 512 < 20 * 48000; ++k) {
    const int64_t end = 1024 + 512 * int64_t(k);
    lifelike::lifeStep(double(end) / 48000.0, -100);
    const offscreen::Image& im = small.draw(&rest, 2, -100, 0.0, true);
    const bool closed = eyeballPixels(im, boxes) == 0;
    if (closed) closedFrames.push_back(k);
    if (closed) {
      ++run;
    } else if (run > 0) {
      ++runs, shortest = std::min(shortest, run), longest = std::max(longest, run), run = 0;
    }
    const Silhouette s = silhouette(im);
    if (k == 0) first = s;
    if (k > 0)
      worstStep = std::max(worstStep, std::hypot(s.cx - last.cx, s.cy - last.cy) / s.width);
    moved = std::max(moved, std::hypot(s.cx - first.cx, s.cy - first.cy));
    last = s;
  }
  const int begun = lifelike::life()->blinks();
  lifelike::lifeStop();
  std::printf("  %d blinks begun, %d seen closed, closed for %d to %d frames\n", begun, runs,
              runs ? shortest : 0, longest);
  ok &= goal(runs >= 3 && runs <= 10 && runs == begun && shortest >= 1 && longest <= 4,
             "blinks: 3 to 10 in 20 s, each closed 1 to 4 frames");
  std::printf(
      "  silhouette: centroid up to %.1f pixels from the first frame, at most %.2f %% of "
      "the head's width a frame\n",
      moved, 100.0 * worstStep);

  // The sentences at 30 frames a second in the start-up view: nods and sway together.
  lifelike::lifeStart();
  double speechStep = 0.0;
  for (size_t k = 0, n = 0; n < speech.size(); ++k) {
    n = std::min(speech.size() - 1, size_t(k * 48000 / 30 / 512));
    lifelike::lifeStep(double(k) / 30.0, volumes[n]);
    const Silhouette s = silhouette(small.draw(&speech[n], false, volumes[n], 0.0, true));
    if (k > 0)
      speechStep = std::max(speechStep, std::hypot(s.cx - last.cx, s.cy - last.cy) / s.width);
    last = s;
    if (n == speech.size() - 1) break;
  }
  const int nods = lifelike::life() ? lifelike::life()->nods() : 0;
  lifelike::lifeStop();
  std::printf(
      "  speech at 30 frames a second: %d nods, at most %.2f %% of the head's width a "
      "frame\n",
      nods, 100.0 * speechStep);
  ok &= goal(moved >= 1.0 && worstStep <= 0.03 && speechStep <= 0.03,
             "idle: the head moves, <= 3 % of its width a frame");

  if (!pictures.empty()) {
    Shot big(480);
    const char* names[3] = {"front", "45", "profile"};
    const double turns[3] = {0.0, -45.0, -90.0};
    for (int v = 0; v < 3; ++v)
      for (bool on : {false, true})
        writePpm(pictures + "/head-" + names[v] + (on ? "-lifelike" : "-designed") + ".ppm",
                 big.draw(nullptr, 3, 0, turns[v], on));
    // a blink in the continuous mode: the frames around the first closed one
    lifelike::lifeStart();
    for (int k = 0; k * 512 < 20 * 48000; ++k) {
      const int64_t end = 1024 + 512 * int64_t(k);
      lifelike::lifeStep(double(end) / 48000.0, -100);
      if (!closedFrames.empty() && k >= closedFrames[0] - 8 && k <= closedFrames[0] + 12) {
        char name[64];
        std::snprintf(name, sizeof name, "/blink-%02d.ppm", k - closedFrames[0] + 8);
        writePpm(pictures + name, big.draw(&rest, 2, -100, 0.0, true));
      }
    }
    lifelike::lifeStop();
    // the mouth: rest, then six windows from a little open to wide open
    std::vector<std::pair<int, size_t>> byOpening;
    for (size_t n = 0; n < speech.size(); ++n) {
      const Mesh p = posed(neutral, speech[n]);
      byOpening.push_back({measure(p, kViews[1], mouthBox(p, kViews[1]), refs[1], scene).area, n});
    }
    restore(neutral);
    std::sort(byOpening.begin(), byOpening.end());
    writePpm(pictures + "/mouth-0.ppm", big.draw(&rest, true, -100, 0.0, true));
    for (int m = 1; m <= 6 && !byOpening.empty(); ++m) {
      const size_t n =
          byOpening[std::min(byOpening.size() - 1, size_t((0.45 + 0.09 * m) * byOpening.size()))]
              .second;
      writePpm(pictures + "/mouth-" + std::to_string(m) + ".ppm",
               big.draw(&speech[n], true, volumes[n], 0.0, true));
    }
  }
  lifelike::setOn(false);
  std::printf("%s\n", ok ? "all goals met" : "goals missed");
  return ok ? 0 : 1;
}
