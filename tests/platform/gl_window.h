// Shared by the tests that draw on the offscreen backend: a window class, and a shown
// window with an OpenGL context current on it, set up through the Win32 layer in the order
// the shell uses.
#pragma once

#include "platform/offscreen.h"
#include "platform/win32.h"

namespace gl_window {

// Registers class `name` (the caller's string, kept by the layer) with window procedure
// `proc` for `instance`. 0 on failure.
inline ATOM register_class(const char* name, WNDPROC proc, HINSTANCE instance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  return RegisterClassExA(&wc);
}

// Shows w, gives its device context (stored in *dc) the backend's true-colour format and
// makes a new context current on the calling thread. Returns the context, which the layer
// owns until the next reset; null as soon as a step fails.
inline HGLRC make_current(HWND w, HDC* dc) {
  ShowWindow(w, SW_SHOWNORMAL);
  *dc = GetDC(w);
  const PIXELFORMATDESCRIPTOR want = offscreen::true_colour_format();
  if (SetPixelFormat(*dc, ChoosePixelFormat(*dc, &want), &want) != TRUE) return nullptr;
  HGLRC rc = wglCreateContext(*dc);
  if (!rc || wglMakeCurrent(*dc, rc) != TRUE) return nullptr;
  return rc;
}

}  // namespace gl_window
