#include "audiofile/SpeechFaps.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "speech/AbsRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"

namespace {

// Samples asked of the reader at a time: large reads keep the decoder's per-call cost
// small against the analysis.
constexpr int kRefill = 16 * 1024;

// A recorder whose "microphone" is an AudioReader: it hands out windows with the live
// recorder's timing (the first ends at sample windowSize, then one per step), reading
// more from the reader whenever the next window is not complete yet.
class StreamRecorder : public AbsRecorder {
 public:
  explicit StreamRecorder(AudioReader& reader_)
      : AbsRecorder(AudioReader::kRate, 0, 1, SpeechFaps::kHop, SpeechFaps::kWindow,
                    SpeechFaps::kHop),
        reader(reader_),
        buf(static_cast<size_t>(windowSize + kRefill)) {}

  int start() override { return 0; }

  bool isNew() override {
    while (end < nextEnd()) {
      if (done) return false;
      // Keep only what the next window still needs, then fill up behind it.
      const long long keepFrom = nextEnd() - windowSize;
      if (keepFrom > begin) {
        const long long drop = std::min(keepFrom, end) - begin;
        std::memmove(buf.data(), buf.data() + drop, static_cast<size_t>(end - begin - drop) * 4);
        begin += drop;
      }
      const long room = static_cast<long>(buf.size()) - static_cast<long>(end - begin);
      const long n = reader.read(buf.data() + (end - begin), room);
      if (n <= 0) {
        done = true;
        failed = n < 0;
        return false;
      }
      end += n;
    }
    return true;
  }

  void handleNew(double* out) override {
    if (!isNew()) return;
    readPos += step;
    const float* w = buf.data() + (readPos - windowSize - begin);
    for (int i = 0; i < windowSize; ++i) out[i] = w[i];
  }

  long long nextEnd() const { return readPos + step; }

  AudioReader& reader;
  std::vector<float> buf;  // samples [begin, end) of the input
  long long begin = 0, end = 0;
  long long readPos = SpeechFaps::kWindow - SpeechFaps::kHop;  // just past the last window
  bool done = false;
  bool failed = false;
};

}  // namespace

struct SpeechFaps::State {
  explicit State(AudioReader& reader) : recorder(reader), analyser(&recorder, kHistory) {}
  StreamRecorder recorder;
  QspRecorder analyser;
  double points[30] = {};
  long long count = 0;
};

SpeechFaps::SpeechFaps(AudioReader& reader) : s(std::make_unique<State>(reader)) {}
SpeechFaps::~SpeechFaps() = default;

bool SpeechFaps::next(AnalysedWindow& w) {
  if (!s->analyser.isNew()) return false;
  s->analyser.handleNew(s->points);
  pixels2FAPs(s->points, w.faps);
  w.index = s->count++;
  w.level = s->analyser.level;
  w.volume = s->analyser.volume();
  return true;
}

bool SpeechFaps::failed() const { return s->recorder.failed; }
const std::string& SpeechFaps::problem() const { return s->recorder.reader.problem(); }
long long SpeechFaps::windows() const { return s->count; }
