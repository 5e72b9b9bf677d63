// Playing a speech file with its sound: the samples go to the output device and, the same
// samples, through the live analysis; each window's frame is shown when its last sample is
// being played, so picture and sound stay in step.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/AudioReader.h"
#include "live/analysis.h"
#include "live/devices.h"
#include "live/modes.h"
#include "live/player.h"
#include "live/session.h"

namespace {

const char kCim[] = "Lejátszás";
// The file is read at most this far (48 kHz samples) ahead of what is heard: the player's
// ring holds a second, and a silent run must not read the whole file at once, whose frames
// would not all wait for their time.
constexpr int64_t kAhead = 72000;
bool g_silentTold = false;

}  // namespace

void lejatszas(HWND hwnd, const char* path) {
  if (eloModFut() || !IsWindow(hwnd) || path == nullptr) return;
  std::string problem;
  std::unique_ptr<AudioReader> reader = AudioReader::open(path, AudioReader::Options{}, &problem);
  if (!reader) {
    // Also for whoever started it from a terminal or a file manager's log.
    std::fprintf(stderr, "zarvo: %s: %s\n", path, problem.c_str());
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
    live::Analysis analysis;
    std::vector<float> block(1024);
    live::Frame frame;
    int64_t read = 0;
    bool end = false;
    int late = 0;
    session.frameStart();
    // The player's ring is kept full (the device may take several buffers at once); some
    // sound is queued before the clock starts, so the device does not begin starved. The
    // same samples go to the analysis at once: their frames wait for their time.
    auto feed = [&] {
      while (!end) {
        const long room =
            static_cast<long>(std::min<int64_t>({player.room(), static_cast<int64_t>(block.size()),
                                                 kAhead - (read - player.position())}));
        if (room <= 0) break;
        const long n = reader->read(block.data(), room);
        if (n < 0) {
          died = reader->problem();
          break;
        }
        if (n == 0) {
          end = true;
          player.finish();
          analysis.finish();
          break;
        }
        player.push(block.data(), n);
        read += n;
        analysis.push(block.data(), n, read);
      }
    };
    feed();
    if (!player.start() && !g_silentTold) {
      g_silentTold = true;
      live::tell(hwnd, kCim, player.problem() + ": a fej hang nélkül, valós időben beszél.");
    }
    while (analysis.ok() && died.empty() && session.serve()) {
      feed();
      if (!died.empty()) break;
      silenced = player.health();
      if (!silenced.empty()) break;
      const int64_t heard = player.position();
      // A window is due once its last sample is being heard; of several due, only the newest
      // is drawn.
      if (analysis.due(heard, frame, &late)) {
        session.frame(frame.faps, frame.volume, frame.end);
        live::sendDrawn(frame);
        continue;
      }
      const live::Frame* coming = analysis.front();
      if (end && coming == nullptr && player.drained()) break;
      const int64_t toNext = coming != nullptr ? coming->end - 1 - heard : 240;
      session.wait(static_cast<int>(std::clamp<int64_t>(toNext * 1000 / 48000, 1, 20)));
    }
    live::lastMode.skippedWindows = late + analysis.dropped();
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
  if (!died.empty()) std::fprintf(stderr, "zarvo: %s: %s\n", path, died.c_str());
  if (!died.empty())
    live::tell(hwnd, kCim, std::string("A fájl olvasása megszakadt:\n") + path + "\n" + died);
  if (!silenced.empty()) live::tell(hwnd, kCim, "A lejátszás megszakadt: " + silenced + ".");
}
