// The viewer's commands: the menu bar, the menu commands, the keys and the mouse buttons.
// Called by MyWndProc on the window thread; each returns the message result.
#pragma once

#include "platform/win32.h"

// Fills the empty menu bar with the viewer's drop-down menus.
void menusor(HMENU bar);

LRESULT menuparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // WM_COMMAND
LRESULT billparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // WM_KEYDOWN
// WM_LBUTTONDOWN and WM_RBUTTONDOWN.
LRESULT egerparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
