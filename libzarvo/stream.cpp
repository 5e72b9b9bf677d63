#include "libzarvo/stream.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "lipsync/LipSyncInput.h"
#include "lipsync/Vocabularies.h"
#include "speech/TempFile_beolv.h"

namespace zarvo {

namespace {

constexpr int kRate = 48000;
constexpr int kHop = WindowRing::kStep;
constexpr int kHistory = 3;  // shapes averaged, as in the live mode
constexpr unsigned kSyncOutputs =
    ZARVO_OUTPUT_VISEMES | ZARVO_OUTPUT_VOWELS | ZARVO_OUTPUT_BLENDSHAPES | ZARVO_OUTPUT_SHAPE;
static_assert(std::size(kSpeechFaps) == ZARVO_FAPS);

static_assert(lipsync::kVisemeCount == ZARVO_VISEMES && lipsync::kVowelCount == ZARVO_VOWELS &&
              lipsync::kBlendshapeCount == ZARVO_BLENDSHAPES &&
              lipsync::kShapeCount == ZARVO_SHAPES);
static_assert(WindowRing::kWindow == ZARVO_WINDOW && WindowRing::kStep == ZARVO_HOP);

// The ring holds what one piece gives besides a window not yet analysed.
int ringSize(int rate) {
  return (rate == kRate ? kHop : Resampling::kMostOut) + WindowRing::kWindow + kHop;
}

// Frames one piece can make: its windows, and the look-ahead's frames when the lip sync is
// switched off on the way.
int pieceFrames(int rate) {
  return (rate == kRate ? 1 : Resampling::kMostOut / kHop + 1) + lipsync::kLookahead + 1;
}

inline float sample(float x) { return x; }
inline float sample(int16_t x) { return static_cast<float>(x) * (1.0f / 32768.0f); }

}  // namespace

Stream::Stream(const zarvo_options& o)
    : rate(o.rate),
      channels(o.channels),
      outputs(o.outputs),
      articulate(o.articulate != 0),
      ring(ringSize(o.rate)),
      analyser(&ring, kHistory),
      scratch(WindowRing::kWindow),
      sync(true) {
  if (rate == kRate)
    hop.assign(kHop, 0.0f);
  else
    resampling = std::make_unique<Resampling>(rate);
  out.assign(rate == kRate ? 0 : Resampling::kMostOut, 0.0f);
  queue.assign(static_cast<size_t>(ZARVO_QUEUE_FRAMES + pieceFrames(rate)), zarvo_frame{});
  syncOn = syncWanted();
}

Stream::~Stream() = default;

bool Stream::syncWanted() const { return articulate || (outputs & kSyncOutputs) != 0; }

int64_t Stream::push(const float* samples, int64_t frames) { return take(samples, frames); }
int64_t Stream::push(const int16_t* samples, int64_t frames) { return take(samples, frames); }

// Averaged to mono as the file reader averages: the sum in double, divided, then float.
template <typename T>
int64_t Stream::take(const T* samples, int64_t frames) {
  if (phase != Phase::taking) return ZARVO_E_FLUSHED;
  if (broken) return ZARVO_E_INTERNAL;
  int64_t done = 0;
  while (done < frames && queued < static_cast<size_t>(ZARVO_QUEUE_FRAMES)) {
    float* to = resampling ? resampling->next() : hop.data() + hopFilled;
    const int room = resampling ? resampling->room() : kHop - hopFilled;
    const int n = static_cast<int>(std::min<int64_t>(room, frames - done));
    const T* from = samples + done * channels;
    if (channels == 1) {
      for (int i = 0; i < n; ++i) to[i] = sample(from[i]);
    } else {
      for (int i = 0; i < n; ++i) {
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) sum += sample(from[i * channels + c]);
        to[i] = static_cast<float>(sum / channels);
      }
    }
    done += n;
    taken += n;
    if (resampling)
      resampling->took(n);
    else
      hopFilled += n;
    if (n == room) pieceDone();
    if (broken) break;
  }
  return done;
}

void Stream::pieceDone() {
  if (!resampling) {
    toRing(hop.data(), kHop);
    hopFilled = 0;
    return;
  }
  int made = 0;
  if (!resampling->convert(out.data(), &made)) {
    broken = true;
    return;
  }
  toRing(out.data(), made);
}

void Stream::toRing(const float* samples, int n) {
  ring.push(samples, n);
  analyse();
}

void Stream::analyse() {
  while (ring.isNew()) {
    if (ring.nextWindowEnd() <= skipUntil)
      ring.handleNew(scratch.data());
    else
      window();
  }
}

void Stream::window() {
  analyser.handleNew(points);
  pixels2FAPs(points, faps);
  const long long index = windows++;
  if (syncWanted() != syncOn) {
    // The look-ahead ends or starts here; the frames it holds come first.
    if (syncOn)
      while (sync.flush(frame)) emit(frame, true);
    sync.reset();
    syncOn = !syncOn;
  }
  if (syncOn) {
    lipsync::fillWindowInput(analyser, points, faps, index, input);
    if (sync.push(input, frame)) emit(frame, true);
    return;
  }
  frame.index = index;
  frame.level = analyser.level;
  frame.vol = analyser.volume();
  std::copy(faps, faps + 76, frame.faps);
  emit(frame, false);
}

void Stream::emit(const lipsync::Frame& f, bool fromSync) {
  zarvo_frame& z = queue[(head + queued) % queue.size()];
  ++queued;
  std::memset(&z, 0, sizeof z);
  const double centre = static_cast<double>(kHop * (f.index + 1));  // at 48 kHz
  z.index = f.index;
  z.centre_seconds = centre / kRate;
  z.centre_sample = centre * rate / kRate;
  z.delay_ms = (static_cast<double>(taken) / rate - z.centre_seconds) * 1000.0;
  z.level = f.level;
  z.vol = f.vol;
  const bool articulated = fromSync && articulate;
  z.articulated = articulated ? 1 : 0;
  if (outputs & ZARVO_OUTPUT_FAPS)
    for (int k = 0; k < ZARVO_FAPS; ++k)
      z.faps[k] = articulated ? f.articulated[kSpeechFaps[k]] : f.faps[kSpeechFaps[k]];
  if (!fromSync) return;
  // The vocabularies follow the FAPs the frame carries: designed ones get theirs anew, as
  // a lip sync without articulation makes them.
  const lipsync::Frame* v = &f;
  lipsync::Frame designed;
  if (!articulated) {
    designed = f;
    std::copy(f.faps, f.faps + 76, designed.articulated);
    lipsync::vocabularies(designed);
    v = &designed;
  }
  if (outputs & ZARVO_OUTPUT_VISEMES) std::copy(v->visemes, v->visemes + ZARVO_VISEMES, z.visemes);
  if (outputs & ZARVO_OUTPUT_VOWELS) std::copy(v->vowels, v->vowels + ZARVO_VOWELS, z.vowels);
  if (outputs & ZARVO_OUTPUT_BLENDSHAPES)
    std::copy(v->blendshapes, v->blendshapes + ZARVO_BLENDSHAPES, z.blendshapes);
  if (outputs & ZARVO_OUTPUT_SHAPE) z.shape = v->shape;
}

bool Stream::pull(zarvo_frame& out_) {
  if (queued == 0 && phase == Phase::ending) advanceEnd();
  if (queued == 0) return false;
  // Whole, padding included, so equal frames are equal bytes.
  const size_t keep = out_.struct_size;
  std::memcpy(&out_, &queue[head], sizeof out_);
  out_.struct_size = keep;
  head = (head + 1) % queue.size();
  --queued;
  return true;
}

void Stream::flush() {
  if (phase != Phase::taking) return;
  phase = Phase::ending;
  advanceEnd();
}

void Stream::advanceEnd() {
  const size_t room = queue.size() - static_cast<size_t>(pieceFrames(rate));
  while (phase == Phase::ending && queued < room && !broken) {
    if (resampling) {
      int made = 0;
      bool failed = false;
      if (resampling->finish(out.data(), &made, &failed)) {
        toRing(out.data(), made);
        continue;
      }
      if (failed) {
        broken = true;
        break;
      }
    }
    // The last part shorter than a hop makes no window; the look-ahead gives its frames.
    if (syncOn && sync.flush(frame)) {
      emit(frame, true);
      continue;
    }
    phase = Phase::ended;
  }
}

void Stream::reset() {
  head = queued = 0;
  windows = 0;
  taken = 0;
  phase = Phase::taking;
  sync.reset();
  syncOn = syncWanted();
  for (int r = 0; r < analyser.historyLength; ++r)
    std::fill(analyser.history[r], analyser.history[r] + 30, -1.0);  // rows not yet filled
  if (resampling) resampling->restart();
  hopFilled = 0;
  // The next window starts at a hop boundary of the ring: zeros up to it; the window that
  // ends a hop after it still holds the old input.
  static const float kZeros[kHop] = {};
  const int pad = static_cast<int>((kHop - ring.pushed() % kHop) % kHop);
  ring.push(kZeros, pad);
  skipUntil = ring.pushed() + kHop;
  analyse();
}

}  // namespace zarvo
