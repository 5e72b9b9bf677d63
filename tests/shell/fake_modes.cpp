#include "tests/shell/fake_modes.h"

#include "live/modes.h"

bool artikulacio = true;

namespace {
int g_continuous = 0, g_stops = 0;
bool g_running = false;
std::vector<std::string> g_played;
}  // namespace

void folyamatos(HWND) { ++g_continuous; }
void lejatszas(HWND, const char* path) { g_played.push_back(path); }
bool eloModFut() { return g_running; }
void eloModLeallit() {
  if (g_running) ++g_stops;
  g_running = false;
}

namespace fake_modes {
void reset() {
  g_continuous = g_stops = 0;
  g_running = false;
  g_played.clear();
}
int continuous() { return g_continuous; }
const std::vector<std::string>& played() { return g_played; }
int stops() { return g_stops; }
void set_running(bool running) { g_running = running; }
}  // namespace fake_modes
