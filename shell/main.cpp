// The program's entry on Linux: the desktop window system, then the Windows-shaped entry.
#include <cstring>

#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/fltk_backend.h"
#include "shell/ablak_beall.h"

int main(int argc, char** argv) {
  // --smooth: the polygon model starts smooth-shaded.
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--smooth") == 0) sima = true;
  // The mesh is looked for beside the installed program and in the source tree too.
  adatmappak(alap_adatmappak());
  HINSTANCE instance = fltk_backend_install();
  char commandLine[] = "";
  return WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
}
