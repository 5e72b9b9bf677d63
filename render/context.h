// The window's OpenGL handles. The shell's context set-up (myOGLsetup) fills them and its
// shutdown (myOGLshutdown) releases them; every frame function swaps the buffers of hDC.
// Null until set. Window thread only.
#pragma once

#include "platform/win32.h"

extern HDC hDC;            // device context of the main window, owned by the window class
extern HGLRC hGLRC;        // the rendering context, current on the window thread
extern HPALETTE hPalette;  // logical palette, only for formats that need one
