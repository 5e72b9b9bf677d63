// Shared by the drawing and window tests: a synthetic head, a scratch working directory
// and the viewer's start-up state.
//
// The synthetic head: an ellipsoid (40 units wide and deep,
// 100 tall) centred on the origin, wound counter-clockwise seen from outside, in the file
// layout of the real mesh (347 vertices, 632 triangles). The vertices it does not need sit
// at the origin inside it and the spare triangles are degenerate (0, 0, 0), so any pixel
// test on it also holds on any closed head centred on the origin.
#pragma once

#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/valtozok.h"

namespace support {

struct Mesh {
  std::vector<std::array<double, 3>> v;
  std::vector<std::array<int, 3>> f;
};

inline constexpr double kRadius = 40.0, kHalfHeight = 50.0;

inline Mesh sphere() {
  constexpr int rings = 12, slices = 26;
  constexpr double pi = 3.14159265358979323846;
  Mesh m;
  m.v.push_back({0.0, kHalfHeight, 0.0});
  for (int r = 1; r <= rings; ++r) {
    const double th = pi * r / (rings + 1);
    for (int s = 0; s < slices; ++s) {
      const double ph = 2 * pi * s / slices;
      m.v.push_back({kRadius * std::sin(th) * std::sin(ph), kHalfHeight * std::cos(th),
                     kRadius * std::sin(th) * std::cos(ph)});
    }
  }
  m.v.push_back({0.0, -kHalfHeight, 0.0});
  const int bottom = static_cast<int>(m.v.size()) - 1;
  while (m.v.size() < static_cast<std::size_t>(kVertexCount)) m.v.push_back({0.0, 0.0, 0.0});
  auto at = [](int r, int s) { return 1 + (r - 1) * slices + s % slices; };
  for (int s = 0; s < slices; ++s) m.f.push_back({0, at(1, s), at(1, s + 1)});
  for (int r = 1; r < rings; ++r)
    for (int s = 0; s < slices; ++s) {
      m.f.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      m.f.push_back({at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  for (int s = 0; s < slices; ++s) m.f.push_back({at(rings, s), bottom, at(rings, s + 1)});
  while (m.f.size() < static_cast<std::size_t>(kFaceCount)) m.f.push_back({0, 0, 0});
  return m;
}

// vertex.txt and face.txt of the synthetic head in dir.
inline void write_sphere(const std::string& dir) {
  const Mesh m = sphere();
  std::ofstream vf(dir + "/vertex.txt"), ff(dir + "/face.txt");
  vf.precision(17);
  for (std::size_t i = 0; i < m.v.size(); ++i)
    vf << i << ' ' << m.v[i][0] << ' ' << m.v[i][1] << ' ' << m.v[i][2] << '\n';
  for (std::size_t j = 0; j < m.f.size(); ++j)
    ff << j << ' ' << m.f[j][0] << ' ' << m.f[j][1] << ' ' << m.f[j][2] << '\n';
}

// The synthetic head straight into the model arrays, as the readers would leave it.
inline void load_sphere() {
  const Mesh m = sphere();
  for (int i = 0; i < kVertexCount; ++i) {
    hdindex[i] = i;
    hdx[i] = m.v[i][0];
    hdy[i] = m.v[i][1];
    hdz[i] = m.v[i][2];
  }
  for (int j = 0; j < kFaceCount; ++j) {
    hdracsindex[j] = j;
    hda[j] = m.f[j][0];
    hdb[j] = m.f[j][1];
    hdc[j] = m.f[j][2];
  }
}

// A fresh directory under the system's temporary directory, made the working directory
// for the object's life; removed afterwards.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/zarvo-test-XXXXXX";
    path_ = mkdtemp(pattern);
    char buf[4096];
    old_ = getcwd(buf, sizeof buf) ? buf : "/";
    if (chdir(path_.c_str()) != 0) std::abort();
  }
  ~TempDir() {
    if (chdir(old_.c_str()) != 0) std::abort();
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  // A death test's child ends by exit(), which runs no destructor: it removes the
  // directory then. One directory per process (the child has one).
  void remove_at_exit() const {
    static std::string doomed;
    doomed = path_;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(doomed, ignored);
    });
  }

 private:
  std::string path_, old_;
};

// vertex.txt and face.txt in dir: copies of the ones in mesh_dir when it names a directory
// holding both, else the synthetic head.
inline void place_head(const std::string& dir, const char* mesh_dir) {
  namespace fs = std::filesystem;
  if (mesh_dir != nullptr && fs::exists(fs::path(mesh_dir) / "vertex.txt") &&
      fs::exists(fs::path(mesh_dir) / "face.txt")) {
    fs::copy_file(fs::path(mesh_dir) / "vertex.txt", fs::path(dir) / "vertex.txt");
    fs::copy_file(fs::path(mesh_dir) / "face.txt", fs::path(dir) / "face.txt");
  } else {
    write_sphere(dir);
  }
}

// The viewer state and window geometry as the program starts, and an unloaded mesh.
inline void reset_viewer() {
  rotx = roty = rotz = 0.0;
  rotspeed = 1;
  tolx = toly = 0.0;
  d = 0.7;
  feny = 0.5;
  nezetselect = 2;
  sima = false;
  pontselect = 0;
  menu = true;
  winX = 224;
  winY = 10;
  winW = 576;
  winH = 720;
  for (int i = 0; i < 348; ++i) hdindex[i] = hdx[i] = hdy[i] = hdz[i] = 0.0;
  for (int j = 0; j < kFaceCount; ++j) hdracsindex[j] = hda[j] = hdb[j] = hdc[j] = 0;
}

}  // namespace support
