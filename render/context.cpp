#include "render/context.h"

HDC hDC = nullptr;
HGLRC hGLRC = nullptr;
HPALETTE hPalette = nullptr;
