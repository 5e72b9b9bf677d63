// The program's entry, its main window with the message dispatch, and the window's OpenGL
// context. Everything here runs on the thread that calls WinMain (the window thread).
#pragma once

#include "platform/win32.h"

extern char myWindowTitle[];      // "MPEG-4 szabványos 'Zarvo' - 1.7v" (UTF-8)
extern char myWindowClassName[];  // "MyWindoClass"
extern HWND hWnd;                 // the main window; null until created

// Registers the class, creates and shows the main window, runs the message loop. Returns
// the quit request's exit code (0), or 1 when the window could not be created.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
// 1 when the window class was registered; 0 after an "Error!" message box.
int MyRegisterClass(HINSTANCE hInstance);
// The shown and painted main window (also stored in hWnd), or null after an "Error!" box.
HWND MyCreateInstance(HINSTANCE hInstance, int nCmdShow);
// The window procedure of the main window.
LRESULT CALLBACK MyWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// After the mesh files were read: a problem they showed that was not said yet goes to
// standard error (one line) and into a modal message box owned by hwnd.
void modellhiba(HWND hwnd);

// OpenGL set-up at WM_CREATE (after the menu bar) and release at WM_DESTROY; they fill and
// clear hDC, hGLRC and hPalette of render/context.h.
void myOGLsetup(HWND hwnd);
void myOGLshutdown(HWND hwnd);
// Double-buffered RGBA with depth, or an "Error" box and exit status 1.
void mySetupPixelFormat(HDC hdc);
// Builds, selects and realises a palette when the window's format needs one.
void mySetupPalette(HDC hdc);
