// Lip sync beyond the FAPs of the speech analysis: every analysed window also gives the
// weights of 15 visemes, an articulated FAP array (the analysed FAPs corrected where lip
// reading needs it: lips that meet on p/b/m, lower lip to the teeth on f/v, rounded and
// spread vowels, the jaw on open vowels), and the vocabularies avatar programs understand
// (five vowels, the jaw and mouth blendshapes of the common 52-name face set, the nine
// cartoon mouth shapes).
//
// Everything here is built on what speech/ already computes for a window (QspRecorder's
// coefficients, level, gated scores and smoothed lip points, and pixels2FAPs' array); the
// speech analysis does not know this folder. The recogniser's constants are fitted offline
// (tools/) and compiled in; nothing is trained or loaded at run time.
//
// One LipSync per voice; one thread at a time; no globals, so any number run in parallel.
// The constructor allocates; push, flush and reset never do.
#pragma once

namespace lipsync {

// The visemes, in the order real-time lip-sync libraries and social-VR platforms use (the
// MPEG-4 viseme set with silence first).
inline constexpr int kVisemeCount = 15;
inline constexpr const char* kVisemeNames[kVisemeCount] = {
    "sil", "PP", "FF", "TH", "DD", "kk", "CH", "SS", "nn", "RR", "aa", "E", "ih", "oh", "ou"};

// The five vowel expressions of avatar formats (VRM 1.0 names).
inline constexpr int kVowelCount = 5;
inline constexpr const char* kVowelNames[kVowelCount] = {"aa", "ih", "ou", "ee", "oh"};

// The jaw and mouth blendshapes of the common 52-name face set, weights 0..1.
inline constexpr int kBlendshapeCount = 22;
inline constexpr const char* kBlendshapeNames[kBlendshapeCount] = {
    "jawOpen",          "mouthClose",       "mouthFunnel",        "mouthPucker",
    "mouthLeft",        "mouthRight",       "mouthSmileLeft",     "mouthSmileRight",
    "mouthFrownLeft",   "mouthFrownRight",  "mouthStretchLeft",   "mouthStretchRight",
    "mouthRollLower",   "mouthRollUpper",   "mouthShrugLower",    "mouthShrugUpper",
    "mouthPressLeft",   "mouthPressRight",  "mouthLowerDownLeft", "mouthLowerDownRight",
    "mouthUpperUpLeft", "mouthUpperUpRight"};

// The nine cartoon mouth shapes: A closed (p b m), B slightly open, C open, D wide open,
// E slightly rounded, F puckered, G f/v, H l, X rest.
inline constexpr int kShapeCount = 9;
inline constexpr char kShapeNames[kShapeCount + 1] = "ABCDEFGHX";

// What the speech analysis knows of one window, copied out of QspRecorder right after its
// handleNew and of pixels2FAPs (fill it with fillWindowInput in LipSyncInput.h).
struct WindowInput {
  long long index;     // window number: 0, 1, 2, ... (window i ends at 48 kHz sample 512 i + 1024)
  double level;        // QspRecorder::level: 20 log10(energy) + 100; -100 for digital silence
  int vol;             // QspRecorder::volume()
  double cepstra[16];  // QspRecorder::cepstra: the 16 MFCCs times 10
  double scores[6];    // QspRecorder::netOut: the six shape scores after the level gate
  double points[30];   // the smoothed 15 lip points handleNew wrote (pixels)
  int faps[76];        // pixels2FAPs(points): indexed by FAP number, 3 and 51..60 set
};

// One window's lip sync, ready kLookahead windows after the window itself was pushed.
struct Frame {
  long long index;                      // the window this frame belongs to
  double level;                         // as in WindowInput
  int vol;                              // as in WindowInput
  int faps[76];                         // the analysed (designed) FAPs, unchanged
  int articulated[76];                  // faps corrected by the visemes; == faps when switched off
  float visemes[kVisemeCount];          // weights >= 0 summing to 1, order kVisemeNames
  float vowels[kVowelCount];            // 0..1, order kVowelNames
  float blendshapes[kBlendshapeCount];  // 0..1, order kBlendshapeNames
  char shape;                           // one of kShapeNames
};

// Windows of look-ahead: the frame of window i is complete when window i + kLookahead has
// been pushed (each window of look-ahead costs 10.7 ms of latency).
extern const int kLookahead;

class LipSync {
 public:
  // articulate: false makes `articulated` a copy of `faps` (visemes and vocabularies are
  // still computed). Allocates everything the stream will use.
  explicit LipSync(bool articulate = true);
  ~LipSync();
  LipSync(const LipSync&) = delete;
  LipSync& operator=(const LipSync&) = delete;

  // Forgets every window (a new utterance); the next push starts a fresh stream.
  void reset();

  // Takes the next window (windows in order); when the frame of an earlier window became
  // complete it is written to `out` and true is returned. Allocates nothing.
  bool push(const WindowInput& in, Frame& out);

  // End of the input: the frames still held back by the look-ahead, one per call; false
  // when none is left. Allocates nothing.
  bool flush(Frame& out);

  struct State;  // private to the implementation

 private:
  State* s;
};

}  // namespace lipsync
