// The mesh readers on arbitrary file contents. Input: the bytes up to the first NUL are
// "vertex.txt", the rest "face.txt" (absent when there is no NUL). Each input starts from
// the shipped head. After the reads the arrays hold only what the drawing can use (finite
// coordinates within +-1e6, subscripts 0..346), the weights computed from them are finite
// and within [0, 1], moves keep the mesh finite, and a problem is said in one line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/mozgat.h"
#include "model/valtozok.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The shipped head as the readers leave it, to start every input from.
double head[4][348];
int faces[4][kFaceCount];
double* const kVertexArrays[4] = {hdindex, hdx, hdy, hdz};
int* const kFaceArrays[4] = {hdracsindex, hda, hdb, hdc};

void write(const char* name, const std::uint8_t* p, std::size_t n) {
  std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(p), n);
}

template <int N>
void check_weights(const double (&w)[N]) {
  for (double x : w) fuzz::check(fuzz::inside(x, 0.0, 1.0), "weights finite and within [0, 1]");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::work_in("fuzz_mesh-cwd");
  adatmappak({ZARVO_DATA_DIR});
  vertexbeolv();
  facebeolv();
  adatmappak({});
  Modellhiba h;
  fuzz::check(!uj_modellhiba(h), "the shipped head reads");
  for (int t = 0; t < 4; ++t) {
    std::memcpy(head[t], kVertexArrays[t], sizeof head[t]);
    std::memcpy(faces[t], kFaceArrays[t], sizeof faces[t]);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (int t = 0; t < 4; ++t) {
    std::memcpy(kVertexArrays[t], head[t], sizeof head[t]);
    std::memcpy(kFaceArrays[t], faces[t], sizeof faces[t]);
  }
  const auto* nul = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  write("vertex.txt", data, nul ? nul - data : size);
  if (nul)
    write("face.txt", nul + 1, data + size - nul - 1);
  else
    std::remove("face.txt");

  vertexbeolv();
  facebeolv();
  for (int i = 0; i < 348; ++i)
    for (double* a : kVertexArrays)
      fuzz::check(fuzz::inside(a[i], -1e6, 1e6), "vertex values finite and within +-1e6");
  for (int j = 0; j < kFaceCount; ++j)
    for (int t = 1; t < 4; ++t)
      fuzz::check(kFaceArrays[t][j] >= 0 && kFaceArrays[t][j] < kVertexCount,
                  "subscripts name loaded vertices");
  Modellhiba h;
  if (uj_modellhiba(h))
    fuzz::check(!h.sor.empty() && h.sor.find('\n') == std::string::npos, "the problem in one line");

  tavolsag();
  check_weights(h201tav), check_weights(h202tav), check_weights(h203tav);
  check_weights(h204tav), check_weights(h205tav), check_weights(h206tav);
  check_weights(h207tav), check_weights(h208tav), check_weights(h209tav);
  check_weights(h210tav), check_weights(h801tav), check_weights(h802tav);
  check_weights(h803tav), check_weights(h804tav), check_weights(h805tav);
  check_weights(h806tav), check_weights(h807tav), check_weights(h808tav);
  // The largest moves the live mode makes (FAP values of about +-1250 times a unit).
  for (int fp :
       {201, 202, 203, 204, 205, 206, 207, 208, 209, 210, 801, 802, 803, 804, 805, 806, 807, 808})
    mozgat(fp, 50.0, 0, 1, 0);
  for (int i = 0; i < kVertexCount; ++i)
    fuzz::check(std::isfinite(hdx[i] + hdy[i] + hdz[i]), "moved mesh finite");
  return 0;
}
