// The desktop backend's key table: FLTK keys to Windows virtual-key codes.
#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include "platform/fltk_backend.h"

namespace {

TEST(FltkKeys, KeypadDigitsFollowNumLock) {
  for (int n = 0; n <= 9; ++n) EXPECT_EQ(vk_from_fltk(FL_KP + '0' + n, FL_NUM_LOCK), 0x60 + n) << n;
  // Without Num Lock the keypad is the cursor block, as Windows reports it.
  const int cursor[10] = {0x2D, 0x23, 0x28, 0x22, 0x25, 0x0C, 0x27, 0x24, 0x26, 0x21};
  for (int n = 0; n <= 9; ++n) EXPECT_EQ(vk_from_fltk(FL_KP + '0' + n, 0), cursor[n]) << n;
  EXPECT_EQ(vk_from_fltk(FL_KP + '.', FL_NUM_LOCK), 0x6E);
  EXPECT_EQ(vk_from_fltk(FL_KP + '.', 0), 0x2E);
}

TEST(FltkKeys, CommandKeysOfTheViewer) {
  EXPECT_EQ(vk_from_fltk(FL_F + 1, 0), 0x70);
  EXPECT_EQ(vk_from_fltk(FL_F + 2, 0), 0x71);
  EXPECT_EQ(vk_from_fltk(FL_Escape, 0), 0x1B);
  EXPECT_EQ(vk_from_fltk(FL_Enter, 0), 0x0D);
  EXPECT_EQ(vk_from_fltk(FL_KP_Enter, FL_NUM_LOCK), 0x0D);
  EXPECT_EQ(vk_from_fltk(FL_KP_Enter, 0), 0x0D);
  EXPECT_EQ(vk_from_fltk(FL_Left, 0), 0x25);
  EXPECT_EQ(vk_from_fltk(FL_Up, 0), 0x26);
  EXPECT_EQ(vk_from_fltk(FL_Right, 0), 0x27);
  EXPECT_EQ(vk_from_fltk(FL_Down, 0), 0x28);
  EXPECT_EQ(vk_from_fltk(FL_Page_Up, 0), 0x21);
  EXPECT_EQ(vk_from_fltk(FL_Page_Down, 0), 0x22);
  // Letters report the upper-case code whatever the shift and lock state.
  EXPECT_EQ(vk_from_fltk('w', 0), 0x57);
  EXPECT_EQ(vk_from_fltk('a', FL_SHIFT), 0x41);
  EXPECT_EQ(vk_from_fltk('s', FL_CAPS_LOCK), 0x53);
  EXPECT_EQ(vk_from_fltk('d', 0), 0x44);
  EXPECT_EQ(vk_from_fltk('7', 0), 0x37);
}

TEST(FltkKeys, KeysWithoutACodeGiveZero) {
  EXPECT_EQ(vk_from_fltk(FL_Shift_L, 0), 0);
  EXPECT_EQ(vk_from_fltk(FL_Num_Lock, 0), 0);
  EXPECT_EQ(vk_from_fltk(FL_F + 30, 0), 0);
}

}  // namespace
