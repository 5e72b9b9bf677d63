// Builds without the audio-file library cannot play files; they say so.
#include "live/modes.h"
#include "live/session.h"

void lejatszas(HWND hwnd, const char* path) {
  if (eloModFut() || !IsWindow(hwnd) || path == nullptr) return;
  live::tell(hwnd, "Lejátszás",
             std::string("A fájl nem játszható le:\n") + path +
                 "\nEz a változat hangfájl-olvasó nélkül készült.");
}
