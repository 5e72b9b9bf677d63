// AudioReader and SpeechFaps on files written here with libsndfile: exact samples where no
// conversion happens, the resampler and channel averaging against known signals, every
// kind of source (file, FIFO, memory), and the inputs that must be refused.
#include "audiofile/AudioReader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audiofile/SpeechFaps.h"
#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "tests/scratch_dir.h"

namespace {

// A speech-like test signal on the 16-bit grid, so 16-bit and float files hold the same
// values: a 200 Hz tone with a 4 Hz envelope plus a 1300 Hz tone.
std::vector<float> signal(int n, int rate = 48000) {
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / rate;
    double x = 0.4 * std::sin(2 * M_PI * 200 * t) * (0.5 + 0.5 * std::sin(2 * M_PI * 4 * t));
    x += 0.2 * std::sin(2 * M_PI * 1300 * t);
    v[i] = static_cast<float>(std::lround(x * 32767) / 32768.0);
  }
  return v;
}

// Writes interleaved frames with libsndfile; format is SF_FORMAT_* major | minor.
void writeSound(const std::string& path, int format, int rate, int channels,
                const std::vector<float>& interleaved) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / channels);
  if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT) {
    ASSERT_EQ(sf_writef_float(f, interleaved.data(), frames), frames);
  } else {
    // Integer formats from integers: libsndfile scales floats by 32767 on the way out
    // but by 1/32768 on the way in, so only integers round-trip exactly.
    std::vector<int> ints(interleaved.size());
    for (size_t i = 0; i < ints.size(); ++i)
      ints[i] = static_cast<int>(std::lround(interleaved[i] * 32768.0)) * 65536;
    ASSERT_EQ(sf_writef_int(f, ints.data(), frames), frames);
  }
  sf_close(f);
}

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void putBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Result {
  std::vector<float> samples;
  long status = 0;  // 0: clean end, -1: read() failed
  std::string problem;
};

Result readAll(AudioReader& r, long block = 1000) {
  Result out;
  std::vector<float> buf(block);
  long n;
  while ((n = r.read(buf.data(), block)) > 0)
    out.samples.insert(out.samples.end(), buf.begin(), buf.begin() + n);
  out.status = n;
  out.problem = r.problem();
  return out;
}

Result readPath(const std::string& path, AudioReader::Options options = {}) {
  std::string problem;
  auto r = AudioReader::open(path, options, &problem);
  if (r == nullptr) return Result{{}, -2, problem};
  return readAll(*r);
}

TEST(AudioReader, NativeRateFilesGiveTheirSamplesUnchanged) {
  ScratchDir dir;
  const std::vector<float> s = signal(20000);
  struct Case {
    const char* name;
    int format;
  } cases[] = {{"float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
               {"pcm16.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
               {"pcm24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
               {"ext.wav", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
               {"a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
               {"a.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeSound(dir / c.name, c.format, 48000, 1, s);
    std::string problem;
    auto r = AudioReader::open(dir / c.name, {}, &problem);
    ASSERT_NE(r, nullptr) << problem;
    EXPECT_EQ(r->sourceRate(), 48000);
    EXPECT_EQ(r->sourceChannels(), 1);
    EXPECT_EQ(r->sourceFrames(), 20000);
    const Result got = readAll(*r, 777);
    EXPECT_EQ(got.status, 0) << got.problem;
    ASSERT_EQ(got.samples, s);
    EXPECT_EQ(r->samplesDelivered(), 20000);
  }
  // Raw float32: by option or by extension; the same bytes in memory.
  std::string raw(reinterpret_cast<const char*>(s.data()), s.size() * 4);
  putBytes(dir / "a.f32", raw);
  putBytes(dir / "a.bin", raw);
  EXPECT_EQ(readPath(dir / "a.f32").samples, s);
  AudioReader::Options asRaw;
  asRaw.raw = true;
  EXPECT_EQ(readPath(dir / "a.bin", asRaw).samples, s);
  auto m = AudioReader::openMemory(raw.data(), raw.size(), "x.RAW", {}, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(readAll(*m).samples, s);
}

TEST(AudioReader, ChannelsAreAveragedAndOtherRatesResampled) {
  ScratchDir dir;
  // Stereo at 48 kHz: left and right differ; the mono sample is their mean.
  const std::vector<float> s = signal(6000);
  std::vector<float> stereo;
  for (float v : s) {
    stereo.push_back(v);
    stereo.push_back(0.25f);
  }
  writeSound(dir / "st.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2, stereo);
  const Result st = readPath(dir / "st.wav");
  ASSERT_EQ(st.samples.size(), s.size());
  for (size_t i = 0; i < s.size(); ++i)
    ASSERT_EQ(st.samples[i], static_cast<float>((static_cast<double>(s[i]) + 0.25) / 2));

  // A 1 kHz tone at 44.1, 22.05 and 8 kHz comes out as the same tone at 48 kHz: the
  // same length in time, and away from the edges within 1e-3 of the exact sine.
  for (int rate : {44100, 22050, 8000}) {
    SCOPED_TRACE(rate);
    const int n = rate;  // one second
    std::vector<float> tone(n);
    for (int i = 0; i < n; ++i) tone[i] = 0.5f * std::sin(2 * M_PI * 1000.0 * i / rate);
    writeSound(dir / "t.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 1, tone);
    const Result got = readPath(dir / "t.wav");
    ASSERT_EQ(got.status, 0) << got.problem;
    EXPECT_NEAR(static_cast<double>(got.samples.size()), 48000.0, 2.0);
    double worst = 0;
    for (int i = 2000; i < 46000; ++i)
      worst =
          std::max(worst, std::abs(got.samples[i] - 0.5 * std::sin(2 * M_PI * 1000.0 * i / 48000)));
    EXPECT_LT(worst, 1e-3);
  }
}

TEST(AudioReader, CompressedFormatsKeepLengthAndLoudness) {
  // Opus (which sox cannot write), Vorbis and MP3 through libsndfile's own encoders: the
  // full length, no error at the end, and the tone's loudness within a few per cent.
  ScratchDir dir;
  std::vector<float> s(96000);
  for (size_t i = 0; i < s.size(); ++i) s[i] = 0.3f * std::sin(2 * M_PI * 440.0 * i / 48000);
  const double rms = 0.3 / std::sqrt(2.0);
  for (int format : {SF_FORMAT_OGG | SF_FORMAT_OPUS, SF_FORMAT_OGG | SF_FORMAT_VORBIS,
                     SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III}) {
    SCOPED_TRACE(format);
    writeSound(dir / "c", format, 48000, 1, s);
    const Result got = readPath(dir / "c");
    EXPECT_EQ(got.status, 0) << got.problem;
    ASSERT_EQ(got.samples.size(), s.size());
    double sum = 0;
    for (size_t i = 4800; i < s.size() - 4800; ++i) sum += got.samples[i] * got.samples[i];
    EXPECT_NEAR(std::sqrt(sum / (s.size() - 9600)), rms, 0.03 * rms);
  }
}

// The WAV header of a 16-bit mono file with `samples` samples and the given data size.
std::string wav16(const std::vector<float>& s, uint32_t dataSize) {
  std::string b = "RIFF....WAVEfmt ";
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i));
  };
  auto u16 = [&](uint16_t v) {
    b += static_cast<char>(v);
    b += static_cast<char>(v >> 8);
  };
  u32(16);
  u16(1);
  u16(1);
  u32(48000);
  u32(96000);
  u16(2);
  u16(16);
  b += "data";
  u32(dataSize);
  for (float v : s) u16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32768))));
  const uint32_t riff = static_cast<uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<char>(riff >> (8 * i));
  return b;
}

// Writes `bytes` into a FIFO from another thread, as a pipe from another program would.
class FifoFeed {
 public:
  FifoFeed(const std::string& path, std::string bytes) {
    mkfifo(path.c_str(), 0600);
    writer = std::thread([path, bytes] {
      const int fd = ::open(path.c_str(), O_WRONLY);
      for (size_t at = 0; fd >= 0 && at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, std::min<size_t>(4096, bytes.size() - at));
        if (n <= 0) break;
        at += static_cast<size_t>(n);
      }
      if (fd >= 0) ::close(fd);
    });
  }
  ~FifoFeed() { writer.join(); }
  std::thread writer;
};

TEST(AudioReader, StreamsAndPlaceholderLengthsReadToTheEnd) {
  ScratchDir dir;
  const std::vector<float> s = signal(30000);
  // A recorder's placeholder sizes, a file and a FIFO; FLAC through a FIFO (its decoder
  // seeks back into the stream's head while probing).
  for (uint32_t size : {0u, 0xFFFFFFFFu, 60000u}) {
    SCOPED_TRACE(size);
    const std::string bytes = wav16(s, size);
    putBytes(dir / "p.wav", bytes);
    EXPECT_EQ(readPath(dir / "p.wav").samples, s);
    {
      FifoFeed feed(dir / "fifo", bytes);
      EXPECT_EQ(readPath(dir / "fifo").samples, s);
    }
    unlink((dir / "fifo").c_str());
    auto m = AudioReader::openMemory(bytes.data(), bytes.size(), "m.wav", {}, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->sourceFrames(), 30000);  // in memory the length is known either way
    EXPECT_EQ(readAll(*m).samples, s);
  }
  writeSound(dir / "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, s);
  FifoFeed feed(dir / "ff", bytesOf(dir / "a.flac"));
  const Result got = readPath(dir / "ff");
  EXPECT_EQ(got.status, 0) << got.problem;
  EXPECT_EQ(got.samples, s);
}

TEST(AudioReader, BadInputIsRefusedWithTheReason) {
  ScratchDir dir;
  const std::vector<float> s = signal(30000);
  const std::string wav = wav16(s, 60000);
  writeSound(dir / "a.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, s);
  const std::string flac = bytesOf(dir / "a.flac");
  std::string text;
  for (int i = 0; i < 200; ++i) text += "not audio at all, just words\n";
  mkdir((dir / "sub").c_str(), 0700);
  mkfifo((dir / "silent").c_str(), 0600);
  putBytes(dir / "empty.wav", "");
  putBytes(dir / "text.wav", text);
  putBytes(dir / "cut.wav", wav.substr(0, wav.size() - 1000));
  putBytes(dir / "cut.flac", flac.substr(0, flac.size() / 2));
  putBytes(dir / "odd.f32", std::string(4001, '\0'));

  AudioReader::Options quick;
  quick.fifoWaitMs = 100;
  AudioReader::Options tenMs;
  tenMs.raw = true;
  tenMs.maxSeconds = 0.01;
  struct Case {
    std::string path;
    AudioReader::Options options;
    long status;  // -2: open() refuses, -1: read() fails
    const char* fragment;
  } cases[] = {
      {dir / "missing.wav", {}, -2, "cannot open: No such file"},
      {dir / "sub", {}, -2, "read error: Is a directory"},
      {dir / "silent", quick, -2, "nothing arrived within 0.1 s"},
      {dir / "empty.wav", {}, -2, "empty file"},
      {dir / "text.wav", {}, -2, "not a readable audio file (Format not recognised"},
      {dir / "cut.wav",
       {},
       -2,
       "truncated data chunk: header declares 60000 bytes, file holds 59000"},
      {dir / "cut.flac", {}, -1, "truncated: the header announces 30000 frames"},
      {dir / "odd.f32", {}, -2, "truncated raw float32 data: 4001 bytes"},
      {"/dev/zero", tenMs, -1, "longer than the limit of 0.01 s of audio"},
      {"/proc/self/mem", {}, -2, "read error: Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const Result got = readPath(c.path, c.options);
    EXPECT_EQ(got.status, c.status);
    EXPECT_NE(got.problem.find(c.fragment), std::string::npos) << got.problem;
    EXPECT_EQ(got.problem.find('\n'), std::string::npos);
    // A cut stream delivers what it had before failing; the limit delivers nothing past it.
    if (c.path == "/dev/zero") {
      EXPECT_LE(got.samples.size(), 480u);
    }
  }
  // A cut WAV through a FIFO, longer than what open() reads ahead, is found at its end: a
  // second (96000 bytes) or more short is a cut; less is where a streamed WAV ended, noted.
  const std::string longer = wav16(signal(150000), 300000);
  for (const size_t cut : {96000, 95998}) {
    SCOPED_TRACE(cut);
    FifoFeed feed(dir / "cutfifo", longer.substr(0, longer.size() - cut));
    auto reader = AudioReader::open(dir / "cutfifo", {}, nullptr);
    ASSERT_NE(reader, nullptr);
    const Result got = readAll(*reader);
    std::remove((dir / "cutfifo").c_str());
    if (cut == 96000) {
      EXPECT_EQ(got.status, -1);
      EXPECT_NE(got.problem.find("truncated data chunk: the input ends 96000 bytes"),
                std::string::npos)
          << got.problem;
    } else {
      EXPECT_EQ(got.status, 0) << got.problem;
      EXPECT_EQ(got.samples.size(), 150000u - 95998 / 2);
      EXPECT_EQ(reader->note(),
                "the WAV data ends 95998 bytes (1.000 s) before its declared length; read as "
                "the end of a streamed input");
    }
  }
}

// The analysis over a stream equals the analysis over the whole signal in memory.
TEST(SpeechFaps, MatchesTheLiveAnalysisWindowForWindow) {
  for (int n : {0, 1023, 1024, 1535, 1536, 50000}) {
    SCOPED_TRACE(n);
    const std::vector<float> s = signal(n);
    MemoryRecorder rec(s.data(), n);
    QspRecorder analyser(&rec, 3);
    std::string bytes(reinterpret_cast<const char*>(s.data()), s.size() * 4);
    AudioReader::Options raw;
    raw.raw = true;
    auto reader = AudioReader::openMemory(bytes.data(), bytes.size(), "s", raw, nullptr);
    if (n == 0) {
      EXPECT_EQ(reader, nullptr);  // empty input
      continue;
    }
    ASSERT_NE(reader, nullptr);
    SpeechFaps faps(*reader);
    AnalysedWindow w;
    double points[30];
    int expected[76];
    long long count = 0;
    while (analyser.isNew()) {
      analyser.handleNew(points);
      pixels2FAPs(points, expected);
      ASSERT_TRUE(faps.next(w));
      EXPECT_EQ(w.index, count++);
      EXPECT_EQ(w.level, analyser.level);
      EXPECT_EQ(w.volume, analyser.volume());
      ASSERT_EQ(std::memcmp(w.faps, expected, sizeof expected), 0);
    }
    EXPECT_EQ(count, n < 1024 ? 0 : 1 + (n - 1024) / 512);
    EXPECT_FALSE(faps.next(w));
    EXPECT_FALSE(faps.failed());
    EXPECT_EQ(faps.windows(), count);
  }
  // A read error ends the windows and is told apart from the end.
  const std::string odd(4 * 3000 + 2, '\0');
  AudioReader::Options raw;
  raw.raw = true;
  raw.maxSeconds = 0.05;  // 2400 samples
  auto reader = AudioReader::openMemory(odd.data(), odd.size(), "s", raw, nullptr);
  ASSERT_EQ(reader, nullptr);  // a whole-file check in memory refuses the odd size at once
  const std::string zeros(4 * 3000, '\0');
  reader = AudioReader::openMemory(zeros.data(), zeros.size(), "s", raw, nullptr);
  ASSERT_NE(reader, nullptr);
  SpeechFaps faps(*reader);
  AnalysedWindow w;
  int windows = 0;
  while (faps.next(w)) ++windows;
  EXPECT_TRUE(faps.failed());
  EXPECT_NE(faps.problem().find("longer than the limit"), std::string::npos);
  EXPECT_LE(windows, 1 + (2400 - 1024) / 512);
}

}  // namespace
