// Playing a speech file with its sound: the samples go to the output device and, the same
// samples, through the live analysis; each window's frame is shown when its last sample is
// being played, so picture and sound stay in step.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/AudioReader.h"
#include "live/devices.h"
#include "live/modes.h"
#include "live/player.h"
#include "live/session.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "speech/WindowRing.h"

namespace {

const char kCim[] = "Lejátszás";
// The analysis keeps every window read ahead of the sound being heard: the player's ring
// (one second) and a margin.
constexpr int kWindowRing = 1 << 17;
bool g_silentTold = false;

}  // namespace

void lejatszas(HWND hwnd, const char* path) {
  if (eloModFut() || !IsWindow(hwnd) || path == nullptr) return;
  std::string problem;
  std::unique_ptr<AudioReader> reader = AudioReader::open(path, AudioReader::Options{}, &problem);
  if (!reader) {
    live::tell(hwnd, kCim, std::string("A fájl nem játszható le:\n") + path + "\n" + problem);
    return;
  }
  std::string died, silenced;
  {
    // On the heap: a player whose device stalled is left, not destroyed (Player::health).
    auto owned = std::make_unique<live::Player>(live::outputDevice);
    live::Player& player = *owned;
    if (!player.ok() && !g_silentTold) {
      g_silentTold = true;
      live::tell(
          hwnd, kCim,
          "Nincs hangkimenet (" + player.problem() + "): a fej hang nélkül, valós időben beszél.");
    }
    live::Session session(hwnd, 0);
    WindowRing windows(kWindowRing);
    QspRecorder analyser(&windows, 3);
    std::vector<float> block(1024);
    double pixels[30];
    int faps[76];
    bool end = false;
    int late = 0;
    session.frameStart();
    // The player's ring is kept full (the device may take several buffers at once); some
    // sound is queued before the clock starts, so the device does not begin starved.
    auto feed = [&] {
      while (!end) {
        const long room = std::min<long>(player.room(), static_cast<long>(block.size()));
        if (room <= 0) break;
        const long n = reader->read(block.data(), room);
        if (n < 0) {
          died = reader->problem();
          break;
        }
        if (n == 0) {
          end = true;
          player.finish();
          break;
        }
        player.push(block.data(), n);
        windows.push(block.data(), n);
      }
    };
    feed();
    if (!player.start() && !g_silentTold) {
      g_silentTold = true;
      live::tell(hwnd, kCim, player.problem() + ": a fej hang nélkül, valós időben beszél.");
    }
    while (died.empty() && session.serve()) {
      feed();
      if (!died.empty()) break;
      silenced = player.health();
      if (!silenced.empty()) break;
      const int64_t heard = player.position();
      // A window is due once its last sample is being heard.
      if (windows.isNew() && windows.nextWindowEnd() - 1 <= heard) {
        // Every due window is analysed (the smoothing needs them); only the newest is drawn.
        analyser.handleNew(pixels);
        while (windows.isNew() && windows.nextWindowEnd() - 1 <= heard) {
          analyser.handleNew(pixels);
          ++late;
        }
        pixels2FAPs(pixels, faps);
        session.frame(faps, analyser.volume(), windows.windowEnd());
        continue;
      }
      if (end && !windows.isNew() && player.drained()) break;
      const int64_t toNext = windows.isNew() ? windows.nextWindowEnd() - 1 - heard : 240;
      session.wait(static_cast<int>(std::clamp<int64_t>(toNext * 1000 / 48000, 1, 20)));
    }
    live::lastMode.skippedWindows = late + windows.skipped();
    live::lastMode.inputOverflows = player.underruns();
    live::lastMode.ended = died.empty() ? silenced : died;
    if (player.stalled())
      static_cast<void>(owned.release());  // deliberately never closed nor freed
    else
      player.stop();
    session.rest();
  }
  const live::ModeFigures& f = live::lastMode;
  if (f.skippedWindows > 0 || f.inputOverflows > 0)
    std::fprintf(stderr, "zarvo: playback: %d windows drawn, %d not drawn (late), %d underruns\n",
                 f.windows, f.skippedWindows, f.inputOverflows);
  if (!died.empty())
    live::tell(hwnd, kCim, std::string("A fájl olvasása megszakadt:\n") + path + "\n" + died);
  if (!silenced.empty()) live::tell(hwnd, kCim, "A lejátszás megszakadt: " + silenced + ".");
}
