// The Win32 semantics the shell relies on, on the offscreen backend: synchronous creation,
// size and paint messages, queue order, quit, destruction, menus, pixel formats, palettes,
// contexts, and the offscreen frames and message boxes themselves.
#include "platform/win32.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/offscreen.h"

namespace {

struct Seen {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Seen> seen;
LRESULT create_result = 0;

LRESULT CALLBACK recording_proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  seen.push_back({m, wp, lp});
  if (m == WM_CREATE) return create_result;
  if (m == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    EndPaint(w, &ps);
    return 0;
  }
  if (m == WM_DESTROY) {
    PostQuitMessage(3);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

std::vector<UINT> messages() {
  std::vector<UINT> out;
  for (const auto& s : seen) out.push_back(s.message);
  return out;
}

class Layer : public ::testing::Test {
 protected:
  void SetUp() override {
    instance_ = offscreen::reset();
    seen.clear();
    create_result = 0;
    ASSERT_NE(offscreen::register_class("layer", recording_proc, instance_), 0);
  }
  HWND create(int w = 320, int h = 240) {
    return CreateWindowExA(0, "layer", "t", WS_OVERLAPPEDWINDOW, 5, 6, w, h, nullptr, nullptr,
                           instance_, nullptr);
  }
  HWND gl_window() {
    HWND w = create();
    HDC dc;
    offscreen::make_current(w, &dc);
    return w;
  }
  HINSTANCE instance_ = nullptr;
};

TEST_F(Layer, ClassesAreRegisteredOnceAndNeedTheRightRecordSize) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = recording_proc;
  wc.lpszClassName = "layer";
  EXPECT_EQ(RegisterClassExA(&wc), 0);  // the name is taken
  wc.lpszClassName = "other";
  wc.cbSize = sizeof wc - 8;  // a record of another layout
  EXPECT_EQ(RegisterClassExA(&wc), 0);
  wc.cbSize = sizeof wc;
  EXPECT_NE(RegisterClassExA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "missing", "t", 0, 0, 0, 1, 1, nullptr, nullptr, instance_, nullptr),
            nullptr);
}

TEST_F(Layer, CreationShowingAndUpdateDeliverTheirMessagesSynchronously) {
  HWND w = create(320, 240);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(messages(), std::vector<UINT>{WM_CREATE});
  EXPECT_EQ(ShowWindow(w, SW_SHOWNORMAL), FALSE);  // it was hidden
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(LOWORD(seen[1].lParam), 320);
  EXPECT_EQ(HIWORD(seen[1].lParam), 240);
  EXPECT_EQ(ShowWindow(w, SW_SHOWNORMAL), TRUE);  // no second first size
  EXPECT_EQ(seen.size(), 2u);
  UpdateWindow(w);
  EXPECT_EQ(seen.back().message, static_cast<UINT>(WM_PAINT));
  UpdateWindow(w);  // painted: nothing more to do
  EXPECT_EQ(seen.size(), 3u);
}

TEST_F(Layer, CreationRefusedByTheWindowProcedureGivesNoWindow) {
  create_result = -1;
  EXPECT_EQ(create(), nullptr);
  EXPECT_EQ(messages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
}

// A shown window that was never painted, with a key, a command and the quit request queued.
HWND queue_three(HWND w) {
  ShowWindow(w, SW_SHOWNORMAL);
  PostMessageA(w, WM_KEYDOWN, 0x41, 0);
  PostMessageA(w, WM_COMMAND, 9005, 0);
  PostQuitMessage(7);
  return w;
}

TEST_F(Layer, QueueGivesPostedMessagesThenQuitThenPaint) {
  queue_three(create());
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.wParam, 0x41u);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_COMMAND));
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  // The window was never painted: the repaint comes once the queue is empty.
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&msg);
  // Nothing left and nothing to come.
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), -1);
  EXPECT_TRUE(offscreen::starved());
}

TEST_F(Layer, PeekFiltersAndKeepsOrWithoutWaitingThenQuitThenPaint) {
  HWND w = queue_three(create());
  MSG msg;
  // A range skips what lies outside it; PM_NOREMOVE leaves the message queued.
  ASSERT_TRUE(PeekMessageA(&msg, w, WM_COMMAND, WM_COMMAND, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_COMMAND));
  EXPECT_FALSE(PeekMessageA(&msg, w, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE));
  const UINT order[] = {WM_KEYDOWN, WM_COMMAND, WM_QUIT};
  for (UINT want : order) {
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, want);
  }
  EXPECT_EQ(msg.wParam, 7u);
  // The due repaint is offered until the window is painted.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  DispatchMessageA(&msg);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(offscreen::starved());  // peeking never waits
}

TEST_F(Layer, MessageWaitReturnsOnInputOrAfterItsTime) {
  HWND w = create();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_TIMEOUT));
  offscreen::on_idle([w] { PostMessageA(w, WM_KEYDOWN, VK_SPACE, 0); });
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_OBJECT_0));
  // Already waiting: at once, whatever the time-out.
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT),
            static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST_F(Layer, StaleInputIsDroppedExceptEscapeAndClose) {
  HWND w = create();
  PostMessageA(w, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageA(w, WM_KEYUP, VK_RETURN, 0);
  PostMessageA(w, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  PostMessageA(w, WM_SIZE, 0, MAKELPARAM(10, 10));
  PostMessageA(w, WM_COMMAND, 9011, 0);
  PostMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(DropStaleInput(), 4);
  const UINT left[] = {WM_KEYDOWN, WM_SIZE, WM_CLOSE};
  MSG msg;
  for (UINT want : left) {
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, want);
  }
}

TEST_F(Layer, FileChooserFillsTheCallersBufferWithTheChosenPath) {
  HWND w = create();
  char path[16] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = w;
  ofn.lpstrFilter = "Hang\0*.wav;*.flac\0Minden\0*\0";
  ofn.lpstrFile = path;
  ofn.nMaxFile = sizeof path;
  ofn.lpstrTitle = "Cím";
  offscreen::answer_file_chooser("/tmp/a.wav");
  ASSERT_TRUE(GetOpenFileNameA(&ofn));
  EXPECT_STREQ(path, "/tmp/a.wav");
  const auto& asked = offscreen::file_choosers().at(0);
  EXPECT_EQ(asked.caption, "Cím");
  ASSERT_EQ(asked.types.size(), 2u);
  EXPECT_EQ(asked.types[0].description, "Hang");
  EXPECT_EQ(asked.types[0].patterns, (std::vector<std::string>{"*.wav", "*.flac"}));
  EXPECT_EQ(asked.types[1].patterns, (std::vector<std::string>{"*"}));
  offscreen::answer_file_chooser("/tmp/a-name-too-long.wav");  // does not fit: refused
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
  offscreen::answer_file_chooser("");  // cancelled
  EXPECT_FALSE(GetOpenFileNameA(&ofn));
}

TEST_F(Layer, IdleActionsRunWhenTheQueueIsEmpty) {
  HWND w = create();
  int runs = 0;
  offscreen::on_idle([&] {
    ++runs;
    PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
  });
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(LOWORD(msg.lParam), 3);
  EXPECT_EQ(HIWORD(msg.lParam), 4);
  EXPECT_FALSE(offscreen::starved());
}

TEST_F(Layer, CloseDestroysThroughTheDefaultProcedure) {
  HWND w = create();
  ShowWindow(w, SW_SHOWNORMAL);
  PostMessageA(w, WM_KEYDOWN, 0x41, 0);
  SendMessageA(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(seen.back().message, static_cast<UINT>(WM_DESTROY));
  EXPECT_EQ(DestroyWindow(w), FALSE);  // already gone
  EXPECT_EQ(PostMessageA(w, WM_KEYDOWN, 0x42, 0), FALSE);
  // The key queued before the close is fetched but no longer delivered.
  const std::size_t before = seen.size();
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  DispatchMessageA(&msg);
  EXPECT_EQ(seen.size(), before);
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(Layer, MenusKeepItemsInOrderAndCopyTheirTexts) {
  HWND w = create();
  HMENU bar = CreateMenu();
  HMENU drop = CreatePopupMenu();
  std::string text = "&First";
  ASSERT_TRUE(AppendMenuA(drop, MF_STRING, 11, text.c_str()));
  text = "changed";
  ASSERT_TRUE(AppendMenuA(drop, MF_SEPARATOR, 9009, ""));
  ASSERT_TRUE(AppendMenuA(drop, MF_STRING, 12, "S&econd"));
  ASSERT_TRUE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(drop), "&Menu"));
  EXPECT_FALSE(AppendMenuA(bar, MF_POPUP, 12345, "bad"));
  EXPECT_TRUE(offscreen::menu_bar(w).empty());
  ASSERT_TRUE(SetMenu(w, bar));
  const auto got = offscreen::menu_bar(w);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].text, "&Menu");
  EXPECT_EQ(got[0].flags, static_cast<UINT>(MF_POPUP));
  ASSERT_EQ(got[0].popup.size(), 3u);
  EXPECT_EQ(got[0].popup[0].text, "&First");
  EXPECT_EQ(got[0].popup[0].id, 11u);
  EXPECT_EQ(got[0].popup[1].flags, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(got[0].popup[1].id, 9009u);
  EXPECT_EQ(got[0].popup[1].text, "");
  EXPECT_EQ(got[0].popup[2].text, "S&econd");
}

TEST_F(Layer, CheckMarksAreSetByCommandInDropDownsAndReportThePreviousState) {
  HWND w = create();
  HMENU bar = CreateMenu();
  HMENU drop = CreatePopupMenu();
  ASSERT_TRUE(AppendMenuA(drop, MF_STRING, 21, "&Plain"));
  ASSERT_TRUE(AppendMenuA(drop, MF_STRING | MF_CHECKED, 22, "&Checked"));
  ASSERT_TRUE(AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(drop), "&Menu"));
  ASSERT_TRUE(SetMenu(w, bar));
  // The bar itself is searched by command, drop-downs included.
  EXPECT_EQ(CheckMenuItem(bar, 21, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
  EXPECT_EQ(CheckMenuItem(drop, 21, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_CHECKED));
  EXPECT_EQ(CheckMenuItem(bar, 22, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));
  EXPECT_EQ(CheckMenuItem(bar, 99, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(-1));
  EXPECT_EQ(CheckMenuItem(nullptr, 21, MF_CHECKED), static_cast<DWORD>(-1));
  const auto got = offscreen::menu_bar(w);
  ASSERT_EQ(got.at(0).popup.size(), 2u);
  EXPECT_EQ(got[0].popup[0].flags, static_cast<UINT>(MF_STRING | MF_CHECKED));
  EXPECT_EQ(got[0].popup[1].flags, static_cast<UINT>(MF_STRING));
}

TEST_F(Layer, PixelFormatsAreChosenSetOnceAndDescribed) {
  HWND w = create();
  HDC dc = GetDC(w);
  EXPECT_EQ(GetDC(w), dc);  // the class device context stays the same
  EXPECT_EQ(WindowFromDC(dc), w);
  PIXELFORMATDESCRIPTOR want{};
  want.nSize = sizeof want;
  want.nVersion = 1;
  want.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  want.cColorBits = 16;
  want.cDepthBits = 16;
  PIXELFORMATDESCRIPTOR single = offscreen::true_colour_format();
  single.dwFlags &= ~static_cast<DWORD>(PFD_DOUBLEBUFFER);
  offscreen::set_pixel_formats(
      {single, offscreen::palette_format(), offscreen::true_colour_format()});
  // Double buffering is required; of the two that have it the deeper depth wins over a
  // shortfall.
  want.cDepthBits = 24;
  EXPECT_EQ(ChoosePixelFormat(dc, &want), 3);
  want.cDepthBits = 16;
  want.cColorBits = 8;
  EXPECT_EQ(ChoosePixelFormat(dc, &want), 2);
  want.iPixelType = PFD_TYPE_COLORINDEX;
  EXPECT_EQ(ChoosePixelFormat(dc, &want), 0);

  EXPECT_EQ(GetPixelFormat(dc), 0);
  EXPECT_EQ(wglCreateContext(dc), nullptr);  // no format yet
  EXPECT_EQ(SetPixelFormat(dc, 4, &want), FALSE);
  EXPECT_EQ(SetPixelFormat(dc, 2, &want), TRUE);
  EXPECT_EQ(SetPixelFormat(dc, 3, &want), FALSE);  // a window's format is for life
  EXPECT_EQ(GetPixelFormat(dc), 2);
  PIXELFORMATDESCRIPTOR got{};
  EXPECT_EQ(DescribePixelFormat(dc, 2, sizeof got, &got), 3);
  EXPECT_EQ(got.cColorBits, 8);
  EXPECT_TRUE(got.dwFlags & PFD_NEED_PALETTE);
  EXPECT_EQ(DescribePixelFormat(dc, 9, sizeof got, &got), 0);
}

TEST_F(Layer, PalettesAreCopiedSelectedRealisedAndDeleted) {
  HWND w = create();
  HDC dc = GetDC(w);
  unsigned char storage[sizeof(LOGPALETTE) + 3 * sizeof(PALETTEENTRY)] = {};
  auto* lp = reinterpret_cast<LOGPALETTE*>(storage);
  lp->palVersion = 0x300;
  lp->palNumEntries = 4;
  lp->palPalEntry[0] = {1, 2, 3, 0};
  EXPECT_EQ(CreatePalette(nullptr), nullptr);
  HPALETTE p = CreatePalette(lp);
  ASSERT_NE(p, nullptr);
  lp->palPalEntry[0] = {9, 9, 9, 0};
  EXPECT_EQ(RealizePalette(dc), 0u);  // nothing selected yet
  EXPECT_EQ(SelectPalette(dc, p, FALSE), nullptr);
  EXPECT_FALSE(offscreen::palette_realized(dc));
  EXPECT_EQ(RealizePalette(dc), 4u);
  EXPECT_TRUE(offscreen::palette_realized(dc));
  ASSERT_EQ(offscreen::selected_palette(dc).size(), 4u);
  EXPECT_EQ(offscreen::selected_palette(dc)[0].peRed, 1);
  EXPECT_TRUE(DeleteObject(p));
  EXPECT_TRUE(offscreen::selected_palette(dc).empty());
  EXPECT_FALSE(DeleteObject(p));
}

TEST_F(Layer, SwapShowsTheFinishedFrameWithTheTopRowFirst) {
  HWND w = gl_window();
  glViewport(0, 0, 320, 240);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, 320, 10);  // the bottom ten rows
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  EXPECT_EQ(offscreen::frame_count(), 0);
  ASSERT_EQ(SwapBuffers(GetDC(w)), TRUE);
  EXPECT_EQ(offscreen::frame_count(), 1);
  const auto& img = offscreen::front();
  EXPECT_EQ(img.width, 320);
  EXPECT_EQ(img.height, 240);
  EXPECT_EQ(img.rgb(0, 0), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(img.rgb(319, 239), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(img.rgb(5, 229), (std::array<int, 3>{255, 0, 0}));
  EXPECT_EQ(img.rgb(5, 230), (std::array<int, 3>{0, 0, 255}));
}

TEST_F(Layer, ResizeSendsTheSizeAndRenewsTheDrawingBuffer) {
  HWND w = gl_window();
  seen.clear();
  offscreen::resize(w, 100, 60);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_SIZE));
  EXPECT_EQ(LOWORD(seen[0].lParam), 100);
  EXPECT_EQ(HIWORD(seen[0].lParam), 60);
  RECT r;
  ASSERT_TRUE(GetClientRect(w, &r));
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 60);
  glClear(GL_COLOR_BUFFER_BIT);
  SwapBuffers(GetDC(w));
  EXPECT_EQ(offscreen::front().width, 100);
  EXPECT_EQ(offscreen::front().height, 60);
  EXPECT_EQ(offscreen::pump(), 1);  // the repaint the resize made due
  EXPECT_EQ(seen.back().message, static_cast<UINT>(WM_PAINT));
}

TEST_F(Layer, ContextsReleaseAndDeleteCleanly) {
  HWND w = gl_window();
  HDC dc = GetDC(w);
  EXPECT_EQ(wglMakeCurrent(nullptr, nullptr), TRUE);
  EXPECT_EQ(SwapBuffers(dc), FALSE);  // nothing current: no frame to show
  HGLRC other = wglCreateContext(dc);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(wglMakeCurrent(dc, other), TRUE);
  EXPECT_EQ(wglDeleteContext(other), TRUE);
  EXPECT_EQ(wglDeleteContext(other), FALSE);
  EXPECT_EQ(ReleaseDC(w, dc), 1);
}

// A window destroyed while its context is alive leaves the context's record without a
// native context; the next reset must skip it, and the set-up after it must work.
TEST_F(Layer, ResetAfterAWindowDestroyedWithItsContextAlive) {
  HWND w = gl_window();
  ASSERT_EQ(DestroyWindow(w), TRUE);
  offscreen::reset();
  ASSERT_NE(offscreen::register_class("layer", recording_proc, instance_), 0);
  HDC dc;
  EXPECT_NE(offscreen::make_current(create(), &dc), nullptr);
}

TEST_F(Layer, MessageBoxesAreRecordedAndAnsweredOk) {
  HWND w = create();
  EXPECT_EQ(MessageBoxA(w, "text\n", "caption", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "t2", "c2", MB_ICONEXCLAMATION), IDOK);
  const auto& boxes = offscreen::message_boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].owner, w);
  EXPECT_EQ(boxes[0].text, "text\n");
  EXPECT_EQ(boxes[0].caption, "caption");
  EXPECT_EQ(boxes[0].type, 0u);
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(boxes[1].type, 0x30u);
}

TEST_F(Layer, SleepWaitsAndIsCounted) {
  Sleep(1);
  Sleep(2);
  EXPECT_EQ(offscreen::sleep_count(), 2);
}

}  // namespace
