// The entry, the window procedure's own messages and the OpenGL set-up, driven through the
// offscreen window system with real messages.
#include "shell/ablak_beall.h"

#include <cstring>
#include <filesystem>

#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/mozgat.h"
#include "render/rajzolo.h"
#include "tests/shell/shell_fixture.h"

namespace {

using shell_test::close;
using shell_test::Program;
using shell_test::Rgb;

const Rgb kLitSkin{212, 170, 150};  // skin facing the viewer, ambient 0.5 + light 1
const Rgb kWhite{255, 255, 255};

TEST_F(Program, StartsInTheOrderOfCreationSizeAndPaint) {
  ASSERT_NE(start(), nullptr);
  std::size_t at = 0;
  for (const char* step : {"RegisterClassExA",  "CreateWindowExA",
                           "send WM_CREATE",    "CreateMenu",
                           "SetMenu",           "GetDC",
                           "ChoosePixelFormat", "SetPixelFormat 1",
                           "GetPixelFormat",    "DescribePixelFormat 1",
                           "wglCreateContext",  "wglMakeCurrent",
                           "ShowWindow",        "send WM_SIZE",
                           "SwapBuffers",       "UpdateWindow",
                           "send WM_PAINT",     "BeginPaint",
                           "SwapBuffers",       "EndPaint"}) {
    const std::size_t found = find_call(step, at);
    ASSERT_NE(found, std::string::npos) << step << " missing or out of order";
    at = found + 1;
  }
  EXPECT_NE(hGLRC, nullptr);
  EXPECT_EQ(hPalette, nullptr);  // true colour: no palette
}

TEST_F(Program, FirstPaintReadsTheFilesAndDrawsTheHead) {
  ASSERT_NE(start(), nullptr);
  const auto mesh = support::sphere();
  EXPECT_DOUBLE_EQ(hdy[0], mesh.v[0][1]);
  EXPECT_DOUBLE_EQ(hdx[100], mesh.v[100][0]);
  EXPECT_EQ(hdb[30], mesh.f[30][1]);
  EXPECT_GT(h201tav[0] + h201tav[1] + h201tav[2], 0.0);  // the weights were computed
  EXPECT_EQ(offscreen::frame_count(), 2);                // first size, first paint
  // The client area is 576 x 720, so the first size made a 576-pixel square.
  EXPECT_EQ(winW, 576);
  EXPECT_EQ(winH, 576);
  EXPECT_TRUE(close(viewport_centre(), kLitSkin, 25));
  EXPECT_TRUE(close(offscreen::front().rgb(20, 20), kWhite, 0));
}

TEST_F(Program, RegistersTheClassRecordExactly) {
  ASSERT_NE(start(), nullptr);
  const auto& r = offscreen::records();
  ASSERT_EQ(r.classes.size(), 1u);
  const WNDCLASSEXA& wc = r.classes[0];
  EXPECT_EQ(wc.cbSize, sizeof(WNDCLASSEXA));
  EXPECT_EQ(wc.style, 0x23u);
  EXPECT_EQ(wc.lpfnWndProc, &MyWndProc);
  EXPECT_EQ(wc.cbClsExtra, 0);
  EXPECT_EQ(wc.cbWndExtra, 0);
  EXPECT_EQ(wc.hInstance, instance_);
  EXPECT_EQ(wc.hIcon, LoadIconA(nullptr, MAKEINTRESOURCEA(32512)));
  EXPECT_EQ(wc.hIconSm, wc.hIcon);
  EXPECT_NE(wc.hIcon, nullptr);
  EXPECT_EQ(wc.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
  EXPECT_NE(wc.hCursor, nullptr);
  EXPECT_EQ(static_cast<HGDIOBJ>(wc.hbrBackground), GetStockObject(4));
  EXPECT_EQ(wc.lpszMenuName, nullptr);
  EXPECT_STREQ(r.class_names[0].c_str(), "MyWindoClass");
  EXPECT_TRUE(called("LoadIconA 32512"));
  EXPECT_TRUE(called("LoadCursorA 32512"));
  EXPECT_TRUE(called("GetStockObject 4"));
}

TEST_F(Program, CreatesTheWindowWithTheGivenArguments) {
  ASSERT_NE(start(), nullptr);
  const auto& creates = offscreen::records().creates;
  ASSERT_EQ(creates.size(), 1u);
  const auto& c = creates[0];
  EXPECT_EQ(c.ex_style, 0u);
  EXPECT_EQ(c.class_name, "MyWindoClass");
  EXPECT_EQ(c.title, "MPEG-4 szabv\xC3\xA1nyos 'Zarvo' - 1.7v");
  EXPECT_EQ(c.style, 0x00CF0000u);
  EXPECT_EQ(c.x, 224);
  EXPECT_EQ(c.y, 10);
  EXPECT_EQ(c.width, 576);
  EXPECT_EQ(c.height, 720);
  EXPECT_EQ(c.parent, nullptr);
  EXPECT_EQ(c.menu, nullptr);
  EXPECT_EQ(c.instance, instance_);
  EXPECT_EQ(c.param, nullptr);
}

TEST_F(Program, AsksForDoubleBufferedRgbaWithDepth) {
  ASSERT_NE(start(), nullptr);
  const auto& r = offscreen::records();
  ASSERT_EQ(r.choose_requests.size(), 1u);
  ASSERT_EQ(r.set_requests.size(), 1u);
  unsigned char want[40] = {};
  want[0] = 40;    // nSize
  want[2] = 1;     // nVersion
  want[4] = 0x25;  // dwFlags: draw to window, OpenGL, double buffer
  want[8] = 0;     // iPixelType RGBA
  want[9] = 16;    // cColorBits
  want[23] = 16;   // cDepthBits
  want[26] = 0;    // iLayerType main plane
  EXPECT_EQ(std::memcmp(&r.choose_requests[0], want, 40), 0);
  EXPECT_EQ(std::memcmp(&r.set_requests[0], want, 40), 0);
  EXPECT_EQ(r.set_formats, std::vector<int>{1});
}

TEST_F(Program, BuildsA332PaletteWhenTheFormatNeedsOne) {
  offscreen::set_pixel_formats({offscreen::palette_format()});
  ASSERT_NE(start(), nullptr);
  ASSERT_NE(hPalette, nullptr);
  const auto entries = offscreen::selected_palette(hDC);
  ASSERT_EQ(entries.size(), 256u);
  EXPECT_TRUE(offscreen::palette_realized(hDC));
  auto rgb = [&](int i) {
    return std::array<int, 3>{entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  };
  EXPECT_EQ(rgb(0), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(rgb(255), (std::array<int, 3>{255, 255, 255}));
  EXPECT_EQ(rgb(7), (std::array<int, 3>{255, 0, 0}));
  const int levels3[8] = {0, 36, 72, 109, 145, 182, 218, 255};
  const int levels2[4] = {0, 85, 170, 255};
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(entries[k].peRed, levels3[k]);
    EXPECT_EQ(entries[k << 3].peGreen, levels3[k]);
  }
  for (int k = 0; k < 4; ++k) EXPECT_EQ(entries[k << 6].peBlue, levels2[k]);
  for (const auto& e : entries) EXPECT_EQ(e.peFlags, 0);

  // Shutdown deletes the palette besides the context.
  DestroyWindow(hWnd);
  EXPECT_EQ(hPalette, nullptr);
  EXPECT_TRUE(called("DeleteObject"));
}

TEST_F(Program, PaletteWithAChannelOfNoBitsStaysFinite) {
  PIXELFORMATDESCRIPTOR f = offscreen::palette_format();
  f.cBlueBits = 0;  // would divide by a zero mask
  offscreen::set_pixel_formats({f});
  ASSERT_NE(start(), nullptr);
  const auto entries = offscreen::selected_palette(hDC);
  ASSERT_EQ(entries.size(), 256u);
  for (const auto& e : entries) EXPECT_EQ(e.peBlue, 0);
  EXPECT_EQ(entries[7].peRed, 255);
}

TEST_F(Program, ShutdownOfATrueColourContextReleasesContextAndDeviceContext) {
  ASSERT_NE(start(), nullptr);
  const std::size_t before = offscreen::records().calls.size();
  DestroyWindow(hWnd);
  const auto& calls = offscreen::records().calls;
  std::vector<std::string> tail(calls.begin() + static_cast<long>(before), calls.end());
  const std::vector<std::string> want{"DestroyWindow",    "send WM_DESTROY", "wglMakeCurrent",
                                      "wglDeleteContext", "ReleaseDC",       "PostQuitMessage 0"};
  EXPECT_EQ(tail, want);
  EXPECT_EQ(hGLRC, nullptr);
}

TEST_F(Program, NoPixelFormatEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        dir_.remove_at_exit();
        offscreen::set_pixel_formats({});
        start();
      },
      ::testing::ExitedWithCode(1),
      "\\[MessageBoxA owner=window flags=0x10\\] Error: ChoosePixelFormat failed\\.");
}

TEST_F(Program, RefusedPixelFormatEndsWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        dir_.remove_at_exit();
        offscreen::set_failures({.set_pixel_format = true});
        start();
      },
      ::testing::ExitedWithCode(1),
      "\\[MessageBoxA owner=window flags=0x10\\] Error: SetPixelFormat failed\\.");
}

TEST_F(Program, FailedRegistrationAndCreationAreReportedAndEndTheEntry) {
  ASSERT_EQ(MyRegisterClass(instance_), 1);
  EXPECT_EQ(MyRegisterClass(instance_), 0);  // the class exists already
  offscreen::set_failures({.create_window = true});
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 1);
  EXPECT_EQ(hWnd, nullptr);
  EXPECT_FALSE(offscreen::starved());  // it never waited for a message
  const auto& boxes = offscreen::message_boxes();
  ASSERT_EQ(boxes.size(), 3u);  // registration fails again inside WinMain
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, "Error!");
  EXPECT_EQ(boxes[0].text, "Windows Registration Failed!");
  EXPECT_EQ(boxes[0].type, 0x30u);
  EXPECT_EQ(boxes[2].owner, nullptr);
  EXPECT_EQ(boxes[2].caption, "Error!");
  EXPECT_EQ(boxes[2].text, "Window Creation Failed!");
  EXPECT_EQ(boxes[2].type, 0x30u);
}

TEST_F(Program, WithoutARenderingContextThePaintSkipsTheVertexFile) {
  offscreen::set_failures({.create_context = true});
  ASSERT_NE(start(), nullptr);
  EXPECT_EQ(hGLRC, nullptr);
  const auto mesh = support::sphere();
  EXPECT_EQ(hdy[0], 0.0);           // vertex.txt was not read
  EXPECT_EQ(hdb[0], mesh.f[0][1]);  // face.txt was
  EXPECT_EQ(offscreen::frame_count(), 0);
}

// Started where the mesh is not, the window finds it in a data folder; where no folder
// has it, one line and one box say so, however often the files are read again.
TEST_F(Program, MeshFromADataFolderOrOneMessageNamingTheFoldersTried) {
  std::filesystem::create_directory("share");
  std::filesystem::rename("vertex.txt", "share/vertex.txt");
  std::filesystem::rename("face.txt", "share/face.txt");
  adatmappak({dir_.path() + "/share"});
  ASSERT_NE(start(), nullptr);
  EXPECT_TRUE(close(viewport_centre(), kLitSkin, 25));
  EXPECT_TRUE(offscreen::message_boxes().empty());
  DestroyWindow(hWnd);

  offscreen::reset();
  support::reset_viewer();
  adatmappak({dir_.path() + "/elsewhere"});
  ::testing::internal::CaptureStderr();
  ASSERT_NE(start(), nullptr);
  for (int i = 0; i < 3; ++i) {
    offscreen::expose(hWnd);
    offscreen::pump();
    SendMessageA(hWnd, WM_COMMAND, 9005, 0);
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  adatmappak({});
  ASSERT_EQ(offscreen::message_boxes().size(), 1u);
  const auto& box = offscreen::message_boxes()[0];
  EXPECT_EQ(box.owner, hWnd);
  EXPECT_EQ(box.caption, "Modellf\xC3\xA1jl hiba");
  EXPECT_EQ(box.type, 0x30u);
  for (const std::string& part :
       {std::string("vertex.txt \xC3\xA9s face.txt"), dir_.path(), dir_.path() + "/elsewhere"})
    EXPECT_NE(box.text.find(part), std::string::npos) << part;
  // The offscreen backend echoes each box on standard error too.
  EXPECT_EQ(err.rfind("zarvo: vertex.txt \xC3\xA9s face.txt not found", 0), 0u) << err;
  EXPECT_EQ(err.find("zarvo:", 1), std::string::npos) << err;
  EXPECT_EQ(hdx[5], 0.0);  // the program carries on with the empty model
}

TEST_F(Program, SizeMakesTheLargestSquareAtTheBottomLeft) {
  ASSERT_NE(start(), nullptr);
  GLint viewport[4];
  offscreen::resize(hWnd, 800, 500);
  EXPECT_EQ(winW, 500);
  EXPECT_EQ(winH, 500);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(std::vector<int>(viewport, viewport + 4), (std::vector<int>{0, 0, 500, 500}));
  offscreen::pump();  // the repaint the resize made due
  EXPECT_TRUE(close(offscreen::front().rgb(250, 250), kLitSkin, 25));

  offscreen::resize(hWnd, 500, 800);
  EXPECT_EQ(winW, 500);
  EXPECT_EQ(winH, 500);
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(std::vector<int>(viewport, viewport + 4), (std::vector<int>{0, 0, 500, 500}));
  offscreen::pump();
  // The square sits at the bottom: its centre is 550 rows down; above it only background.
  EXPECT_TRUE(close(offscreen::front().rgb(250, 550), kLitSkin, 25));
  EXPECT_TRUE(close(offscreen::front().rgb(250, 150), kWhite, 0));
}

TEST_F(Program, SizeClearsTheAccumulatedRotationAndTheIncrements) {
  ASSERT_NE(start(), nullptr);
  rotx = 7.0;
  modellnezet();
  EXPECT_NEAR(modelview()[6], std::sin(7.0 * M_PI / 180), 1e-6);
  offscreen::resize(hWnd, 600, 600);
  EXPECT_EQ(rotx, 0.0);
  const std::array<double, 16> unrotated{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, -125, 1};
  EXPECT_EQ(modelview(), unrotated);
}

TEST_F(Program, RepaintAppliesTheLastIncrementOnceMore) {
  ASSERT_NE(start(), nullptr);
  rotx = 10.0;
  modellnezet();
  offscreen::expose(hWnd);
  EXPECT_EQ(offscreen::pump(), 1);
  const auto m = modelview();
  EXPECT_NEAR(m[5], std::cos(20.0 * M_PI / 180), 1e-6);
  EXPECT_NEAR(m[6], std::sin(20.0 * M_PI / 180), 1e-6);
}

TEST_F(Program, RepaintDiscardsAHandDeformationAndRebuildsTheWeights) {
  ASSERT_NE(start(), nullptr);
  const double x136 = hdx[h201pivotindex];
  const double weight = h201tav[0];
  mozgat(201, 5.0, 1, 0, 0);
  EXPECT_DOUBLE_EQ(hdx[h201pivotindex], x136 + 5.0);
  h201tav[0] = 0.123;
  offscreen::expose(hWnd);
  offscreen::pump();
  EXPECT_DOUBLE_EQ(hdx[h201pivotindex], x136);
  EXPECT_DOUBLE_EQ(h201tav[0], weight);
}

TEST_F(Program, EscapeEndsTheLoopWithStatusZeroAfterReleasingTheContext) {
  offscreen::on_idle([] { PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 0); });
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_FALSE(offscreen::starved());
  EXPECT_EQ(hGLRC, nullptr);
  EXPECT_TRUE(called("send WM_DESTROY"));
  EXPECT_TRUE(called("PostQuitMessage 0"));
}

TEST_F(Program, ClosingTheWindowEndsTheLoopWithStatusZero) {
  offscreen::on_idle([] { PostMessageA(hWnd, WM_CLOSE, 0, 0); });
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_FALSE(offscreen::starved());
  EXPECT_TRUE(called("send WM_DESTROY"));
}

}  // namespace
