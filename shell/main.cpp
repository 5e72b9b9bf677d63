// The program's entry on Linux: the desktop window system, then the Windows-shaped entry.
#include "platform/fltk_backend.h"
#include "shell/ablak_beall.h"

int main() {
  HINSTANCE instance = fltk_backend_install();
  char commandLine[] = "";
  return WinMain(instance, nullptr, commandLine, SW_SHOWNORMAL);
}
