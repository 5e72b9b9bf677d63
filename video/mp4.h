// An MP4 clip: H.264 video (libx264 through libavcodec, yuv420p, BT.709 limited range) and,
// when asked for, the sound as AAC (FFmpeg's own encoder, mono 48000 Hz), muxed by
// libavformat. See sink.h for the calling rules.
#pragma once

#include <memory>
#include <string>

#include "video/sink.h"

struct Mp4Settings {
  int width = 720, height = 720;  // both even (yuv420p halves the colour planes)
  int fps = 30;
  bool sound = true;
  // x264's speed preset and constant-quality factor: "veryfast" with 20 keeps the head's
  // flat shading free of visible blocks and leaves the encoder well ahead of the drawing.
  std::string preset = "veryfast";
  int crf = 20;
};

class Mp4Writer final : public FrameSink {
 public:
  // Opens the encoders and a temporary file beside `path`. On failure ok() is false,
  // problem() says why and nothing is left on disk.
  Mp4Writer(const std::string& path, const Mp4Settings& settings);
  ~Mp4Writer() override;

  bool audio(const float* samples, long count) override;
  bool frame(const offscreen::Image& picture) override;
  bool commit() override;
  void abandon() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
