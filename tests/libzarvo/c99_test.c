/* The header as a C99 compiler sees it (-std=c99 -pedantic-errors -Werror), and the library
 * from C: one second of a tone as int16 stereo gives its windows, in order. */
#include <math.h>
#include <stdio.h>
#include <zarvo/zarvo.h>

int main(void) {
  static int16_t samples[2 * 16000];
  zarvo_options options;
  zarvo_frame frame = {.struct_size = sizeof frame};
  zarvo_stream *stream;
  int error = 0, i;
  int64_t expected = 0;
  for (i = 0; i < 16000; ++i)
    samples[2 * i] = samples[2 * i + 1] = (int16_t)(8000.0 * sin(i * 0.3) * sin(i * 0.001));
  zarvo_options_init(&options);
  options.rate = 16000;
  options.channels = 2;
  stream = zarvo_stream_create(&options, &error);
  if (stream == NULL) {
    fprintf(stderr, "create: %s\n", zarvo_strerror(error));
    return 1;
  }
  if (zarvo_stream_push_int16(stream, samples, 16000) != 16000 ||
      zarvo_stream_flush(stream) != ZARVO_OK)
    return 1;
  while (zarvo_stream_pull(stream, &frame) == 1) {
    if (frame.index != expected++ || frame.struct_size != sizeof frame) return 1;
  }
  zarvo_stream_destroy(stream);
  /* 48000 samples at 48 kHz: 92 windows. */
  return expected == 1 + (48000 - ZARVO_WINDOW) / ZARVO_HOP ? 0 : 1;
}
