// zarvo-fap FILE: runs a recorded speech file through the live analysis and prints the
// MPEG-4 FAPs it gives, one CSV row per analysed window.
//
// Input: 48000 Hz mono audio, either raw little-endian float32 samples or a WAV file with
// 16-bit PCM or 32-bit float samples (plain or WAVE_FORMAT_EXTENSIBLE). Windows are cut
// exactly as in live mode: the first once 1024 samples are in, then one every 512, each
// the newest 1024 samples; every window goes through the same QspRecorder (history 3).
//
// Output (standard output): the header line, then per window
//   index, level, vol, FAP 3, FAP 51, ..., FAP 60.
// Bad input (no argument, unreadable, truncated or unsupported file): one line on standard
// error naming the problem, exit status 2, nothing on standard output. A failed write of
// the output: a line on standard error, exit status 1.
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"

namespace {

constexpr int kRate = 48000;
constexpr int kHistory = 3;

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

// Bytes 4..15 of the KSDATAFORMAT_SUBTYPE GUIDs for PCM and IEEE float; bytes 0..3 hold
// the plain format code.
constexpr uint8_t kSubtypeTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00,
                                      0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Set by the first check that fails; the decoders then return false.
std::string g_problem;

bool fail(const std::string& problem) {
  g_problem = problem;
  return false;
}

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

float f32(const uint8_t* p) { return std::bit_cast<float>(u32(p)); }

bool tagIs(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

bool readFile(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* fp = std::fopen(path, "rb");
  if (fp == nullptr) return fail(std::string("cannot open: ") + std::strerror(errno));
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, fp)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  const bool failed = std::ferror(fp) != 0;
  const int err = errno;
  std::fclose(fp);
  if (failed) return fail(std::string("read error: ") + std::strerror(err));
  return true;
}

bool checkSampleCount(uint64_t n) {
  if (n > static_cast<uint64_t>(INT_MAX))
    return fail("too long: more than " + std::to_string(INT_MAX) + " samples");
  return true;
}

bool decodeRaw(const std::vector<uint8_t>& b, std::vector<float>& s) {
  if (b.size() % 4 != 0)
    return fail("truncated raw float32 data: " + std::to_string(b.size()) +
                " bytes is not a whole number of 4-byte samples");
  if (!checkSampleCount(b.size() / 4)) return false;
  s.resize(b.size() / 4);
  for (size_t i = 0; i < s.size(); ++i) s[i] = f32(&b[4 * i]);
  return true;
}

struct Format {
  uint16_t code;  // kFormatPcm or kFormatFloat after unwrapping EXTENSIBLE
  uint16_t channels;
  uint32_t rate;
  uint16_t blockAlign;
  uint16_t bits;
};

bool parseFmt(const uint8_t* p, uint32_t size, Format& f) {
  if (size < 16) return fail("fmt chunk too short (" + std::to_string(size) + " bytes)");
  f = Format{u16(p), u16(p + 2), u32(p + 4), u16(p + 12), u16(p + 14)};
  if (f.code == kFormatExtensible) {
    if (size < 40 || u16(p + 16) < 22) return fail("WAVE_FORMAT_EXTENSIBLE fmt chunk too short");
    const uint16_t validBits = u16(p + 18);
    if (validBits > f.bits)
      return fail("fmt chunk claims " + std::to_string(validBits) + " valid bits in " +
                  std::to_string(f.bits) + "-bit samples");
    if (std::memcmp(p + 28, kSubtypeTail, sizeof kSubtypeTail) != 0 || u32(p + 24) > 0xFFFF)
      return fail("unsupported WAVE_FORMAT_EXTENSIBLE subformat");
    f.code = static_cast<uint16_t>(u32(p + 24));
  }
  const bool pcm16 = f.code == kFormatPcm && f.bits == 16;
  const bool float32 = f.code == kFormatFloat && f.bits == 32;
  if (!pcm16 && !float32) {
    const std::string kind = f.code == kFormatPcm     ? "PCM"
                             : f.code == kFormatFloat ? "float"
                                                      : "format code " + std::to_string(f.code);
    return fail("unsupported sample format: " + std::to_string(f.bits) + "-bit " + kind +
                " (need 16-bit PCM or 32-bit float)");
  }
  if (f.channels != 1) return fail(std::to_string(f.channels) + " channels, need mono (1 channel)");
  if (f.rate != kRate) return fail("sample rate " + std::to_string(f.rate) + " Hz, need 48000 Hz");
  if (f.blockAlign != f.bits / 8)
    return fail("inconsistent fmt chunk: block align " + std::to_string(f.blockAlign) +
                " for mono " + std::to_string(f.bits) + "-bit samples");
  return true;
}

bool decodeWav(const std::vector<uint8_t>& b, std::vector<float>& s) {
  const uint64_t size = b.size();
  if (size < 12) return fail("truncated WAV header");
  if (!tagIs(&b[8], "WAVE")) return fail("RIFF file is not WAVE audio");

  bool haveFmt = false, haveData = false;
  Format fmt{};
  uint64_t dataAt = 0, dataSize = 0;
  uint64_t pos = 12;
  // Chunks may come in any order and include ones we do not know; each body is padded
  // to an even length. The RIFF size field is not trusted (writers often get it wrong).
  while (!(haveFmt && haveData)) {
    if (pos >= size) break;
    if (size - pos < 8) return fail("truncated chunk header at byte " + std::to_string(pos));
    const uint8_t* h = &b[pos];
    const uint64_t chunk = u32(h + 4);
    const uint64_t body = pos + 8;
    const uint64_t avail = size - body;
    if (tagIs(h, "fmt ") && !haveFmt) {
      if (chunk > avail) return fail("truncated fmt chunk");
      if (!parseFmt(&b[body], static_cast<uint32_t>(chunk), fmt)) return false;
      haveFmt = true;
    } else if (tagIs(h, "data") && !haveData) {
      if (chunk > avail)
        return fail("truncated data chunk: header declares " + std::to_string(chunk) +
                    " bytes, file holds " + std::to_string(avail));
      dataAt = body;
      dataSize = chunk;
      haveData = true;
    }
    pos = body + chunk + (chunk & 1);
  }
  if (!haveFmt) return fail("no fmt chunk in WAV file");
  if (!haveData) return fail("no data chunk in WAV file");

  const uint64_t bytesPer = fmt.bits / 8;
  if (dataSize % bytesPer != 0)
    return fail("truncated data chunk: " + std::to_string(dataSize) +
                " bytes is not a whole number of " + std::to_string(bytesPer) + "-byte samples");
  if (!checkSampleCount(dataSize / bytesPer)) return false;
  s.resize(dataSize / bytesPer);
  const uint8_t* d = &b[dataAt];
  if (fmt.code == kFormatPcm) {
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(u16(d + 2 * i)) / 32768.0f;
  } else {
    for (size_t i = 0; i < s.size(); ++i) s[i] = f32(d + 4 * i);
  }
  return true;
}

bool decode(const std::vector<uint8_t>& b, std::vector<float>& s) {
  if (b.empty()) return fail("empty file");
  if (b.size() >= 4) {
    if (tagIs(&b[0], "RIFF")) return decodeWav(b, s);
    // Containers that are neither WAV nor raw samples: refuse rather than print noise.
    if (tagIs(&b[0], "RIFX")) return fail("big-endian RIFX WAV is not supported");
    if (tagIs(&b[0], "RF64")) return fail("RF64 WAV is not supported");
    if (tagIs(&b[0], "FORM"))
      return fail("AIFF/IFF audio is not supported (need WAV or raw float32)");
    if (tagIs(&b[0], "OggS")) return fail("Ogg audio is not supported (need WAV or raw float32)");
    if (tagIs(&b[0], "fLaC")) return fail("FLAC audio is not supported (need WAV or raw float32)");
  }
  return decodeRaw(b, s);
}

bool writeCsv(const std::vector<float>& samples) {
  MemoryRecorder rec(samples.data(), static_cast<int>(samples.size()));
  QspRecorder analyser(&rec, kHistory);
  double points[30];
  int faps[76];
  std::FILE* out = stdout;
  std::fputs("index,level,vol,fap3,fap51,fap52,fap53,fap54,fap55,fap56,fap57,fap58,fap59,fap60\n",
             out);
  for (int index = 0; analyser.isNew(); ++index) {
    analyser.handleNew(points);
    pixels2FAPs(points, faps);
    std::fprintf(out, "%d,%.6f,%d,%d", index, analyser.level, analyser.volume(), faps[3]);
    for (int n = 51; n <= 60; ++n) std::fprintf(out, ",%d", faps[n]);
    std::fputc('\n', out);
  }
  return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zarvo-fap FILE  (48 kHz mono WAV or raw float32)\n");
    return 2;
  }
  std::vector<uint8_t> bytes;
  std::vector<float> samples;
  if (!readFile(argv[1], bytes) || !decode(bytes, samples)) {
    std::fprintf(stderr, "zarvo-fap: %s: %s\n", argv[1], g_problem.c_str());
    return 2;
  }
  bytes = std::vector<uint8_t>();  // the file's bytes are no longer needed
  if (!writeCsv(samples)) {
    std::fprintf(stderr, "zarvo-fap: cannot write the output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
