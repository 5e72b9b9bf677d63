// The mesh file readers: what loads, what keeps its old value, that neither a
// decimal-comma locale nor a bad vertex subscript or coordinate can change or corrupt the
// arrays, where the files are looked for, and what is said when they are not usable.
#include "model/modellbeolv.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <clocale>
#include <locale>
#include <sstream>
#include <string>

#include "tests/model/model_fixture.h"

namespace model_test {
namespace {

// Vertex i of the test mesh; all values exact in binary and written in varied notation.
double vx(int i) { return i * 0.25 - 40.0; }
double vy(int i) { return -i * 0.5; }
double vz(int i) { return i / 1024.0; }

std::string vertex_text(int records) {
  std::ostringstream s;
  s.imbue(std::locale::classic());
  s.precision(17);
  for (int i = 0; i < records; ++i) {
    // Mix plain, signed, exponent and tab-separated forms: the layout is free.
    if (i % 3 == 0)
      s << i << ' ' << vx(i) << ' ' << vy(i) << ' ' << vz(i) << '\n';
    else if (i % 3 == 1)
      s << '+' << i << "\t" << std::scientific << vx(i) << ' ' << vy(i) << "\n " << vz(i)
        << std::defaultfloat << "\r\n";
    else
      s << i << ".0  " << vx(i) << "   " << vy(i) << ' ' << vz(i) * 1000.0 << "e-3\n";
  }
  return s.str();
}

// Triangle j of the test mesh: three distinct valid subscripts.
int fa(int j) { return j % 347; }
int fb(int j) { return (j + 1) % 347; }
int fc(int j) { return (j * 7 + 2) % 347; }

std::string face_text(int records) {
  std::ostringstream s;
  for (int j = 0; j < records; ++j) s << j << ' ' << fa(j) << ' ' << fb(j) << ' ' << fc(j) << '\n';
  return s.str();
}

class Reader : public ::testing::Test {
 protected:
  // Sound reads forget any problem said by an earlier test; then no folders, no mesh.
  void SetUp() override {
    adatmappak({});
    ScratchDir::write("vertex.txt", vertex_text(347));
    ScratchDir::write("face.txt", face_text(kFaceCount));
    vertexbeolv();
    facebeolv();
    Modellhiba h;
    ASSERT_FALSE(uj_modellhiba(h)) << h.sor;
    std::filesystem::remove("vertex.txt");
    std::filesystem::remove("face.txt");
    reset_model();
  }
  void TearDown() override { adatmappak({}); }
  ScratchDir dir_;
};

void fill_vertices(double v) {
  for (int i = 0; i < 348; ++i) hdindex[i] = hdx[i] = hdy[i] = hdz[i] = v;
}

void fill_faces(int v) {
  for (int j = 0; j < kFaceCount; ++j) hdracsindex[j] = hda[j] = hdb[j] = hdc[j] = v;
}

void expect_vertices_from(int first, int last) {
  for (int i = first; i < last; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(hdindex[i], i);
    ASSERT_EQ(hdx[i], vx(i));
    ASSERT_EQ(hdy[i], vy(i));
    ASSERT_EQ(hdz[i], vz(i));
  }
}

void expect_faces_from(int first, int last) {
  for (int j = first; j < last; ++j) {
    SCOPED_TRACE(j);
    ASSERT_EQ(hdracsindex[j], j);
    ASSERT_EQ(hda[j], fa(j));
    ASSERT_EQ(hdb[j], fb(j));
    ASSERT_EQ(hdc[j], fc(j));
  }
}

TEST_F(Reader, MissingFilesKeepEveryValue) {
  vertexbeolv();
  facebeolv();
  EXPECT_EQ(Pose::now(), Pose{}) << "no file must leave the empty model at the origin";

  fill_vertices(3.5);
  fill_faces(9);
  vertexbeolv();
  facebeolv();
  for (int i = 0; i < 348; ++i) ASSERT_EQ(hdx[i] + hdy[i] + hdz[i] + hdindex[i], 14.0);
  for (int j = 0; j < kFaceCount; ++j) ASSERT_EQ(hda[j] + hdb[j] + hdc[j] + hdracsindex[j], 36);
}

TEST_F(Reader, FullFilesLoadEveryRecordAndIgnoreWhatFollows) {
  fill_vertices(-7.0);
  ScratchDir::write("vertex.txt", vertex_text(347) + "347 1 2 3\n999 nonsense");
  ScratchDir::write("face.txt", face_text(kFaceCount) + "632 -5 400 1\n");
  vertexbeolv();
  facebeolv();
  expect_vertices_from(0, 347);
  expect_faces_from(0, kFaceCount);
  // The extra record is neither loaded into the spare element nor judged as subscripts.
  EXPECT_EQ(hdx[347], -7.0);
}

TEST_F(Reader, ShortFilesKeepTheTail) {
  fill_vertices(-7.0);
  fill_faces(5);
  ScratchDir::write("vertex.txt", vertex_text(346));
  ScratchDir::write("face.txt", face_text(600) + "600 1 2");  // record 600 cut short
  vertexbeolv();
  facebeolv();
  expect_vertices_from(0, 346);
  EXPECT_EQ(hdx[346], -7.0);
  EXPECT_EQ(hdz[346], -7.0);
  expect_faces_from(0, 600);
  EXPECT_EQ(hdracsindex[600], 600);
  EXPECT_EQ(hda[600], 1);
  EXPECT_EQ(hdb[600], 2);
  EXPECT_EQ(hdc[600], 5);
  EXPECT_EQ(hdc[631], 5);

  // On the first read the missing vertex stays at the origin.
  reset_model();
  vertexbeolv();
  EXPECT_EQ(hdx[346], 0.0);
  EXPECT_EQ(hdy[346], 0.0);
  EXPECT_EQ(hdz[346], 0.0);
  expect_vertices_from(0, 346);
}

TEST_F(Reader, BadTokenStopsReadingThere) {
  fill_vertices(-7.0);
  std::string text = vertex_text(100) + "100 1.5 abc 2\n" + vertex_text(347);
  ScratchDir::write("vertex.txt", text);
  vertexbeolv();
  expect_vertices_from(0, 100);
  EXPECT_EQ(hdindex[100], 100.0);
  EXPECT_EQ(hdx[100], 1.5);
  // The element that failed keeps its old value rather than the reader's 0.
  EXPECT_EQ(hdy[100], -7.0);
  EXPECT_EQ(hdz[100], -7.0);
  EXPECT_EQ(hdx[346], -7.0);

  // An out-of-range number fails the same way instead of storing an infinity.
  fill_vertices(-7.0);
  ScratchDir::write("vertex.txt", "0 1 1e999 2\n1 2 3 4\n");
  vertexbeolv();
  EXPECT_EQ(hdx[0], 1.0);
  EXPECT_EQ(hdy[0], -7.0);
  EXPECT_EQ(hdx[1], -7.0);

  fill_faces(5);
  ScratchDir::write("face.txt", face_text(10) + "10 1 99999999999 3\n" + face_text(632));
  facebeolv();
  expect_faces_from(0, 10);
  EXPECT_EQ(hda[10], 1);
  EXPECT_EQ(hdb[10], 5);
  EXPECT_EQ(hdc[10], 5);
  EXPECT_EQ(hda[11], 5);
}

TEST_F(Reader, FaceRecordJoinsTheFirstThreeVertices) {
  ScratchDir::write("vertex.txt", vertex_text(347));
  std::string faces =
      face_text(7) + "7 0 1 2\n" + face_text(kFaceCount).substr(face_text(8).size());
  ScratchDir::write("face.txt", faces);
  vertexbeolv();
  facebeolv();
  EXPECT_EQ(hdracsindex[7], 7);
  EXPECT_EQ(hdx[hda[7]], vx(0));
  EXPECT_EQ(hdy[hdb[7]], vy(1));
  EXPECT_EQ(hdz[hdc[7]], vz(2));
  expect_faces_from(8, kFaceCount);
}

// A file that stops early loads as designed; where it stopped is said once.
TEST_F(Reader, UnreadableFilesAreSaidOnceWithFileAndLine) {
  const std::string cwd = std::filesystem::current_path().string(), head = vertex_text(100);
  const std::string line = std::to_string(std::ranges::count(head, '\n') + 1);
  ScratchDir::write("vertex.txt", head + "100 1.5 abc 2\n" + vertex_text(347));
  ScratchDir::write("face.txt", face_text(600) + "600 1 2");
  Modellhiba h;
  for (int repaint = 0; repaint < 3; ++repaint) {
    vertexbeolv();
    facebeolv();
    ASSERT_EQ(uj_modellhiba(h), repaint == 0);
  }
  EXPECT_EQ(h.sor, cwd + "/vertex.txt, line " + line + ", record 101 of 347: \"abc\" is not a " +
                       "number; from there on the previous vertices stay; " + cwd + "/face.txt, " +
                       "line 601: the file ends inside record 601 of 632; from there on the " +
                       "previous triangles stay");
  EXPECT_NE(h.szoveg.find("/vertex.txt\nA fájl " + line + ". sora"), std::string::npos);
}

// Any subscript outside 0..346 (347 included: it names the never-loaded origin) refuses
// the whole file, wherever it stands, so the previous triangles stay.
TEST_F(Reader, BadSubscriptRefusesTheWholeFile) {
  ScratchDir::write("face.txt", face_text(kFaceCount));
  facebeolv();
  expect_faces_from(0, kFaceCount);

  const struct {
    int record, field, value;
  } bad[] = {{0, 1, -1},        {0, 2, 347},   {0, 3, 348},          {315, 2, 100000},
             {631, 3, -100000}, {631, 1, 347}, {400, 3, 2147483647}, {5, 2, -2147483647 - 1}};
  for (const auto& b : bad) {
    SCOPED_TRACE(::testing::Message() << b.record << ':' << b.field << '=' << b.value);
    std::ostringstream s;
    for (int j = 0; j < kFaceCount; ++j) {
      int v[4] = {j + 1000, fc(j), fa(j), fb(j)};  // a different, valid mesh
      if (j == b.record) v[b.field] = b.value;
      s << v[0] << ' ' << v[1] << ' ' << v[2] << ' ' << v[3] << '\n';
    }
    ScratchDir::write("face.txt", s.str());
    facebeolv();
    expect_faces_from(0, kFaceCount);
  }

  Modellhiba h;
  ASSERT_TRUE(uj_modellhiba(h));
  EXPECT_NE(h.sor.find("/face.txt refused: a vertex subscript lies outside 0..346"),
            std::string::npos);

  // A short file with a bad subscript is refused too; it does not load its prefix.
  ScratchDir::write("face.txt", face_text(20) + "20 1 2 -3\n");
  fill_faces(4);
  facebeolv();
  for (int j = 0; j < kFaceCount; ++j) ASSERT_EQ(hda[j], 4);

  // A subscript after a bad token is never read, so it cannot refuse the file.
  ScratchDir::write("face.txt", face_text(20) + "20 x 2 -3\n");
  facebeolv();
  expect_faces_from(0, 20);
  EXPECT_EQ(hda[20], 4);
}

// A whole vertex file whose vertex 0's x tells which file was read.
void write_marker(const std::string& path, double x) {
  const std::string rest = vertex_text(347);
  std::ofstream(path) << "0 " << x << " 0 0\n" << rest.substr(rest.find('\n') + 1);
}

TEST_F(Reader, LooksInTheWorkingDirectoryThenFolderByFolder) {
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::create_directory("a");
  std::filesystem::create_directory("b");
  adatmappak({cwd + "/a", cwd + "/b"});
  write_marker("b/vertex.txt", 2.0);
  vertexbeolv();
  EXPECT_EQ(hdx[0], 2.0);
  write_marker("a/vertex.txt", 1.0);
  vertexbeolv();
  EXPECT_EQ(hdx[0], 1.0);
  // Neither a FIFO (whose opening would block) nor a directory counts as the file.
  ASSERT_EQ(mkfifo("vertex.txt", 0600), 0);
  vertexbeolv();
  EXPECT_EQ(hdx[0], 1.0);
  std::filesystem::remove("vertex.txt");
  std::filesystem::create_directory("vertex.txt");
  vertexbeolv();
  EXPECT_EQ(hdx[0], 1.0);
  std::filesystem::remove("vertex.txt");
  write_marker("vertex.txt", 0.5);
  vertexbeolv();
  EXPECT_EQ(hdx[0], 0.5);
  Modellhiba h;
  EXPECT_FALSE(uj_modellhiba(h)) << h.sor;
}

TEST_F(Reader, MissingFilesAreSaidOnceWithTheFoldersTried) {
  const std::string cwd = std::filesystem::current_path().string();
  adatmappak({"/nonexistent/share/zarvo", cwd + "/src"});
  ASSERT_EQ(mkfifo("vertex.txt", 0600), 0);
  std::filesystem::create_directory("face.txt");
  Modellhiba h;
  vertexbeolv();
  facebeolv();
  ASSERT_TRUE(uj_modellhiba(h));
  EXPECT_EQ(h.sor, "vertex.txt és face.txt not found as a readable regular file in: " + cwd +
                       " (munkakönyvtár), /nonexistent/share/zarvo, " + cwd + "/src");
  EXPECT_EQ(h.szoveg,
            "Nem található a fej modelljének fájlja: vertex.txt és face.txt\n(olvasható, "
            "közönséges fájlként).\n\nKeresett mappák:\n    " +
                cwd + " (munkakönyvtár)\n    /nonexistent/share/zarvo\n    " + cwd +
                "/src\n\nA program e fájlok nélkül fut tovább.");
  for (int repaint = 0; repaint < 3; ++repaint) {
    vertexbeolv();
    facebeolv();
    EXPECT_FALSE(uj_modellhiba(h));
  }
  // Another problem is said; after sound reads the same problem is said again.
  std::filesystem::create_directory("src");
  ScratchDir::write("src/vertex.txt", vertex_text(347));
  vertexbeolv();
  ASSERT_TRUE(uj_modellhiba(h));
  EXPECT_EQ(h.sor.rfind("face.txt not found", 0), 0u) << h.sor;
  EXPECT_NE(h.szoveg.find("e fájl nélkül"), std::string::npos);
  ScratchDir::write("src/face.txt", face_text(kFaceCount));
  facebeolv();
  EXPECT_FALSE(uj_modellhiba(h));
  expect_vertices_from(0, 347);
  std::filesystem::remove("src/face.txt");
  facebeolv();
  EXPECT_TRUE(uj_modellhiba(h));
}

// A coordinate beyond +-1e6 refuses the whole file, wherever it stands; the previous
// vertices stay and the file is named.
TEST_F(Reader, HugeNumberRefusesTheVertexFile) {
  ScratchDir::write("vertex.txt", vertex_text(347));
  vertexbeolv();
  const std::string path = std::filesystem::current_path().string() + "/vertex.txt";
  const struct {
    int record, field;
    const char* value;
    bool refused;
  } cases[] = {{200, 3, "1e200", true}, {0, 1, "-1000000.001", true}, {346, 2, "1e7", true},
               {5, 0, "5e9", true},     {17, 1, "1e6", false},        {17, 3, "-1e6", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    std::ostringstream s;
    s.precision(17);
    for (int i = 0; i < 347; ++i) {
      std::string v[4] = {std::to_string(i + 1000), "1", "2", "3"};  // a different mesh
      if (i == c.record) v[c.field] = c.value;
      s << v[0] << ' ' << v[1] << ' ' << v[2] << ' ' << v[3] << '\n';
    }
    ScratchDir::write("vertex.txt", s.str());
    vertexbeolv();
    Modellhiba h;
    if (c.refused) {
      expect_vertices_from(0, 347);
      ASSERT_TRUE(uj_modellhiba(h));
      EXPECT_EQ(h.sor, path +
                           " refused: a number is not finite or beyond +-1e6; the previous "
                           "vertices stay");
      EXPECT_EQ(h.szoveg.rfind("Hibás fájl: " + path + "\n", 0), 0u);
    } else {
      EXPECT_EQ(hdy[c.record], 2.0);
      EXPECT_FALSE(uj_modellhiba(h));
    }
    ScratchDir::write("vertex.txt", vertex_text(347));
    vertexbeolv();
    EXPECT_FALSE(uj_modellhiba(h));
  }
}

// Installs a locale for the whole process (C++ global and, if named, the C locale) and
// puts the previous one back.
class GlobalLocale {
 public:
  explicit GlobalLocale(const std::locale& loc) : old_(std::locale::global(loc)) {}
  ~GlobalLocale() { std::locale::global(old_); }

 private:
  std::locale old_;
};

// The German / Hungarian number punctuation: decimal comma, dot between thousands.
struct CommaPunct : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
  char do_thousands_sep() const override { return '.'; }
  std::string do_grouping() const override { return "\3"; }
};

void expect_classic_reading(const std::locale& loc) {
  GlobalLocale guard(loc);
  // The locale is really in force: a stream that keeps it misreads the classic syntax.
  std::istringstream probe("12.25");
  double v = 0.0;
  probe >> v;
  ASSERT_NE(v, 12.25) << "locale has no decimal comma; the test would prove nothing";

  ScratchDir::write("vertex.txt", vertex_text(347));
  ScratchDir::write("face.txt", face_text(kFaceCount));
  vertexbeolv();
  facebeolv();
  expect_vertices_from(0, 347);
  expect_faces_from(0, kFaceCount);
}

TEST_F(Reader, DecimalCommaLocaleDoesNotChangeParsing) {
  expect_classic_reading(std::locale(std::locale::classic(), new CommaPunct));
}

TEST_F(Reader, NamedDecimalCommaLocaleDoesNotChangeParsing) {
  for (const char* name : {"de_DE.UTF-8", "hu_HU.UTF-8", "de_DE.utf8", "hu_HU.utf8", "de_DE",
                           "hu_HU", "fr_FR.UTF-8"}) {
    std::locale loc;
    try {
      loc = std::locale(name);
    } catch (const std::runtime_error&) {
      continue;
    }
    SCOPED_TRACE(name);
    expect_classic_reading(loc);
    return;
  }
  GTEST_SKIP() << "no decimal-comma locale installed; the CommaPunct case covers it";
}

}  // namespace
}  // namespace model_test
