/* wav_visemes: the visemes of a recording, one line per 10.7 ms frame: the time of the
 * frame's centre, the strongest viseme, then the 15 weights in zarvo_viseme_name's order.
 *
 *   cc wav_visemes.c $(pkg-config --cflags --libs zarvo sndfile) -o wav_visemes
 *   ./wav_visemes speech.wav
 *
 * Any file libsndfile reads, at any rate and channel count: the stream takes them as they
 * are. */
#include <sndfile.h>
#include <stdio.h>
#include <zarvo/zarvo.h>

static void print_frames(zarvo_stream *stream) {
  zarvo_frame f = {.struct_size = sizeof f};
  while (zarvo_stream_pull(stream, &f) == 1) {
    int best = 0;
    for (int v = 1; v < ZARVO_VISEMES; ++v)
      if (f.visemes[v] > f.visemes[best]) best = v;
    printf("%.3f %-3s", f.centre_seconds, zarvo_viseme_name(best));
    for (int v = 0; v < ZARVO_VISEMES; ++v) printf(" %.3f", f.visemes[v]);
    printf("\n");
  }
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: wav_visemes FILE\n");
    return 2;
  }
  SF_INFO info = {0};
  SNDFILE *file = sf_open(argv[1], SFM_READ, &info);
  if (file == NULL) {
    fprintf(stderr, "wav_visemes: %s: %s\n", argv[1], sf_strerror(NULL));
    return 2;
  }
  zarvo_options options;
  zarvo_options_init(&options);
  options.rate = info.samplerate;
  options.channels = info.channels;
  int error;
  zarvo_stream *stream = zarvo_stream_create(&options, &error);
  if (stream == NULL) {
    fprintf(stderr, "wav_visemes: %s\n", zarvo_strerror(error));
    sf_close(file);
    return 2;
  }
  static float block[4096 * ZARVO_CHANNELS_MAX];
  const sf_count_t frames = sizeof block / sizeof block[0] / info.channels;
  sf_count_t n;
  while ((n = sf_readf_float(file, block, frames)) > 0) {
    for (sf_count_t done = 0; done < n;) {
      const int64_t took = zarvo_stream_push_float(stream, block + done * info.channels, n - done);
      if (took < 0) {
        fprintf(stderr, "wav_visemes: %s\n", zarvo_strerror((int)took));
        return 2;
      }
      done += took;
      print_frames(stream);
    }
  }
  zarvo_stream_flush(stream);
  print_frames(stream);
  zarvo_stream_destroy(stream);
  sf_close(file);
  return 0;
}
