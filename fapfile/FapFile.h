// MPEG-4 face animation parameters as a text file (the FBA "FAP file" that animation
// tools and MPEG-4 players read), and the rule that turns analysis windows into frames.
//
// Layout:
//   2.1 <name> <fps> <nframes>          header: version, name without spaces, frame rate
//   then per frame two lines:
//   <68 tokens 0/1>                     mask: token k is FAP k (1..68)
//   <frame> <value> <value> ...         frame number 0, 1, 2, ..., then one integer per set
//                                       mask bit in ascending FAP order; FAP 1 (viseme)
//                                       takes 4 integers, FAP 2 (expression) 6
//
// The writer sets FAP 3 and 51..60, the ones the speech analysis gives, in every frame,
// and with visemes FAP 1 too.
// The reader takes any file of this layout: '#' comment lines and blank lines anywhere,
// masks of 68 or more tokens (tokens after the 68th are ignored), FAP 1 and 2 entries,
// Windows line ends; anything else is an error that names the line.
//
// Nothing here is shared between threads; each object belongs to one thread.
#pragma once
#include <array>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fapfile/OutputFile.h"
#include "speech/TempFile_beolv.h"  // kSpeechFaps

// ---- The frame rule ------------------------------------------------------------------
// Frame k of an N fps animation shows time k/N and takes the analysis window whose centre
// is nearest that time. Window i covers samples [512 i, 512 i + 1024) at 48000 Hz, so its
// centre is sample 512 (i + 1). Ties (a frame time exactly between two centres) go to the
// earlier window, so a frame never shows sound from after the nearest centre. Frames
// before the first centre take window 0; frames after the last centre take the last
// window (clamping is the caller's, see fapFrameCount).

// The window for frame k (k >= 0) at fps frames per second (fps >= 1): never negative,
// not clamped at the end.
long long fapWindowForFrame(long long frame, int fps);

// Frames covering `samples` samples at 48000 Hz: all k with k/fps before the end, i.e.
// ceil(samples * fps / 48000). An input too short for one window (under 1024 samples)
// gives no window to show, and the writer then writes 0 frames.
long long fapFrameCount(long long samples, int fps);

// FAP 1 from the 15 viseme weights (MPEG-4's viseme numbers 0..14, our order): the
// strongest as viseme_select1, the next (the lower number on a tie) as viseme_select2,
// viseme_blend = 63 w1 / (w1 + w2) rounded (63 when both are 0: all of the first), and
// viseme_def 0 (the frame does not redefine the viseme). out: 4 ints.
void fapViseme(const float* weights15, int* out4);

// ---- Writing -------------------------------------------------------------------------
// Frames are numbered as they come, but the header holds their count, which a stream only
// knows at its end. So the frame lines wait in an unnamed temporary file (in $TMPDIR, else
// /tmp; it vanishes when closed) until finish() writes the header and copies them out:
// memory stays bounded however long the input.
class FapWriter {
 public:
  static constexpr int kFaps = 76;  // FAP array entries, indexed by FAP number

  // name: goes into the header, with every space or control character made '_' (empty
  // becomes "zarvo"). fps: frames per second, >= 1. visemes: every frame sets FAP 1.
  FapWriter(const std::string& name, int fps, bool visemes = false);
  ~FapWriter() = default;
  FapWriter(const FapWriter&) = delete;
  FapWriter& operator=(const FapWriter&) = delete;

  // Creates the temporary file. False with *problem set when it cannot.
  bool open(std::string* problem);

  // Takes analysis window `index` (0, 1, 2, ... in order) with its 76-entry FAP array
  // and, when the writer sets FAP 1, its 4 viseme values (fapViseme; both read only, not
  // kept) and writes every frame whose window it is. False after a write error or for a
  // window out of order (problem() says which).
  bool addWindow(long long index, const int* faps, const int* viseme = nullptr);

  // The input ended after `samples` samples at 48000 Hz: writes the remaining frames
  // (the last window's values), then the header and all frame lines to `out`. Returns
  // false on a write error (out.problem() or problem()).
  bool finish(long long samples, TextWriter& out);

  long long frames() const { return framesWritten_; }
  const std::string& problem() const { return problem_; }

 private:
  void writeFrame(const int* faps, const int* viseme);
  std::string name_;
  int fps_;
  bool visemes_;
  int lastViseme_[4] = {0, 0, 63, 0};
  Spool spool_;
  long long framesWritten_ = 0;
  long long windows_ = 0;
  int last_[kFaps] = {};
  std::string problem_;
};

// ---- Reading -------------------------------------------------------------------------
struct FapHeader {
  std::string name;
  double fps = 0;        // as written; positive (a reader of this format truncates it)
  long long frames = 0;  // nframes of the header
};

struct FapFrame {
  // Indexed by FAP number, 76 entries like the live FAP array. FAPs that the frame's mask
  // does not set hold 0, the neutral face; so do 1 and 2 (their values are below) and
  // 69..75 (beyond the format's 68).
  std::array<int, 76> faps{};
  std::array<bool, 76> set{};       // set[k]: the mask set FAP k in this frame
  std::array<int, 4> viseme{};      // FAP 1: select1, select2, blend, def (when set[1])
  std::array<int, 6> expression{};  // FAP 2: select1, intensity1, select2, intensity2,
                                    // init_face, def (when set[2])
};

// A streaming reader: the header first, then one frame per call.
class FapReader {
 public:
  // in: not owned, must outlive the reader.
  explicit FapReader(std::istream& in);

  // Reads up to and including the header line. False on an error (problem()).
  bool readHeader(FapHeader& header);
  // 1: the next frame is in `frame`. 0: all of the header's frames were read and only
  // comments or blank lines follow. -1: an error; problem() names the line.
  int next(FapFrame& frame);

  const std::string& problem() const { return problem_; }  // "line N: what is wrong"

 private:
  bool nextLine(std::string_view& line);  // the next line that is not a comment or blank
  bool fail(const std::string& what);
  std::istream& in_;
  std::string buf_;
  long long line_ = 0;
  long long expected_ = 0;  // frames promised by the header
  long long read_ = 0;
  std::string problem_;
};

// The whole file at once (for tests and short files): from a path or from text in memory.
// False with *problem set ("line N: ...", or why the file cannot be opened).
bool readFapFile(const std::string& path, FapHeader& header, std::vector<FapFrame>& frames,
                 std::string* problem);
bool parseFapText(std::string_view text, FapHeader& header, std::vector<FapFrame>& frames,
                  std::string* problem);
