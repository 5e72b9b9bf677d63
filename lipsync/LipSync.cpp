#include "lipsync/LipSync.h"

#include <algorithm>

#include "lipsync/Articulation.h"
#include "lipsync/VisemeRecogniser.h"
#include "lipsync/Vocabularies.h"
#include "lipsync/viseme_model.h"

namespace lipsync {

const int kLookahead = model::kAfter;

namespace {

// The inputs of the windows whose weights the recogniser still holds back.
constexpr int kPending = model::kAfter + 1;

}  // namespace

struct LipSync::State {
  explicit State(bool articulate_) : articulate(articulate_) {}

  bool articulate;
  VisemeRecogniser recogniser;
  Articulation articulation;
  WindowInput pending[kPending];
  long long pushed = 0, done = 0;

  void make(const float* weights, Frame& out) {
    const WindowInput& in = pending[done % kPending];
    out.index = in.index;
    out.level = in.level;
    out.vol = in.vol;
    std::copy(in.faps, in.faps + 76, out.faps);
    std::copy(weights, weights + kVisemeCount, out.visemes);
    if (articulate)
      articulation.apply(in.faps, in.level, weights, out.articulated);
    else
      std::copy(in.faps, in.faps + 76, out.articulated);
    vocabularies(out);
    ++done;
  }
};

LipSync::LipSync(bool articulate) : s(new State(articulate)) {}
LipSync::~LipSync() { delete s; }

void LipSync::reset() {
  s->recogniser.reset();
  s->articulation.reset();
  s->pushed = s->done = 0;
}

bool LipSync::push(const WindowInput& in, Frame& out) {
  s->pending[s->pushed % kPending] = in;
  ++s->pushed;
  float weights[kVisemeCount];
  if (!s->recogniser.push(in, weights)) return false;
  s->make(weights, out);
  return true;
}

bool LipSync::flush(Frame& out) {
  float weights[kVisemeCount];
  if (!s->recogniser.flush(weights)) return false;
  s->make(weights, out);
  return true;
}

}  // namespace lipsync
