/* libzarvo: Zarvo's speech-to-face engine for any program. Samples of a voice go in; for
 * every 10.7 ms of it a frame comes out with the MPEG-4 mouth FAPs, the 15 viseme weights,
 * five vowel weights, the jaw and mouth blendshapes of the common 52-name face set and a
 * cartoon mouth shape.
 *
 *   zarvo_options o;
 *   zarvo_options_init(&o);          48000 Hz mono, articulated FAPs, every output
 *   o.rate = 16000;
 *   int err;
 *   zarvo_stream *s = zarvo_stream_create(&o, &err);
 *   ...  zarvo_stream_push_float(s, block, frames);
 *        zarvo_frame f = {.struct_size = sizeof f};
 *        while (zarvo_stream_pull(s, &f) == 1) draw(&f);
 *   zarvo_stream_flush(s); (pull the last frames)   zarvo_stream_destroy(s);
 *
 * Analysis: the input is averaged to mono, resampled to 48000 Hz when it comes at another
 * rate (libsoxr, high quality, linear phase: nothing shifts in time) and cut into windows of
 * 1024 samples, a new one every 512 (10.67 ms); window i covers 48 kHz samples
 * [512 i, 512 i + 1024). Each window gives one frame, in order, none skipped.
 *
 * Designed and articulated FAPs: the designed FAPs are the speech analysis' own, bit for bit
 * what zarvo-fap writes for the same 48 kHz samples. The articulated ones correct them by
 * the visemes (lips that meet on p b m, lower lip to the teeth on f v, rounded and spread
 * vowels, closed in pauses). The visemes of a window come from it and the windows before
 * it: this version reads no window ahead, so every frame is ready as soon as its window is
 * in, whatever it carries. The recogniser's look-ahead is a constant of the library (the
 * frame's delay_ms says what it costs); the calls below keep frames in order either way.
 *
 * Memory: zarvo_stream_create allocates everything a stream will use (a few hundred
 * kilobytes); no other call allocates, locks or prints.
 *
 * Threads: no global state. A stream is used by one thread at a time (any thread; handing
 * it to another thread between calls needs the caller's own synchronisation); different
 * streams are fully independent and run in parallel on any number of threads. The name
 * functions and zarvo_strerror may be called from any thread at any time.
 *
 * Errors: every call that can fail returns a negative ZARVO_E_* code; zarvo_strerror names
 * it. Bad arguments (null pointers, rates, channel counts, struct sizes, non-finite samples)
 * are reported, never crash, and leave the stream as it was.
 *
 * ABI: libzarvo.so.1. The structs begin with struct_size, set by the caller to the size of
 * the struct it was compiled with, so later versions can add fields at the end.
 */
#ifndef ZARVO_ZARVO_H
#define ZARVO_ZARVO_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define ZARVO_API __attribute__((visibility("default")))
#else
#define ZARVO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- version ------------------------------------------------------------------------ */

#define ZARVO_VERSION_MAJOR 1
#define ZARVO_VERSION_MINOR 0
#define ZARVO_VERSION_PATCH 0
#define ZARVO_VERSION_NUMBER \
  (ZARVO_VERSION_MAJOR * 10000 + ZARVO_VERSION_MINOR * 100 + ZARVO_VERSION_PATCH)

/* The version of the library running (ZARVO_VERSION_NUMBER of its build), and as text
 * ("1.0.0", static storage). Any thread. */
ZARVO_API int zarvo_version(void);
ZARVO_API const char* zarvo_version_string(void);

/* ---- errors ------------------------------------------------------------------------- */

#define ZARVO_OK 0
#define ZARVO_E_NULL (-1) /* a pointer the call needs is null */
#define ZARVO_E_STRUCT_SIZE                                                          \
  (-2)                          /* struct_size below this library's struct, or above \
                                   ZARVO_STRUCT_SIZE_MAX */
#define ZARVO_E_RATE (-3)       /* sample rate outside ZARVO_RATE_MIN .. ZARVO_RATE_MAX */
#define ZARVO_E_CHANNELS (-4)   /* channel count outside 1 .. ZARVO_CHANNELS_MAX */
#define ZARVO_E_OPTION (-5)     /* an option this library does not know, or no output */
#define ZARVO_E_NONFINITE (-6)  /* a NaN or infinite sample in the block: nothing taken */
#define ZARVO_E_COUNT (-7)      /* a negative sample count, or one beyond what fits memory */
#define ZARVO_E_FLUSHED (-8)    /* push after flush: reset the stream first */
#define ZARVO_E_NOMEM (-9)      /* create: out of memory */
#define ZARVO_E_RESAMPLER (-10) /* create: libsoxr refused the rate */
#define ZARVO_E_INTERNAL (-11)  /* a fault of the library itself */

/* A one-line English description of `code` (ZARVO_OK too; unknown codes get a text that
 * says so). Static storage, never null. Any thread. */
ZARVO_API const char* zarvo_strerror(int code);

/* ---- names and sizes ---------------------------------------------------------------- */

#define ZARVO_RATE_MIN 8000
#define ZARVO_RATE_MAX 192000
#define ZARVO_CHANNELS_MAX 64
#define ZARVO_HOP 512         /* samples at 48000 Hz between two windows */
#define ZARVO_WINDOW 1024     /* samples at 48000 Hz in one window */
#define ZARVO_QUEUE_FRAMES 96 /* frames a stream holds for pulling before push stops taking */
#define ZARVO_FAPS 11
#define ZARVO_VISEMES 15
#define ZARVO_VOWELS 5
#define ZARVO_BLENDSHAPES 22
#define ZARVO_SHAPES 9
#define ZARVO_SHAPE_NAMES "ABCDEFGHX"

/* Entry i of a frame's arrays: the MPEG-4 FAP number of faps[i] (3, 51, 52, ..., 60); the
 * names of visemes[i] ("sil" "PP" "FF" "TH" "DD" "kk" "CH" "SS" "nn" "RR" "aa" "E" "ih" "oh"
 * "ou"), of vowels[i] ("aa" "ih" "ou" "ee" "oh") and of blendshapes[i] ("jawOpen",
 * "mouthClose", ..., the common 52-name face set's jaw and mouth names). -1 or null for an
 * i out of range. Static storage. Any thread. */
ZARVO_API int zarvo_fap_number(int i);
ZARVO_API const char* zarvo_viseme_name(int i);
ZARVO_API const char* zarvo_vowel_name(int i);
ZARVO_API const char* zarvo_blendshape_name(int i);

/* ---- options ------------------------------------------------------------------------ */

/* Bits of zarvo_options.outputs: what a frame carries. Fields not asked for are 0. */
#define ZARVO_OUTPUT_FAPS 0x01u
#define ZARVO_OUTPUT_VISEMES 0x02u
#define ZARVO_OUTPUT_VOWELS 0x04u
#define ZARVO_OUTPUT_BLENDSHAPES 0x08u
#define ZARVO_OUTPUT_SHAPE 0x10u
#define ZARVO_OUTPUT_ALL 0x1Fu

/* Bits of zarvo_options.flags. */
/* Take blocks holding NaN or infinite float samples instead of refusing them: a window that
 * holds one is analysed as digital silence (level -100), as the program's own analysis of a
 * file does. */
#define ZARVO_FLAG_NONFINITE_AS_SILENCE 0x01u

/* The largest struct_size taken: a later version's structs stay below it. The library reads
 * (options) or writes (frames) struct_size bytes, so it must be the struct's real size:
 * zarvo_options_init sets it; an uninitialised one is refused only when it is this large. */
#define ZARVO_STRUCT_SIZE_MAX 65536u

typedef struct zarvo_options {
  /* sizeof(zarvo_options) as the caller was compiled with. */
  size_t struct_size;
  /* Hz of the samples pushed, ZARVO_RATE_MIN .. ZARVO_RATE_MAX. */
  int32_t rate;
  /* Interleaved channels per sample frame, 1 .. ZARVO_CHANNELS_MAX; averaged. */
  int32_t channels;
  /* 1: faps are the articulated FAPs; 0: the designed ones. */
  int32_t articulate;
  /* ZARVO_OUTPUT_* bits, at least one. */
  uint32_t outputs;
  /* ZARVO_FLAG_* bits. */
  uint32_t flags;
} zarvo_options;

/* Sets struct_size and the defaults: 48000 Hz, 1 channel, articulated, every output, no
 * flags. Nothing when options is null. Any thread. */
ZARVO_API void zarvo_options_init(zarvo_options* options);

/* ---- frames ------------------------------------------------------------------------- */

typedef struct zarvo_frame {
  /* In: sizeof(zarvo_frame) as the caller was compiled with. */
  size_t struct_size;
  /* The window's number: 0, 1, 2, ... since create or reset. */
  int64_t index;
  /* The window's centre in the input's own samples (per channel), counted from the first
   * sample pushed: 512 (index + 1) * rate / 48000, fractional when the rate is not 48000;
   * and the same in seconds, 512 (index + 1) / 48000. */
  double centre_sample;
  double centre_seconds;
  /* How far the input had gone past the window's centre when the frame became ready, in
   * milliseconds: half a window (10.7), the recogniser's look-ahead (none in this version;
   * 10.7 per window it reads ahead, for frames with visemes or articulated FAPs), the
   * resampler's delay (none at 48000 Hz; about 12 ms at 44.1 kHz,
   * 21 ms at 16 kHz, 100 ms at 8 kHz) and the wait for a whole hop. The same however the
   * input was cut into blocks. For frames made by flush, what the input had left. */
  double delay_ms;
  /* dB: 20 log10(sum of the window's squared samples) + 100; -100 for digital silence;
   * always finite. vol: level truncated toward zero. */
  double level;
  int32_t vol;
  /* 1 when faps holds the articulated FAPs, 0 the designed ones. */
  int32_t articulated;
  /* FAP 3, 51, 52, ..., 60 (zarvo_fap_number) in MPEG-4 FAP units: jaw, inner lips,
   * corners. The rest shape of a quiet window is -140 30 200 0 -50 15 15 162 175 75 75. */
  int32_t faps[ZARVO_FAPS];
  /* Weights >= 0 summing to 1, order zarvo_viseme_name. */
  float visemes[ZARVO_VISEMES];
  /* 0 .. 1 each, order zarvo_vowel_name. */
  float vowels[ZARVO_VOWELS];
  /* 0 .. 1 each, order zarvo_blendshape_name. */
  float blendshapes[ZARVO_BLENDSHAPES];
  /* One of ZARVO_SHAPE_NAMES: A closed (p b m), B slightly open, C open, D wide open,
   * E slightly rounded, F puckered, G f/v, H l, X rest. */
  char shape;
} zarvo_frame;

/* ---- streams ------------------------------------------------------------------------ */

typedef struct zarvo_stream zarvo_stream;

/* A stream for one voice. The only call that allocates: everything the stream will use,
 * including the resampler's warm-up when rate is not 48000 (a few milliseconds of CPU). Null
 * on failure, with *error (when error is not null) set to ZARVO_E_NULL (options null),
 * ZARVO_E_STRUCT_SIZE, ZARVO_E_RATE, ZARVO_E_CHANNELS, ZARVO_E_OPTION (articulate not 0 or
 * 1, no output or an unknown bit, an unknown flag, or non-zero bytes beyond the struct this
 * library knows), ZARVO_E_NOMEM or ZARVO_E_RESAMPLER; ZARVO_OK on success. `options` is
 * only read during the call. */
ZARVO_API zarvo_stream* zarvo_stream_create(const zarvo_options* options, int* error);

/* Frees the stream and everything it holds; nothing for null. */
ZARVO_API void zarvo_stream_destroy(zarvo_stream* stream);

/* Pushes `frames` sample frames (frames * channels values, interleaved); float samples are
 * full scale at +-1.0, int16 ones at +-32768. Blocks of any size, 0 included (samples may
 * then be null). Returns how many sample frames were taken: all of them, unless
 * ZARVO_QUEUE_FRAMES frames come to wait to be pulled (a block of a second or more, or a
 * caller that does not pull): then the stream stops there, and the rest is pushed again
 * after pulling. Errors (nothing taken): ZARVO_E_NULL, ZARVO_E_COUNT, ZARVO_E_FLUSHED,
 * ZARVO_E_NONFINITE (float only, unless ZARVO_FLAG_NONFINITE_AS_SILENCE). Allocates
 * nothing; about 5 us per 10.7 ms of 48 kHz mono on one core. */
ZARVO_API int64_t zarvo_stream_push_float(zarvo_stream* stream, const float* samples,
                                          int64_t frames);
ZARVO_API int64_t zarvo_stream_push_int16(zarvo_stream* stream, const int16_t* samples,
                                          int64_t frames);

/* Takes the oldest frame that became ready: 1 when one was written to *frame, 0 when none is
 * ready. frame->struct_size must be set first (the size of the caller's struct, at least
 * that of version 1.0); the call keeps it, writes the fields both know and zeroes the rest. Errors:
 * ZARVO_E_NULL, ZARVO_E_STRUCT_SIZE. Allocates nothing. */
ZARVO_API int zarvo_stream_pull(zarvo_stream* stream, zarvo_frame* frame);

/* The end of the input: every window the input still holds (the last part shorter than a
 * hop gives none), and the frames the look-ahead held back, become ready for pulling. Push
 * afterwards gives ZARVO_E_FLUSHED until reset; flushing twice does nothing more. Errors:
 * ZARVO_E_NULL. Allocates nothing. */
ZARVO_API int zarvo_stream_flush(zarvo_stream* stream);

/* Forgets the input and every frame not yet pulled (a new utterance, or a new input): the
 * next sample pushed is sample 0 of window 0, analysed as by a new stream. Errors:
 * ZARVO_E_NULL. Allocates nothing. */
ZARVO_API int zarvo_stream_reset(zarvo_stream* stream);

/* Switches between articulated (1) and designed (0) FAPs for the windows analysed from now
 * on; frames already ready keep theirs. Switching the look-ahead on or off on the way (a
 * stream of designed FAPs with no other output needs none) keeps every window's frame, in
 * order. Errors: ZARVO_E_NULL, ZARVO_E_OPTION (not 0 or 1). Allocates nothing. */
ZARVO_API int zarvo_stream_set_articulate(zarvo_stream* stream, int articulate);

#ifdef __cplusplus
}
#endif

#endif /* ZARVO_ZARVO_H */
