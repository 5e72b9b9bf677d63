#include "live/analysis.h"

#include <algorithm>

#include "live/modes.h"

bool artikulacio = true;

namespace live {

sending::Outlets* outlets = nullptr;

void sendDrawn(const Frame& f) {
  if (outlets != nullptr) outlets->send(f.all);
}

Analysis::Analysis() : frames(kFrames) {
  zarvo_options o;
  zarvo_options_init(&o);
  o.articulate = artikulacio ? 1 : 0;
  // FAPs alone unless something is sent: designed FAPs alone never wait for the
  // recogniser's look-ahead, as in the designed run.
  o.outputs = outlets != nullptr ? ZARVO_OUTPUT_ALL : ZARVO_OUTPUT_FAPS;
  stream = zarvo_stream_create(&o, nullptr);
  frame.struct_size = sizeof frame;
}

Analysis::~Analysis() { zarvo_stream_destroy(stream); }

void Analysis::push(const float* samples, long n, int64_t end) {
  if (stream == nullptr) return;
  zarvo_stream_set_articulate(stream, artikulacio ? 1 : 0);
  // The stream's sample t is the mode's sample t + offset; the windows this block completes
  // (stream window j ends at 512 j + 1024) get their end in the mode's count.
  const int64_t offset = end - (pushed + n);
  for (int64_t j = pushed < ZARVO_WINDOW ? 0 : (pushed - ZARVO_WINDOW) / ZARVO_HOP + 1;
       int64_t{ZARVO_HOP} * j + ZARVO_WINDOW <= pushed + n; ++j)
    ends[j % 64] = ZARVO_HOP * j + ZARVO_WINDOW + offset;
  pushed += n;
  while (n > 0) {
    const int64_t took = zarvo_stream_push_float(stream, samples, n);
    if (took < 0) return;
    samples += took;
    n -= static_cast<long>(took);
    take();
  }
}

void Analysis::finish() {
  if (stream == nullptr) return;
  zarvo_stream_flush(stream);
  take();
}

void Analysis::take() {
  while (zarvo_stream_pull(stream, &frame) == 1) {
    if (waiting == kFrames) {  // the oldest goes
      first = (first + 1) % kFrames;
      --waiting;
      ++lost;
    }
    Frame& f = frames[(first + waiting++) % kFrames];
    std::fill(f.faps, f.faps + 76, 0);
    for (int k = 0; k < ZARVO_FAPS; ++k) f.faps[zarvo_fap_number(k)] = frame.faps[k];
    f.volume = frame.vol;
    f.end = ends[frame.index % 64];
    f.all = frame;
  }
}

bool Analysis::next(Frame& f) {
  if (waiting == 0) return false;
  f = frames[first];
  first = (first + 1) % kFrames;
  --waiting;
  return true;
}

bool Analysis::due(int64_t heard, Frame& f, int* passed) {
  bool found = false;
  while (waiting > 0 && frames[first].end - 1 <= heard) {
    if (found) ++*passed;
    next(f);
    found = true;
  }
  return found;
}

}  // namespace live
