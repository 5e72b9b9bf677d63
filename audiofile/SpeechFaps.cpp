#include "audiofile/SpeechFaps.h"

#include <algorithm>

#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "speech/WindowRing.h"

namespace {

// Samples asked of the reader at a time: large reads keep the decoder's per-call cost
// small against the analysis.
constexpr int kRefill = 16 * 1024;

}  // namespace

// The reader's samples go straight into a WindowRing, which cuts the windows as the live
// mode cuts them. It is filled only when it holds no complete window, a refill at most at
// a time, so the next window is never overwritten and none is skipped.
struct SpeechFaps::State {
  explicit State(AudioReader& reader_)
      : reader(reader_), ring(kRefill + kWindow + kHop), analyser(&ring, kHistory) {}

  // Reads on until the ring holds the next window; false at the end or on an error.
  bool fill() {
    while (!ring.isNew()) {
      if (done) return false;
      long room = 0;
      float* at = ring.space(&room);
      const long n = reader.read(at, std::min<long>(room, kRefill));
      if (n <= 0) {
        done = true;
        failed = n < 0;
        return false;
      }
      ring.added(n);
    }
    return true;
  }

  AudioReader& reader;
  WindowRing ring;
  QspRecorder analyser;
  double points[30] = {};
  long long count = 0;
  bool done = false;
  bool failed = false;
};

SpeechFaps::SpeechFaps(AudioReader& reader) : s(std::make_unique<State>(reader)) {}
SpeechFaps::~SpeechFaps() = default;

bool SpeechFaps::next(AnalysedWindow& w) {
  if (!s->fill()) return false;
  s->analyser.handleNew(s->points);
  pixels2FAPs(s->points, w.faps);
  w.index = s->count++;
  w.level = s->analyser.level;
  w.volume = s->analyser.volume();
  return true;
}

bool SpeechFaps::failed() const { return s->failed; }
const std::string& SpeechFaps::problem() const { return s->reader.problem(); }
long long SpeechFaps::windows() const { return s->count; }
const QspRecorder& SpeechFaps::analyser() const { return s->analyser; }
const double* SpeechFaps::points() const { return s->points; }
