// What a window-system backend provides to the Win32 layer (platform/win32.cpp), and what
// the layer keeps for every backend: the records behind the handles, the message queue and
// the calls backends make to feed it. Only backends and the layer include this header.
//
// The layer owns the windows, menus, palettes and contexts; a backend keeps its native
// objects behind the `native` pointers and never frees a layer record. Window thread only.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/win32.h"

struct HMENU__ {
  struct Item {
    UINT flags;               // MF_STRING, MF_POPUP or MF_SEPARATOR, plus MF_CHECKED when checked
    UINT_PTR id;              // command identifier (0 for a popup)
    HMENU popup;              // the drop-down of an MF_POPUP item, else null
    std::string text;         // as given, "&" marking the access key
    bool check_item = false;  // given a check state at least once: drawn as a check item
  };
  bool is_popup = false;
  std::vector<Item> items;
};

struct HDC__ {
  HWND window = nullptr;
  int pixel_format = 0;  // 1-based index into the backend's formats; 0 until set
  HPALETTE palette = nullptr;
  bool palette_realized = false;
};

struct HWND__ {
  std::string class_name;
  std::string title;
  WNDPROC proc = nullptr;
  int x = 0, y = 0, width = 0, height = 0;  // outer geometry asked for at creation
  int client_width = 0, client_height = 0;  // kept current by the backend
  HMENU menu = nullptr;
  bool shown = false;
  bool needs_paint = true;  // a new window has never been painted
  std::unique_ptr<HDC__> dc;
  void* native = nullptr;  // the backend's window record
};

struct HPALETTE__ {
  std::vector<PALETTEENTRY> entries;
};

struct HGLRC__ {
  HWND window = nullptr;
  void* native = nullptr;  // the backend's context
};

namespace platform {

class Backend {
 public:
  virtual ~Backend() = default;

  // Creates the native window for w (hidden) from its title and outer geometry, and sets
  // w->client_width/height. False when the window cannot be made.
  virtual bool create_window(HWND w) = 0;
  // Makes the window visible and brings its client size up to date.
  virtual void show_window(HWND w) = 0;
  // Releases the native window; w is freed by the layer right after.
  virtual void destroy_window(HWND w) = 0;
  // Shows `bar` (items in order, popups as drop-downs) as the window's menu bar; null
  // removes it. May change the client size.
  virtual void set_menu(HWND w, HMENU bar) = 0;
  // The check state of the item with command `id` in w's menu bar changed (the layer's
  // record already holds it).
  virtual void check_menu_item(HWND w, UINT_PTR id, bool checked) = 0;
  // Modal; returns IDOK once OK was pressed. owner may be null.
  virtual int message_box(HWND owner, const char* text, const char* caption, UINT type) = 0;

  // Formats the window system offers, index i + 1 for element i.
  virtual std::span<const PIXELFORMATDESCRIPTOR> pixel_formats() = 0;
  // Last word on SetPixelFormat after the layer's checks.
  virtual bool accept_pixel_format(HWND w, int format) = 0;
  // A rendering context for the window, null on failure.
  virtual void* create_context(HWND w) = 0;
  // Binds ctx to w on the calling thread; (null, null) unbinds.
  virtual bool make_current(HWND w, void* ctx) = 0;
  virtual void delete_context(void* ctx) = 0;
  // Shows the finished back buffer of w.
  virtual bool swap_buffers(HWND w) = 0;

  // Blocks until the queue may hold something new (input, a resize, an expose); false when
  // nothing can ever arrive.
  virtual bool wait_events() = 0;
  // As wait_events, but returns after `milliseconds` at the latest (true: something may have
  // arrived, or the time is up).
  virtual bool wait_events_for(DWORD milliseconds) = 0;
  // Turns what the window system holds into queued messages without waiting. With
  // drop_input, key and mouse input is discarded instead, except Escape presses; close
  // requests pass either way.
  virtual void poll_events(bool drop_input) = 0;

  // One file type of a file chooser: its description and its patterns ("*.wav").
  struct FileType {
    std::string description;
    std::vector<std::string> patterns;
  };
  // The modal file chooser, showing `directory` first (empty: the working directory); true
  // with the chosen path (UTF-8) in *path, false on cancel.
  virtual bool choose_file(HWND owner, const std::string& title, const std::string& directory,
                           const std::vector<FileType>& types, std::string* path) = 0;
  virtual void sleep(DWORD milliseconds) = 0;
};

// Makes b the backend of every later call; the caller keeps ownership. Returns the handle
// that stands for the program instance.
HINSTANCE install_backend(Backend* b);

// Forgets every window, class, menu, palette, context, queued message, quit request and
// record (without sending messages); the backend stays installed.
void reset();

// For backends: events of the native window.
void post(HWND w, UINT msg, WPARAM wParam, LPARAM lParam);  // appends to the queue
void client_resized(HWND w, int width, int height);         // posts WM_SIZE, repaint due
void invalidate(HWND w);                                    // repaint due
bool is_window(HWND w);                                     // w names a live window
// Takes the next queued message or due repaint without waiting; false when there is none or
// only the quit request is left (which stays pending).
bool next_message(MSG* msg);
HWND window_of(const void* native);  // live window by native record

// For backends: an RGBA format for a double-buffered OpenGL window in the main plane, the
// only kind the program asks for. Bits and shift of each colour channel; alpha 0 for none.
struct Channels {
  BYTE red, red_shift, green, green_shift, blue, blue_shift, alpha = 0, alpha_shift = 0;
};
// colour_bits: all colour bits of a pixel; extra_flags: added to PFD_DRAW_TO_WINDOW |
// PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER. Every other field is 0.
PIXELFORMATDESCRIPTOR gl_window_format(BYTE colour_bits, Channels c, BYTE depth_bits,
                                       DWORD extra_flags = 0);

// What the layer was asked, kept for tests and diagnosis.
struct CreateArgs {
  DWORD ex_style = 0;
  std::string class_name, title;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HMENU menu = nullptr;
  HINSTANCE instance = nullptr;
  void* param = nullptr;
};
struct Records {
  std::vector<WNDCLASSEXA> classes;      // every RegisterClassExA record that succeeded
  std::vector<std::string> class_names;  // parallel: the class names, copied
  std::vector<CreateArgs> creates;       // every CreateWindowExA call
  std::vector<PIXELFORMATDESCRIPTOR> choose_requests, set_requests;
  std::vector<int> set_formats;    // format argument of every SetPixelFormat
  std::vector<std::string> calls;  // one entry per API call and message delivered
};
const Records& records();
void clear_records();
// Off by default; the call list grows by a few entries per frame while on.
void set_tracing(bool on);

}  // namespace platform
