#include "shell/ablak_beall.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "shell/parancsok.h"
#include "shell/parancssor.h"

char myWindowTitle[] = "MPEG-4 szabványos 'Zarvo' - 1.7v";
char myWindowClassName[] = "MyWindoClass";
HWND hWnd = nullptr;

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow) {
  MSG msg{};
  MyRegisterClass(hInstance);
  hWnd = MyCreateInstance(hInstance, nCmdShow);
  // Without a window nothing could ever post the quit request; the loop would wait for ever.
  if (!hWnd) return 1;
  if (inditoParancs != 0) PostMessageA(hWnd, WM_COMMAND, inditoParancs, 0);
  while (GetMessageA(&msg, nullptr, 0, 0) == 1) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

int MyRegisterClass(HINSTANCE hInstance) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof(WNDCLASSEXA);
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
  wc.lpfnWndProc = MyWndProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = myWindowClassName;
  wc.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
  if (!RegisterClassExA(&wc)) {
    MessageBoxA(nullptr, "Windows Registration Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
    return 0;
  }
  return 1;
}

HWND MyCreateInstance(HINSTANCE hInstance, int nCmdShow) {
  hWnd = CreateWindowExA(0, myWindowClassName, myWindowTitle, WS_OVERLAPPEDWINDOW, winX, winY, winW,
                         winH, nullptr, nullptr, hInstance, nullptr);
  if (!hWnd) {
    MessageBoxA(nullptr, "Window Creation Failed!", "Error!", MB_ICONEXCLAMATION | MB_OK);
    return nullptr;
  }
  ShowWindow(hWnd, nCmdShow);
  UpdateWindow(hWnd);
  return hWnd;
}

LRESULT CALLBACK MyWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      HMENU hMenu = CreateMenu();
      if (menu) {
        menusor(hMenu);
        SetMenu(hwnd, hMenu);
      }
      myOGLsetup(hwnd);
      return 0;
    }
    case WM_DESTROY:
      myOGLshutdown(hwnd);
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      winW = LOWORD(lParam);
      winH = HIWORD(lParam);
      // The drawing area is the largest square at the bottom-left corner of the client area.
      if (winW > winH) winW = winH;
      if (winW < winH) winH = winW;
      initMapping();
      rotx = roty = rotz = 0.0;
      modellnezet();
      return 0;
    case WM_PAINT: {
      // Every repaint starts from the mesh on disk: hand and live deformations are dropped
      // and the weights are rebuilt from the neutral face.
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      if (hGLRC) vertexbeolv();
      facebeolv();
      tavolsag();
      modellnezet();
      EndPaint(hwnd, &ps);
      modellhiba(hwnd);
      return 0;
    }
    case WM_KEYDOWN: return billparancs(hwnd, message, wParam, lParam);
    case WM_COMMAND: return menuparancs(hwnd, message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEWHEEL: egerparancs(hwnd, message, wParam, lParam); return 0;
    default: return DefWindowProcA(hwnd, message, wParam, lParam);
  }
}

void modellhiba(HWND hwnd) {
  Modellhiba h;
  if (!uj_modellhiba(h)) return;
  std::fprintf(stderr, "zarvo: %s\n", h.sor.c_str());
  MessageBoxA(hwnd, h.szoveg.c_str(), "Modellfájl hiba", MB_ICONEXCLAMATION | MB_OK);
}

void myOGLsetup(HWND hwnd) {
  hDC = GetDC(hwnd);
  mySetupPixelFormat(hDC);
  mySetupPalette(hDC);
  hGLRC = wglCreateContext(hDC);
  wglMakeCurrent(hDC, hGLRC);
}

void mySetupPixelFormat(HDC hdc) {
  PIXELFORMATDESCRIPTOR pfd{};
  pfd.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  pfd.nVersion = 1;
  pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  pfd.iPixelType = PFD_TYPE_RGBA;
  pfd.cColorBits = 16;
  pfd.cDepthBits = 16;
  pfd.iLayerType = PFD_MAIN_PLANE;

  const int pixelFormat = ChoosePixelFormat(hdc, &pfd);
  if (pixelFormat == 0) {
    MessageBoxA(WindowFromDC(hdc), "ChoosePixelFormat failed.", "Error", MB_ICONERROR | MB_OK);
    std::exit(1);
  }
  if (SetPixelFormat(hdc, pixelFormat, &pfd) != TRUE) {
    MessageBoxA(WindowFromDC(hdc), "SetPixelFormat failed.", "Error", MB_ICONERROR | MB_OK);
    std::exit(1);
  }
}

namespace {

// Entry i's level of one channel: the channel's bits of i scaled to 0..255 (truncating).
// A channel of 0 bits has no levels and stays 0 rather than dividing by its zero mask; a
// palette entry index has 8 bits, so wider channels or shifts name nothing either.
BYTE level(int i, int shift, int bits) {
  if (bits < 1 || bits > 8 || shift > 8) return 0;
  const int mask = (1 << bits) - 1;
  return static_cast<BYTE>(((i >> shift) & mask) * 255 / mask);
}

}  // namespace

void mySetupPalette(HDC hdc) {
  PIXELFORMATDESCRIPTOR pfd{};
  const int pixelFormat = GetPixelFormat(hdc);
  DescribePixelFormat(hdc, pixelFormat, sizeof(PIXELFORMATDESCRIPTOR), &pfd);
  if (!(pfd.dwFlags & PFD_NEED_PALETTE)) return;
  // Palette formats have at most 8 colour bits; beyond that the entry count would not even
  // fit the record's 16-bit count.
  if (pfd.cColorBits == 0 || pfd.cColorBits > 8) return;

  const int paletteSize = 1 << pfd.cColorBits;
  const std::size_t bytes = sizeof(LOGPALETTE) + (paletteSize - 1) * sizeof(PALETTEENTRY);
  std::unique_ptr<unsigned char[]> storage(new (std::nothrow) unsigned char[bytes]);
  // Without memory for the record, go on with the system palette, as for a palette that
  // cannot be created.
  if (!storage) return;
  auto* logPalette = reinterpret_cast<LOGPALETTE*>(storage.get());
  logPalette->palVersion = 0x300;
  logPalette->palNumEntries = static_cast<WORD>(paletteSize);
  PALETTEENTRY* entries = logPalette->palPalEntry;
  for (int i = 0; i < paletteSize; ++i) {
    entries[i].peRed = level(i, pfd.cRedShift, pfd.cRedBits);
    entries[i].peGreen = level(i, pfd.cGreenShift, pfd.cGreenBits);
    entries[i].peBlue = level(i, pfd.cBlueShift, pfd.cBlueBits);
    entries[i].peFlags = 0;
  }
  hPalette = CreatePalette(logPalette);
  storage.reset();
  if (hPalette) {
    SelectPalette(hdc, hPalette, FALSE);
    RealizePalette(hdc);
  }
}

void myOGLshutdown(HWND hwnd) {
  if (hGLRC) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(hGLRC);
    hGLRC = nullptr;
  }
  if (hPalette) {
    DeleteObject(hPalette);
    hPalette = nullptr;
  }
  ReleaseDC(hwnd, hDC);
  hDC = nullptr;
}
