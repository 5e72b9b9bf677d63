#include "video/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kBarWidth = 24;

}  // namespace

Progress::Progress(bool show, double clipSeconds, int fps)
    : show_(show), clipSeconds_(clipSeconds), fps_(fps) {
  start_ = last_ = std::chrono::steady_clock::now();
}

void Progress::update(long frames) {
  if (!show_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  draw(frames);
}

void Progress::finish(long frames) {
  if (!show_) return;
  draw(frames);
  std::fputc('\n', stderr);
}

void Progress::draw(long frames) {
  drawn_ = true;
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double done = static_cast<double>(frames) / fps_;  // seconds of clip rendered
  const double speed = elapsed > 0.0 ? done / elapsed : 0.0;
  std::fputc('\r', stderr);
  if (clipSeconds_ > 0.0) {
    char bar[kBarWidth + 1];
    const int filled = static_cast<int>(std::clamp(done / clipSeconds_, 0.0, 1.0) * kBarWidth);
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "[%s] ", bar);
  }
  std::fprintf(stderr, "%ld frames  %.1fx real time", frames, speed);
  if (clipSeconds_ > 0.0 && speed > 0.0)
    std::fprintf(stderr, "  %.0f s left", std::ceil(std::max(0.0, clipSeconds_ - done) / speed));
  // Clears what a longer earlier line left at the end.
  std::fputs("\033[K", stderr);
  std::fflush(stderr);
}
