// The continuous microphone mode: the designed run's road for every window (analyse, move,
// draw, take back) for as long as the user wants, with the window served between frames.
// The analysis is the library's (live/analysis.h): the articulated FAPs, or the designed.
#include <algorithm>
#include <cstdio>
#include <string>

#include "live/analysis.h"
#include "live/capture.h"
#include "live/modes.h"
#include "live/session.h"

namespace {

const char kCim[] = "Folyamatos élő mód";

}  // namespace

void folyamatos(HWND hwnd) {
  if (eloModFut() || !IsWindow(hwnd)) return;
  std::string died;
  {
    live::Capture capture;
    if (!capture.ok() || capture.start() != paNoError) {
      live::tell(hwnd, kCim, "Az audiobemenet nem nyitható meg: " + capture.problem() + ".");
      return;
    }
    live::Session session(hwnd, kFolyamatosParancs);
    live::Analysis analysis;
    constexpr int kWindow = live::Capture::kWindow, kStep = live::Capture::kStep;
    double window[kWindow];
    float fresh[kWindow];
    int64_t last = -1;  // the capture's end of the window taken last
    live::Frame frame;
    session.frameStart();
    while (analysis.ok() && session.serve()) {
      died = capture.health();
      if (!died.empty()) break;
      if (!analysis.next(frame)) {
        if (!capture.isNew()) {
          session.wait(capture.msUntilNextWindow());
          continue;
        }
        // The samples new since the last window: a hop, or the whole window at the start and
        // after windows were lost.
        capture.handleNew(window);
        const int64_t end = capture.windowEnd();
        const int n = last >= 0 && end - last == kStep ? kStep : kWindow;
        std::transform(window + kWindow - n, window + kWindow, fresh,
                       [](double x) { return static_cast<float>(x); });
        analysis.push(fresh, n, end);
        last = end;
        if (!analysis.next(frame)) continue;  // the look-ahead is filling
      }
      session.frame(frame.faps, frame.volume, frame.end);
      live::sendDrawn(frame);
      // messages first, then the next window
    }
    live::lastMode.skippedWindows = capture.skippedWindows();
    live::lastMode.inputOverflows = capture.inputOverflows();
    capture.finish();
    live::lastMode.ended = died;
    session.rest();
  }
  const live::ModeFigures& f = live::lastMode;
  if (f.skippedWindows > 0 || f.inputOverflows > 0)
    std::fprintf(stderr,
                 "zarvo: continuous live mode: %d windows drawn, %d skipped, %d input "
                 "overflows\n",
                 f.windows, f.skippedWindows, f.inputOverflows);
  if (!died.empty()) live::tell(hwnd, kCim, "Az audiobemenet megszakadt: " + died + ".");
}
