// The offscreen backend: OSMesa renders into a buffer in memory; SwapBuffers copies the
// finished picture into the front image. See platform/offscreen.h for what it supports.
#include "platform/offscreen.h"

#include <GL/osmesa.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <thread>

namespace {

struct Context {
  OSMesaContext mesa = nullptr;
  HWND window = nullptr;
  std::vector<unsigned char> buffer;  // RGBA, rows from the bottom (OSMesa's order)
  int width = 0, height = 0;
};

class Offscreen final : public platform::Backend {
 public:
  // ---- state, all of it ----
  std::vector<PIXELFORMATDESCRIPTOR> formats{offscreen::true_colour_format()};
  offscreen::Failures failures;
  std::vector<std::unique_ptr<Context>> contexts;
  Context* current = nullptr;
  offscreen::Image front;
  int frames = 0;
  std::vector<offscreen::MessageBoxRecord> boxes;
  std::deque<std::function<void()>> idle;
  bool starved = false;
  int sleeps = 0;
  std::string chooser_answer;  // "" cancels
  std::vector<offscreen::ChooserRecord> choosers;

  bool bind(Context* c) {
    const int w = std::max(1, c->window->client_width);
    const int h = std::max(1, c->window->client_height);
    if (w != c->width || h != c->height) {
      c->buffer.assign(static_cast<std::size_t>(w) * h * 4, 0);
      c->width = w;
      c->height = h;
    }
    if (!OSMesaMakeCurrent(c->mesa, c->buffer.data(), GL_UNSIGNED_BYTE, w, h)) return false;
    current = c;
    return true;
  }

  bool create_window(HWND w) override {
    if (failures.create_window) return false;
    w->client_width = w->width;
    w->client_height = w->height;
    return true;
  }
  void show_window(HWND) override {}
  void destroy_window(HWND w) override {
    for (auto& c : contexts)
      if (c->window == w) c->window = nullptr;
  }
  void set_menu(HWND, HMENU) override {}
  void check_menu_item(HWND, UINT_PTR, bool) override {}
  int message_box(HWND owner, const char* text, const char* caption, UINT type) override {
    boxes.push_back({owner, caption, text, type});
    // Also where a test that ends the process (exit status 1 after a box) can see it.
    std::fprintf(stderr, "[MessageBoxA owner=%s flags=0x%x] %s: %s\n", owner ? "window" : "none",
                 type, caption, text);
    return IDOK;
  }

  std::span<const PIXELFORMATDESCRIPTOR> pixel_formats() override { return formats; }
  bool accept_pixel_format(HWND, int) override { return !failures.set_pixel_format; }

  void* create_context(HWND w) override {
    if (failures.create_context) return nullptr;
    OSMesaContext mesa = OSMesaCreateContextExt(OSMESA_RGBA, 24, 0, 0, nullptr);
    if (!mesa) {
      std::fputs("offscreen: OSMesaCreateContextExt failed\n", stderr);
      return nullptr;
    }
    contexts.push_back(std::make_unique<Context>());
    contexts.back()->mesa = mesa;
    contexts.back()->window = w;
    return contexts.back().get();
  }
  bool make_current(HWND w, void* ctx) override {
    if (!ctx) {
      OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
      current = nullptr;
      return true;
    }
    auto* c = static_cast<Context*>(ctx);
    if (c->window != w) return false;
    return bind(c);
  }
  void delete_context(void* ctx) override {
    auto* c = static_cast<Context*>(ctx);
    if (current == c) {
      OSMesaMakeCurrent(nullptr, nullptr, 0, 0, 0);
      current = nullptr;
    }
    OSMesaDestroyContext(c->mesa);
    contexts.erase(std::remove_if(contexts.begin(), contexts.end(),
                                  [c](const auto& p) { return p.get() == c; }),
                   contexts.end());
  }
  bool swap_buffers(HWND w) override {
    if (!current || current->window != w) return false;
    glFinish();
    front.width = current->width;
    front.height = current->height;
    front.rgba.resize(current->buffer.size());
    const std::size_t row = static_cast<std::size_t>(current->width) * 4;
    for (int y = 0; y < current->height; ++y)
      std::copy_n(current->buffer.data() + row * (current->height - 1 - y), row,
                  front.rgba.data() + row * y);
    ++frames;
    return true;
  }

  bool wait_events() override {
    if (idle.empty()) {
      starved = true;
      return false;
    }
    auto action = std::move(idle.front());
    idle.pop_front();
    action();
    return true;
  }
  bool wait_events_for(DWORD ms) override {
    if (!idle.empty()) {
      auto action = std::move(idle.front());
      idle.pop_front();
      action();
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  void poll_events(bool) override {}
  bool choose_file(HWND owner, const std::string& title, const std::string& directory,
                   const std::vector<FileType>& types, std::string* path) override {
    choosers.push_back({owner, title, directory, types});
    *path = chooser_answer;
    return !path->empty();
  }

  void sleep(DWORD ms) override {
    ++sleeps;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

Offscreen* backend = nullptr;

Offscreen& the() {
  if (!backend) {
    std::fputs("offscreen: reset() must run before any other call\n", stderr);
    std::abort();
  }
  return *backend;
}

void collect(HMENU m, std::vector<offscreen::MenuEntry>& out) {
  for (const auto& item : m->items) {
    offscreen::MenuEntry e{item.flags, item.id, item.text, {}};
    if (item.popup) collect(item.popup, e.popup);
    out.push_back(std::move(e));
  }
}

}  // namespace

namespace offscreen {

HINSTANCE reset() {
  static Offscreen instance;
  backend = &instance;
  HINSTANCE h = platform::install_backend(&instance);
  platform::set_tracing(true);
  platform::reset();  // releases the contexts through the backend first
  Offscreen& b = instance;
  b.formats = {true_colour_format()};
  b.failures = {};
  b.front = {};
  b.frames = 0;
  b.boxes.clear();
  b.idle.clear();
  b.starved = false;
  b.sleeps = 0;
  b.chooser_answer.clear();
  b.choosers.clear();
  return h;
}

void keep_call_records(bool on) { platform::set_tracing(on); }

std::array<int, 3> Image::rgb(int x, int y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {-1, -1, -1};
  const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
  return {rgba[i], rgba[i + 1], rgba[i + 2]};
}

const Image& front() { return the().front; }
int frame_count() { return the().frames; }
const std::vector<MessageBoxRecord>& message_boxes() { return the().boxes; }

void resize(HWND w, int width, int height) {
  Offscreen& b = the();
  if (!platform::is_window(w)) return;
  w->client_width = width;
  w->client_height = height;
  if (b.current && b.current->window == w) b.bind(b.current);
  platform::invalidate(w);
  SendMessageA(w, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
}

void resize_queued(HWND w, int width, int height) {
  Offscreen& b = the();
  if (!platform::is_window(w)) return;
  w->client_width = width;
  w->client_height = height;
  if (b.current && b.current->window == w) b.bind(b.current);
  platform::client_resized(w, width, height);
}

void expose(HWND w) { platform::invalidate(w); }

int pump() {
  int n = 0;
  MSG msg;
  while (platform::next_message(&msg)) {
    DispatchMessageA(&msg);
    ++n;
  }
  return n;
}

void on_idle(std::function<void()> action) { the().idle.push_back(std::move(action)); }
bool starved() { return the().starved; }
int sleep_count() { return the().sleeps; }

void answer_file_chooser(const std::string& path) { the().chooser_answer = path; }
const std::vector<ChooserRecord>& file_choosers() { return the().choosers; }

PIXELFORMATDESCRIPTOR true_colour_format() {
  return platform::gl_window_format(32,
                                    {.red = 8,
                                     .red_shift = 0,
                                     .green = 8,
                                     .green_shift = 8,
                                     .blue = 8,
                                     .blue_shift = 16,
                                     .alpha = 8,
                                     .alpha_shift = 24},
                                    24);
}

PIXELFORMATDESCRIPTOR palette_format() {
  return platform::gl_window_format(
      8, {.red = 3, .red_shift = 0, .green = 3, .green_shift = 3, .blue = 2, .blue_shift = 6}, 16,
      PFD_NEED_PALETTE);
}

void set_pixel_formats(std::vector<PIXELFORMATDESCRIPTOR> formats) {
  the().formats = std::move(formats);
}

void set_failures(Failures f) { the().failures = f; }

ATOM register_class(const char* name, WNDPROC proc, HINSTANCE instance, UINT style) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.lpszClassName = name;
  return RegisterClassExA(&wc);
}

HGLRC make_current(HWND w, HDC* dc) {
  ShowWindow(w, SW_SHOWNORMAL);
  *dc = GetDC(w);
  const PIXELFORMATDESCRIPTOR want = true_colour_format();
  if (SetPixelFormat(*dc, ChoosePixelFormat(*dc, &want), &want) != TRUE) return nullptr;
  HGLRC rc = wglCreateContext(*dc);
  if (!rc || wglMakeCurrent(*dc, rc) != TRUE) return nullptr;
  return rc;
}

const platform::Records& records() { return platform::records(); }

std::vector<MenuEntry> menu_bar(HWND w) {
  std::vector<MenuEntry> out;
  if (platform::is_window(w) && w->menu) collect(w->menu, out);
  return out;
}

std::vector<PALETTEENTRY> selected_palette(HDC dc) {
  if (!dc || !dc->palette) return {};
  return dc->palette->entries;
}

bool palette_realized(HDC dc) { return dc && dc->palette && dc->palette_realized; }

}  // namespace offscreen
