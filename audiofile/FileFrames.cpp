#include "audiofile/FileFrames.h"

#include <algorithm>

namespace {

constexpr long kBlock = 16 * 1024;  // samples read at a time

}  // namespace

FileFrames::FileFrames(AudioReader& reader_, bool articulate, unsigned outputs)
    : reader(reader_), block(kBlock) {
  zarvo_options o;
  zarvo_options_init(&o);
  o.rate = AudioReader::kRate;
  o.articulate = articulate ? 1 : 0;
  o.outputs = outputs;
  o.flags = ZARVO_FLAG_NONFINITE_AS_SILENCE;
  int error = ZARVO_OK;
  stream = zarvo_stream_create(&o, &error);
  if (stream == nullptr) why = zarvo_strerror(error);
}

FileFrames::~FileFrames() { zarvo_stream_destroy(stream); }

bool FileFrames::refill() {
  while (!flushed) {
    if (pushed == have && !ended) {
      have = reader.read(block.data(), kBlock);
      pushed = 0;
      if (have < 0) {
        why = reader.problem();
        have = 0;
        return false;
      }
      ended = have == 0;
      if (have > 0 && tapSink && !tapSink(block.data(), have)) {
        why = "the samples were not taken";
        return false;
      }
    }
    if (pushed < have) {
      const int64_t n = zarvo_stream_push_float(stream, block.data() + pushed, have - pushed);
      if (n < 0) {
        why = zarvo_strerror(static_cast<int>(n));
        return false;
      }
      pushed += static_cast<long>(n);
      return true;  // frames may be ready; the caller pulls, then comes back
    }
    if (ended) {
      zarvo_stream_flush(stream);
      flushed = true;
    }
  }
  return true;
}

bool FileFrames::next(zarvo_frame& f) {
  if (stream == nullptr || failed()) return false;
  f.struct_size = sizeof f;
  for (;;) {
    const int r = zarvo_stream_pull(stream, &f);
    if (r == 1) {
      ++count;
      return true;
    }
    if (r < 0) {
      why = zarvo_strerror(r);
      return false;
    }
    if (flushed || !refill()) return false;
  }
}

void FileFrames::fapArray(const zarvo_frame& f, int* faps76) {
  std::fill(faps76, faps76 + 76, 0);
  for (int k = 0; k < ZARVO_FAPS; ++k) faps76[zarvo_fap_number(k)] = f.faps[k];
}
