/* mic_viseme: the strongest viseme of the voice at the microphone, live: a line each time
 * it changes, with the time in seconds, for SECONDS seconds (default 10).
 *
 *   cc mic_viseme.c $(pkg-config --cflags --libs zarvo portaudio-2.0) -o mic_viseme
 *   ./mic_viseme 30
 *
 * PortAudio's blocking read gives the default input device's samples in the main thread,
 * which pushes them and pulls the frames: no callback, no lock. */
#include <portaudio.h>
#include <stdio.h>
#include <stdlib.h>
#include <zarvo/zarvo.h>

#define RATE 48000
#define BLOCK 512 /* 10.7 ms */

static int fail(const char *what, const char *why) {
  fprintf(stderr, "mic_viseme: %s: %s\n", what, why);
  Pa_Terminate();
  return 1;
}

int main(int argc, char **argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 10.0;
  PaError err = Pa_Initialize();
  if (err != paNoError) return fail("PortAudio", Pa_GetErrorText(err));
  PaStream *input;
  err = Pa_OpenDefaultStream(&input, 1, 0, paFloat32, RATE, BLOCK, NULL, NULL);
  if (err != paNoError) return fail("the microphone", Pa_GetErrorText(err));

  zarvo_options options;
  zarvo_options_init(&options); /* 48000 Hz mono, articulated, every output */
  options.rate = RATE;
  int error;
  zarvo_stream *stream = zarvo_stream_create(&options, &error);
  if (stream == NULL) return fail("libzarvo", zarvo_strerror(error));

  err = Pa_StartStream(input);
  if (err != paNoError) return fail("the microphone", Pa_GetErrorText(err));
  float block[BLOCK];
  zarvo_frame f = {.struct_size = sizeof f};
  int shown = -1;
  for (long read = 0; read < seconds * RATE; read += BLOCK) {
    err = Pa_ReadStream(input, block, BLOCK);
    if (err != paNoError && err != paInputOverflowed)
      return fail("the microphone", Pa_GetErrorText(err));
    zarvo_stream_push_float(stream, block, BLOCK);
    while (zarvo_stream_pull(stream, &f) == 1) {
      int best = 0;
      for (int v = 1; v < ZARVO_VISEMES; ++v)
        if (f.visemes[v] > f.visemes[best]) best = v;
      if (best != shown) {
        printf("%7.2f %s\n", f.centre_seconds, zarvo_viseme_name(best));
        fflush(stdout);
        shown = best;
      }
    }
  }
  Pa_StopStream(input);
  Pa_CloseStream(input);
  zarvo_stream_destroy(stream);
  Pa_Terminate();
  return 0;
}
