// The subset of the Win32 API (USER, GDI, WGL) that the shell calls, with Win32's layouts,
// constants and semantics where the shell relies on them. On Windows this header is just
// <windows.h>; elsewhere the functions are provided by platform/win32.cpp over one backend
// (platform/backend.h): FLTK for the desktop, OSMesa for headless tests.
//
// Semantics the shell relies on, all kept:
// - CreateWindowExA sends WM_CREATE synchronously; the first ShowWindow sends the first
//   WM_SIZE synchronously with the client size; UpdateWindow sends WM_PAINT synchronously
//   when the window needs painting (a new window always does).
// - GetMessageA blocks; it returns posted messages first, then WM_QUIT (result 0) after
//   PostQuitMessage, then WM_PAINT for a window that needs painting; -1 when no message can
//   ever arrive (the offscreen backend with nothing left to deliver).
// - MessageBoxA is modal and returns IDOK only when its OK button was pressed.
// - DestroyWindow sends WM_DESTROY; DefWindowProcA turns WM_CLOSE into DestroyWindow.
// - A window class with CS_OWNDC gives each window one device context for its whole life.
//
// - PeekMessageA takes what GetMessageA would (message filters included) without waiting;
//   MsgWaitForMultipleObjects (with no objects) waits for input or a time-out.
// - GetOpenFileNameA shows the window system's file chooser, modal.
//
// Not provided: Unicode (W) functions, keyboard translation into WM_CHAR (TranslateMessage
// does nothing), child windows, timers, message filters in GetMessageA, waiting on objects.
// All functions run on the one thread that created the windows (the window thread).
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include <cstdint>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef long LONG;
typedef std::uintptr_t UINT_PTR;
typedef std::intptr_t LONG_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef WORD ATOM;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* HANDLE;
typedef void* HGDIOBJ;  // any GDI object handle converts to it, as in Win32

// Distinct handle types, as Win32 declares them with STRICT.
struct HINSTANCE__;
struct HWND__;
struct HDC__;
struct HGLRC__;
struct HMENU__;
struct HPALETTE__;
struct HICON__;
struct HBRUSH__;
typedef HINSTANCE__* HINSTANCE;
typedef HWND__* HWND;
typedef HDC__* HDC;
typedef HGLRC__* HGLRC;
typedef HMENU__* HMENU;
typedef HPALETTE__* HPALETTE;
typedef HICON__* HICON;
typedef HICON HCURSOR;
typedef HBRUSH__* HBRUSH;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct POINT {
  LONG x, y;
};

struct RECT {
  LONG left, top, right, bottom;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};

// The fields a file chooser needs, in Win32's order; the rest of Win32's record is left out.
struct OPENFILENAMEA {
  DWORD lStructSize;    // sizeof(OPENFILENAMEA)
  HWND hwndOwner;       // the dialog is modal over it; may be null
  HINSTANCE hInstance;  // unused
  LPCSTR lpstrFilter;   // pairs "description\0pattern[;pattern]\0", ended by a second \0
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;    // 1-based filter shown first
  LPSTR lpstrFile;       // in: initial name or ""; out: the chosen path (UTF-8)
  DWORD nMaxFile;        // bytes at lpstrFile
  LPSTR lpstrFileTitle;  // unused
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;  // the folder shown first; null: the working directory
  LPCSTR lpstrTitle;       // the dialog's caption
  DWORD Flags;             // OFN_FILEMUSTEXIST, OFN_PATHMUSTEXIST
};

struct WNDCLASSEXA {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
  HICON hIconSm;
};

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};

// Byte for byte the Win32 record: 40 bytes on every platform.
struct PIXELFORMATDESCRIPTOR {
  WORD nSize;
  WORD nVersion;
  DWORD dwFlags;
  BYTE iPixelType;
  BYTE cColorBits;
  BYTE cRedBits;
  BYTE cRedShift;
  BYTE cGreenBits;
  BYTE cGreenShift;
  BYTE cBlueBits;
  BYTE cBlueShift;
  BYTE cAlphaBits;
  BYTE cAlphaShift;
  BYTE cAccumBits;
  BYTE cAccumRedBits;
  BYTE cAccumGreenBits;
  BYTE cAccumBlueBits;
  BYTE cAccumAlphaBits;
  BYTE cDepthBits;
  BYTE cStencilBits;
  BYTE cAuxBuffers;
  BYTE iLayerType;
  BYTE bReserved;
  DWORD dwLayerMask;
  DWORD dwVisibleMask;
  DWORD dwDamageMask;
};
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

struct PALETTEENTRY {
  BYTE peRed;
  BYTE peGreen;
  BYTE peBlue;
  BYTE peFlags;
};

// Variable length: palNumEntries entries follow in place of the one declared.
struct LOGPALETTE {
  WORD palVersion;
  WORD palNumEntries;
  PALETTEENTRY palPalEntry[1];
};

#define LOWORD(l) ((WORD)(((UINT_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((UINT_PTR)(l)) >> 16) & 0xffff))
#define MAKELPARAM(lo, hi) ((LPARAM)(DWORD)((WORD)(lo) | ((DWORD)(WORD)(hi) << 16)))
#define MAKEINTRESOURCEA(i) ((LPSTR)(UINT_PTR)(WORD)(i))

// Messages
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_COMMAND 0x0111
#define WM_LBUTTONDOWN 0x0201
#define WM_RBUTTONDOWN 0x0204
// wParam: the wheel's turn in its high word (signed, WHEEL_DELTA per notch, positive away
// from the user), the mouse keys in its low word; lParam: the pointer on the screen.
#define WM_MOUSEWHEEL 0x020A
#define WM_KEYFIRST 0x0100
#define WM_KEYLAST 0x0109
#define WM_MOUSEFIRST 0x0200
#define WM_MOUSELAST 0x020E

// PeekMessageA
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

// MsgWaitForMultipleObjects
#define QS_ALLINPUT 0x04FF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_TIMEOUT 0x00000102L
#define INFINITE 0xFFFFFFFF

// GetOpenFileNameA
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_PATHMUSTEXIST 0x00000800

#define WHEEL_DELTA 120
#define GET_WHEEL_DELTA_WPARAM(w) ((short)HIWORD(w))
#define MAKEWPARAM(lo, hi) ((WPARAM)(DWORD)((WORD)(lo) | ((DWORD)(WORD)(hi) << 16)))

#define SIZE_RESTORED 0
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002

// Virtual keys
#define VK_CLEAR 0x0C
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_NUMPAD0 0x60
#define VK_NUMPAD1 0x61
#define VK_NUMPAD2 0x62
#define VK_NUMPAD3 0x63
#define VK_NUMPAD4 0x64
#define VK_NUMPAD5 0x65
#define VK_NUMPAD6 0x66
#define VK_NUMPAD7 0x67
#define VK_NUMPAD8 0x68
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F2 0x71

// Class and window styles
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_OWNDC 0x0020
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define CW_USEDEFAULT ((int)0x80000000)

// Show commands
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

// Message boxes
#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONINFORMATION 0x00000040L
#define IDOK 1

// Menus
#define MF_STRING 0x00000000L
#define MF_POPUP 0x00000010L
#define MF_SEPARATOR 0x00000800L
#define MF_BYCOMMAND 0x00000000L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L

// Stock resources
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4

// Pixel formats
#define PFD_DOUBLEBUFFER 0x00000001
#define PFD_STEREO 0x00000002
#define PFD_DRAW_TO_WINDOW 0x00000004
#define PFD_DRAW_TO_BITMAP 0x00000008
#define PFD_SUPPORT_GDI 0x00000010
#define PFD_SUPPORT_OPENGL 0x00000020
#define PFD_GENERIC_FORMAT 0x00000040
#define PFD_NEED_PALETTE 0x00000080
#define PFD_NEED_SYSTEM_PALETTE 0x00000100
#define PFD_TYPE_RGBA 0
#define PFD_TYPE_COLORINDEX 1
#define PFD_MAIN_PLANE 0

// USER: classes, windows, messages
ATOM RegisterClassExA(const WNDCLASSEXA* wc);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param);
BOOL ShowWindow(HWND hwnd, int cmdShow);
BOOL UpdateWindow(HWND hwnd);
BOOL DestroyWindow(HWND hwnd);
BOOL GetMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax);
// Reads what the window system has without waiting, then takes (PM_REMOVE) or copies
// (PM_NOREMOVE) the first message for hwnd (null: any) whose number lies in
// [filterMin, filterMax] (0, 0: any): queued messages in order, then WM_QUIT after
// PostQuitMessage, then WM_PAINT of a window that needs painting (which stays due until it is
// painted). FALSE when there is none.
BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeMsg);
// With count 0 (the only form provided): returns WAIT_OBJECT_0 as soon as a message is
// waiting (or already was), WAIT_TIMEOUT after `milliseconds` without one. Sleeps meanwhile.
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask);
BOOL IsWindow(HWND hwnd);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
BOOL GetClientRect(HWND hwnd, RECT* rect);

// COMDLG: the modal file chooser. TRUE with the chosen path in lpstrFile (which must have room
// for it), FALSE when the user cancelled or the path does not fit.
BOOL GetOpenFileNameA(OPENFILENAMEA* ofn);

// USER: menus. Text is copied; a separator's text is ignored.
HMENU CreateMenu();
HMENU CreatePopupMenu();
BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text);
BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);  // the window's menu bar, or null
// Sets or clears the check mark of the item with command identifier `id` (MF_BYCOMMAND;
// drop-downs are searched too). Returns the previous state, MF_CHECKED or MF_UNCHECKED, or
// (DWORD)-1 when no such item exists. An item that was ever given a check state is shown as
// a check item from then on; AppendMenuA with MF_CHECKED makes a checked one.
DWORD CheckMenuItem(HMENU menu, UINT id, UINT check);

// USER: resources
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);

// GDI
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
HWND WindowFromDC(HDC dc);
HGDIOBJ GetStockObject(int which);
BOOL DeleteObject(HGDIOBJ object);
int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd);
BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd);
int GetPixelFormat(HDC dc);
int DescribePixelFormat(HDC dc, int format, UINT bytes, PIXELFORMATDESCRIPTOR* pfd);
HPALETTE CreatePalette(const LOGPALETTE* palette);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL forceBackground);
UINT RealizePalette(HDC dc);
BOOL SwapBuffers(HDC dc);

// WGL
HGLRC wglCreateContext(HDC dc);
BOOL wglMakeCurrent(HDC dc, HGLRC context);
BOOL wglDeleteContext(HGLRC context);

// Kernel
void Sleep(DWORD milliseconds);

// ---- Not in Win32: the layer's own ----
// Input that reached the windows while the window thread was busy and did not serve them (a
// long command) is stale once the command ends. Drops it: what the window system still
// holds and what is queued, keys, mouse buttons and menu picks alike. A close request (the
// close box) and Escape presses stay queued, in order. Returns the number of messages
// dropped. Window thread; call it right after the long command, before serving messages.
int DropStaleInput();

#endif  // _WIN32
