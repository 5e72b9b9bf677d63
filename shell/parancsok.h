// The viewer's commands: the menu bar, the menu commands, the keys and the mouse buttons.
// Called by MyWndProc on the window thread; each returns the message result (0, or the
// default processing's). The live-mode command and Enter block inside FAPbeolv().
#pragma once

#include "platform/win32.h"

// Fills the empty menu bar with the five drop-down menus: "&Fájl", "&Forgás",
// "&FP kijelölése", "&Nézet", "&Segítség" (separators are items 9009 with empty text).
void menusor(HMENU bar);

LRESULT menuparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // WM_COMMAND
LRESULT billparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);  // WM_KEYDOWN
// WM_LBUTTONDOWN and WM_RBUTTONDOWN; WM_MOUSEWHEEL zooms as they do, one click's step per
// notch (forward: in), within the same bounds.
LRESULT egerparancs(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
