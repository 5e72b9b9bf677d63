// zarvo-icon DATA_DIR OUT.png [SIZE]: the program's icon, the shipped head drawn by the
// program's own drawing code (shaded polygon model, its lights and skin) on the offscreen
// backend, turned a little to the side, on a transparent background. Drawn at four times
// the size and averaged down, so the outline is smooth. Built and run at build time, so
// the icon always shows the mesh that is installed with it.
#include <GL/gl.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/rajzolo.h"

namespace {

constexpr int kSuper = 4;
constexpr double kTurn = -25.0;  // degrees about y: a three-quarter view reads as a head

bool fail(const char* what) {
  std::fprintf(stderr, "zarvo-icon: %s\n", what);
  return false;
}

// A window of side n with a current OpenGL context, through the Win32 layer.
bool context(int n) {
  HINSTANCE instance = offscreen::reset();
  if (!offscreen::register_class("icon", DefWindowProcA, instance)) return fail("no window class");
  HWND w = CreateWindowExA(0, "icon", "", 0, 0, 0, n, n, nullptr, nullptr, instance, nullptr);
  if (!w) return fail("no window");
  HDC dc;
  if (!offscreen::make_current(w, &dc)) return fail("no OpenGL format or context");
  return true;
}

// Frames the turned head: the pan centres its outline, the zoom fits its larger side with a
// margin for the perspective of the parts nearer the eye.
void frame() {
  const double c = std::cos(kTurn * M_PI / 180), s = std::sin(kTurn * M_PI / 180);
  double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
  for (int i = 0; i < kVertexCount; ++i) {
    const double p[2] = {hdx[i] * c + hdz[i] * s, hdy[i]};
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
  }
  tolx = -(lo[0] + hi[0]) / 2;
  toly = -(lo[1] + hi[1]) / 2;
  d = std::max(hi[0] - lo[0], hi[1] - lo[1]) / 2 * 1.05 / 125.0;
}

bool write_png(const char* path, const std::vector<unsigned char>& rgba, int n) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return fail("cannot write the picture");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = info && !setjmp(png_jmpbuf(png));
  if (ok) {
    png_init_io(png, f);
    png_set_IHDR(png, info, n, n, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < n; ++y) png_write_row(png, &rgba[static_cast<std::size_t>(y) * n * 4]);
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 && ok ? true : fail("cannot write the picture");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: zarvo-icon DATA_DIR OUT.png [SIZE]\n", stderr);
    return 2;
  }
  const int n = argc > 3 ? std::atoi(argv[3]) : 256;
  if (n < 16 || n > 1024) {
    fail("SIZE must be 16..1024");
    return 2;
  }
  const int big = n * kSuper;

  // The readers try the working directory first: read from the data folder itself, so no
  // stray mesh file elsewhere can become the icon's head.
  std::error_code ec;
  const std::filesystem::path out = std::filesystem::absolute(argv[2], ec);
  if (!ec) std::filesystem::current_path(argv[1], ec);
  if (ec) {
    fail("cannot enter the data folder");
    return 2;
  }
  std::string problem;
  if (!modellbetolt({}, problem)) {
    fail(problem.c_str());
    return 2;
  }
  if (!context(big)) return 2;

  frame();
  winW = winH = big;
  initMapping();
  glClearColor(1.0f, 1.0f, 1.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glRotatef(static_cast<GLfloat>(kTurn), 0.0f, 1.0f, 0.0f);
  lights();
  poly_og();
  glFinish();
  std::vector<unsigned char> pixels(static_cast<std::size_t>(big) * big * 4);
  glReadPixels(0, 0, big, big, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());

  // Box filter with the colours weighted by their coverage, rows turned top first.
  std::vector<unsigned char> icon(static_cast<std::size_t>(n) * n * 4);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      double sum[4] = {0, 0, 0, 0};
      for (int v = 0; v < kSuper; ++v)
        for (int u = 0; u < kSuper; ++u) {
          const unsigned char* p =
              &pixels[(static_cast<std::size_t>(y * kSuper + v) * big + x * kSuper + u) * 4];
          for (int c = 0; c < 3; ++c) sum[c] += p[c] * p[3];
          sum[3] += p[3];
        }
      unsigned char* q = &icon[(static_cast<std::size_t>(n - 1 - y) * n + x) * 4];
      for (int c = 0; c < 3; ++c)
        q[c] = sum[3] > 0 ? static_cast<unsigned char>(sum[c] / sum[3]) : 0;
      q[3] = static_cast<unsigned char>(sum[3] / (kSuper * kSuper) + 0.5);
    }
  return write_png(out.c_str(), icon, n) ? 0 : 2;
}
