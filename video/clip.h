// A clip file, its container chosen by the caller (from the output's extension):
//
//   container | video                                  | sound (when asked for)
//   ----------|----------------------------------------|-------------------------------
//   MP4       | H.264 (libx264), yuv420p, BT.709       | AAC (FFmpeg's own), mono
//   WebM      | VP9 (libvpx), yuv420p, BT.709          | Opus (libopus), mono
//   GIF       | a palette of 256 colours made for each | none: GIF has no sound
//             | frame (libavfilter), looping for ever  |
//
// all encoded by libavcodec and muxed by libavformat; sound at 48000 Hz. See sink.h for
// the calling rules.
#pragma once

#include <memory>
#include <string>

#include "video/sink.h"

enum class Container { mp4, webm, gif };

struct ClipSettings {
  Container container = Container::mp4;
  int width = 720, height = 720;  // both even for MP4 and WebM (yuv420p halves the colour)
  int fps = 30;
  bool sound = true;  // ignored for GIF
};

class ClipWriter final : public FrameSink {
 public:
  // Opens the encoders and a temporary file beside `path`. On failure ok() is false,
  // problem() says why and nothing is left on disk.
  ClipWriter(const std::string& path, const ClipSettings& settings);
  ~ClipWriter() override;

  bool audio(const float* samples, long count) override;
  bool frame(const offscreen::Image& picture) override;
  bool commit() override;
  void abandon() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
