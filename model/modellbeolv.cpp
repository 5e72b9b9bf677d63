// Readers of "vertex.txt" and "face.txt". Each element is one formatted extraction; once
// an extraction fails the stream stays failed, so that element and all later ones keep
// the values they had (the previous, possibly deformed, mesh or the initial zeros).
// Both readers fill copies of the arrays first, so a refused file changes nothing.
#include "model/modellbeolv.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <locale>

#include "model/costav.h"
#include "model/valtozok.h"

namespace {

namespace fs = std::filesystem;

// What the latest read of one file found.
struct Allapot {
  // csonka: read, but it stopped early (a token that is not a number, or the end of the
  // file) and the rest kept the old values.
  enum { rendben, hianyzik, hibas, csonka } mi = rendben;
  std::string ut;                    // the file read (hibas, csonka)
  std::vector<std::string> probalt;  // the folders tried for a missing file
  int sor = 0;                       // csonka: the line where reading stopped, from 1
  int szam = 0;                      // csonka: the numbers read before it
  bool vege = false;                 // csonka: it stopped at the end of the file
  std::string szo;                   // csonka: the text that is not a number
};

std::vector<std::string> mappak;
Allapot vertex_allapot, face_allapot;
std::string elmondva;  // the last problem handed out, as its line

// The working directory as the messages name it.
std::string munkakonyvtar() {
  std::error_code ec;
  const fs::path p = fs::current_path(ec);
  return ec ? std::string(".") : p.string();
}

// Opens `nev` in the working directory or, failing that, in the first folder that holds a
// regular file of that name which opens. The type is checked before opening: opening a
// FIFO would block the window thread until someone writes to it.
bool megnyit(const char* nev, std::ifstream& be, Allapot& a) {
  a = Allapot{};
  std::vector<std::string> helyek{munkakonyvtar()};
  helyek.insert(helyek.end(), mappak.begin(), mappak.end());
  for (std::size_t i = 0; i < helyek.size(); ++i) {
    const fs::path ut = i == 0 ? fs::path(nev) : fs::path(helyek[i]) / nev;
    std::error_code ec;
    if (!fs::is_regular_file(ut, ec)) continue;
    be.open(ut);
    if (be.is_open()) {
      a.ut = (fs::path(helyek[i]) / nev).string();
      // The files use the classic notation (decimal point, no digit grouping); a user
      // locale with a decimal comma must not change how they parse.
      be.imbue(std::locale::classic());
      return true;
    }
    be.clear();
  }
  a.mi = Allapot::hianyzik;
  a.probalt = helyek;
  a.probalt[0] += " (munkakönyvtár)";
  return false;
}

// A failed extraction writes 0 (bad token) or the type's limit (overflow) into its
// target, so extract into a temporary and keep the element's old value on failure.
// True when a value was read.
template <typename T>
bool olvas(std::istream& be, T& cel) {
  T v{};
  if (!(be >> v)) return false;
  cel = v;
  return true;
}

// Far beyond any head in model units, yet small enough that squared distances and the
// single-precision values handed to OpenGL stay finite.
constexpr double kLegnagyobb = 1e6;

bool jo_szam(double v) { return std::isfinite(v) && std::abs(v) <= kLegnagyobb; }

bool jo_csucs(int k) { return k >= 0 && k < kVertexCount; }

void hibas(Allapot& a) { a.mi = Allapot::hibas; }

// Where a reader whose extraction number `szam` (from 0) failed stopped: the same
// extractions again, then the line and the text at the place they failed. Only run for a
// file that is being reported, so the readers do not pay for it.
template <typename T>
void csonka(Allapot& a, int szam) {
  a.mi = Allapot::csonka;
  a.szam = szam;
  std::ifstream be(a.ut);
  be.imbue(std::locale::classic());
  T v{};
  for (int n = 0; n < szam && be; ++n) be >> v;
  be >> std::ws;
  a.vege = be.eof() || be.peek() == std::char_traits<char>::eof();
  be.clear();
  const std::streamoff hol = be.tellg();
  if (!a.vege) {
    be >> a.szo;
    // A long run of garbage is named by its start.
    if (a.szo.size() > 24) a.szo = a.szo.substr(0, 24) + "…";
  }
  be.clear();
  be.seekg(0);
  a.sor = 1;
  for (std::streamoff n = 0; n < hol && be; ++n)
    if (be.get() == '\n') ++a.sor;
}

}  // namespace

void vertexbeolv() {
  std::ifstream be;
  if (!megnyit("vertex.txt", be, vertex_allapot)) return;
  double* tombok[4] = {hdindex, hdx, hdy, hdz};
  double masolat[4][kVertexCount];
  for (int t = 0; t < 4; ++t) std::copy_n(tombok[t], kVertexCount, masolat[t]);

  // Only values the file supplied are judged; the others are the current mesh.
  bool jo = true;
  int olvasott = 0;
  for (int i = 0; i < kVertexCount; ++i)
    for (int t = 0; t < 4; ++t)
      if (olvas(be, masolat[t][i])) {
        ++olvasott;
        if (!jo_szam(masolat[t][i])) jo = false;
      }
  if (!jo) return hibas(vertex_allapot);

  for (int t = 0; t < 4; ++t) std::copy_n(masolat[t], kVertexCount, tombok[t]);
  if (olvasott < 4 * kVertexCount) csonka<double>(vertex_allapot, olvasott);
}

// The subscripts index hdx/hdy/hdz directly in every loop over the triangles, so a file
// that supplies any subscript outside 0..346 is refused as a whole: the previous
// triangles stay, and the arrays only ever hold subscripts of loaded vertices. (347 is
// inside the arrays but names the never-loaded origin, so it is refused too.)
void facebeolv() {
  std::ifstream be;
  if (!megnyit("face.txt", be, face_allapot)) return;
  int* tombok[4] = {hdracsindex, hda, hdb, hdc};
  int masolat[4][kFaceCount];
  for (int t = 0; t < 4; ++t) std::copy_n(tombok[t], kFaceCount, masolat[t]);

  int olvasott = 0;
  for (int i = 0; i < kFaceCount; ++i)
    for (int t = 0; t < 4; ++t) olvasott += olvas(be, masolat[t][i]);

  // The elements the file did not supply hold the old values, which passed this test
  // when they came (or are the initial zeros), so only the file can fail it.
  for (int t = 1; t < 4; ++t)
    if (!std::all_of(masolat[t], masolat[t] + kFaceCount, jo_csucs)) return hibas(face_allapot);

  for (int t = 0; t < 4; ++t) std::copy_n(masolat[t], kFaceCount, tombok[t]);
  if (olvasott < 4 * kFaceCount) csonka<int>(face_allapot, olvasott);
}

void adatmappak(std::vector<std::string> m) { mappak = std::move(m); }

std::vector<std::string> alap_adatmappak() {
  std::vector<std::string> m;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) m.push_back((exe.parent_path() / ZARVO_DATA_FROM_BIN).lexically_normal().string());
  m.push_back(ZARVO_SOURCE_DATA_DIR);
  return m;
}

bool uj_modellhiba(Modellhiba& h) {
  Modellhiba most;
  auto resz = [](std::string& s, const std::string& uj, const char* kozte) {
    if (!s.empty()) s += kozte;
    s += uj;
  };

  std::vector<const char*> hianyzo;
  const std::vector<std::string>* probalt = nullptr;
  for (const auto* a : {&vertex_allapot, &face_allapot})
    if (a->mi == Allapot::hianyzik) {
      hianyzo.push_back(a == &vertex_allapot ? "vertex.txt" : "face.txt");
      probalt = &a->probalt;
    }
  if (probalt) {
    std::string fajlok = hianyzo[0], hol;
    if (hianyzo.size() == 2) fajlok += std::string(" és ") + hianyzo[1];
    for (const std::string& p : *probalt) resz(hol, p, ", ");
    most.sor = fajlok + " not found as a readable regular file in: " + hol;
    std::string mappalista;
    for (const std::string& p : *probalt) mappalista += "\n    " + p;
    most.szoveg = "Nem található a fej modelljének fájlja: " + fajlok +
                  "\n(olvasható, közönséges fájlként).\n\nKeresett mappák:" + mappalista +
                  "\n\nA program " + (hianyzo.size() == 2 ? "e fájlok" : "e fájl") +
                  " nélkül fut tovább.";
  }
  if (vertex_allapot.mi == Allapot::hibas) {
    resz(most.sor,
         vertex_allapot.ut +
             " refused: a number is not finite or beyond +-1e6; the previous vertices stay",
         "; ");
    resz(most.szoveg,
         "Hibás fájl: " + vertex_allapot.ut +
             "\nOlyan számot tartalmaz, amely nem véges, vagy abszolút értéke nagyobb "
             "egymilliónál.\nA program nem használja; a korábbi csúcspontok maradnak.",
         "\n\n");
  }
  if (face_allapot.mi == Allapot::hibas) {
    resz(most.sor,
         face_allapot.ut +
             " refused: a vertex subscript lies outside 0..346; the previous triangles stay",
         "; ");
    resz(most.szoveg,
         "Hibás fájl: " + face_allapot.ut +
             "\nOlyan csúcsindexet tartalmaz, amely nem esik 0 és 346 közé.\nA program nem "
             "használja; a korábbi háromszögek maradnak.",
         "\n\n");
  }

  for (const auto* a : {&vertex_allapot, &face_allapot}) {
    if (a->mi != Allapot::csonka) continue;
    const bool csucs = a == &vertex_allapot;
    const int rekordok = csucs ? kVertexCount : kFaceCount;
    const int rekord = a->szam / 4 + 1;  // where the old values start
    const std::string sor = std::to_string(a->sor), r = std::to_string(rekord),
                      n = std::to_string(rekordok);
    std::string en, hu;
    if (a->szam == 0 && a->vege) {
      en = a->ut + " is empty";
      hu = "A fájl üres.";
    } else if (a->vege) {
      en = a->ut + ", line " + sor + ": the file ends " +
           (a->szam % 4 == 0 ? "after " + std::to_string(rekord - 1) + " of " + n + " records"
                             : "inside record " + r + " of " + n);
      hu = "A fájl idő előtt véget ér (" + sor + ". sor): " + n + " rekord helyett csak " +
           std::to_string(rekord - 1) + " teljes rekord van benne.";
    } else {
      en = a->ut + ", line " + sor + ", record " + r + " of " + n + ": \"" + a->szo +
           "\" is not a number";
      hu = "A fájl " + sor + ". sora nem olvasható: „" + a->szo + "” nem szám (" + r +
           ". rekord a " + n + " közül).";
    }
    resz(most.sor,
         en + "; from there on the previous " + (csucs ? "vertices" : "triangles") + " stay", "; ");
    resz(most.szoveg,
         "Hibás fájl: " + a->ut + "\n" + hu + "\nInnentől a korábbi " +
             (csucs ? "csúcspontok" : "háromszögek") + " maradnak.",
         "\n\n");
  }

  if (most.sor.empty()) elmondva.clear();
  if (most.sor.empty() || most.sor == elmondva) return false;
  elmondva = most.sor;
  h = std::move(most);
  return true;
}

bool modellbetolt(std::vector<std::string> m, std::string& problem) {
  adatmappak(std::move(m));
  vertexbeolv();
  facebeolv();
  Modellhiba h;
  if (uj_modellhiba(h)) {
    problem = h.sor;
    return false;
  }
  tavolsag();
  return true;
}
