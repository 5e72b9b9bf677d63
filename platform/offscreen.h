// Headless window system for tests: the Win32 layer of platform/win32.h over an OSMesa
// context, no display needed. It is a real backend: the window procedure gets the same
// messages in the same order as on the desktop and OpenGL really draws.
//
// | feature        | offscreen behaviour                                                    |
// |----------------|------------------------------------------------------------------------|
// | windows        | records only; client size = the outer size asked for, until resize()   |
// | menus          | kept as data; read back with menu_bar() (MF_CHECKED in the flags of a  |
// |                | checked item); no menu is drawn                                        |
// | message boxes  | recorded (owner, caption, text, flags), echoed as one line on standard  |
// |                | error, and answered IDOK at once                                       |
// | input          | none of its own: tests post or send messages, or queue on_idle actions |
// |                | (run one at a time whenever the program waits for messages)           |
// | file chooser   | recorded (owner, caption, folder, file types), answered with a set path |
// | pixel formats  | one true-colour RGBA format (8 bits a channel, depth 24) unless a test  |
// |                | sets others with set_pixel_formats()                                   |
// | context        | OSMesa, RGBA 8 bit, depth 24, compatibility profile (fixed function)    |
// | swap           | glFinish, copy of the drawing buffer into the front image, count + 1    |
// | read-back      | front(): the last frame shown; glReadPixels sees the drawing buffer     |
// | Sleep          | sleeps for real and is counted                                          |
// | not supported  | several contexts current in turn on different windows at once; threads  |
//
// Everything here runs on the test's main thread, the one that plays the window thread.
// Link: zarvo_platform_offscreen (brings OSMesa, which also provides the gl* functions; a
// test binary must not link libGL as well).
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win32.h"

namespace offscreen {

// Installs the offscreen backend on first use, then forgets every window, class, menu,
// palette, context, queued message, record, message box, frame and idle action of earlier
// tests, restores the default pixel format and clears the failure switches. Returns the
// instance handle to pass to the code under test.
HINSTANCE reset();
// reset() starts recording every call (records().calls); a program that shows frames for
// as long as its input lasts turns that off so its memory stays bounded.
void keep_call_records(bool on);

// ---- frames ----

// The picture shown by the last SwapBuffers: width x height pixels, RGBA bytes, rows from
// the top of the client area down (so (0, 0) is the top-left pixel).
struct Image {
  int width = 0, height = 0;
  std::vector<unsigned char> rgba;
  // Red, green, blue of pixel (x, y), y counted from the top.
  std::array<int, 3> rgb(int x, int y) const;
};
const Image& front();
int frame_count();  // SwapBuffers calls that showed a frame since reset()

// ---- message boxes ----

struct MessageBoxRecord {
  HWND owner;
  std::string caption;
  std::string text;
  UINT type;
};
const std::vector<MessageBoxRecord>& message_boxes();

// ---- driving the window ----
//
// Messages go through the layer itself: SendMessageA delivers at once, PostMessageA queues
// for GetMessageA or pump(); GetClientRect gives the client size.

// The user resizes the client area of w to width x height: the drawing buffer follows,
// WM_SIZE is sent at once, and a repaint becomes due.
void resize(HWND w, int width, int height);
// The same, as the desktop window system reports it: the drawing buffer follows at once,
// WM_SIZE is queued (replacing a WM_SIZE still queued) and a repaint becomes due.
void resize_queued(HWND w, int width, int height);
// Part of w was uncovered: a repaint becomes due (GetMessageA or pump() delivers it).
void expose(HWND w);
// Dispatches every queued message and due repaint without waiting; returns how many. Stops
// at WM_QUIT, which stays pending for GetMessageA.
int pump();
// Queues an action for the moment GetMessageA would wait for input; each wait runs the
// oldest action. With none left, GetMessageA returns -1 and starved() turns true.
void on_idle(std::function<void()> action);
bool starved();
int sleep_count();  // Sleep calls since reset()

// ---- file chooser ----
struct ChooserRecord {
  HWND owner;
  std::string caption;
  std::string directory;  // shown first; empty for the working directory
  std::vector<platform::Backend::FileType> types;
};
// What GetOpenFileNameA answers from now on: this path, or (empty) a cancel.
void answer_file_chooser(const std::string& path);
const std::vector<ChooserRecord>& file_choosers();

// ---- set-up of the simulated system ----

// The default offer: RGBA, 32 colour bits (8-8-8-8), depth 24, double buffered, OpenGL.
PIXELFORMATDESCRIPTOR true_colour_format();
// An 8-bit 3-3-2 format that needs a palette (red shift 0, green 3, blue 6).
PIXELFORMATDESCRIPTOR palette_format();
// Replaces the offered formats (an empty list makes ChoosePixelFormat fail).
void set_pixel_formats(std::vector<PIXELFORMATDESCRIPTOR> formats);

struct Failures {
  bool create_window = false;     // the native window cannot be made
  bool set_pixel_format = false;  // SetPixelFormat refuses every format
  bool create_context = false;    // wglCreateContext returns null
};
void set_failures(Failures f);

// ---- a window to draw in, set up through the Win32 layer in the order the shell uses ----

// Registers class `name` (the caller's string, kept by the layer) with window procedure
// `proc` (DefWindowProcA for a window that only draws) and class style `style` for
// `instance`. 0 on failure.
ATOM register_class(const char* name, WNDPROC proc, HINSTANCE instance, UINT style = 0);
// Shows w, gives its device context (stored in *dc) the true-colour format and makes a new
// context current on the calling thread. Returns the context, which the layer owns until
// the next reset; null as soon as a step fails.
HGLRC make_current(HWND w, HDC* dc);

// ---- what the program asked for ----

const platform::Records& records();  // classes, window arguments, pixel-format requests, calls

// The window's menu bar as data, items in order, drop-downs nested.
struct MenuEntry {
  UINT flags;
  UINT_PTR id;
  std::string text;
  std::vector<MenuEntry> popup;
};
std::vector<MenuEntry> menu_bar(HWND w);

// The palette selected into dc (the device context of a live window) and whether it was
// realised; empty when none.
std::vector<PALETTEENTRY> selected_palette(HDC dc);
bool palette_realized(HDC dc);

}  // namespace offscreen
