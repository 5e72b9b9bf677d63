// The lip sync's stream handling, its table orders and its fidelity to the fitted model.
// The program counts its allocations (global operator new replaced) to prove that push,
// flush and reset allocate nothing.
#include "lipsync/LipSync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "lipsync/Articulation.h"
#include "lipsync/VisemeRecogniser.h"
#include "lipsync/Vocabularies.h"
#include "lipsync/viseme_model.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using lipsync::Frame;
using lipsync::kVisemeCount;
using lipsync::WindowInput;

// The fitting script's own stretch of speech, with plausible FAPs beside it.
std::vector<WindowInput> checkWindows() {
  namespace m = lipsync::model;
  const int n = static_cast<int>(std::size(m::kCheckLevel));
  std::vector<WindowInput> out(n);
  for (int i = 0; i < n; ++i) {
    WindowInput& w = out[i];
    w = {};
    w.index = i;
    w.level = m::kCheckLevel[i];
    w.vol = static_cast<int>(w.level);
    for (int k = 0; k < 16; ++k) w.cepstra[k] = m::kCheckCepstra[i][k];
    const int open = static_cast<int>(8.0 * std::max(0.0, w.level - 60.0));
    w.faps[3] = -140 + open;
    w.faps[52] = 200 - open;
    w.faps[53] = (i % 20) * 10 - 100;
    w.faps[54] = (i % 20) * 10 - 150;
  }
  return out;
}

std::vector<Frame> run(lipsync::LipSync& sync, const std::vector<WindowInput>& in) {
  std::vector<Frame> out;
  out.reserve(in.size());
  Frame f;
  for (const WindowInput& w : in)
    if (sync.push(w, f)) out.push_back(f);
  while (sync.flush(f)) out.push_back(f);
  return out;
}

TEST(LipSync, OneFramePerWindowInOrderAndTheDesignedStreamUntouched) {
  const std::vector<WindowInput> in = checkWindows();
  lipsync::LipSync designed(false);
  const std::vector<Frame> out = run(designed, in);
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i].index, in[i].index);
    for (int k = 0; k < 76; ++k) {
      ASSERT_EQ(out[i].faps[k], in[i].faps[k]) << "window " << i << " FAP " << k;
      ASSERT_EQ(out[i].articulated[k], in[i].faps[k]) << "window " << i << " FAP " << k;
    }
  }
}

TEST(LipSync, ResetForgetsEverythingAndNothingIsAllocatedPerWindow) {
  const std::vector<WindowInput> in = checkWindows();
  lipsync::LipSync sync(true);
  std::vector<Frame> first, second;
  first.reserve(in.size());
  second.reserve(in.size());
  const long before = g_allocations.load();
  Frame f;
  for (const WindowInput& w : in)
    if (sync.push(w, f)) first.push_back(f);
  while (sync.flush(f)) first.push_back(f);
  sync.reset();
  for (const WindowInput& w : in)
    if (sync.push(w, f)) second.push_back(f);
  while (sync.flush(f)) second.push_back(f);
  EXPECT_EQ(g_allocations.load() - before, 0);
  ASSERT_EQ(first.size(), in.size());
  ASSERT_EQ(second.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    for (int k = 0; k < 76; ++k) ASSERT_EQ(first[i].articulated[k], second[i].articulated[k]);
    for (int v = 0; v < kVisemeCount; ++v) ASSERT_EQ(first[i].visemes[v], second[i].visemes[v]);
    EXPECT_EQ(first[i].shape, second[i].shape);
  }
}

// The recogniser computes what the fitting script computed for the same windows: the shipped
// constants are the fitted model, read the same way.
TEST(VisemeRecogniser, GivesTheFittedWeights) {
  namespace m = lipsync::model;
  const std::vector<WindowInput> in = checkWindows();
  lipsync::VisemeRecogniser r;
  std::vector<std::vector<float>> got;
  float w[kVisemeCount];
  for (const WindowInput& x : in)
    if (r.push(x, w)) got.emplace_back(w, w + kVisemeCount);
  while (r.flush(w)) got.emplace_back(w, w + kVisemeCount);
  ASSERT_EQ(got.size(), in.size());
  for (size_t i = 0; i < got.size(); ++i) {
    float sum = 0.0f;
    for (int v = 0; v < kVisemeCount; ++v) {
      EXPECT_NEAR(got[i][v], m::kCheckWeights[i][v], 2e-3) << "window " << i << " viseme " << v;
      sum += got[i][v];
    }
    EXPECT_NEAR(sum, 1.0f, 1e-5);
  }
}

// Each viseme's target, held, reaches its pose: silence closes the mouth to the rest shape
// exactly; the pose tables stay inside the box the mesh is fitted for.
TEST(Articulation, SilenceSettlesOnTheRestShapeAndEveryPoseStaysInTheBox) {
  const int rest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};
  const int order[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
  int open[76] = {}, out[76];
  const int wide[11] = {1020, 105, -1250, 150, 160, 195, 270, -1037, -1137, -510, -510};
  for (int k = 0; k < 11; ++k) open[order[k]] = wide[k];
  for (int v = 0; v < kVisemeCount; ++v) {
    float w[kVisemeCount] = {};
    w[v] = 1.0f;
    lipsync::Articulation a;
    for (int t = 0; t < 60; ++t) a.apply(open, 120.0, w, out);
    for (int k = 0; k < 11; ++k) {
      EXPECT_GE(out[order[k]], lipsync::kArticulatedLeast[k]) << lipsync::kVisemeNames[v];
      EXPECT_LE(out[order[k]], lipsync::kArticulatedMost[k]) << lipsync::kVisemeNames[v];
      if (v == 0) {
        EXPECT_EQ(out[order[k]], rest[k]) << "FAP " << order[k];
      }
    }
  }
}

// From a quiet window to a held "aa" the mouth opens over a few windows, never popping open
// (at most 500 FAP units of opening a window, give or take rounding); back to p/b/m it shuts
// at once, as lips do.
TEST(Articulation, OpensOverAFewWindowsAndShutsAtOnce) {
  const int order[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
  const int rest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};
  int analysed[76] = {}, out[76];
  for (int k = 0; k < 11; ++k) analysed[order[k]] = rest[k];
  auto opening = [&] { return out[3] - out[51] - out[52]; };
  float sil[kVisemeCount] = {}, aa[kVisemeCount] = {}, pp[kVisemeCount] = {};
  sil[0] = aa[10] = pp[1] = 1.0f;
  lipsync::Articulation a;
  a.apply(analysed, 0.0, sil, out);
  int before = opening(), windows = 0;
  const int closed = before;
  while (opening() < closed + 1500 && windows < 20) {
    a.apply(analysed, 120.0, aa, out);
    EXPECT_LE(opening() - before, 502) << "window " << windows;
    before = opening(), ++windows;
  }
  EXPECT_GE(windows, 3);
  EXPECT_LE(windows, 5) << "the mouth opens for a vowel within a syllable";
  a.apply(analysed, 120.0, pp, out);
  EXPECT_LE(opening(), closed + 2) << "p/b/m shut the lips in one window";
}

// The vocabularies read the visemes in their published order.
TEST(Vocabularies, ClosedSilentAndRoundedMouths) {
  auto with = [](int viseme, int jaw) {
    Frame f{};
    f.visemes[viseme] = 1.0f;
    const int rest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};
    const int order[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
    for (int k = 0; k < 11; ++k) f.articulated[order[k]] = rest[k];
    f.articulated[3] = jaw;
    lipsync::vocabularies(f);
    return f;
  };
  const Frame sil = with(0, -140), pp = with(1, 0), ou = with(14, 100), aa = with(10, 700);
  EXPECT_EQ(sil.shape, 'X');
  EXPECT_EQ(pp.shape, 'A');
  EXPECT_EQ(ou.shape, 'F');
  EXPECT_EQ(aa.shape, 'D');
  for (int k = 0; k < lipsync::kVowelCount; ++k) EXPECT_EQ(sil.vowels[k], 0.0f);
  EXPECT_EQ(sil.blendshapes[0], 0.0f);  // jawOpen
  EXPECT_GT(pp.blendshapes[16], 0.9f);  // mouthPressLeft
  EXPECT_GT(ou.vowels[2], 0.9f);        // ou
  EXPECT_GT(ou.blendshapes[3], 0.9f);   // mouthPucker
  EXPECT_GT(aa.vowels[0], 0.9f);        // aa
  EXPECT_GT(aa.blendshapes[0], 0.8f);   // jawOpen
}

}  // namespace
