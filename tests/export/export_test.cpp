// The lip-sync writers: cues against hand-worked timings, their exact layouts, the FAP 1
// tokens and their round trip, and the glTF morph targets against the live deformation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>

#include "export/GltfHead.h"
#include "export/MouthCues.h"
#include "fapfile/FapFile.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "speech/FAPmozgat.h"
#include "tests/scratch_dir.h"

namespace {

// Runs one window per shape letter through a writer; returns what it wrote.
std::string written(FrameExport& e, const std::string& shapes, long long samples) {
  ScratchDir dir;
  const int fd = ::open((dir / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  TextWriter out(fd, 64);
  zarvo_frame f{};
  for (size_t i = 0; i < shapes.size(); ++i) {
    f.index = static_cast<long long>(i);
    f.shape = shapes[i];
    EXPECT_TRUE(e.add(f, out)) << e.problem();
  }
  EXPECT_TRUE(e.finish(samples, out)) << e.problem();
  EXPECT_TRUE(out.flush());
  ::close(fd);
  std::ifstream in(dir / "out");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string cues(CueFormat format, const std::string& shapes, long long samples,
                 const std::string& set = kAllShapes, int fps = 24) {
  std::string problem;
  auto e = makeCueExport(format, "a&b \"c\".wav", set, fps, &problem);
  return written(*e, shapes, samples);
}

TEST(MouthCues, ChangesWithoutFlickerOverTheWholeRecording) {
  // Window i's time starts at 512 i + 256 (window 0 at 0). 10 X, then 3 B (1.6 windows
  // short of 50 ms: they go to the A that follows), 10 A, 4 D (short, back to A: the held
  // A goes on), 10 A, 8 C, 2 E at the end (short: the C before takes them).
  const std::string shapes = std::string(10, 'X') + "BBB" + std::string(10, 'A') + "DDDD" +
                             std::string(10, 'A') + std::string(8, 'C') + "EE";
  const long long samples = 512 * 44 + 1024;  // windows 0..42, a tail shorter than a hop
  // X [0, 5376) A [5376, 19200) C [19200, 23552 = end): 0.00, 0.11, 0.40, 0.49.
  EXPECT_EQ(cues(CueFormat::kTsv, shapes, samples), "0.00\tX\n0.11\tA\n0.40\tC\n0.49\tX\n");
  EXPECT_EQ(cues(CueFormat::kJson, shapes, samples),
            "{\"metadata\":{\"soundFile\":\"a&b \\\"c\\\".wav\",\"duration\":0.49},\n"
            "\"mouthCues\":[\n{\"start\":0.00,\"end\":0.11,\"value\":\"X\"},\n"
            "{\"start\":0.11,\"end\":0.40,\"value\":\"A\"},\n"
            "{\"start\":0.40,\"end\":0.49,\"value\":\"C\"}\n]}\n");
  EXPECT_EQ(cues(CueFormat::kXml, shapes, samples),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rhubarbResult>\n  <metadata>\n"
            "    <soundFile>a&amp;b &quot;c&quot;.wav</soundFile>\n"
            "    <duration>0.49</duration>\n  </metadata>\n  <mouthCues>\n"
            "    <mouthCue start=\"0.00\" end=\"0.11\">X</mouthCue>\n"
            "    <mouthCue start=\"0.11\" end=\"0.40\">A</mouthCue>\n"
            "    <mouthCue start=\"0.40\" end=\"0.49\">C</mouthCue>\n"
            "  </mouthCues>\n</rhubarbResult>\n");
  // 24 fps, frame k (from 1) at (k - 1) / 24 s = 2000 (k - 1) samples: X shows at 1, A
  // from 5376 at frame 4 (6000), C from 19200 at frame 11 (20000), the end 23552 -> 13.
  EXPECT_EQ(cues(CueFormat::kDat, shapes, samples), "MohoSwitch1\n1 X\n4 A\n11 C\n13 X\n");
  // 100 fps, 480 samples a frame: X [0, 2816) B [2816, 5376) X [5376, 10752).
  EXPECT_EQ(cues(CueFormat::kDat, "XXXXXBBBBB" + std::string(10, 'X'), 10752, kAllShapes, 100),
            "MohoSwitch1\n1 X\n7 B\n13 X\n24 X\n");
  // The basic six: X -> A, G -> B, H -> C; and nothing at all is one rest cue.
  EXPECT_EQ(
      cues(CueFormat::kTsv, std::string(6, 'X') + std::string(6, 'G') + "HHHHHH", 9728, "ABCDEF"),
      "0.00\tA\n0.07\tB\n0.13\tC\n0.20\tX\n");
  EXPECT_EQ(cues(CueFormat::kTsv, "", 500), "0.00\tX\n0.01\tX\n");
  EXPECT_EQ(cues(CueFormat::kTsv, "", 500, "ABCDEF"), "0.00\tA\n0.01\tX\n");
  for (const char* bad : {"ABCDE", "ABCDEFF", "ABCDEFZ", "ABCDEFGHXY", ""})
    EXPECT_FALSE(validShapeSet(bad)) << bad;
  for (const char* good : {"ABCDEF", "FEDCBA", "ABCDEFX", kAllShapes})
    EXPECT_TRUE(validShapeSet(good)) << good;
}

TEST(MouthCues, NamesThatAreNotTextStayReadable) {
  EXPECT_EQ(jsonText("a\\b\x01\xff\xc3\xa9"), "a\\\\b\xEF\xBF\xBD\xEF\xBF\xBD\xC3\xA9");
  EXPECT_EQ(xmlText("<'x'>\xed\xa0\x80"),
            "&lt;&apos;x&apos;&gt;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(FapVisemes, TwoStrongestBlendedAndReadBack) {
  float w[15] = {};
  w[1] = 0.6f;   // PP
  w[10] = 0.2f;  // aa
  int v[4];
  fapViseme(w, v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{1, 10, 47, 0}));  // 63 * 0.75
  fapViseme(std::vector<float>(15, 0.0f).data(), v);
  EXPECT_EQ(std::vector<int>(v, v + 4), (std::vector<int>{0, 1, 63, 0}));

  ScratchDir dir;
  FapWriter writer("v", 25, true);
  ASSERT_TRUE(writer.open(nullptr));
  int faps[76] = {};
  faps[3] = 7;
  const int first[4] = {1, 10, 47, 0}, second[4] = {14, 13, 32, 0};
  ASSERT_TRUE(writer.addWindow(0, faps, first));
  ASSERT_TRUE(writer.addWindow(1, faps, first));
  ASSERT_TRUE(writer.addWindow(2, faps, first));
  ASSERT_TRUE(writer.addWindow(3, faps, second));
  const int fd = ::open((dir / "v.fap").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  TextWriter out(fd);
  ASSERT_TRUE(writer.finish(1024 + 3 * 512, out));
  ::close(fd);
  FapHeader h;
  std::vector<FapFrame> frames;
  std::string problem;
  ASSERT_TRUE(readFapFile(dir / "v.fap", h, frames, &problem)) << problem;
  ASSERT_EQ(frames.size(), 2u);  // 2560 samples at 25 fps; frame 1 takes window 3
  EXPECT_TRUE(frames[0].set[1]);
  EXPECT_EQ(frames[0].viseme, (std::array<int, 4>{1, 10, 47, 0}));
  EXPECT_EQ(frames[1].viseme, (std::array<int, 4>{14, 13, 32, 0}));
  EXPECT_EQ(frames[1].faps[3], 7);
}

// The targets reproduce the live deformation: for any FAP values the neutral head plus the
// weighted targets, summed in single precision as a glTF viewer does, is where FAPmozgat
// moves every vertex (to a micrometre, on a head 0.29 m tall).
TEST(GltfHead, TargetsReproduceTheLiveDeformation) {
  std::string problem;
  ASSERT_TRUE(modellbetolt({ZARVO_DATA_DIR}, problem)) << problem;
  const std::vector<double> x0(hdx, hdx + 348), y0(hdy, hdy + 348), z0(hdz, hdz + 348);
  auto m = std::make_unique<HeadMorphs>();
  measureHeadMorphs(*m);
  EXPECT_EQ(std::vector<double>(hdx, hdx + 348), x0);  // the model is left exactly as it was
  EXPECT_EQ(std::vector<double>(hdy, hdy + 348), y0);
  // FP 2.1's pivot, vertex 136, drops by the whole jaw move: 1000 units of MNS, in metres.
  EXPECT_FLOAT_EQ(m->targets[0][3 * 136 + 1], -1000 * MNS * 0.001);

  std::mt19937 random(7);
  std::uniform_int_distribution<int> value(-1200, 1200);
  double worst = 0;
  for (int trial = 0; trial < 50; ++trial) {
    int faps[76] = {};
    const int rest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};
    for (int k = 0; k < 11; ++k) faps[zarvo_fap_number(k)] = trial == 0 ? rest[k] : value(random);
    FAPmozgat(faps, 1);
    for (int v = 0; v < kVertexCount; ++v) {
      const double live[3] = {hdx[v], hdy[v], hdz[v]};
      for (int a = 0; a < 3; ++a) {
        float p = m->neutral[3 * v + a];
        for (int k = 0; k < 11; ++k)
          p += static_cast<float>(faps[zarvo_fap_number(k)] / HeadMorphs::kFapsPerWeight) *
               m->targets[k][3 * v + a];
        worst = std::max(worst, std::abs(p - live[a] * 0.001));
      }
    }
    std::copy(x0.begin(), x0.end(), hdx);
    std::copy(y0.begin(), y0.end(), hdy);
    std::copy(z0.begin(), z0.end(), hdz);
  }
  EXPECT_LT(worst, 1e-6);
  EXPECT_FLOAT_EQ(headScale(-100), 1.0f);
  EXPECT_FLOAT_EQ(headScale(160), 0.53f / 0.504f);
}

}  // namespace
