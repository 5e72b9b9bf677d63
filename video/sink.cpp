#include "video/sink.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
}

std::string ffmpegError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

bool FrameSink::allocatePicture(AVFrame*& picture, AVPacket*& packet, int format, int width,
                                int height) {
  picture = av_frame_alloc();
  packet = av_packet_alloc();
  if (!picture || !packet) return fail("out of memory");
  picture->format = format;
  picture->width = width;
  picture->height = height;
  if (av_frame_get_buffer(picture, 0) < 0) return fail("out of memory");
  return true;
}
