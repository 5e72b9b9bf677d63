// Where the frames and the sound of a clip go: a clip file (ClipWriter: MP4, WebM, GIF) or
// a numbered PNG sequence (PngSequence). Frames arrive in order, one picture each 1/fps seconds;
// nothing is collected: every frame is encoded and written before the next is drawn.
//
// Nothing is ever half-written under a final name: a sink writes to a temporary beside it
// and renames it when complete (a clip file at commit(), each PNG frame at once); abandon()
// removes whatever it wrote. Each call returns false on failure with problem() saying
// why (one line).
#pragma once

#include <chrono>
#include <string>

#include "platform/offscreen.h"

struct AVFrame;
struct AVPacket;

// FFmpeg's text for one of its error codes (a negative AVERROR value).
std::string ffmpegError(int code);

// Wall-clock seconds since `start`.
inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class FrameSink {
 public:
  virtual ~FrameSink() = default;

  // Mono 48000 Hz samples in [-1, 1], in order; a sink without sound ignores them.
  virtual bool audio(const float* samples, long count) = 0;
  // The next frame: RGBA rows from the top, the size the sink was made for.
  virtual bool frame(const offscreen::Image& picture) = 0;
  // Flushes the encoders and moves the result to its final name(s).
  virtual bool commit() = 0;
  // Removes everything written so far; the sink is unusable afterwards.
  virtual void abandon() = 0;

  // False once anything failed, the opening included; problem() says what.
  bool ok() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }
  // After a commit(): one line the user should hear about (files it removed), or empty.
  const std::string& note() const { return note_; }

  // Wall-clock seconds spent so far converting pictures to the encoder's pixel format and
  // encoding (sound included) and writing.
  double conversionSeconds = 0.0;
  double encodingSeconds = 0.0;

 protected:
  bool fail(const std::string& why) {
    if (problem_.empty()) problem_ = why;
    return false;
  }
  // A picture of `format` (an AVPixelFormat), width x height, with its buffers, and an empty
  // packet for what the encoder makes of it; false, with the problem set, when they cannot
  // be had. The caller frees both.
  bool allocatePicture(AVFrame*& picture, AVPacket*& packet, int format, int width, int height);
  std::string problem_;
  std::string note_;
};
