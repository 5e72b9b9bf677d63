#include "speech/FAPbeolv.h"

#include <chrono>

#include "model/valtozok.h"
#include "platform/win32.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"
#include "speech/InfiniteRecorder.h"
#include "speech/LiveRun.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"

std::ofstream flog("log.txt", std::ios::out | std::ios::trunc);
LiveRunFigures lastLiveRun;
void (*liveFrameShown)(const LiveFrame& frame) = nullptr;
void (*liveFapsDrawn)(const int* faps, int* drawn) = nullptr;

namespace {

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
  int faps[76], drawn[76];
  LiveRunFigures run;
  for (int n = 0; n < 1000; ++n) {
    if (analyser.isNew()) {
      analyser.handleNew(pixels);
      const int32_t recorded = recorder.data.framesRecorded.load(std::memory_order_acquire);
      const int64_t bufferNs = recorder.data.lastBufferNs.load(std::memory_order_relaxed);
      pixels2FAPs(pixels, faps);
      const int v = analyser.volume();
      FAPkeret(v);
      const int* pose = faps;
      if (liveFapsDrawn != nullptr) {
        liveFapsDrawn(faps, drawn);
        pose = drawn;
      }
      FAPmozgat(pose, 1);
      initMapping();
      modellnezet();
      if (liveFrameShown != nullptr) {
        liveFrameShown(LiveFrame{run.windows, recorder.readPos, recorded, bufferNs, v, d});
      }
      FAPmozgat(pose, -1);
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
