#include "lipsync/VisemeRecogniser.h"

#include <algorithm>
#include <cmath>

#include "lipsync/viseme_model.h"

namespace lipsync {

namespace m = model;

namespace {

constexpr int kSpan = m::kBefore + 1 + m::kAfter;  // windows the network sees
constexpr int kInputs = kSpan * m::kFeatures;
static_assert(m::kFeatures == 2 + 16, "level above floor, level below peak, 16 coefficients");

constexpr int kBlock = 16;  // hidden units summed together
static_assert(m::kHidden % kBlock == 0);

// The output layer's weights hidden unit by hidden unit, the visemes padded to 16.
constexpr int kOutBlock = 16;
static_assert(kVisemeCount < kOutBlock);
struct OutputWeights {
  float w[m::kHidden][kOutBlock] = {};
};
constexpr OutputWeights transposed() {
  OutputWeights t;
  for (int v = 0; v < kVisemeCount; ++v)
    for (int h = 0; h < m::kHidden; ++h) t.w[h][v] = m::kW2[v][h];
  return t;
}
constexpr OutputWeights kOutput = transposed();
constexpr auto& kW2T = kOutput.w;

}  // namespace

// The per-window features depend on the past only (running level trackers and cepstral
// mean), so they are computed as each window arrives and kept in a ring of kSpan rows; the
// network then reads the rows from window t - kBefore to t + kAfter.
struct VisemeRecogniser::State {
  float rows[kSpan][m::kFeatures];
  int filled = 0;   // rows holding a window (up to kSpan)
  int newest = -1;  // ring slot of the newest window
  long long pushed = 0;
  long long emitted = 0;
  long long heard = 0;  // windows of speech so far
  // Running trackers, valid once pushed > 0.
  double peak = 0.0, floor = 0.0;
  double mean[16];
  // The smoothed weights of the last emitted window.
  float weights[kVisemeCount];

  void clear() {
    filled = 0;
    newest = -1;
    pushed = emitted = heard = 0;
    for (int i = 0; i < 16; ++i) mean[i] = m::kMeanInit[i];
    for (float& w : weights) w = 1.0f / kVisemeCount;
  }

  void addWindow(const WindowInput& in) {
    // Digital silence (-100) and anything below the quietest real room counts as that room,
    // so the floor of a recording with exact zeros does not run away.
    const double level =
        std::isfinite(in.level) ? std::max(in.level, m::kLevelLeast) : m::kLevelLeast;
    if (pushed == 0) {
      peak = floor = level;
    } else {
      peak = std::max(level, peak - m::kPeakFall);
      floor = std::min(level, floor + m::kFloorRise);
    }
    const bool speech = level > floor + m::kSpeechAboveFloor;
    newest = (newest + 1) % kSpan;
    float* r = rows[newest];
    r[0] = static_cast<float>(std::min(level - floor, m::kAboveFloorMost));
    r[1] = static_cast<float>(std::max(level - peak, -m::kAboveFloorMost));
    // Below the quietest room the spectrum says nothing (digital silence, a resampler's
    // residue): such a window has the mean's coefficients, whatever its numbers are.
    const bool quiet = !(in.level >= m::kLevelLeast);
    // The mean of the speech heard so far, against the corpus' mean counted as kMeanPrior
    // windows, until that moves slower than the running rate: a new voice or microphone is
    // taken in within its first words.
    if (speech) ++heard;
    const double rate =
        m::kMeanPrior > 0.0
            ? std::max(m::kMeanRate, 1.0 / (m::kMeanPrior + static_cast<double>(heard)))
            : m::kMeanRate;
    for (int i = 0; i < 16; ++i) {
      const double c = std::isfinite(in.cepstra[i]) && !quiet ? in.cepstra[i] : mean[i];
      if (speech) mean[i] += rate * (c - mean[i]);
      r[2 + i] = static_cast<float>(c - mean[i]);
    }
    filled = std::min(filled + 1, kSpan);
    ++pushed;
  }

  // Weights of window `emitted` from the rows around it; rows before the first window repeat
  // the first, rows after the last (at the end of the input) repeat the last.
  void emit(float* out) {
    const long long t = emitted;
    float x[kInputs];
    for (int k = 0; k < kSpan; ++k) {
      const long long want = std::clamp(t - m::kBefore + k, pushed - filled, pushed - 1);
      const int slot = static_cast<int>(((newest - (pushed - 1 - want)) % kSpan + kSpan) % kSpan);
      std::copy(rows[slot], rows[slot] + m::kFeatures, x + k * m::kFeatures);
    }
    // Input by input over all hidden units: independent sums the compiler can vectorise.
    float hidden[m::kHidden];
    std::copy(m::kB1, m::kB1 + m::kHidden, hidden);
    // A block of hidden units at a time, its sums held in registers over all inputs (each
    // sum adds in the same order as one unit at a time would).
    for (int h0 = 0; h0 < m::kHidden; h0 += kBlock) {
      float acc[kBlock];
      std::copy(hidden + h0, hidden + h0 + kBlock, acc);
      for (int i = 0; i < kInputs; ++i) {
        const float xi = x[i];
        const float* w = m::kW1[i] + h0;
#pragma GCC unroll 16
        for (int j = 0; j < kBlock; ++j) acc[j] += w[j] * xi;
      }
      std::copy(acc, acc + kBlock, hidden + h0);
    }
    for (float& h : hidden) h = h > 0.0f ? h : 0.0f;
    // The output layer hidden unit by hidden unit over all visemes, in the same order again.
    float logit[kOutBlock];
    std::copy(m::kB2, m::kB2 + kVisemeCount, logit);
    logit[kVisemeCount] = 0.0f;
    for (int h = 0; h < m::kHidden; ++h) {
      const float hh = hidden[h];
#pragma GCC unroll 16
      for (int v = 0; v < kOutBlock; ++v) logit[v] += kW2T[h][v] * hh;
    }
    float most = -1e30f;
    for (int v = 0; v < kVisemeCount; ++v) most = std::max(most, logit[v]);
    // Causal smoothing: the network's probabilities (sharpened or softened by kSharpness)
    // weigh the previous window's weights, spread a little (kSpread) so a new viseme can
    // always take over.
    float sum = 0.0f;
    for (int v = 0; v < kVisemeCount; ++v) {
      const float p = std::exp(m::kSharpness * (logit[v] - most));
      const float prior = emitted == 0
                              ? 1.0f / kVisemeCount
                              : (1.0f - m::kSpread) * weights[v] + m::kSpread / kVisemeCount;
      out[v] = p * prior;
      sum += out[v];
    }
    for (int v = 0; v < kVisemeCount; ++v) weights[v] = out[v] = out[v] / sum;
    ++emitted;
  }
};

VisemeRecogniser::VisemeRecogniser() : s(new State) { s->clear(); }
VisemeRecogniser::~VisemeRecogniser() { delete s; }
void VisemeRecogniser::reset() { s->clear(); }

bool VisemeRecogniser::push(const WindowInput& in, float* weights) {
  s->addWindow(in);
  if (s->pushed - 1 - s->emitted < m::kAfter) return false;
  s->emit(weights);
  return true;
}

bool VisemeRecogniser::flush(float* weights) {
  if (s->emitted >= s->pushed) return false;
  s->emit(weights);
  return true;
}

}  // namespace lipsync
