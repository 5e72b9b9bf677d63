// The viewer's commands through MyWndProc with real WM_COMMAND, WM_KEYDOWN and mouse
// messages on the offscreen window system: the menu bar, every message box, the keys, the
// mouse buttons and the manual moves.
#include "shell/parancsok.h"

#include <fstream>
#include <functional>

#include "lifelike/look.h"
#include "live/modes.h"
#include "model/costav.h"
#include "model/mozgat.h"
#include "render/rajzolo.h"
#include "shell/parancssor.h"
#include "tests/shell/fake_modes.h"
#include "tests/shell/shell_fixture.h"

namespace {

using shell_test::close;
using shell_test::Rgb;

class Commands : public shell_test::Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    ASSERT_NE(start(), nullptr);
    for (int k = 0; k < 3; ++k) p909move[k] = 0.0;
  }

  static LRESULT command(UINT id) { return SendMessageA(hWnd, WM_COMMAND, id, 0); }
  static LRESULT key(WPARAM vk) { return SendMessageA(hWnd, WM_KEYDOWN, vk, 1); }
  static LRESULT click(UINT message) {
    return SendMessageA(hWnd, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON,
                        MAKELPARAM(10, 10));
  }

  // How many messages the window procedure handed to the default processing so far.
  static int defaults() {
    int n = 0;
    for (const auto& c : offscreen::records().calls) n += c.rfind("DefWindowProcA", 0) == 0;
    return n;
  }
  // True when `act` passed its message on to the default processing.
  static bool defaulted(const std::function<void()>& act) {
    const int before = defaults();
    act();
    return defaults() > before;
  }

  // The rotation part (upper 3 x 3) of the model-view matrix, column-major.
  static void expect_turn_about_x(double degrees) {
    const auto m = modelview();
    const double r = degrees * M_PI / 180.0;
    EXPECT_NEAR(m[0], 1.0, 1e-6);
    EXPECT_NEAR(m[5], std::cos(r), 1e-6);
    EXPECT_NEAR(m[6], std::sin(r), 1e-6);
    EXPECT_NEAR(m[9], -std::sin(r), 1e-6);
    EXPECT_NEAR(m[10], std::cos(r), 1e-6);
  }
};

using Entry = offscreen::MenuEntry;

Entry item(const char* text, UINT id) { return {MF_STRING, id, text, {}}; }
Entry separator() { return {MF_SEPARATOR, 9009, "", {}}; }
Entry drop(const char* text, std::vector<Entry> items) { return {MF_POPUP, 0, text, items}; }

void expect_menu(const std::vector<Entry>& got, const std::vector<Entry>& want,
                 const std::string& where) {
  ASSERT_EQ(got.size(), want.size()) << where;
  for (std::size_t i = 0; i < want.size(); ++i) {
    const std::string at = where + "/" + want[i].text + "#" + std::to_string(i);
    EXPECT_EQ(got[i].text, want[i].text) << at;
    EXPECT_EQ(got[i].flags, want[i].flags) << at;
    EXPECT_EQ(got[i].id, want[i].id) << at;
    expect_menu(got[i].popup, want[i].popup, at);
  }
}

TEST_F(Commands, MenuBarHasTheFiveDropDownsInOrder) {
  const std::vector<Entry> want{
      drop("&F\xC3\xA1jl", {item("&V\xC3\xA9ge", 9010), separator(),
                            item("&Olvas (TempFile.fap)", 9011), separator(),
                            item("&Folyamatos \xC3\xA9l\xC5\x91 m\xC3\xB3"
                                 "d",
                                 9013),
                            item("&Megnyit\xC3\xA1s\xE2\x80\xA6", 9014)}),
      drop("&Forg\xC3\xA1s", {item("&Forg\xC3\xA1s gyors\xC3\xADt\xC3\xA1s", 9002),
                              item("&Forg\xC3\xA1s lass\xC3\xADt\xC3\xA1s", 9003),
                              item("&Forg\xC3\xA1s vissza\xC3\xA1ll\xC3\xADt\xC3\xA1sa", 9004)}),
      drop("&FP kijel\xC3\xB6l\xC3\xA9se",
           {item("&FP 2.1", 9201), separator(),           item("&FP 2.2", 9202),
            item("&FP 2.3", 9203), item("&FP 2.4", 9204), item("&FP 2.5", 9205),
            item("&FP 2.6", 9206), item("&FP 2.7", 9207), item("&FP 2.8", 9208),
            item("&FP 2.9", 9209), separator(),           item("&FP 2.10", 9210),
            separator(),           item("&FP 8.1", 9801), item("&FP 8.2", 9802),
            item("&FP 8.3", 9803), item("&FP 8.4", 9804), item("&FP 8.5", 9805),
            item("&FP 8.6", 9806), item("&FP 8.7", 9807), item("&FP 8.8", 9808),
            separator(),           item("&FP 9.9", 9909)}),
      drop("&N\xC3\xA9zet",
           {item("&Vertex modell", 9006), item("&H\xC3\xA1l\xC3\xB3 modell", 9005),
            item("&Polygon modell", 9008), separator(), item("&Sima fel\xC3\xBClet", 9012),
            Entry{MF_CHECKED,
                  9016,
                  "&Artikul\xC3\xA1"
                  "ci\xC3\xB3",
                  {}},
            item("&\xC3\x89leth\xC5\xB1 fej", 9020)}),
      drop("&Seg\xC3\xADts\xC3\xA9g",
           {item("&Seg\xC3\xADts\xC3\xA9g", 9007), item("&\xC3\x9Aj funkci\xC3\xB3k", 9021)}),
  };
  expect_menu(offscreen::menu_bar(hWnd), want, "bar");
}

TEST_F(Commands, WithoutTheMenuFlagTheBarStaysEmptyAndDetached) {
  DestroyWindow(hWnd);
  offscreen::reset();
  support::reset_viewer();
  menu = false;
  ASSERT_NE(start(), nullptr);
  EXPECT_TRUE(called("CreateMenu"));
  EXPECT_FALSE(called("SetMenu"));
  EXPECT_TRUE(offscreen::menu_bar(hWnd).empty());
  EXPECT_NE(hGLRC, nullptr);
}

TEST_F(Commands, RotationSpeedCommandsShowTheirBoxesAndKeepTheStepAtLeastOne) {
  rotx = 3.0;
  EXPECT_TRUE(defaulted([] { command(9002); }));
  EXPECT_EQ(rotspeed, 2);
  EXPECT_EQ(rotx, 0.0);
  EXPECT_TRUE(defaulted([] { command(9003); }));
  EXPECT_EQ(rotspeed, 1);
  command(9003);  // at the lower bound: the box still comes, the step stays
  EXPECT_EQ(rotspeed, 1);
  const auto& boxes = offscreen::message_boxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (const auto& b : boxes) {
    EXPECT_EQ(b.owner, hWnd);
    EXPECT_EQ(b.caption, "Forgat\xC3\xA1s v\xC3\xA1ltoz\xC3\xA1s!");
    EXPECT_EQ(b.type, 0u);
  }
  EXPECT_EQ(boxes[0].text, "A forgat\xC3\xA1s sebess\xC3\xA9ge felgyorsult!");
  EXPECT_EQ(boxes[1].text, "A forgat\xC3\xA1s sebess\xC3\xA9ge lelassult!");
  EXPECT_EQ(boxes[2].text, "A forgat\xC3\xA1s sebess\xC3\xA9ge lelassult!");
  // Each command drew a frame after its box.
  EXPECT_LT(find_call("MessageBoxA"), find_call("SwapBuffers", find_call("MessageBoxA")));
  EXPECT_EQ(offscreen::frame_count(), 2 + 3);
}

TEST_F(Commands, HelpBoxHoldsTheThirtyFourLines) {
  const char* lines[34] = {
      "Egy kis seg\xC3\xADts\xC3\xA9g a program m\xC5\xB1k\xC3\xB6"
      "d\xC3\xA9s\xC3\xA9hez:",
      "",
      "F1 = vill\xC3\xA1gos\xC3\xADt a k\xC3\xA9pen",
      "F2 = s\xC3\xB6t\xC3\xA9t\xC3\xADt a k\xC3\xA9pen",
      "",
      "A 'Pont kijel\xC3\xB6l\xC3\xA9se' men\xC3\xBCvel lehet kiv\xC3\xA1lasztani egy FP-t,",
      "majd a ny\xC3\xADlakkal \xC3\xA9s PageUp, -Down-nal mozgatni azokat",
      "",
      "A k\xC3\xA9pet lehet 3D-ben forgatni:",
      "Numpad 1 = az x tengely k\xC3\xB6r\xC3\xBCl forgat pozit\xC3\xADv ir\xC3\xA1nyba",
      "Numpad 3 = az x tengely k\xC3\xB6r\xC3\xBCl forgat negat\xC3\xADv ir\xC3\xA1nyba",
      "Numpad 4 = az y tengely k\xC3\xB6r\xC3\xBCl forgat pozit\xC3\xADv ir\xC3\xA1nyba",
      "Numpad 6 = az y tengely k\xC3\xB6r\xC3\xBCl forgat negat\xC3\xADv ir\xC3\xA1nyba",
      "Numpad 7 =  a z tengely k\xC3\xB6r\xC3\xBCl forgat pozit\xC3\xADv ir\xC3\xA1nyba",
      "Numpad 9 =  a z tengely k\xC3\xB6r\xC3\xBCl forgat negat\xC3\xADv ir\xC3\xA1nyba",
      "",
      "Mivel a forg\xC3\xA1s el\xC3\xA9g lass\xC3\xBA, ez\xC3\xA9rt:",
      "Numpad 8 = forg\xC3\xA1s gyors\xC3\xADt\xC3\xA1sa",
      "Numpad 2 = forg\xC3\xA1s lass\xC3\xADt\xC3\xA1sa",
      "",
      "Ha nagyon elforgott a k\xC3\xA9p, akkor:",
      "Numpad 5 = vissza\xC3\xA1ll\xC3\xADt\xC3\xA1s",
      "",
      "Nem csak forgatni, de eltolni (pan) is lehet:",
      "W = felfel\xC3\xA9 tol\xC3\xA1s",
      "S = lefel\xC3\xA9 tol\xC3\xA1s",
      "A = balra tol\xC3\xA1s",
      "D = jobbra tol\xC3\xA1s",
      "",
      "Zoom:",
      "bal klikk = '+'",
      "jobb klikk = '-'",
      "",
      "Ha leakarod j\xC3\xA1tszani a TempFile.fap-ot, akkor ENTER",
  };
  std::string want;
  for (const char* line : lines) want += std::string(line) + "\n";

  EXPECT_TRUE(defaulted([] { command(9007); }));
  ASSERT_EQ(offscreen::message_boxes().size(), 1u);
  const auto& box = offscreen::message_boxes()[0];
  EXPECT_EQ(box.caption, "Seg\xC3\xADts\xC3\xA9g");
  EXPECT_EQ(box.owner, hWnd);
  EXPECT_EQ(box.type, 0u);
  EXPECT_EQ(box.text, want);
  EXPECT_EQ(std::count(box.text.begin(), box.text.end(), '\n'), 34);
  EXPECT_EQ(offscreen::frame_count(), 2);  // help draws nothing

  command(9021);  // the second item: what the design does not have, the Space key first
  EXPECT_NE(offscreen::message_boxes().at(1).text.find("\nSz\xC3\xB3k\xC3\xB6z ="),
            std::string::npos);
}

TEST_F(Commands, FeaturePointItemsSelectByTheirIdentifier) {
  struct Case {
    UINT id;
    int code;
    const char* text;
  };
  const Case cases[] = {{9803, 803, "A 8.3-es FP kiv\xC3\xA1lasztva"},
                        {9210, 210, "A 2.10-es FP kiv\xC3\xA1lasztva"},
                        {9909, 909, "A 9.9-es FP kiv\xC3\xA1lasztva"},
                        {9201, 201, "A 2.1-es FP kiv\xC3\xA1lasztva"},
                        {9808, 808, "A 8.8-es FP kiv\xC3\xA1lasztva"}};
  for (const Case& c : cases) {
    EXPECT_FALSE(defaulted([&] { EXPECT_EQ(command(c.id), 0); })) << c.id;
    EXPECT_EQ(pontselect, c.code);
    const auto& box = offscreen::message_boxes().back();
    EXPECT_EQ(box.caption, "Pontv\xC3\xA1laszt\xC3\xA1s");
    EXPECT_EQ(box.text, c.text);
    EXPECT_EQ(box.owner, hWnd);
    EXPECT_EQ(box.type, 0u);
  }
  // Neighbours of the rule that name no menu item change nothing.
  for (UINT id : {9200u, 9211u, 9809u, 9901u, 9001u, 9009u}) {
    EXPECT_TRUE(defaulted([&] { command(id); })) << id;
    EXPECT_EQ(pontselect, 808);
  }
  EXPECT_EQ(offscreen::message_boxes().size(), 5u);
}

TEST_F(Commands, ModeCommandsRereadTheMeshAndDrawTheirMode) {
  const auto mesh = support::sphere();
  hdx[5] += 9.0;  // a hand deformation
  h201tav[0] = 0.5;
  EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9006), 0); }));
  EXPECT_EQ(nezetselect, 0);
  EXPECT_DOUBLE_EQ(hdx[5], mesh.v[5][0]);
  EXPECT_EQ(h201tav[0], 0.5);  // the weights are not recomputed
  EXPECT_FALSE(close(viewport_centre(), {212, 170, 150}, 25));

  hda[3] = 0;
  EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9005), 0); }));
  EXPECT_EQ(nezetselect, 1);
  EXPECT_EQ(hda[3], mesh.f[3][0]);

  rotx = 4.0;
  EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9008), 0); }));
  EXPECT_EQ(nezetselect, 2);
  EXPECT_EQ(rotx, 0.0);
  EXPECT_TRUE(close(viewport_centre(), {212, 170, 150}, 25));
  EXPECT_EQ(offscreen::frame_count(), 2 + 3);
}

// The smooth-shading item toggles the flag and its check mark and draws at once; started
// with the flag set, the bar shows the item ticked.
TEST_F(Commands, SmoothItemTogglesWithItsCheckMark) {
  auto flags = [] { return offscreen::menu_bar(hWnd)[3].popup[4].flags; };
  EXPECT_EQ(flags(), static_cast<UINT>(MF_STRING));
  rotx = 4.0;
  for (bool want : {true, false}) {
    const int frames = offscreen::frame_count();
    EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9012), 0); }));
    EXPECT_EQ(sima, want);
    EXPECT_EQ(flags(), want ? static_cast<UINT>(MF_CHECKED) : static_cast<UINT>(MF_STRING));
    EXPECT_EQ(offscreen::frame_count(), frames + 1);
    EXPECT_EQ(rotx, 0.0);
  }
  DestroyWindow(hWnd);
  offscreen::reset();
  support::reset_viewer();
  sima = true;
  ASSERT_NE(start(), nullptr);
  EXPECT_EQ(flags(), static_cast<UINT>(MF_CHECKED));
}

// The articulation item, ticked from the start, switches what the live modes draw; it draws
// nothing itself.
TEST_F(Commands, ArticulationItemTogglesWithItsCheckMark) {
  auto flags = [] { return offscreen::menu_bar(hWnd)[3].popup[5].flags; };
  EXPECT_EQ(flags(), static_cast<UINT>(MF_CHECKED));
  for (bool want : {false, true}) {
    const int frames = offscreen::frame_count();
    EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9016), 0); }));
    EXPECT_EQ(artikulacio, want);
    EXPECT_EQ(flags(), want ? static_cast<UINT>(MF_CHECKED) : static_cast<UINT>(MF_STRING));
    EXPECT_EQ(offscreen::frame_count(), frames);
  }
}

// The lifelike item switches the look and its check mark (the start-up look is the designed
// one).
TEST_F(Commands, LifelikeItemTogglesWithItsCheckMark) {
  auto flags = [] { return offscreen::menu_bar(hWnd)[3].popup[6].flags; };
  EXPECT_EQ(flags(), static_cast<UINT>(MF_STRING));
  for (bool want : {true, false}) {
    EXPECT_FALSE(defaulted([] { EXPECT_EQ(command(9020), 0); }));
    EXPECT_EQ(lifelike::isOn(), want);
    EXPECT_EQ(flags(), want ? static_cast<UINT>(MF_CHECKED) : static_cast<UINT>(MF_STRING));
  }
}

TEST_F(Commands, ExitCommandAndEscapeEndTheLoopWithStatusZero) {
  offscreen::on_idle([] { PostMessageA(hWnd, WM_COMMAND, 9010, 0); });
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_FALSE(offscreen::starved());
  // The exit command posts the quit request directly: the window was not destroyed.
  EXPECT_FALSE(called("send WM_DESTROY"));

  DestroyWindow(hWnd);
  offscreen::reset();
  support::reset_viewer();
  offscreen::on_idle([] { PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 0); });
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_TRUE(called("send WM_DESTROY"));
}

TEST_F(Commands, LiveModeStartsFromTheMenuAndEnterWithTheIncrementsReset) {
  rotx = 2.0;
  roty = 3.0;
  EXPECT_TRUE(defaulted([] { command(9011); }));
  ASSERT_EQ(fake_live::calls(), 1);
  EXPECT_EQ(fake_live::last().rotx, 0.0);
  EXPECT_EQ(fake_live::last().roty, 0.0);
  rotz = 5.0;
  EXPECT_TRUE(defaulted([] { key(VK_RETURN); }));
  ASSERT_EQ(fake_live::calls(), 2);
  EXPECT_EQ(fake_live::last().rotz, 0.0);
}

TEST_F(Commands, InputQueuedDuringTheDesignedRunIsDroppedButEscapeAndCloseStay) {
  // What the user did while the run blocked the window is queued behind it: a burst of
  // Enter, keys, clicks, a menu pick, then Escape and the close box.
  PostMessageA(hWnd, WM_KEYDOWN, VK_RETURN, 1);
  for (int i = 0; i < 30; ++i) PostMessageA(hWnd, WM_KEYDOWN, VK_RETURN, 1);
  PostMessageA(hWnd, WM_KEYDOWN, VK_NUMPAD1, 1);
  PostMessageA(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
  PostMessageA(hWnd, WM_COMMAND, 9011, 0);
  PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
  PostMessageA(hWnd, WM_CLOSE, 0, 0);
  MSG first;
  ASSERT_TRUE(PeekMessageA(&first, hWnd, 0, 0, PM_REMOVE));
  const double zoom = d;
  DispatchMessageA(&first);  // the run; the rest was "typed" during it
  EXPECT_EQ(fake_live::calls(), 1);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(msg.wParam, static_cast<WPARAM>(VK_ESCAPE));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_CLOSE));
  EXPECT_EQ(d, zoom);  // the click was not served
  // Escape then ends the program as usual.
  PostMessageA(hWnd, WM_KEYDOWN, VK_ESCAPE, 1);
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_EQ(fake_live::calls(), 1);
}

TEST_F(Commands, SpaceAndTheCheckItemToggleTheContinuousModeEscapeStopsItFirst) {
  fake_modes::reset();
  EXPECT_EQ(key(VK_SPACE), 0);
  EXPECT_EQ(command(9013), 0);
  EXPECT_EQ(fake_modes::continuous(), 2);
  fake_modes::set_running(true);  // as inside the mode, further up the stack
  key(VK_SPACE);
  EXPECT_EQ(fake_modes::stops(), 1);
  fake_modes::set_running(true);
  command(9013);
  EXPECT_EQ(fake_modes::stops(), 2);
  fake_modes::set_running(true);
  key(VK_ESCAPE);
  EXPECT_EQ(fake_modes::stops(), 3);
  EXPECT_TRUE(IsWindow(hWnd));  // only the mode ended
  // Enter in a mode ends it and comes again for the main loop: the designed run follows.
  fake_modes::set_running(true);
  key(VK_RETURN);
  EXPECT_EQ(fake_live::calls(), 0);
  offscreen::pump();
  EXPECT_EQ(fake_live::calls(), 1);
  EXPECT_EQ(fake_modes::continuous(), 2);
  key(VK_ESCAPE);
  EXPECT_FALSE(IsWindow(hWnd));
}

TEST_F(Commands, OpenAsksForAFileAndPlaysIt) {
  fake_modes::reset();
  offscreen::answer_file_chooser("");  // cancelled
  command(9014);
  ASSERT_EQ(offscreen::file_choosers().size(), 1u);
  EXPECT_EQ(offscreen::file_choosers()[0].owner, hWnd);
  EXPECT_EQ(offscreen::file_choosers()[0].types.at(0).patterns.at(1), "*.WAV");
  EXPECT_TRUE(fake_modes::played().empty());
  offscreen::answer_file_chooser(
      "/tmp/besz\xC3\xA9"
      "d.wav");
  command(9014);
  ASSERT_EQ(fake_modes::played().size(), 1u);
  EXPECT_EQ(fake_modes::played()[0],
            "/tmp/besz\xC3\xA9"
            "d.wav");
  // The file of the command line, once the window is up.
  parancssoriFajl = "/tmp/x.flac";
  inditoParancs = kParancssoriFajl;
  offscreen::on_idle([] { PostMessageA(hWnd, WM_COMMAND, 9010, 0); });
  EXPECT_EQ(WinMain(instance_, nullptr, nullptr, SW_SHOWNORMAL), 0);
  inditoParancs = 0;
  ASSERT_EQ(fake_modes::played().size(), 2u);
  EXPECT_EQ(fake_modes::played()[1], "/tmp/x.flac");
}

TEST_F(Commands, RotationKeysSetOneIncrementToTheStep) {
  struct Case {
    WPARAM vk;
    double x, y, z;
  };
  rotspeed = 3;
  const Case cases[] = {{VK_NUMPAD1, 3, 0, 0},  {VK_NUMPAD3, -3, 0, 0}, {VK_NUMPAD4, 0, 3, 0},
                        {VK_NUMPAD6, 0, -3, 0}, {VK_NUMPAD7, 0, 0, 3},  {VK_NUMPAD9, 0, 0, -3}};
  for (const Case& c : cases) {
    rotx = roty = rotz = 99.0;
    EXPECT_FALSE(defaulted([&] { EXPECT_EQ(key(c.vk), 0); })) << c.vk;
    EXPECT_EQ(rotx, c.x) << c.vk;
    EXPECT_EQ(roty, c.y) << c.vk;
    EXPECT_EQ(rotz, c.z) << c.vk;
  }
  EXPECT_EQ(offscreen::frame_count(), 2 + 6);
}

TEST_F(Commands, KeypadEightThriceThenOneTurnsFourDegreesWithAFourPixelMarker) {
  for (int i = 0; i < 6; ++i) click(WM_RBUTTONDOWN);  // zoom out until the tip shows
  EXPECT_NEAR(d, 1.0, 1e-12);
  for (int i = 0; i < 3; ++i) key(VK_NUMPAD8);
  key(VK_NUMPAD1);
  EXPECT_EQ(rotspeed, 4);
  expect_turn_about_x(4.0);
  // The widest run of marker blue above the middle (the z axis, three wide, runs below).
  const auto& img = offscreen::front();
  const int top = img.height - winH;  // the square's first row
  int widest = 0;
  for (int y = top; y < top + winH / 2; ++y) {
    int run = 0;
    for (int x = 0; x < winW; ++x) {
      run = close(img.rgb(x, y), {0, 0, 128}, 3) ? run + 1 : 0;
      widest = std::max(widest, run);
    }
  }
  EXPECT_EQ(widest, 4);
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_EQ(size, 4.0f);
}

TEST_F(Commands, KeypadTwoAndFiveAndBrightness) {
  key(VK_NUMPAD2);
  EXPECT_EQ(rotspeed, 1);
  key(VK_NUMPAD8);
  key(VK_NUMPAD2);
  EXPECT_EQ(rotspeed, 1);
  key(VK_NUMPAD1);
  key(VK_NUMPAD1);
  expect_turn_about_x(2.0);
  key(VK_NUMPAD5);
  expect_turn_about_x(0.0);
  EXPECT_EQ(rotx, 0.0);
  for (int i = 0; i < 10; ++i) key(VK_F1);
  EXPECT_NEAR(feny, 1.0, 1e-12);
  // At full ambient a face turned to the viewer shows more than the skin colour itself.
  const Rgb bright = viewport_centre();
  EXPECT_GE(bright[0], 249);
  for (int i = 0; i < 12; ++i) key(VK_F2);
  EXPECT_NEAR(feny, 0.4, 1e-12);
  EXPECT_LT(viewport_centre()[0], 212);
}

TEST_F(Commands, KeypadOneThenALeftClickZoomsTheResetViewAndTurnsItOnce) {
  key(VK_NUMPAD1);
  key(VK_NUMPAD1);  // 2 degrees accumulated
  EXPECT_EQ(click(WM_LBUTTONDOWN), 0);
  EXPECT_NEAR(d, 0.65, 1e-12);
  EXPECT_EQ(rotx, 1.0);  // a click does not reset the increments
  expect_turn_about_x(1.0);
  GLdouble p[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  EXPECT_NEAR(p[0], 1.0 / 0.65, 1e-6);
  click(WM_RBUTTONDOWN);
  EXPECT_NEAR(d, 0.7, 1e-12);
  expect_turn_about_x(1.0);
}

// Thirteen left clicks bring the zoom from 0.7 to its limit 0.05; the fourteenth would
// make the frustum empty and the next ones mirror the head, so it does nothing at all.
TEST_F(Commands, ZoomStopsAtItsLimitsWhereAClickDoesNothing) {
  for (int i = 0; i < 13; ++i) click(WM_LBUTTONDOWN);
  EXPECT_EQ(d, kDmin);
  const int frames = offscreen::frame_count();
  click(WM_LBUTTONDOWN);
  EXPECT_EQ(d, kDmin);
  EXPECT_EQ(offscreen::frame_count(), frames);
  GLdouble p[16];
  glGetDoublev(GL_PROJECTION_MATRIX, p);
  EXPECT_NEAR(p[0], 1.0 / kDmin, 1e-6);
  EXPECT_NEAR(p[5], 1.0 / kDmin, 1e-6);
  click(WM_RBUTTONDOWN);
  EXPECT_NEAR(d, 0.1, 1e-12);

  d = kDmax - 0.03;
  click(WM_RBUTTONDOWN);
  EXPECT_EQ(d, kDmax);
  click(WM_RBUTTONDOWN);
  EXPECT_EQ(d, kDmax);
  EXPECT_EQ(offscreen::frame_count(), frames + 2);
}

// Light, pan and rotation step stop at their bounds; the key still draws its frame.
TEST_F(Commands, LightPanAndStepKeysStopAtTheirBounds) {
  struct Case {
    WPARAM vk;
    double* value;
    double start, want;
  };
  const Case cases[] = {
      {VK_F1, &feny, 0.98, kFenyMax},       {VK_F2, &feny, 0.02, kFenyMin},
      {'D', &tolx, kTolMax - 0.5, kTolMax}, {'A', &tolx, -kTolMax, -kTolMax},
      {'W', &toly, kTolMax, kTolMax},       {'S', &toly, 0.5 - kTolMax, -kTolMax}};
  for (const Case& c : cases) {
    *c.value = c.start;
    const int frames = offscreen::frame_count();
    key(c.vk);
    EXPECT_EQ(*c.value, c.want) << c.vk;
    EXPECT_EQ(offscreen::frame_count(), frames + 1) << c.vk;
  }
  rotspeed = kRotspeedMax - 1;
  key(VK_NUMPAD8);
  key(VK_NUMPAD8);
  EXPECT_EQ(rotspeed, kRotspeedMax);
}

TEST_F(Commands, KeypadOneThenDShiftsTheUnrotatedView) {
  key(VK_NUMPAD1);
  key('D');
  EXPECT_EQ(tolx, 1.0);
  EXPECT_EQ(rotx, 0.0);
  const std::array<double, 16> shifted{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, -125, 1};
  EXPECT_EQ(modelview(), shifted);
  key('A');
  key('A');
  key('W');
  key('S');
  key('S');
  EXPECT_EQ(tolx, -1.0);
  EXPECT_EQ(toly, -1.0);
}

TEST_F(Commands, OtherKeysGetTheDefaultProcessingAndKeepTheIncrements) {
  rotx = 3.0;
  EXPECT_TRUE(defaulted([] { key('Q'); }));
  EXPECT_TRUE(defaulted([] { key(VK_CLEAR); }));  // keypad 5 without Num Lock
  EXPECT_EQ(rotx, 3.0);
  EXPECT_EQ(offscreen::frame_count(), 2);
}

TEST_F(Commands, ArrowKeysMoveTheSelectedPointByItsWeights) {
  command(9201);
  double before[40];
  for (int k = 0; k < 40; ++k) before[k] = hdx[h201index[k]];
  const double y136 = hdy[h201pivotindex];
  EXPECT_EQ(key(VK_RIGHT), 0);
  for (int k = 0; k < 40; ++k)
    EXPECT_NEAR(hdx[h201index[k]], before[k] + 0.2 * h201tav[k], 1e-12) << h201index[k];
  // The pivot has weight 1 and moves by the whole step, in x only.
  const int pivot =
      static_cast<int>(std::find(h201index, h201index + 40, h201pivotindex) - h201index);
  ASSERT_LT(pivot, 40);
  EXPECT_DOUBLE_EQ(h201tav[pivot], 1.0);
  EXPECT_NEAR(hdx[h201pivotindex], before[pivot] + 0.2, 1e-12);
  EXPECT_DOUBLE_EQ(hdy[h201pivotindex], y136);
  // Each key moves along its own axis and sense.
  const struct {
    WPARAM vk;
    int axis;
    double sign;
  } keys[] = {
      {VK_LEFT, 0, -1}, {VK_UP, 1, 1}, {VK_DOWN, 1, -1}, {VK_PRIOR, 2, 1}, {VK_NEXT, 2, -1}};
  double* axes[3] = {hdx, hdy, hdz};
  for (const auto& k : keys) {
    const double was = axes[k.axis][h201pivotindex];
    key(k.vk);
    EXPECT_NEAR(axes[k.axis][h201pivotindex], was + k.sign * 0.2, 1e-12) << k.vk;
  }
  // The wire mode rereads the mesh: the point is back where the file has it.
  command(9005);
  const auto mesh = support::sphere();
  for (int k = 0; k < 40; ++k) EXPECT_DOUBLE_EQ(hdx[h201index[k]], mesh.v[h201index[k]][0]);
}

TEST_F(Commands, TeethMovesChangeOnlyTheirDisplacementAndNotThePicture) {
  command(9909);
  key(VK_RIGHT);  // a first frame after the selection box
  const auto picture = offscreen::front().rgba;
  const auto mesh_x = std::vector<double>(hdx, hdx + 348);
  key(VK_UP);
  key(VK_UP);
  key(VK_NEXT);
  EXPECT_NEAR(p909move[0], 0.2, 1e-12);
  EXPECT_NEAR(p909move[1], 0.4, 1e-12);
  EXPECT_NEAR(p909move[2], -0.2, 1e-12);
  EXPECT_EQ(std::vector<double>(hdx, hdx + 348), mesh_x);
  EXPECT_EQ(offscreen::front().rgba, picture);
}

TEST_F(Commands, MovingWithNothingSelectedOnlyRedraws) {
  const auto mesh_y = std::vector<double>(hdy, hdy + 348);
  const int frames = offscreen::frame_count();
  key(VK_UP);
  EXPECT_EQ(std::vector<double>(hdy, hdy + 348), mesh_y);
  EXPECT_EQ(offscreen::frame_count(), frames + 1);
}

TEST_F(Commands, ResetViewCommandKeepsTheLastIncrement) {
  key(VK_NUMPAD1);
  key(VK_NUMPAD1);
  key(VK_NUMPAD1);
  expect_turn_about_x(3.0);
  EXPECT_TRUE(defaulted([] { command(9004); }));
  expect_turn_about_x(1.0);
}

}  // namespace

namespace {

// The same start and the three modes on the shipped head, when it is there.
class ShippedHead : public shell_test::Program {};

bool skin_like(Rgb p) { return p[0] > p[1] && p[1] > p[2] && p[0] - p[2] > 30 && p[0] < 250; }

int count_where(bool (*test)(Rgb)) {
  const auto& img = offscreen::front();
  int n = 0;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) n += test(img.rgb(x, y));
  return n;
}

TEST_F(ShippedHead, ShowsAShadedHeadThenTheWireMeshAndThePoints) {
  std::ifstream vertices(std::string(ZARVO_DATA_DIR) + "/vertex.txt");
  std::ifstream faces(std::string(ZARVO_DATA_DIR) + "/face.txt");
  if (!vertices || !faces) GTEST_SKIP() << "no mesh in " << ZARVO_DATA_DIR;
  std::ofstream(dir_.path() + "/vertex.txt") << vertices.rdbuf();
  std::ofstream(dir_.path() + "/face.txt") << faces.rdbuf();
  ASSERT_NE(start(), nullptr);

  EXPECT_TRUE(skin_like(viewport_centre()));
  EXPECT_TRUE(close(offscreen::front().rgb(5, 5), {255, 255, 255}, 0));
  const int skin = count_where(skin_like);
  EXPECT_GT(skin, 576 * 576 / 10);  // a head, not a speck

  SendMessageA(hWnd, WM_COMMAND, 9005, 0);
  EXPECT_EQ(count_where(skin_like), 0);
  EXPECT_GT(count_where([](Rgb p) { return close(p, {102, 0, 0}, 3); }), 2000);

  SendMessageA(hWnd, WM_COMMAND, 9006, 0);
  EXPECT_EQ(count_where(skin_like), 0);
  EXPECT_GT(count_where([](Rgb p) { return close(p, {0, 0, 128}, 3); }), 300);

  SendMessageA(hWnd, WM_COMMAND, 9008, 0);
  EXPECT_NEAR(count_where(skin_like), skin, skin / 20);
}

}  // namespace
