// The program's main window on the offscreen window system, as WinMain makes it before its
// message loop, for the tests and tools that run the real shell (no stand-ins).
#pragma once

#include <string>

#include "platform/offscreen.h"
#include "shell/ablak_beall.h"
#include "tests/render/support.h"

namespace support {

// Resets the window system and the viewer, puts the head into `dir` (the mesh of mesh_dir when
// it has one, else the synthetic head) and opens the shown, painted main window. Returns it
// (also in hWnd), or null; *instance gets the instance handle.
inline HWND open_program_window(const std::string& dir, const char* mesh_dir, HINSTANCE* instance) {
  *instance = offscreen::reset();
  reset_viewer();
  place_head(dir, mesh_dir);
  hWnd = nullptr;
  MyRegisterClass(*instance);
  return MyCreateInstance(*instance, SW_SHOWNORMAL);
}

}  // namespace support
