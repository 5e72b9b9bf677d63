// Lip sync for animation tools: the file layouts that 2-D mouth-cue importers, face-capture
// retargeting and 3-D tools read, written from the frames of a recording (zarvo-fap's
// --format cues-tsv, cues-json, cues-xml, cues-dat, blendshapes-csv and gltf).
//
//   format           | made of                    | memory while writing
//   -----------------|----------------------------|------------------------------------------
//   cues-tsv, -dat   | frame.shape                | one cue; written as the cues complete
//   cues-json, -xml  | frame.shape                | one cue; the cues wait in a temporary
//                    |                            | file until the duration for the head is known
//   blendshapes-csv  | frame.blendshapes          | one frame; written row by row
//   gltf             | frame.faps, frame.vol      | the mesh and its targets (fixed); the keys
//                    |                            | wait in temporary files (the head holds
//                    |                            | their count)
//
// A writer takes the frames of one input in order and then its end; it writes to the
// TextWriter it is handed (a file or standard output). Temporary files are unnamed (in
// $TMPDIR, else /tmp): they vanish when closed, whatever happens to the run.
//
// Each writer belongs to one thread; different writers run on different threads at once.
#pragma once

#include <memory>
#include <string>

#include "fapfile/OutputFile.h"
#include "zarvo/zarvo.h"

class FrameExport {
 public:
  virtual ~FrameExport() = default;

  // Frame `f` of the input (index 0, 1, 2, ... in order, none skipped). False on a write
  // error or a frame out of order: problem() says which (out.problem() for out's errors).
  virtual bool add(const zarvo_frame& f, TextWriter& out) = 0;
  // The input ended after `samples` samples at 48000 Hz: writes what remains. False as add.
  virtual bool finish(long long samples, TextWriter& out) = 0;

  const std::string& problem() const { return problem_; }

 protected:
  bool fail(const std::string& why) {
    problem_ = why;
    return false;
  }
  std::string problem_;
};

// The text of a path or name as a JSON string's content or XML character data: UTF-8 kept,
// bytes that are not UTF-8 and control characters made U+FFFD (XML 1.0 cannot hold them),
// and the characters each syntax reserves escaped.
std::string jsonText(const std::string& s);
std::string xmlText(const std::string& s);
