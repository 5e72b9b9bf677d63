// Shared helpers of the model tests: the region tables as one walkable list, a reset of
// all program-wide model state, random meshes, and a scratch working directory for the
// tests that read "vertex.txt" / "face.txt".
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "model/costav.h"
#include "model/mozgat.h"
#include "model/valtozok.h"

namespace model_test {

// One influence region, as the deformation sees it.
struct Region {
  int code;          // FP code, 100 * group + index
  int pivot;         // vertex subscript of the FP itself
  const int* index;  // sorted vertex subscripts
  double* tav;       // weights, parallel to index
  int n;             // list length
  double spread;     // 8 for FP 8.2, 1 otherwise
};

#define ZARVO_REGION(c, s) \
  Region { c, h##c##pivotindex, h##c##index, h##c##tav, int(std::size(h##c##index)), s }

// In the order tavolsag() processes them.
inline const std::array<Region, 18> kRegions = {
    ZARVO_REGION(201, 1.0), ZARVO_REGION(202, 1.0), ZARVO_REGION(203, 1.0), ZARVO_REGION(204, 1.0),
    ZARVO_REGION(205, 1.0), ZARVO_REGION(206, 1.0), ZARVO_REGION(207, 1.0), ZARVO_REGION(208, 1.0),
    ZARVO_REGION(209, 1.0), ZARVO_REGION(210, 1.0), ZARVO_REGION(801, 1.0), ZARVO_REGION(802, 8.0),
    ZARVO_REGION(803, 1.0), ZARVO_REGION(804, 1.0), ZARVO_REGION(805, 1.0), ZARVO_REGION(806, 1.0),
    ZARVO_REGION(807, 1.0), ZARVO_REGION(808, 1.0),
};
#undef ZARVO_REGION

inline const Region& region(int code) {
  for (const Region& r : kRegions)
    if (r.code == code) return r;
  ADD_FAILURE() << "no region " << code;
  return kRegions[0];
}

// Position of vertex v in the region's list, or -1.
inline int slot(const Region& r, int v) {
  const int* e = std::find(r.index, r.index + r.n, v);
  return e == r.index + r.n ? -1 : int(e - r.index);
}

// Back to the state at process start: every array zero, no weights, no teeth move.
inline void reset_model() {
  std::fill_n(hdindex, 348, 0.0);
  std::fill_n(hdx, 348, 0.0);
  std::fill_n(hdy, 348, 0.0);
  std::fill_n(hdz, 348, 0.0);
  std::fill_n(hdracsindex, 632, 0);
  std::fill_n(hda, 632, 0);
  std::fill_n(hdb, 632, 0);
  std::fill_n(hdc, 632, 0);
  for (const Region& r : kRegions) std::fill_n(r.tav, r.n, 0.0);
  std::fill_n(p909move, 3, 0.0);
}

// Random vertex positions on a grid of 1/64 within about +-64 model units, so that
// adding a dyadic amount such as 0.5 is exact.
inline void random_mesh(unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_int_distribution<int> grid(-64 * 64, 64 * 64);
  for (int i = 0; i < kVertexCount; ++i) {
    hdindex[i] = i;
    hdx[i] = grid(gen) / 64.0;
    hdy[i] = grid(gen) / 64.0;
    hdz[i] = grid(gen) / 64.0;
  }
}

// Everything a move may touch.
struct Pose {
  std::array<double, 348> x, y, z;
  std::array<double, 3> teeth;
  static Pose now() {
    Pose p;
    std::copy_n(hdx, 348, p.x.begin());
    std::copy_n(hdy, 348, p.y.begin());
    std::copy_n(hdz, 348, p.z.begin());
    std::copy_n(p909move, 3, p.teeth.begin());
    return p;
  }
  void restore() const {
    std::copy(x.begin(), x.end(), hdx);
    std::copy(y.begin(), y.end(), hdy);
    std::copy(z.begin(), z.end(), hdz);
    std::copy(teeth.begin(), teeth.end(), p909move);
  }
  bool operator==(const Pose&) const = default;
};

// Runs each test in a fresh empty directory, so the readers see only the files the test
// writes; the previous working directory is restored afterwards.
class ScratchDir {
 public:
  ScratchDir() : old_(std::filesystem::current_path()) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zarvo-model-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    dir_ = tmpl;
    std::filesystem::current_path(dir_);
  }
  ~ScratchDir() {
    std::filesystem::current_path(old_);
    std::filesystem::remove_all(dir_);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  static void write(const char* name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
  }

 private:
  std::filesystem::path old_;
  std::filesystem::path dir_;
};

}  // namespace model_test
