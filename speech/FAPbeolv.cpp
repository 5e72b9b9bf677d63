#include "speech/FAPbeolv.h"

#include <algorithm>
#include <chrono>

#include "model/costav.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "platform/win32.h"
#include "render/rajzolo.h"
#include "speech/InfiniteRecorder.h"
#include "speech/LiveRun.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"

std::ofstream flog("log.txt", std::ios::out | std::ios::trunc);
LiveRunFigures lastLiveRun;
void (*liveFrameShown)(const LiveFrame& frame) = nullptr;

namespace {

// One FAP drives one feature point along one axis; the selectors are those of the apply
// pass, in MPEG-4's senses (positive opens the jaw, lowers the upper lip, raises the lower
// lip and the corners, stretches the corners outward). The outer-corner FAPs 53, 54, 59
// and 60 move the regions of the inner corners FP 2.4 and 2.5, which carry the corners.
struct Move {
  int fap;
  int fp;
  bool mouthWidth;  // unit MW, else MNS
  int dx, dy, dz;
};
constexpr Move kMoves[11] = {
    {3, 201, false, 0, -1, 0},  {51, 801, false, 0, -1, 0}, {52, 802, false, 0, 1, 0},
    {53, 204, true, 1, 0, 0},   {54, 205, true, -1, 0, 0},  {55, 805, false, 0, -1, 0},
    {56, 806, false, 0, -1, 0}, {57, 807, false, 0, 1, 0},  {58, 808, false, 0, 1, 0},
    {59, 204, false, 0, 1, 0},  {60, 205, false, 0, 1, 0},
};

// sense +1 applies the pose, -1 takes it back with the same amounts.
void moveMouth(const int* faps, int sense) {
  for (const Move& m : kMoves) {
    const double amount = static_cast<double>(faps[m.fap]) * (m.mouthWidth ? MW : MNS);
    mozgat(m.fp, amount, sense * m.dx, sense * m.dy, sense * m.dz);
  }
}

// Zoom from loudness: a float32 source in [-1, 1] reaches at most level 160 and a real
// microphone's noise floor lies far above -200, so the clamp changes nothing for real
// audio (exact digital silence comes as level -100). It keeps the frustum positive for any
// level, and a window of a few subnormal samples (volume down to -1694) from throwing the
// head back to nearly its start-up size.
double zoomFor(int volume) {
  const int v = std::clamp(volume, -200, 200);
  return (200 - v) / 10000.0 + 0.5;
}

void logMark() { flog << '.' << std::flush; }

}  // namespace

void FAPbeolv() {
  InfiniteRecorder recorder(48000, 5, 1, 512, 1024, 512);
  logMark();
  recorder.start();  // failure leaves a recorder that never reports a window
  logMark();
  QspRecorder analyser(&recorder, 3);
  logMark();

  double pixels[30];
  int faps[76];
  LiveRunFigures run;
  for (int n = 0; n < 1000; ++n) {
    if (analyser.isNew()) {
      analyser.handleNew(pixels);
      const int32_t recorded = recorder.data.framesRecorded.load(std::memory_order_acquire);
      const int64_t bufferNs = recorder.data.lastBufferNs.load(std::memory_order_relaxed);
      pixels2FAPs(pixels, faps);
      toly = 42.0;
      rotx = 20.0;
      const int v = analyser.volume();
      d = zoomFor(v);
      moveMouth(faps, 1);
      initMapping();
      modellnezet();
      if (liveFrameShown != nullptr) {
        liveFrameShown(LiveFrame{run.windows, recorder.readPos, recorded, bufferNs, v, d});
      }
      moveMouth(faps, -1);
      ++run.windows;
      run.lastVolume = v;
    }
    Sleep(1);
    ++run.polls;
  }
  recorder.stop();
  run.skippedWindows = recorder.skippedWindows();
  lastLiveRun = run;
}
