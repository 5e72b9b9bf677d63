/* A library with libzarvo's interface and nothing behind it, built by abi_guard.sh from
 * altered copies of the header to prove that the ABI check tells the changes apart. */
#include "zarvo/zarvo.h"

struct zarvo_stream {
  int unused;
};

int zarvo_version(void) { return 0; }
const char* zarvo_version_string(void) { return ""; }
const char* zarvo_strerror(int code) { return code ? "" : ""; }
int zarvo_fap_number(int index) { return index; }
const char* zarvo_viseme_name(int index) { return index ? "" : ""; }
const char* zarvo_vowel_name(int index) { return index ? "" : ""; }
const char* zarvo_blendshape_name(int index) { return index ? "" : ""; }
void zarvo_options_init(zarvo_options* options) { options->rate = 0; }
zarvo_stream* zarvo_stream_create(const zarvo_options* options, int* error) {
  *error = options->rate;
  return 0;
}
void zarvo_stream_destroy(zarvo_stream* stream) { (void)stream; }
int64_t zarvo_stream_push_float(zarvo_stream* stream, const float* samples, int64_t frames) {
  return stream && samples ? frames : 0;
}
int64_t zarvo_stream_push_int16(zarvo_stream* stream, const int16_t* samples, int64_t frames) {
  return stream && samples ? frames : 0;
}
int zarvo_stream_pull(zarvo_stream* stream, zarvo_frame* frame) {
  return stream ? frame->vol : 0;
}
int zarvo_stream_flush(zarvo_stream* stream) { return stream ? 1 : 0; }
int zarvo_stream_reset(zarvo_stream* stream) { return stream ? 1 : 0; }
int zarvo_stream_set_articulate(zarvo_stream* stream, int on) { return stream ? on : 0; }
