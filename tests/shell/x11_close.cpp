// Asks a top-level X window to close, as a window manager's close box does: a
// WM_DELETE_WINDOW client message. Usage: x11_close WINDOW-ID (decimal).
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: x11_close WINDOW-ID\n", stderr);
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fputs("x11_close: no display\n", stderr);
    return 2;
  }
  const Window window = std::strtoul(argv[1], nullptr, 10);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
  XCloseDisplay(display);  // flushes the request
  return sent ? 0 : 1;
}
