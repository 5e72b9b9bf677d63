#include "fapfile/StopSignal.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void note(int signal) { caught.store(signal); }

}  // namespace

void catchStopSignals() {
  struct sigaction on {};
  on.sa_handler = note;
  sigemptyset(&on.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaction(s, &on, nullptr);
}

bool stopRequested() { return caught.load(std::memory_order_relaxed) != 0; }

void endIfStopped() {
  const int signal = caught.load();
  if (signal == 0) return;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}
