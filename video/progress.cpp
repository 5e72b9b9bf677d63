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
  char bar[kBarWidth + 1];
  const double fraction = clipSeconds_ > 0.0 ? std::clamp(done / clipSeconds_, 0.0, 1.0) : 0.0;
  const int filled = static_cast<int>(fraction * kBarWidth);
  for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '-';
  bar[kBarWidth] = '\0';
  std::fprintf(stderr, "\r[%s] %ld frames  %.1fx real time", clipSeconds_ > 0.0 ? bar : "", frames,
               speed);
  if (clipSeconds_ > 0.0 && speed > 0.0) {
    const double left = std::max(0.0, clipSeconds_ - done) / speed;
    std::fprintf(stderr, "  %.0f s left ", std::ceil(left));
  }
  std::fflush(stderr);
}
