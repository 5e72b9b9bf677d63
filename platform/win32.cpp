// The backend-independent half of the Win32 layer: the records behind the handles, class
// registration, the message queue and dispatch, menus, device contexts, pixel formats,
// palettes and WGL contexts. Everything native is delegated to the installed backend.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>

#include "platform/backend.h"

namespace {

struct Class {
  WNDCLASSEXA record;
  std::string name;
};

// The whole state of the layer, in one place.
struct State {
  platform::Backend* backend = nullptr;
  std::vector<Class> classes;
  std::vector<std::unique_ptr<HWND__>> windows;
  std::vector<std::unique_ptr<HMENU__>> menus;
  std::vector<std::unique_ptr<HPALETTE__>> palettes;
  std::vector<std::unique_ptr<HGLRC__>> contexts;
  HGLRC current = nullptr;
  std::deque<MSG> queue;
  bool quit_posted = false;
  int quit_code = 0;
  bool tracing = false;
  platform::Records records;
};

State& state() {
  static State s;
  return s;
}

// Stand-ins for the instance, the stock objects and the system icon and cursor: only their
// identity matters.
char instance_token;
char stock_tokens[20];
char icon_token, cursor_token;

const char* message_name(UINT m) {
  switch (m) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_SIZE: return "WM_SIZE";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_RBUTTONDOWN: return "WM_RBUTTONDOWN";
    default: return "WM_?";
  }
}

void trace(const std::string& entry) {
  if (state().tracing) state().records.calls.push_back(entry);
}

platform::Backend& backend() {
  // Calling the layer before a backend is installed is a programming error of the caller.
  if (!state().backend) {
    std::fputs("platform: no window-system backend installed\n", stderr);
    std::abort();
  }
  return *state().backend;
}

HWND find_window(HWND w) {
  for (auto& p : state().windows)
    if (p.get() == w) return w;
  return nullptr;
}

HDC find_dc(HDC dc) {
  for (auto& p : state().windows)
    if (p->dc.get() == dc) return dc;
  return nullptr;
}

HMENU find_menu(HMENU m) {
  for (auto& p : state().menus)
    if (p.get() == m) return m;
  return nullptr;
}

HPALETTE find_palette(HGDIOBJ o) {
  for (auto& p : state().palettes)
    if (p.get() == o) return p.get();
  return nullptr;
}

HGLRC find_context(HGLRC c) {
  for (auto& p : state().contexts)
    if (p.get() == c) return c;
  return nullptr;
}

LRESULT deliver(HWND w, UINT msg, WPARAM wp, LPARAM lp, const char* how) {
  if (state().tracing) trace(std::string(how) + " " + message_name(msg));
  return w->proc(w, msg, wp, lp);
}

// Frees a menu with its drop-downs, as Win32 does for the menu of a destroyed window.
void free_menu(HMENU m) {
  if (!find_menu(m)) return;
  for (auto& item : m->items)
    if (item.popup) free_menu(item.popup);
  auto& menus = state().menus;
  menus.erase(
      std::remove_if(menus.begin(), menus.end(), [m](const auto& p) { return p.get() == m; }),
      menus.end());
}

HMENU new_menu(bool popup) {
  auto m = std::make_unique<HMENU__>();
  m->is_popup = popup;
  state().menus.push_back(std::move(m));
  return state().menus.back().get();
}

// Closest offered format: the requested buffer flags and pixel type must match; among
// those, the one whose colour and depth bits come nearest to the request from above.
int choose_format(std::span<const PIXELFORMATDESCRIPTOR> formats,
                  const PIXELFORMATDESCRIPTOR& want) {
  const DWORD must = want.dwFlags & (PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER);
  int best = 0;
  long best_cost = 0;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    const auto& f = formats[i];
    if ((f.dwFlags & must) != must || f.iPixelType != want.iPixelType) continue;
    auto shortfall = [](int have, int asked) {
      return have >= asked ? have - asked : 1000 * (asked - have);
    };
    long cost = shortfall(f.cDepthBits, want.cDepthBits) + shortfall(f.cColorBits, want.cColorBits);
    if (best == 0 || cost < best_cost) {
      best = static_cast<int>(i) + 1;
      best_cost = cost;
    }
  }
  return best;
}

}  // namespace

namespace platform {

HINSTANCE install_backend(Backend* b) {
  state().backend = b;
  return reinterpret_cast<HINSTANCE>(&instance_token);
}

void reset() {
  State& s = state();
  if (s.current && s.backend) s.backend->make_current(nullptr, nullptr);
  // A context whose window was destroyed has already lost its native context.
  for (auto& c : s.contexts)
    if (s.backend && c->native) s.backend->delete_context(c->native);
  for (auto& w : s.windows)
    if (s.backend) s.backend->destroy_window(w.get());
  Backend* keep = s.backend;
  bool tracing = s.tracing;
  s = State{};
  s.backend = keep;
  s.tracing = tracing;
}

void post(HWND w, UINT msg, WPARAM wp, LPARAM lp) { PostMessageA(w, msg, wp, lp); }

void client_resized(HWND w, int width, int height) {
  if (!find_window(w)) return;
  w->client_width = width;
  w->client_height = height;
  // Only the newest size matters to the window procedure.
  auto& q = state().queue;
  q.erase(std::remove_if(q.begin(), q.end(),
                         [w](const MSG& m) { return m.hwnd == w && m.message == WM_SIZE; }),
          q.end());
  PostMessageA(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
  w->needs_paint = true;  // CS_HREDRAW | CS_VREDRAW: the whole client area is redrawn
}

void invalidate(HWND w) {
  if (find_window(w)) w->needs_paint = true;
}

bool is_window(HWND w) { return find_window(w) != nullptr; }

bool next_message(MSG* msg) {
  State& s = state();
  if (!s.queue.empty() && s.queue.front().message != WM_QUIT) {
    *msg = s.queue.front();
    s.queue.pop_front();
    return true;
  }
  if (!s.queue.empty() || s.quit_posted) return false;
  for (auto& w : s.windows)
    if (w->shown && w->needs_paint) {
      *msg = MSG{w.get(), WM_PAINT, 0, 0, 0, {0, 0}};
      return true;
    }
  return false;
}

HWND window_of(const void* native) {
  for (auto& p : state().windows)
    if (p->native == native) return p.get();
  return nullptr;
}

PIXELFORMATDESCRIPTOR gl_window_format(BYTE colour_bits, Channels c, BYTE depth_bits,
                                       DWORD extra_flags) {
  PIXELFORMATDESCRIPTOR f{};
  f.nSize = sizeof f;
  f.nVersion = 1;
  f.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER | extra_flags;
  f.iPixelType = PFD_TYPE_RGBA;
  f.cColorBits = colour_bits;
  f.cRedBits = c.red;
  f.cRedShift = c.red_shift;
  f.cGreenBits = c.green;
  f.cGreenShift = c.green_shift;
  f.cBlueBits = c.blue;
  f.cBlueShift = c.blue_shift;
  f.cAlphaBits = c.alpha;
  f.cAlphaShift = c.alpha_shift;
  f.cDepthBits = depth_bits;
  f.iLayerType = PFD_MAIN_PLANE;
  return f;
}

const Records& records() { return state().records; }
void clear_records() { state().records = Records{}; }
void set_tracing(bool on) { state().tracing = on; }

}  // namespace platform

// ---- USER: classes, windows, messages ----

ATOM RegisterClassExA(const WNDCLASSEXA* wc) {
  trace("RegisterClassExA");
  if (!wc || wc->cbSize != sizeof(WNDCLASSEXA) || !wc->lpfnWndProc || !wc->lpszClassName) return 0;
  for (auto& c : state().classes)
    if (c.name == wc->lpszClassName) return 0;  // already registered
  state().classes.push_back({*wc, wc->lpszClassName});
  state().classes.back().record.lpszClassName = nullptr;  // the caller's pointer may not live
  state().records.classes.push_back(*wc);
  state().records.class_names.push_back(wc->lpszClassName);
  return static_cast<ATOM>(0xC000 + state().classes.size());
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     void* param) {
  trace("CreateWindowExA");
  state().records.creates.push_back({exStyle, className ? className : "",
                                     windowName ? windowName : "", style, x, y, width, height,
                                     parent, menu, instance, param});
  if (!className) return nullptr;
  const Class* cls = nullptr;
  for (auto& c : state().classes)
    if (c.name == className) cls = &c;
  if (!cls) return nullptr;

  auto owned = std::make_unique<HWND__>();
  HWND w = owned.get();
  w->class_name = className;
  w->title = windowName ? windowName : "";
  w->proc = cls->record.lpfnWndProc;
  w->x = x;
  w->y = y;
  w->width = width;
  w->height = height;
  w->dc = std::make_unique<HDC__>();
  w->dc->window = w;
  if (!backend().create_window(w)) return nullptr;
  state().windows.push_back(std::move(owned));

  if (menu && find_menu(menu)) SetMenu(w, menu);
  if (deliver(w, WM_CREATE, 0, 0, "send") == -1) {
    DestroyWindow(w);
    return nullptr;
  }
  return find_window(w);
}

BOOL ShowWindow(HWND hwnd, int cmdShow) {
  trace("ShowWindow");
  HWND w = find_window(hwnd);
  if (!w) return FALSE;
  const bool was_visible = w->shown;
  if (cmdShow == SW_HIDE || was_visible) return was_visible;
  backend().show_window(w);
  w->shown = true;
  // The first showing reports the client size synchronously, as Win32 does.
  deliver(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(w->client_width, w->client_height), "send");
  return FALSE;
}

BOOL UpdateWindow(HWND hwnd) {
  trace("UpdateWindow");
  HWND w = find_window(hwnd);
  if (!w) return FALSE;
  if (w->shown && w->needs_paint) deliver(w, WM_PAINT, 0, 0, "send");
  return TRUE;
}

BOOL DestroyWindow(HWND hwnd) {
  trace("DestroyWindow");
  HWND w = find_window(hwnd);
  if (!w) return FALSE;
  deliver(w, WM_DESTROY, 0, 0, "send");
  if (!find_window(w)) return TRUE;  // destroyed again from inside WM_DESTROY
  for (auto& c : state().contexts)
    if (c->window == w) {
      if (state().current == c.get()) {
        backend().make_current(nullptr, nullptr);
        state().current = nullptr;
      }
      backend().delete_context(c->native);
      c->native = nullptr;
      c->window = nullptr;
    }
  backend().destroy_window(w);
  free_menu(w->menu);
  auto& ws = state().windows;
  ws.erase(std::remove_if(ws.begin(), ws.end(), [w](const auto& p) { return p.get() == w; }),
           ws.end());
  return TRUE;
}

namespace {

bool in_filter(UINT message, UINT lo, UINT hi) {
  return (lo == 0 && hi == 0) || (message >= lo && message <= hi);
}

// The next message for the window thread within the filter, in the order the queue serves
// them: posted messages, then the quit request, then a due repaint (which stays due until the
// window is validated). Copied to *msg when msg is not null, taken off when `remove`.
bool next_message(MSG* msg, HWND hwnd, UINT lo, UINT hi, bool remove) {
  State& s = state();
  for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
    const bool for_window = hwnd == nullptr || it->hwnd == hwnd || it->message == WM_QUIT;
    if (!for_window || !in_filter(it->message, lo, hi)) continue;
    if (msg) *msg = *it;
    if (remove) s.queue.erase(it);
    return true;
  }
  if (s.quit_posted && in_filter(WM_QUIT, lo, hi)) {
    if (msg) *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quit_code), 0, 0, {0, 0}};
    if (remove) s.quit_posted = false;
    return true;
  }
  if (in_filter(WM_PAINT, lo, hi))
    for (auto& w : s.windows)
      if (w->shown && w->needs_paint && (hwnd == nullptr || w.get() == hwnd)) {
        if (msg) *msg = MSG{w.get(), WM_PAINT, 0, 0, 0, {0, 0}};
        return true;
      }
  return false;
}

}  // namespace

BOOL GetMessageA(MSG* msg, HWND, UINT, UINT) {
  for (;;) {
    if (next_message(msg, nullptr, 0, 0, true)) return msg->message == WM_QUIT ? 0 : 1;
    if (!backend().wait_events()) return -1;  // msg keeps what it held
  }
}

BOOL PeekMessageA(MSG* msg, HWND hwnd, UINT lo, UINT hi, UINT remove) {
  backend().poll_events(false);
  return next_message(msg, hwnd, lo, hi, (remove & PM_REMOVE) != 0) ? TRUE : FALSE;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE*, BOOL, DWORD milliseconds, DWORD) {
  if (count != 0) return static_cast<DWORD>(-1);  // WAIT_FAILED: no objects to wait on here
  backend().poll_events(false);
  if (next_message(nullptr, nullptr, 0, 0, false)) return WAIT_OBJECT_0;
  if (milliseconds == 0) return WAIT_TIMEOUT;
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return WAIT_TIMEOUT;
    if (!backend().wait_events_for(static_cast<DWORD>(left))) {
      backend().sleep(static_cast<DWORD>(left));  // nothing can arrive: just let the time pass
      return next_message(nullptr, nullptr, 0, 0, false) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    if (next_message(nullptr, nullptr, 0, 0, false)) return WAIT_OBJECT_0;
  }
}

BOOL IsWindow(HWND hwnd) { return find_window(hwnd) ? TRUE : FALSE; }

int DropStaleInput() {
  State& s = state();
  backend().poll_events(true);
  auto stale = [](const MSG& m) {
    const bool key = m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST;
    const bool mouse = m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST;
    const bool escape = m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE;
    return ((key && !escape) || mouse || m.message == WM_COMMAND);
  };
  const auto before = s.queue.size();
  s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(), stale), s.queue.end());
  const int dropped = static_cast<int>(before - s.queue.size());
  trace("DropStaleInput " + std::to_string(dropped));
  return dropped;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg) return 0;
  HWND w = find_window(msg->hwnd);
  if (!w) return 0;
  return deliver(w, msg->message, msg->wParam, msg->lParam, "dispatch");
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (hwnd && !find_window(hwnd)) return FALSE;
  state().queue.push_back(MSG{hwnd, msg, wp, lp, 0, {0, 0}});
  return TRUE;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  HWND w = find_window(hwnd);
  return w ? deliver(w, msg, wp, lp, "send") : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
  if (state().tracing) trace(std::string("DefWindowProcA ") + message_name(msg));
  HWND w = find_window(hwnd);
  if (!w) return 0;
  switch (msg) {
    case WM_CLOSE: DestroyWindow(w); return 0;
    case WM_PAINT: w->needs_paint = false; return 0;
    default: return 0;
  }
}

void PostQuitMessage(int exitCode) {
  trace("PostQuitMessage " + std::to_string(exitCode));
  state().quit_posted = true;
  state().quit_code = exitCode;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  trace("MessageBoxA");
  HWND o = find_window(owner);
  return backend().message_box(o, text ? text : "", caption ? caption : "Error", type);
}

BOOL GetClientRect(HWND hwnd, RECT* rect) {
  HWND w = find_window(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->client_width, w->client_height};
  return TRUE;
}

// ---- COMDLG ----

BOOL GetOpenFileNameA(OPENFILENAMEA* ofn) {
  trace("GetOpenFileNameA");
  if (!ofn || ofn->lStructSize != sizeof(OPENFILENAMEA) || !ofn->lpstrFile || ofn->nMaxFile == 0)
    return FALSE;
  // "description\0pattern;pattern\0...\0\0" into types.
  std::vector<platform::Backend::FileType> types;
  for (const char* p = ofn->lpstrFilter; p && *p;) {
    platform::Backend::FileType t;
    t.description = p;
    p += t.description.size() + 1;
    const std::string patterns = p;
    p += patterns.size() + 1;
    for (std::size_t from = 0; from <= patterns.size();) {
      std::size_t end = patterns.find(';', from);
      if (end == std::string::npos) end = patterns.size();
      if (end > from) t.patterns.push_back(patterns.substr(from, end - from));
      from = end + 1;
    }
    types.push_back(std::move(t));
  }
  HWND owner = find_window(ofn->hwndOwner);
  std::string path;
  if (!backend().choose_file(owner, ofn->lpstrTitle ? ofn->lpstrTitle : "",
                             ofn->lpstrInitialDir ? ofn->lpstrInitialDir : "", types, &path))
    return FALSE;
  if (path.empty() || path.size() + 1 > ofn->nMaxFile) return FALSE;
  std::copy(path.begin(), path.end(), ofn->lpstrFile);
  ofn->lpstrFile[path.size()] = '\0';
  return TRUE;
}

// ---- USER: menus ----

HMENU CreateMenu() {
  trace("CreateMenu");
  return new_menu(false);
}

HMENU CreatePopupMenu() {
  trace("CreatePopupMenu");
  return new_menu(true);
}

BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR idOrPopup, LPCSTR text) {
  HMENU m = find_menu(menu);
  if (!m) return FALSE;
  HMENU__::Item item{flags, idOrPopup, nullptr, {}};
  if (flags & MF_POPUP) {
    item.popup = find_menu(reinterpret_cast<HMENU>(idOrPopup));
    if (!item.popup) return FALSE;
    item.id = 0;
  }
  if (!(flags & MF_SEPARATOR) && text) item.text = text;
  item.check_item = (flags & MF_CHECKED) != 0;
  m->items.push_back(std::move(item));
  return TRUE;
}

namespace {

HMENU__::Item* find_item(HMENU m, UINT id) {
  for (auto& item : m->items) {
    if (item.popup) {
      if (HMENU__::Item* in = find_item(item.popup, id)) return in;
    } else if (!(item.flags & MF_SEPARATOR) && item.id == id) {
      return &item;
    }
  }
  return nullptr;
}

bool holds(HMENU root, HMENU m) {
  if (root == m) return true;
  for (const auto& item : root->items)
    if (item.popup && holds(item.popup, m)) return true;
  return false;
}

}  // namespace

DWORD CheckMenuItem(HMENU menu, UINT id, UINT check) {
  trace("CheckMenuItem " + std::to_string(id));
  HMENU m = find_menu(menu);
  HMENU__::Item* item = m ? find_item(m, id) : nullptr;
  if (!item) return static_cast<DWORD>(-1);
  const DWORD before = item->flags & MF_CHECKED;
  const bool checked = (check & MF_CHECKED) != 0;
  item->flags = (item->flags & ~static_cast<UINT>(MF_CHECKED)) | (checked ? MF_CHECKED : 0);
  item->check_item = true;
  for (auto& w : state().windows)
    if (w->menu && holds(w->menu, m)) backend().check_menu_item(w.get(), id, checked);
  return before;
}

BOOL SetMenu(HWND hwnd, HMENU menu) {
  trace("SetMenu");
  HWND w = find_window(hwnd);
  if (!w || (menu && !find_menu(menu))) return FALSE;
  w->menu = menu;
  backend().set_menu(w, menu);
  return TRUE;
}

HMENU GetMenu(HWND hwnd) {
  HWND w = find_window(hwnd);
  return w ? w->menu : nullptr;
}

// ---- USER: resources ----

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  trace("LoadIconA " + std::to_string(reinterpret_cast<UINT_PTR>(name)));
  if (instance || name != IDI_APPLICATION) return nullptr;
  return reinterpret_cast<HICON>(&icon_token);
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  trace("LoadCursorA " + std::to_string(reinterpret_cast<UINT_PTR>(name)));
  if (instance || name != IDC_ARROW) return nullptr;
  return reinterpret_cast<HCURSOR>(&cursor_token);
}

// ---- GDI ----

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  trace("BeginPaint");
  HWND w = find_window(hwnd);
  if (!w || !ps) return nullptr;
  *ps = PAINTSTRUCT{};
  ps->hdc = w->dc.get();
  ps->rcPaint = RECT{0, 0, w->client_width, w->client_height};
  w->needs_paint = false;
  return w->dc.get();
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT*) {
  trace("EndPaint");
  return find_window(hwnd) ? TRUE : FALSE;
}

HDC GetDC(HWND hwnd) {
  trace("GetDC");
  HWND w = find_window(hwnd);
  return w ? w->dc.get() : nullptr;
}

int ReleaseDC(HWND hwnd, HDC dc) {
  trace("ReleaseDC");
  HWND w = find_window(hwnd);
  // A class device context stays with its window; releasing it succeeds and changes nothing.
  return (w && w->dc.get() == dc) ? 1 : 0;
}

HWND WindowFromDC(HDC dc) {
  trace("WindowFromDC");
  HDC d = find_dc(dc);
  return d ? d->window : nullptr;
}

HGDIOBJ GetStockObject(int which) {
  trace("GetStockObject " + std::to_string(which));
  if (which < 0 || which >= static_cast<int>(sizeof stock_tokens)) return nullptr;
  return &stock_tokens[which];
}

BOOL DeleteObject(HGDIOBJ object) {
  trace("DeleteObject");
  if (HPALETTE p = find_palette(object)) {
    for (auto& w : state().windows)
      if (w->dc->palette == p) w->dc->palette = nullptr;
    auto& ps = state().palettes;
    ps.erase(std::remove_if(ps.begin(), ps.end(), [p](const auto& q) { return q.get() == p; }),
             ps.end());
    return TRUE;
  }
  const char* o = static_cast<const char*>(object);
  return (o >= stock_tokens && o < stock_tokens + sizeof stock_tokens) ? TRUE : FALSE;
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* pfd) {
  trace("ChoosePixelFormat");
  if (pfd) state().records.choose_requests.push_back(*pfd);
  HDC d = find_dc(dc);
  if (!d || !pfd || pfd->nSize != sizeof(PIXELFORMATDESCRIPTOR)) return 0;
  return choose_format(backend().pixel_formats(), *pfd);
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* pfd) {
  trace("SetPixelFormat " + std::to_string(format));
  if (pfd) state().records.set_requests.push_back(*pfd);
  state().records.set_formats.push_back(format);
  HDC d = find_dc(dc);
  const int count = static_cast<int>(backend().pixel_formats().size());
  if (!d || format < 1 || format > count) return FALSE;
  // A window's format is set once for its life.
  if (d->pixel_format != 0) return d->pixel_format == format ? TRUE : FALSE;
  if (!backend().accept_pixel_format(d->window, format)) return FALSE;
  d->pixel_format = format;
  return TRUE;
}

int GetPixelFormat(HDC dc) {
  trace("GetPixelFormat");
  HDC d = find_dc(dc);
  return d ? d->pixel_format : 0;
}

int DescribePixelFormat(HDC dc, int format, UINT bytes, PIXELFORMATDESCRIPTOR* pfd) {
  trace("DescribePixelFormat " + std::to_string(format));
  if (!find_dc(dc)) return 0;
  auto formats = backend().pixel_formats();
  const int count = static_cast<int>(formats.size());
  if (pfd) {
    if (format < 1 || format > count || bytes < sizeof(PIXELFORMATDESCRIPTOR)) return 0;
    *pfd = formats[format - 1];
  }
  return count;
}

HPALETTE CreatePalette(const LOGPALETTE* palette) {
  trace("CreatePalette");
  if (!palette || palette->palVersion != 0x300 || palette->palNumEntries == 0) return nullptr;
  auto p = std::make_unique<HPALETTE__>();
  p->entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
  state().palettes.push_back(std::move(p));
  return state().palettes.back().get();
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL) {
  trace("SelectPalette");
  HDC d = find_dc(dc);
  if (!d || (palette && !find_palette(palette))) return nullptr;
  HPALETTE previous = d->palette;
  d->palette = palette;
  d->palette_realized = false;
  return previous;
}

UINT RealizePalette(HDC dc) {
  trace("RealizePalette");
  HDC d = find_dc(dc);
  if (!d || !d->palette) return 0;
  d->palette_realized = true;
  return static_cast<UINT>(d->palette->entries.size());
}

BOOL SwapBuffers(HDC dc) {
  trace("SwapBuffers");
  HDC d = find_dc(dc);
  return (d && backend().swap_buffers(d->window)) ? TRUE : FALSE;
}

// ---- WGL ----

HGLRC wglCreateContext(HDC dc) {
  trace("wglCreateContext");
  HDC d = find_dc(dc);
  if (!d || d->pixel_format == 0) return nullptr;
  void* native = backend().create_context(d->window);
  if (!native) return nullptr;
  state().contexts.push_back(std::make_unique<HGLRC__>(HGLRC__{d->window, native}));
  return state().contexts.back().get();
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
  trace("wglMakeCurrent");
  State& s = state();
  if (!context) {
    if (s.current) backend().make_current(nullptr, nullptr);
    s.current = nullptr;
    return TRUE;
  }
  HDC d = find_dc(dc);
  HGLRC c = find_context(context);
  if (!d || !c || !c->native || c->window != d->window) return FALSE;
  if (!backend().make_current(d->window, c->native)) return FALSE;
  s.current = c;
  return TRUE;
}

BOOL wglDeleteContext(HGLRC context) {
  trace("wglDeleteContext");
  State& s = state();
  HGLRC c = find_context(context);
  if (!c) return FALSE;
  if (s.current == c) {
    backend().make_current(nullptr, nullptr);
    s.current = nullptr;
  }
  if (c->native) backend().delete_context(c->native);
  auto& cs = s.contexts;
  cs.erase(std::remove_if(cs.begin(), cs.end(), [c](const auto& p) { return p.get() == c; }),
           cs.end());
  return TRUE;
}

// ---- Kernel ----

void Sleep(DWORD milliseconds) { backend().sleep(milliseconds); }
