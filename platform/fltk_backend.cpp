// The FLTK backend: FLTK's widgets and events behind the Win32 layer. See
// platform/fltk_backend.h for what it supports.
#include "platform/fltk_backend.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Gl_Window.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/backend.h"

namespace {

constexpr int kMenuBarHeight = 25;

// The client area. FLTK never draws into it: an expose only makes a repaint due, and the
// window procedure draws and swaps on its own time, as on Windows.
class GlView final : public Fl_Gl_Window {
 public:
  GlView(HWND hwnd, int x, int y, int w, int h) : Fl_Gl_Window(x, y, w, h), hwnd_(hwnd) {
    mode(FL_RGB | FL_DOUBLE | FL_DEPTH);
  }

  void flush() override { platform::invalidate(hwnd_); }
  void draw() override {}

  void resize(int x, int y, int w, int h) override {
    const bool changed = w != this->w() || h != this->h();
    Fl_Gl_Window::resize(x, y, w, h);
    hwnd_->client_width = w;
    hwnd_->client_height = h;
    // Before the first showing the size is reported synchronously by ShowWindow.
    if (changed && hwnd_->shown) platform::client_resized(hwnd_, w, h);
  }

  int handle(int event) override {
    switch (event) {
      case FL_FOCUS:
      case FL_UNFOCUS: return 1;
      case FL_KEYBOARD:
      case FL_SHORTCUT: {
        // Alt and Ctrl combinations belong to the menu bar's access keys.
        if (Fl::event_state() & (FL_ALT | FL_CTRL | FL_META)) return 0;
        const int vk = vk_from_fltk(Fl::event_key(), Fl::event_state());
        if (vk == 0) return 0;
        platform::post(hwnd_, WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
        return 1;
      }
      case FL_PUSH: {
        take_focus();
        const LPARAM where = MAKELPARAM(Fl::event_x(), Fl::event_y());
        if (Fl::event_button() == FL_LEFT_MOUSE)
          platform::post(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, where);
        else if (Fl::event_button() == FL_RIGHT_MOUSE)
          platform::post(hwnd_, WM_RBUTTONDOWN, MK_RBUTTON, where);
        return 1;
      }
      case FL_MOUSEWHEEL: {
        // FLTK counts notches towards the user; Windows counts WHEEL_DELTA away from them.
        if (Fl::event_dy() == 0) return 0;
        const short delta = static_cast<short>(-Fl::event_dy() * WHEEL_DELTA);
        platform::post(hwnd_, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)),
                       MAKELPARAM(Fl::event_x_root(), Fl::event_y_root()));
        return 1;
      }
      default: return Fl_Gl_Window::handle(event);
    }
  }

 private:
  HWND hwnd_;
};

struct Native {
  Fl_Double_Window* frame = nullptr;
  Fl_Menu_Bar* bar = nullptr;
  GlView* view = nullptr;
  bool context = false;       // wglCreateContext was called for the window
  bool want_current = false;  // made current before the window could take it
};

Native* native(HWND w) { return static_cast<Native*>(w->native); }

// The close box asks the window procedure; FLTK's own Escape-closes-the-window is refused
// because Escape is a key command of the program.
void frame_callback(Fl_Widget* widget, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  if (HWND w = platform::window_of(widget->user_data())) platform::post(w, WM_CLOSE, 0, 0);
}

void menu_callback(Fl_Widget* widget, void* id) {
  // The command may block the window thread for long (a message box, the live mode); the
  // bar is redrawn before it runs so that no title stays highlighted meanwhile.
  widget->redraw();
  if (HWND w = platform::window_of(widget->user_data()))
    platform::post(w, WM_COMMAND, reinterpret_cast<WPARAM>(id) & 0xffff, 0);
}

// FLTK reads '/' as a submenu path separator and '\\' as an escape in menu labels.
std::string menu_label(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '/' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// FLTK reads a leading or trailing '@' in a label as a symbol; "@@" draws one '@'.
std::string box_label(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    out += *p;
    if (*p == '@') out += '@';
  }
  return out;
}

// While stale input is dropped: key and mouse events go nowhere, except Escape presses;
// everything else (close box, exposes, resizes) is handled as usual.
int drop_input_dispatch(int event, Fl_Window* window) {
  switch (event) {
    case FL_KEYDOWN:
    case FL_SHORTCUT:
      if (Fl::event_key() == FL_Escape) return Fl::handle_(event, window);
      return 1;
    case FL_KEYUP:
    case FL_PUSH:
    case FL_RELEASE:
    case FL_DRAG:
    case FL_MOUSEWHEEL: return 1;
    default: return Fl::handle_(event, window);
  }
}

void layout(HWND w) {
  Native* n = native(w);
  const int top = n->bar ? kMenuBarHeight : 0;
  n->view->resize(0, top, n->frame->w(), std::max(1, n->frame->h() - top));
}

class Fltk final : public platform::Backend {
 public:
  bool create_window(HWND w) override {
    auto* n = new Native;
    n->frame = new Fl_Double_Window(w->x, w->y, w->width, w->height);
    n->frame->copy_label(w->title.c_str());
    n->frame->user_data(n);
    n->frame->callback(frame_callback);
    n->view = new GlView(w, 0, 0, w->width, w->height);
    n->frame->resizable(n->view);
    n->frame->end();
    w->native = n;
    w->client_width = w->width;
    w->client_height = w->height;
    return true;
  }

  void show_window(HWND w) override {
    Native* n = native(w);
    n->frame->show();
    n->view->show();
    n->view->take_focus();
    if (n->want_current) n->view->make_current();
    // Let the window manager map the window before the first frame is drawn.
    Fl::check();
    w->client_width = n->view->w();
    w->client_height = n->view->h();
  }

  void destroy_window(HWND w) override {
    Native* n = native(w);
    if (!n) return;
    n->frame->hide();
    delete n->frame;  // deletes the menu bar and the view with it
    delete n;
    w->native = nullptr;
  }

  void set_menu(HWND w, HMENU bar) override {
    Native* n = native(w);
    if (!bar) {
      if (n->bar) {
        n->frame->remove(n->bar);
        delete n->bar;
        n->bar = nullptr;
      }
      layout(w);
      return;
    }
    if (!n->bar) {
      n->frame->begin();
      n->bar = new Fl_Menu_Bar(0, 0, n->frame->w(), kMenuBarHeight);
      n->frame->end();
      n->bar->user_data(n);
    }
    n->bar->clear();
    for (const auto& title : bar->items) {
      if (title.flags & MF_SEPARATOR) continue;  // a menu bar has no separators
      const std::string top = menu_label(title.text);
      if (!title.popup) {
        n->bar->add(top.c_str(), 0, menu_callback, reinterpret_cast<void*>(title.id));
        continue;
      }
      n->bar->add(top.c_str(), 0, nullptr, nullptr, FL_SUBMENU);
      int last = -1;  // index of the item a following separator draws under
      for (const auto& item : title.popup->items) {
        if (item.flags & MF_SEPARATOR) {
          if (last >= 0) n->bar->mode(last, n->bar->mode(last) | FL_MENU_DIVIDER);
          continue;
        }
        const std::string path = top + "/" + menu_label(item.text);
        const int check = !item.check_item            ? 0
                          : (item.flags & MF_CHECKED) ? FL_MENU_TOGGLE | FL_MENU_VALUE
                                                      : FL_MENU_TOGGLE;
        last = n->bar->add(path.c_str(), 0, menu_callback, reinterpret_cast<void*>(item.id), check);
      }
    }
    layout(w);
  }

  // Changed in place: the change may come from inside the bar's own callback, where
  // rebuilding the bar would free the item being picked.
  void check_menu_item(HWND w, UINT_PTR id, bool checked) override {
    Native* n = native(w);
    if (!n || !n->bar) return;
    for (int i = 0; i < n->bar->size(); ++i) {
      auto* item = const_cast<Fl_Menu_Item*>(&n->bar->menu()[i]);
      if (!item->label() || item->callback() != menu_callback ||
          reinterpret_cast<UINT_PTR>(item->user_data()) != id)
        continue;
      item->flags |= FL_MENU_TOGGLE;
      if (checked)
        item->set();
      else
        item->clear();
    }
    n->bar->redraw();
  }

  int message_box(HWND owner, const char* text, const char* caption, UINT type) override {
    fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
    const std::string body = box_label(text);
    int tw = 0, th = 0;
    fl_measure(body.c_str(), tw, th, 0);
    const UINT icon_kind = type & 0xF0;
    const int icon_w = icon_kind ? 60 : 0;
    const int W = std::max(260, tw + icon_w + 40);
    const int H = th + 80;

    Fl_Window dialog(W, H);
    dialog.copy_label(caption);
    if (icon_kind) {
      auto* icon = new Fl_Box(15, 15, 40, 40);
      icon->box(FL_THIN_UP_BOX);
      icon->labelfont(FL_TIMES_BOLD);
      icon->labelsize(30);
      icon->color(FL_WHITE);
      if (icon_kind == MB_ICONERROR) {
        icon->label("X");
        icon->labelcolor(FL_RED);
      } else if (icon_kind == MB_ICONEXCLAMATION) {
        icon->label("!");
        icon->labelcolor(FL_DARK_YELLOW);
      } else {
        icon->label("i");
        icon->labelcolor(FL_BLUE);
      }
    }
    auto* message = new Fl_Box(20 + icon_w, 15, tw, th);
    message->copy_label(body.c_str());
    message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_TOP);
    auto* ok = new Fl_Return_Button(W - 100, H - 40, 85, 28, "OK");
    ok->callback([](Fl_Widget* b, void*) { b->window()->hide(); });
    dialog.end();
    dialog.set_modal();
    // Centred over the owner, as Windows places a message box; else over the screen.
    int cx = Fl::w() / 2, cy = Fl::h() / 2;
    if (owner && native(owner)) {
      const Fl_Window* f = native(owner)->frame;
      cx = f->x() + f->w() / 2;
      cy = f->y() + f->h() / 2;
    }
    dialog.position(std::max(0, cx - W / 2), std::max(0, cy - H / 2));
    dialog.show();
    while (dialog.shown()) Fl::wait();
    return IDOK;
  }

  std::span<const PIXELFORMATDESCRIPTOR> pixel_formats() override { return {&format_, 1}; }
  bool accept_pixel_format(HWND, int) override { return true; }

  void* create_context(HWND w) override {
    native(w)->context = true;
    return w->native;
  }
  bool make_current(HWND w, void* ctx) override {
    if (!ctx) return true;  // the context stays with its window; nothing else draws
    Native* n = native(w);
    if (!n->view->shown()) {
      n->want_current = true;  // GLX makes the context when the window exists
      return true;
    }
    n->view->make_current();
    return true;
  }
  void delete_context(void* ctx) override {
    static_cast<Native*>(ctx)->context = false;
    static_cast<Native*>(ctx)->want_current = false;
  }
  bool swap_buffers(HWND w) override {
    Native* n = native(w);
    if (!n || !n->context || !n->view->shown()) return false;
    n->view->swap_buffers();
    return true;
  }

  bool wait_events() override {
    if (!Fl::first_window()) return false;
    Fl::wait();
    // Draw what the events damaged (the menu bar after a choice, say) before the window
    // procedure may block for a long command, and turn exposes into due repaints now.
    Fl::flush();
    return true;
  }
  bool wait_events_for(DWORD ms) override {
    if (!Fl::first_window()) return false;
    Fl::wait(ms / 1000.0);
    Fl::flush();
    return true;
  }
  void poll_events(bool drop_input) override {
    if (!Fl::first_window()) return;
    if (drop_input) {
      // Everything the server generated up to now is in our queue after the round trip.
      XSync(fl_display, False);
      Fl::event_dispatch(drop_input_dispatch);
    }
    Fl::check();
    if (drop_input) Fl::event_dispatch(nullptr);
  }

  bool choose_file(HWND, const std::string& title, const std::string& directory,
                   const std::vector<FileType>& types, std::string* path) override {
    // FLTK's filter syntax: "Description\t{*.a,*.b}" per line. FLTK hands each dialog
    // "Description(pattern)" and both its GTK dialog and its own take the pattern from the
    // first parenthesis: one in the description would become the pattern and match
    // nothing, so the description's parentheses become brackets.
    std::string filter;
    for (const FileType& t : types) {
      if (!filter.empty()) filter += '\n';
      for (char c : t.description)
        filter += c == '(' ? '[' : c == ')' ? ']' : c == '\t' || c == '\n' ? ' ' : c;
      filter += '\t';
      if (t.patterns.size() == 1) {
        filter += t.patterns[0];
      } else {
        filter += '{';
        for (std::size_t i = 0; i < t.patterns.size(); ++i)
          filter += (i ? "," : "") + t.patterns[i];
        filter += '}';
      }
    }
    Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
    chooser.title(title.c_str());
    if (!filter.empty()) chooser.filter(filter.c_str());
    // As Windows does without a folder; GTK's own default would be its recent-files list.
    std::error_code ec;
    const std::string start =
        directory.empty() ? std::filesystem::current_path(ec).string() : directory;
    if (!start.empty()) chooser.directory(start.c_str());
    if (chooser.show() != 0 || chooser.filename() == nullptr) return false;
    *path = chooser.filename();
    return !path->empty();
  }

  void sleep(DWORD ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  PIXELFORMATDESCRIPTOR format_ = platform::gl_window_format(
      24, {.red = 8, .red_shift = 16, .green = 8, .green_shift = 8, .blue = 8, .blue_shift = 0},
      24);
};

}  // namespace

HINSTANCE fltk_backend_install() {
  static Fltk backend;
  if (!fl_display) {
    // Opened here rather than by FLTK so that a missing desktop gets a plain message
    // (FLTK's own is "Can't open display: " with no line end) and exit status 1.
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
      const char* name = std::getenv("DISPLAY");
      std::fprintf(stderr, "zarvo: cannot open the X display \"%s\": the viewer needs a desktop\n",
                   name != nullptr ? name : "");
      std::exit(1);
    }
    fl_open_display(display);
  }
  Fl::visual(FL_DOUBLE | FL_RGB);
  return platform::install_backend(&backend);
}

int vk_from_fltk(int key, int state) {
  const bool num_lock = (state & FL_NUM_LOCK) != 0;
  if (key >= FL_KP + '0' && key <= FL_KP + '9') {
    // Without Num Lock the keypad is a second cursor block: 0 Insert, 1 End, 2 Down,
    // 3 Page Down, 4 Left, 5 Clear, 6 Right, 7 Home, 8 Up, 9 Page Up.
    static constexpr int cursor[10] = {VK_INSERT, VK_END,   VK_DOWN, VK_NEXT, VK_LEFT,
                                       VK_CLEAR,  VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR};
    const int digit = key - (FL_KP + '0');
    return num_lock ? VK_NUMPAD0 + digit : cursor[digit];
  }
  if (key >= FL_F + 1 && key <= FL_F + 24) return VK_F1 + (key - (FL_F + 1));
  if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
  if (key >= '0' && key <= '9') return key;
  switch (key) {
    case FL_KP + '.': return num_lock ? VK_DECIMAL : VK_DELETE;
    case FL_KP + '*': return VK_MULTIPLY;
    case FL_KP + '+': return VK_ADD;
    case FL_KP + '-': return VK_SUBTRACT;
    case FL_KP + '/': return VK_DIVIDE;
    case FL_Enter:
    case FL_KP_Enter: return VK_RETURN;
    case FL_Escape: return VK_ESCAPE;
    case FL_BackSpace: return 0x08;
    case FL_Tab: return 0x09;
    case ' ': return VK_SPACE;
    case FL_Page_Up: return VK_PRIOR;
    case FL_Page_Down: return VK_NEXT;
    case FL_End: return VK_END;
    case FL_Home: return VK_HOME;
    case FL_Left: return VK_LEFT;
    case FL_Up: return VK_UP;
    case FL_Right: return VK_RIGHT;
    case FL_Down: return VK_DOWN;
    case FL_Insert: return VK_INSERT;
    case FL_Delete: return VK_DELETE;
    default: return 0;
  }
}
