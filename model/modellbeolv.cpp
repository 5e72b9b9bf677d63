// Readers of "vertex.txt" and "face.txt". Each element is one formatted extraction; once
// an extraction fails the stream stays failed, so that element and all later ones keep
// the values they had (the previous, possibly deformed, mesh or the initial zeros).
#include "model/modellbeolv.h"

#include <algorithm>
#include <fstream>
#include <locale>

#include "model/valtozok.h"

namespace {

// A failed extraction writes 0 (bad token) or the type's limit (overflow) into its
// target, so extract into a temporary and keep the element's old value on failure.
template <typename T>
void olvas(std::istream& be, T& cel) {
  T v{};
  if (be >> v) cel = v;
}

// The files use the classic notation (decimal point, no digit grouping); a user locale
// with a decimal comma must not change how they parse.
void klasszikus(std::ifstream& be) { be.imbue(std::locale::classic()); }

bool jo_csucs(int k) { return k >= 0 && k < kVertexCount; }

}  // namespace

void vertexbeolv() {
  std::ifstream be("vertex.txt");
  klasszikus(be);
  for (int i = 0; i < kVertexCount; ++i) {
    olvas(be, hdindex[i]);
    olvas(be, hdx[i]);
    olvas(be, hdy[i]);
    olvas(be, hdz[i]);
  }
}

// The subscripts index hdx/hdy/hdz directly in every loop over the triangles, so a file
// that supplies any subscript outside 0..346 is refused as a whole: the previous
// triangles stay, and the arrays only ever hold subscripts of loaded vertices. (347 is
// inside the arrays but names the never-loaded origin, so it is refused too.) The file
// is read into copies of the current arrays, so a short or broken file still keeps the
// old values for the elements it could not supply.
void facebeolv() {
  int n[kFaceCount], a[kFaceCount], b[kFaceCount], c[kFaceCount];
  std::copy_n(hdracsindex, kFaceCount, n);
  std::copy_n(hda, kFaceCount, a);
  std::copy_n(hdb, kFaceCount, b);
  std::copy_n(hdc, kFaceCount, c);

  std::ifstream be("face.txt");
  klasszikus(be);
  for (int i = 0; i < kFaceCount; ++i) {
    olvas(be, n[i]);
    olvas(be, a[i]);
    olvas(be, b[i]);
    olvas(be, c[i]);
  }

  // The elements the file did not supply hold the old values, which passed this test
  // when they came (or are the initial zeros), so only the file can fail it.
  for (int i = 0; i < kFaceCount; ++i)
    if (!jo_csucs(a[i]) || !jo_csucs(b[i]) || !jo_csucs(c[i])) return;

  std::copy_n(n, kFaceCount, hdracsindex);
  std::copy_n(a, kFaceCount, hda);
  std::copy_n(b, kFaceCount, hdb);
  std::copy_n(c, kFaceCount, hdc);
}
