// Routing points of the commands. Escape ends the program; until the other commands exist,
// every other message gets the default processing.
#include "shell/parancsok.h"

void menusor(HMENU) {}

LRESULT menuparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT billparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (wParam == VK_ESCAPE) {
    DestroyWindow(hwnd);
    return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT egerparancs(HWND, UINT, WPARAM, LPARAM) { return 0; }
