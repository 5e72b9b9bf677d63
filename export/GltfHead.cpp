#include "export/GltfHead.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <vector>

#include "fapfile/FapFile.h"
#include "lipsync/MeshGuard.h"
#include "model/modellbeolv.h"
#include "speech/FAPmozgat.h"

static_assert(std::endian::native == std::endian::little, "glTF buffers are little-endian");

namespace {

// MPEG-4's names of the FAPs the speech moves, in the order of zarvo_fap_number.
constexpr const char* kFapNames[ZARVO_FAPS] = {"fap3_open_jaw",
                                               "fap51_lower_t_midlip",
                                               "fap52_raise_b_midlip",
                                               "fap53_stretch_l_cornerlip",
                                               "fap54_stretch_r_cornerlip",
                                               "fap55_lower_t_lip_lm",
                                               "fap56_lower_t_lip_rm",
                                               "fap57_raise_b_lip_lm",
                                               "fap58_raise_b_lip_rm",
                                               "fap59_raise_l_cornerlip",
                                               "fap60_raise_r_cornerlip"};

constexpr int kFloat = 5126, kUshort = 5123;
constexpr long long kPositionBytes = kVertexCount * 3 * 4;
constexpr long long kIndexBytes = kFaceCount * 3 * 2;
constexpr long long kMeshBytes = kPositionBytes + kIndexBytes + ZARVO_FAPS * kPositionBytes;
constexpr double kLastKeySeconds = 131072.0;  // 2^17 s: beyond, float keys 10.7 ms apart merge

void putBytes(TextWriter& out, const void* p, size_t n) {
  out.put(std::string_view(static_cast<const char*>(p), n));
}

void putUint32(TextWriter& out, std::uint32_t v) { putBytes(out, &v, 4); }

// A float as JSON: the shortest text that reads back as the same double, which is the
// float's exact value, so declared bounds match the data bit for bit.
std::string number(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(v));
  return std::string(buf, r.ptr);
}

std::string vec3(const float* v) {
  std::string r = "[";
  for (int a = 0; a < 3; ++a) (r += number(v[a])) += a < 2 ? "," : "]";
  return r;
}

void bounds(const float* xyz, int count, float lo[3], float hi[3]) {
  for (int a = 0; a < 3; ++a) lo[a] = hi[a] = xyz[a];
  for (int v = 0; v < count; ++v)
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], xyz[3 * v + a]);
      hi[a] = std::max(hi[a], xyz[3 * v + a]);
    }
}

float keySeconds(long long window) {
  return static_cast<float>(512.0 * static_cast<double>(window + 1) / 48000.0);
}

class GltfExport : public FrameExport {
 public:
  GltfExport(const HeadMorphs& m, std::string name) : m_(m), name_(std::move(name)) {}

  bool open(std::string* problem) { return weights_.open(problem) && scales_.open(problem); }

  bool add(const zarvo_frame& f, TextWriter&) override {
    if (f.index != windows_)
      return fail("window " + std::to_string(f.index) + " came where " + std::to_string(windows_) +
                  " was due");
    if (512.0 * static_cast<double>(f.index + 1) / 48000.0 >= kLastKeySeconds)
      return fail("longer than glTF's single-precision key times can hold (36 hours)");
    ++windows_;
    // The head as our renderers draw it: a pose the mesh cannot take (the designed FAPs of
    // some voices) held where it stays whole, as the live modes and zarvo-render hold it.
    int faps[76] = {};
    for (int k = 0; k < ZARVO_FAPS; ++k) faps[zarvo_fap_number(k)] = f.faps[k];
    lipsync::heldFaps(faps, faps);
    float w[ZARVO_FAPS];
    for (int k = 0; k < ZARVO_FAPS; ++k)
      w[k] = static_cast<float>(faps[zarvo_fap_number(k)] / HeadMorphs::kFapsPerWeight);
    putBytes(weights_.out(), w, sizeof w);
    const float s = headScale(f.vol);
    const float scale[3] = {s, s, s};
    putBytes(scales_.out(), scale, sizeof scale);
    if (weights_.out().failed()) return fail("temporary file: " + weights_.out().problem());
    if (scales_.out().failed()) return fail("temporary file: " + scales_.out().problem());
    return true;
  }

  bool finish(long long, TextWriter& out) override {
    const long long n = windows_;
    const long long binBytes = kMeshBytes + n * (4 + 4 * ZARVO_FAPS + 12);
    std::string json = header(n, binBytes);
    while (json.size() % 4 != 0) json += ' ';
    const long long total = 12 + 8 + static_cast<long long>(json.size()) + 8 + binBytes;
    if (total > 0xFFFFFFFFLL) return fail("too long for one .glb (4 GiB)");
    putUint32(out, 0x46546C67);  // "glTF"
    putUint32(out, 2);
    putUint32(out, static_cast<std::uint32_t>(total));
    putUint32(out, static_cast<std::uint32_t>(json.size()));
    putUint32(out, 0x4E4F534A);  // "JSON"
    out.put(json);
    putUint32(out, static_cast<std::uint32_t>(binBytes));
    putUint32(out, 0x004E4942);  // "BIN\0"
    putBytes(out, m_.neutral, kPositionBytes);
    putBytes(out, m_.triangles, kIndexBytes);
    for (const auto& t : m_.targets) putBytes(out, t, kPositionBytes);
    for (long long i = 0; i < n; ++i) {
      const float t = keySeconds(i);
      putBytes(out, &t, 4);
    }
    return weights_.copyTo(out, &problem_) && scales_.copyTo(out, &problem_);
  }

 private:
  std::string header(long long n, long long binBytes) const {
    const std::string N = std::to_string(n);
    float lo[3], hi[3];
    bounds(m_.neutral, kVertexCount, lo, hi);
    std::string accessors =
        "{\"bufferView\":0,\"componentType\":5126,\"count\":347,"
        "\"type\":\"VEC3\",\"min\":" +
        vec3(lo) + ",\"max\":" + vec3(hi) +
        "},{\"bufferView\":1,\"componentType\":5123,\"count\":1896,"
        "\"type\":\"SCALAR\"}";
    std::string targets, names, zeros;
    for (int k = 0; k < ZARVO_FAPS; ++k) {
      bounds(m_.targets[k], kVertexCount, lo, hi);
      accessors += ",{\"bufferView\":" + std::to_string(2 + k) +
                   ",\"componentType\":5126,\"count\":347,\"type\":\"VEC3\",\"min\":" + vec3(lo) +
                   ",\"max\":" + vec3(hi) + "}";
      const std::string sep = k == 0 ? "" : ",";
      targets += sep + "{\"POSITION\":" + std::to_string(2 + k) + "}";
      names += sep + "\"" + kFapNames[k] + "\"";
      zeros += sep + "0";
    }
    std::string views = view(0, kPositionBytes, 34962);
    (views += ',') += view(kPositionBytes, kIndexBytes, 34963);
    for (int k = 0; k < ZARVO_FAPS; ++k)
      (views += ',') +=
          view(kPositionBytes + kIndexBytes + k * kPositionBytes, kPositionBytes, 34962);
    std::string animation;
    if (n > 0) {
      const long long at = kMeshBytes;
      for (const std::string& v : {view(at, 4 * n, 0), view(at + 4 * n, 4 * ZARVO_FAPS * n, 0),
                                   view(at + 4 * n + 4 * ZARVO_FAPS * n, 12 * n, 0)})
        (views += ',') += v;
      accessors +=
          ",{\"bufferView\":13,\"componentType\":5126,\"count\":" + N +
          ",\"type\":\"SCALAR\",\"min\":[" + number(keySeconds(0)) + "],\"max\":[" +
          number(keySeconds(n - 1)) + "]}" +
          ",{\"bufferView\":14,\"componentType\":5126,\"count\":" + std::to_string(ZARVO_FAPS * n) +
          ",\"type\":\"SCALAR\"}" + ",{\"bufferView\":15,\"componentType\":5126,\"count\":" + N +
          ",\"type\":\"VEC3\"}";
      animation = ",\"animations\":[{\"name\":\"" + jsonText(name_) +
                  "\",\"samplers\":[{\"input\":13,\"output\":14,\"interpolation\":\"LINEAR\"},"
                  "{\"input\":13,\"output\":15,\"interpolation\":\"LINEAR\"}],"
                  "\"channels\":[{\"sampler\":0,\"target\":{\"node\":0,\"path\":\"weights\"}},"
                  "{\"sampler\":1,\"target\":{\"node\":0,\"path\":\"scale\"}}]}]";
    }
    return "{\"asset\":{\"version\":\"2.0\",\"generator\":\"zarvo-fap " ZARVO_VERSION
           "\"},"
           "\"scene\":0,\"scenes\":[{\"nodes\":[0]}],"
           "\"nodes\":[{\"name\":\"Zarvo head\",\"mesh\":0}],"
           "\"meshes\":[{\"name\":\"head\",\"primitives\":[{\"attributes\":{\"POSITION\":0},"
           "\"indices\":1,\"material\":0,\"targets\":[" +
           targets + "]}],\"weights\":[" + zeros + "],\"extras\":{\"targetNames\":[" + names +
           "]}}],"
           "\"materials\":[{\"name\":\"skin\",\"pbrMetallicRoughness\":{\"baseColorFactor\":"
           "[0.8,0.62,0.52,1],\"metallicFactor\":0,\"roughnessFactor\":0.7}}]" +
           animation + ",\"accessors\":[" + accessors + "],\"bufferViews\":[" + views +
           "],\"buffers\":[{\"byteLength\":" + std::to_string(binBytes) + "}]}";
  }

  static std::string view(long long offset, long long length, int target) {
    return "{\"buffer\":0,\"byteOffset\":" + std::to_string(offset) +
           ",\"byteLength\":" + std::to_string(length) +
           (target != 0 ? ",\"target\":" + std::to_string(target) : std::string()) + "}";
  }

  const HeadMorphs& m_;
  std::string name_;
  Spool weights_, scales_;
  long long windows_ = 0;
};

}  // namespace

void measureHeadMorphs(HeadMorphs& m) {
  double x[kVertexCount], y[kVertexCount], z[kVertexCount];
  std::copy(hdx, hdx + kVertexCount, x);
  std::copy(hdy, hdy + kVertexCount, y);
  std::copy(hdz, hdz + kVertexCount, z);
  const double s = HeadMorphs::kMetresPerUnit;
  for (int v = 0; v < kVertexCount; ++v) {
    m.neutral[3 * v] = static_cast<float>(x[v] * s);
    m.neutral[3 * v + 1] = static_cast<float>(y[v] * s);
    m.neutral[3 * v + 2] = static_cast<float>(z[v] * s);
  }
  for (int t = 0; t < kFaceCount; ++t) {
    m.triangles[3 * t] = static_cast<std::uint16_t>(hda[t]);
    m.triangles[3 * t + 1] = static_cast<std::uint16_t>(hdb[t]);
    m.triangles[3 * t + 2] = static_cast<std::uint16_t>(hdc[t]);
  }
  for (int k = 0; k < ZARVO_FAPS; ++k) {
    int faps[76] = {};
    faps[zarvo_fap_number(k)] = static_cast<int>(HeadMorphs::kFapsPerWeight);
    FAPmozgat(faps, 1);
    for (int v = 0; v < kVertexCount; ++v) {
      m.targets[k][3 * v] = static_cast<float>((hdx[v] - x[v]) * s);
      m.targets[k][3 * v + 1] = static_cast<float>((hdy[v] - y[v]) * s);
      m.targets[k][3 * v + 2] = static_cast<float>((hdz[v] - z[v]) * s);
    }
    std::copy(x, x + kVertexCount, hdx);
    std::copy(y, y + kVertexCount, hdy);
    std::copy(z, z + kVertexCount, hdz);
  }
}

bool loadHeadMorphs(HeadMorphs& m, std::string& problem) {
  if (!modellbetolt(alap_adatmappak(), problem)) return false;
  measureHeadMorphs(m);
  return true;
}

float headScale(int vol) { return static_cast<float>(FAPzoom(-100) / FAPzoom(vol)); }

std::unique_ptr<FrameExport> makeGltfExport(const HeadMorphs& morphs, const std::string& name,
                                            std::string* problem) {
  auto e = std::make_unique<GltfExport>(morphs, name);
  if (!e->open(problem)) return nullptr;
  return e;
}
