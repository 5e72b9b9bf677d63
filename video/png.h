// A numbered PNG sequence: one RGB picture per frame (RGBA with the background
// transparent, when asked for), encoded by libavcodec's PNG encoder, named by a pattern
// with one frame-number conversion ("frames/%05d.png": frames/00000.png,
// frames/00001.png, ...; the first frame is number 0). The sound is not kept.
//
// Each frame is written to a temporary beside its name and renamed when it is complete, so
// no frame is ever half-written. commit() removes the frames of the same pattern numbered
// beyond the last one written (left by an earlier, longer render: they would read as part
// of this one); abandon() removes the frames this sequence put in place (a frame it
// replaced is not brought back).
#pragma once

#include <memory>
#include <string>

#include "video/sink.h"

class PngSequence final : public FrameSink {
 public:
  // pattern: as above (%d, %0Nd; %% for a percent sign); the directories must exist.
  // alpha: keep the pictures' alpha (0 on the background). On failure ok() is false and
  // problem() says why.
  PngSequence(const std::string& pattern, int width, int height, bool alpha = false);
  ~PngSequence() override;

  bool audio(const float*, long) override { return true; }
  bool frame(const offscreen::Image& picture) override;
  bool commit() override;
  void abandon() override;

  // The name of frame `number` under `pattern`; empty when the pattern has no single
  // frame-number conversion.
  static std::string frameName(const std::string& pattern, long number);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
