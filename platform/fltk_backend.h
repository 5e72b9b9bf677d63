// Desktop window system: the Win32 layer of platform/win32.h over FLTK 1.3 and its GLX
// OpenGL window.
//
// | feature        | FLTK behaviour                                                            |
// |----------------|---------------------------------------------------------------------------|
// | windows        | an Fl_Double_Window (caption, position, outer size as asked) holding the   |
// |                | menu bar and an Fl_Gl_Window as the client area                           |
// | menus          | Fl_Menu_Bar built from the AppendMenuA items; "&" access keys with Alt;    |
// |                | a separator becomes a divider under the item above it; choosing an item   |
// |                | posts WM_COMMAND with its identifier; an item given a check state is a    |
// |                | toggle item whose box CheckMenuItem sets and clears in place              |
// | message boxes  | own modal dialog: caption, text, icon by flags (none, "!" for 0x30, "X"    |
// |                | for 0x10, "i" for 0x40), one "OK" button (Enter or Escape also close it)  |
// | keys           | WM_KEYDOWN with Windows virtual-key codes (vk_from_fltk); Alt and Ctrl     |
// |                | combinations stay with the menu bar; Escape reaches the window procedure |
// | mouse          | left and right press: WM_LBUTTONDOWN / WM_RBUTTONDOWN with client x, y;    |
// |                | the wheel: WM_MOUSEWHEEL, WHEEL_DELTA per notch, with screen x, y         |
// | resize         | WM_SIZE with the new client size (posted); a repaint becomes due           |
// | expose         | a repaint becomes due (WM_PAINT from GetMessageA); FLTK itself draws      |
// |                | nothing into the OpenGL window                                            |
// | close box      | WM_CLOSE, which DefWindowProcA turns into DestroyWindow                    |
// | waiting        | GetMessageA waits in Fl::wait; MsgWaitForMultipleObjects in Fl::wait with  |
// |                | its time-out; PeekMessageA reads pending events with Fl::check            |
// | stale input    | DropStaleInput reads what the server holds (XSync) with key and mouse      |
// |                | events swallowed, Escape and the close box excepted                       |
// | file chooser   | Fl_Native_File_Chooser (GTK's dialog where available, else FLTK's own),   |
// |                | in the folder asked for, else the working directory                      |
// | pixel formats  | one: RGBA 8-8-8, depth 24, double buffered (what FLTK asks GLX for)        |
// | context        | the OpenGL window's own GLX context, made current once it is shown         |
// | swap           | glXSwapBuffers of the OpenGL window, outside any FLTK draw callback        |
// | not supported  | several top-level windows with contexts; hiding; WM_CHAR                  |
//
// Window thread only (FLTK's main thread).
#pragma once

#include "platform/win32.h"

// Installs the FLTK backend and opens the display; returns the instance handle for WinMain.
// Ends the process with status 1 and a line on standard error when there is no display.
HINSTANCE fltk_backend_install();

// Windows virtual-key code of an FLTK key (Fl::event_key()) under the modifier state
// (Fl::event_state()); 0 for a key the program has no code for. Keypad digits give
// VK_NUMPAD0..9 with Num Lock on and the cursor-key codes with it off, as Windows does.
int vk_from_fltk(int key, int state);
