#include "video/sink.h"

extern "C" {
#include <libavutil/error.h>
}

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}
