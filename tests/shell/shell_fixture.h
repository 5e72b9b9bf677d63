// The program as it starts: the offscreen window system, the synthetic head in a scratch
// working directory, and the viewer state of a fresh process.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "shell/ablak_beall.h"
#include "tests/render/support.h"
#include "tests/shell/fake_live.h"

namespace shell_test {

using Rgb = std::array<int, 3>;

inline bool close(Rgb got, Rgb want, int tolerance) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(got[i] - want[i]) > tolerance) return false;
  return true;
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    instance_ = offscreen::reset();
    support::reset_viewer();
    support::write_sphere(dir_.path());
    hWnd = nullptr;
    hDC = nullptr;
    hGLRC = nullptr;
    hPalette = nullptr;
    fake_live::reset();
  }

  // What WinMain does before its message loop.
  HWND start() {
    MyRegisterClass(instance_);
    return MyCreateInstance(instance_, SW_SHOWNORMAL);
  }

  // Index of the first entry of the call list equal to `what` at or after `from`; npos
  // when there is none.
  static std::size_t find_call(const std::string& what, std::size_t from = 0) {
    const auto& calls = offscreen::records().calls;
    for (std::size_t i = from; i < calls.size(); ++i)
      if (calls[i] == what) return i;
    return std::string::npos;
  }

  static bool called(const std::string& what) { return find_call(what) != std::string::npos; }

  static std::array<double, 16> modelview() {
    std::array<double, 16> m{};
    glGetDoublev(GL_MODELVIEW_MATRIX, m.data());
    return m;
  }

  // Centre of the square viewport in the front image (rows from the top).
  static Rgb viewport_centre() {
    const auto& img = offscreen::front();
    return img.rgb(winW / 2, img.height - 1 - winH / 2);
  }

  HINSTANCE instance_ = nullptr;
  support::TempDir dir_;
};

}  // namespace shell_test
