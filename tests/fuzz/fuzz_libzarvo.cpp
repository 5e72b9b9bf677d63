// libzarvo's C interface driven by arbitrary bytes: options of every kind (bad ones too),
// then a run of pushes (float samples of any bit pattern, NaN and infinities included, and
// int16), pulls with any struct size, flushes, resets and switches. Every call returns one
// of its documented results, and every frame is whole: windows in order from each start,
// finite figures within their ranges.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "zarvo/zarvo.h"

namespace {

struct Bytes {
  const uint8_t* p;
  size_t n;
  uint8_t u8() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t u32() { return u8() | u8() << 8 | u8() << 16 | static_cast<uint32_t>(u8()) << 24; }
};

void checkFrame(const zarvo_frame& f, int64_t expected, unsigned outputs) {
  fuzz::check(f.index == expected, "windows in order, none skipped");
  // The analysis' range of levels (speech/QspRecorder.h).
  fuzz::check(fuzz::inside(f.level, -1695, 6266) && f.vol == static_cast<int>(f.level),
              "level finite, vol its truncation");
  fuzz::check(fuzz::inside(f.centre_seconds, 0, 1e9) && fuzz::inside(f.delay_ms, 0, 1e6),
              "times finite");
  for (int k = 0; k < ZARVO_FAPS; ++k)
    fuzz::check(f.faps[k] >= -1500000000 && f.faps[k] <= 1500000000, "FAPs bounded");
  float sum = 0;
  for (float w : f.visemes) {
    fuzz::check(fuzz::inside(w, 0, 1), "viseme weights in 0..1");
    sum += w;
  }
  fuzz::check((outputs & ZARVO_OUTPUT_VISEMES) == 0 || std::fabs(sum - 1) < 1e-3,
              "viseme weights sum to 1");
  for (float w : f.vowels) fuzz::check(fuzz::inside(w, 0, 1), "vowels in 0..1");
  for (float w : f.blendshapes) fuzz::check(fuzz::inside(w, 0, 1), "blendshapes in 0..1");
  fuzz::check(f.shape == 0 ? (outputs & ZARVO_OUTPUT_SHAPE) == 0
                           : std::strchr(ZARVO_SHAPE_NAMES, f.shape) != nullptr,
              "a shape when asked for");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes in{data, size};
  static const int32_t kRates[] = {48000, 48000, 48000, 16000, 44100, 8000, 192000, 0};
  // The options in a larger buffer, as a newer caller's longer struct would lie: any
  // struct_size up to the buffer's is honest, and its tail may hold anything.
  alignas(zarvo_options) unsigned char optionBytes[256] = {};
  zarvo_options& o = *reinterpret_cast<zarvo_options*>(optionBytes);
  zarvo_options_init(&o);
  const uint8_t choice = in.u8();
  o.rate = kRates[choice & 7] != 0 ? kRates[choice & 7] : static_cast<int32_t>(in.u32());
  o.channels = (choice >> 3) & 3 ? (choice >> 3) & 3 : static_cast<int8_t>(in.u8());
  const uint8_t bits = in.u8();
  o.articulate = bits & 1 ? static_cast<int8_t>(in.u8()) : (bits >> 1) & 1;
  o.outputs = (bits >> 2) & 0x3F;
  o.flags = bits >> 7;
  if (in.u8() == 0xFF) {
    o.struct_size = in.u8();
    if (in.u8() == 0xFF) optionBytes[sizeof o + in.u8() % (sizeof optionBytes - sizeof o)] = 1;
  }
  int error = 1;
  zarvo_stream* s = zarvo_stream_create(&o, &error);
  fuzz::check((s != nullptr) == (error == ZARVO_OK), "a stream, or why not");
  fuzz::check(error <= ZARVO_OK && error >= ZARVO_E_INTERNAL, "a documented code");
  if (s == nullptr) return 0;

  std::vector<float> f(4096 * 4);
  std::vector<int16_t> i16(4096 * 4);
  alignas(zarvo_frame) unsigned char frameBytes[sizeof(zarvo_frame) + 16];
  int64_t next = 0;
  bool flushed = false;
  while (in.n > 0) {
    const uint8_t op = in.u8();
    // As many sample frames as the buffers hold in the stream's channels.
    const int64_t frames = std::min<int64_t>((op >> 3) * 37 % 4096, f.size() / o.channels);
    const size_t values = static_cast<size_t>(frames) * o.channels;
    switch (op & 7) {
      case 0:
      case 1: {  // floats from the bytes, every bit pattern
        for (size_t k = 0; k < values; ++k) {
          const uint32_t b = in.n >= 4 ? in.u32() : 0x3D000000u + static_cast<uint32_t>(k * 7919);
          std::memcpy(&f[k], &b, 4);
        }
        const int64_t r = zarvo_stream_push_float(s, f.data(), frames);
        fuzz::check(r >= 0 || r == ZARVO_E_NONFINITE || r == ZARVO_E_FLUSHED, "push's result");
        fuzz::check(r != ZARVO_E_FLUSHED || flushed, "flushed only after flush");
        break;
      }
      case 2: {
        for (size_t k = 0; k < values; ++k) i16[k] = static_cast<int16_t>(in.u32());
        const int64_t r = zarvo_stream_push_int16(s, i16.data(), frames);
        fuzz::check(r >= 0 || (r == ZARVO_E_FLUSHED && flushed), "push's result");
        break;
      }
      case 3:
      case 4: {
        zarvo_frame* frame = reinterpret_cast<zarvo_frame*>(frameBytes);
        frame->struct_size = op & 0x80 ? sizeof frameBytes : (op & 0x40 ? 8 : sizeof(zarvo_frame));
        int r;
        while ((r = zarvo_stream_pull(s, frame)) == 1) checkFrame(*frame, next++, o.outputs);
        fuzz::check(r == 0 || (r == ZARVO_E_STRUCT_SIZE && frame->struct_size == 8),
                    "pull's result");
        break;
      }
      case 5:
        fuzz::check(zarvo_stream_flush(s) == ZARVO_OK, "flush");
        flushed = true;
        break;
      case 6:
        fuzz::check(zarvo_stream_reset(s) == ZARVO_OK, "reset");
        next = 0;
        flushed = false;
        break;
      case 7: {
        const int a = static_cast<int8_t>(in.u8()) % 3;
        fuzz::check(
            zarvo_stream_set_articulate(s, a) == (a == 0 || a == 1 ? ZARVO_OK : ZARVO_E_OPTION),
            "the switch's result");
        break;
      }
    }
  }
  zarvo_stream_destroy(s);
  return 0;
}
