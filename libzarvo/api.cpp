// The C interface: every argument is checked here, every exception stops here, and the work
// is done by zarvo::Stream.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "libzarvo/stream.h"
#include "lipsync/LipSync.h"
#include "speech/TempFile_beolv.h"
#include "zarvo/zarvo.h"

#define ZARVO_STR2(x) #x
#define ZARVO_STR(x) ZARVO_STR2(x)

struct zarvo_stream {
  explicit zarvo_stream(const zarvo_options& o)
      : engine(o), nonfiniteAsSilence((o.flags & ZARVO_FLAG_NONFINITE_AS_SILENCE) != 0) {}
  zarvo::Stream engine;
  const bool nonfiniteAsSilence;
};

namespace {

constexpr unsigned kFlags = ZARVO_FLAG_NONFINITE_AS_SILENCE;

// The smallest structs a caller may pass: those of the library's first version. A later
// version appends fields at the end; callers built against an earlier one keep working, the
// fields they do not know taking their defaults (options) or not written (frames).
constexpr size_t kOptionsFirst = sizeof(zarvo_options);
constexpr size_t kFrameFirst = sizeof(zarvo_frame);

// Bytes of a caller's struct beyond the ones this library knows: a newer caller's fields,
// which must hold their defaults (zero) for this library to honour the request.
bool tailIsZero(const void* object, size_t known, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(object);
  for (size_t i = known; i < size; ++i)
    if (p[i] != 0) return false;
  return true;
}

// The caller's options as this version's struct, in `o`; the checks' result.
int readOptions(const zarvo_options* given, zarvo_options& o) {
  if (given == nullptr) return ZARVO_E_NULL;
  if (given->struct_size < kOptionsFirst || given->struct_size > ZARVO_STRUCT_SIZE_MAX)
    return ZARVO_E_STRUCT_SIZE;
  if (!tailIsZero(given, sizeof(zarvo_options), given->struct_size)) return ZARVO_E_OPTION;
  zarvo_options_init(&o);
  std::memcpy(&o, given, std::min(given->struct_size, sizeof o));
  o.struct_size = sizeof o;
  if (o.rate < ZARVO_RATE_MIN || o.rate > ZARVO_RATE_MAX) return ZARVO_E_RATE;
  if (o.channels < 1 || o.channels > ZARVO_CHANNELS_MAX) return ZARVO_E_CHANNELS;
  if (o.articulate != 0 && o.articulate != 1) return ZARVO_E_OPTION;
  if (o.outputs == 0 || (o.outputs & ~ZARVO_OUTPUT_ALL) != 0) return ZARVO_E_OPTION;
  if ((o.flags & ~kFlags) != 0) return ZARVO_E_OPTION;
  return ZARVO_OK;
}

// The common checks of a push; ZARVO_OK to go on.
template <typename T>
int checkPush(zarvo_stream* s, const T* samples, int64_t frames) {
  if (s == nullptr) return ZARVO_E_NULL;
  if (frames < 0) return ZARVO_E_COUNT;
  if (frames == 0) return ZARVO_OK;
  if (samples == nullptr) return ZARVO_E_NULL;
  if (frames > INT64_MAX / ZARVO_CHANNELS_MAX) return ZARVO_E_COUNT;
  return ZARVO_OK;
}

}  // namespace

extern "C" {

int zarvo_version(void) { return ZARVO_VERSION_NUMBER; }

const char* zarvo_version_string(void) {
  return ZARVO_STR(ZARVO_VERSION_MAJOR) "." ZARVO_STR(ZARVO_VERSION_MINOR) "." ZARVO_STR(
      ZARVO_VERSION_PATCH);
}

const char* zarvo_strerror(int code) {
  switch (code) {
    case ZARVO_OK: return "no error";
    case ZARVO_E_NULL: return "a pointer the call needs is null";
    case ZARVO_E_STRUCT_SIZE:
      return "struct_size is smaller than the struct this library knows, or beyond "
             "ZARVO_STRUCT_SIZE_MAX";
    case ZARVO_E_RATE: return "the sample rate is outside 8000..192000 Hz";
    case ZARVO_E_CHANNELS: return "the channel count is outside 1..64";
    case ZARVO_E_OPTION: return "an option this library does not know, or no output asked for";
    case ZARVO_E_NONFINITE: return "the block holds a NaN or infinite sample; nothing was taken";
    case ZARVO_E_COUNT: return "the sample count is negative or too large";
    case ZARVO_E_FLUSHED: return "the stream was flushed; reset it before pushing more";
    case ZARVO_E_NOMEM: return "out of memory";
    case ZARVO_E_RESAMPLER: return "the resampler refused the sample rate";
    case ZARVO_E_INTERNAL: return "an internal fault of libzarvo";
    default: return "not an error code of libzarvo";
  }
}

int zarvo_fap_number(int i) { return i >= 0 && i < ZARVO_FAPS ? kSpeechFaps[i] : -1; }

const char* zarvo_viseme_name(int i) {
  return i >= 0 && i < ZARVO_VISEMES ? lipsync::kVisemeNames[i] : nullptr;
}

const char* zarvo_vowel_name(int i) {
  return i >= 0 && i < ZARVO_VOWELS ? lipsync::kVowelNames[i] : nullptr;
}

const char* zarvo_blendshape_name(int i) {
  return i >= 0 && i < ZARVO_BLENDSHAPES ? lipsync::kBlendshapeNames[i] : nullptr;
}

void zarvo_options_init(zarvo_options* o) {
  if (o == nullptr) return;
  std::memset(o, 0, sizeof *o);
  o->struct_size = sizeof *o;
  o->rate = 48000;
  o->channels = 1;
  o->articulate = 1;
  o->outputs = ZARVO_OUTPUT_ALL;
  o->flags = 0;
}

zarvo_stream* zarvo_stream_create(const zarvo_options* options, int* error) {
  zarvo_options o;
  int code = readOptions(options, o);
  zarvo_stream* s = nullptr;
  if (code == ZARVO_OK) {
    try {
      s = new zarvo_stream(o);
    } catch (const std::bad_alloc&) {
      code = ZARVO_E_NOMEM;
    } catch (...) {
      code = ZARVO_E_RESAMPLER;
    }
  }
  if (error != nullptr) *error = code;
  return s;
}

void zarvo_stream_destroy(zarvo_stream* s) { delete s; }

int64_t zarvo_stream_push_float(zarvo_stream* s, const float* samples, int64_t frames) {
  const int code = checkPush(s, samples, frames);
  if (code != ZARVO_OK || frames == 0) return code;
  if (!s->nonfiniteAsSilence) {
    const int64_t n = frames * s->engine.channelCount();
    for (int64_t i = 0; i < n; ++i)
      if (!std::isfinite(samples[i])) return ZARVO_E_NONFINITE;
  }
  return s->engine.push(samples, frames);
}

int64_t zarvo_stream_push_int16(zarvo_stream* s, const int16_t* samples, int64_t frames) {
  const int code = checkPush(s, samples, frames);
  if (code != ZARVO_OK || frames == 0) return code;
  return s->engine.push(samples, frames);
}

int zarvo_stream_pull(zarvo_stream* s, zarvo_frame* frame) {
  if (s == nullptr || frame == nullptr) return ZARVO_E_NULL;
  const size_t size = frame->struct_size;
  if (size < kFrameFirst || size > ZARVO_STRUCT_SIZE_MAX) return ZARVO_E_STRUCT_SIZE;
  zarvo_frame f;
  f.struct_size = sizeof f;
  if (!s->engine.pull(f)) return 0;
  // As much as the caller's struct holds; a newer caller's fields beyond this version's
  // struct: zero, as the header promises.
  unsigned char* to = reinterpret_cast<unsigned char*>(frame);
  std::memcpy(to, &f, std::min(size, sizeof f));
  if (size > sizeof f) std::memset(to + sizeof f, 0, size - sizeof f);
  frame->struct_size = size;
  return 1;
}

int zarvo_stream_flush(zarvo_stream* s) {
  if (s == nullptr) return ZARVO_E_NULL;
  s->engine.flush();
  return s->engine.failed() ? ZARVO_E_INTERNAL : ZARVO_OK;
}

int zarvo_stream_reset(zarvo_stream* s) {
  if (s == nullptr) return ZARVO_E_NULL;
  try {
    s->engine.reset();
  } catch (...) {
    return ZARVO_E_INTERNAL;
  }
  return ZARVO_OK;
}

int zarvo_stream_set_articulate(zarvo_stream* s, int articulate) {
  if (s == nullptr) return ZARVO_E_NULL;
  if (articulate != 0 && articulate != 1) return ZARVO_E_OPTION;
  s->engine.setArticulate(articulate == 1);
  return ZARVO_OK;
}

}  // extern "C"
