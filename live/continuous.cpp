// The continuous microphone mode: the designed run's road for every window (analyse, move,
// draw, take back) for as long as the user wants, with the window served between frames.
#include <cstdio>
#include <string>

#include "live/capture.h"
#include "live/modes.h"
#include "live/session.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"

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
    QspRecorder analyser(&capture, 3);
    double pixels[30];
    int faps[76];
    session.frameStart();
    while (session.serve()) {
      died = capture.health();
      if (!died.empty()) break;
      if (analyser.isNew()) {
        analyser.handleNew(pixels);
        pixels2FAPs(pixels, faps);
        session.frame(faps, analyser.volume(), capture.windowEnd());
        continue;  // messages first, then the next window
      }
      session.wait(capture.msUntilNextWindow());
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
