#include "fapfile/FapFile.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace {

constexpr long long kRate = 48000;
constexpr long long kWindow = 1024;
constexpr int kMaskTokens = 68;  // FAPs 1..68
constexpr size_t kMaxLine = 1 << 16;

// The mask line of every written frame, built once.
std::string maskLine(bool visemes) {
  std::string m;
  for (int k = 1; k <= kMaskTokens; ++k) {
    bool on = visemes && k == 1;
    for (int f : kSpeechFaps) on = on || f == k;
    m += on ? '1' : '0';
    m += k < kMaskTokens ? ' ' : '\n';
  }
  return m;
}

}  // namespace

long long fapWindowForFrame(long long frame, int fps) {
  // Centre of window i at sample 512 (i + 1); frame time k/N at sample 48000 k / N. So
  // i + 1 = round(48000 k / (512 N)) = round(q / d) with q = 375 k, d = 4 N, in integers:
  // rounding half down is ceil(q/d - 1/2) = floor((2q - d + 2d - 1) / 2d) for 2q >= d.
  const long long q = 375 * frame;
  const long long d = 4LL * fps;
  const long long twice = 2 * q - d;
  if (twice <= 0) return 0;
  const long long centre = (twice + 2 * d - 1) / (2 * d);
  return centre > 0 ? centre - 1 : 0;
}

long long fapFrameCount(long long samples, int fps) {
  if (samples < kWindow) return 0;
  return (samples * fps + kRate - 1) / kRate;
}

void fapViseme(const float* w, int* out) {
  int a = 0, b = 1;
  if (w[b] > w[a]) std::swap(a, b);
  for (int k = 2; k < 15; ++k) {
    if (w[k] > w[a]) {
      b = a;
      a = k;
    } else if (w[k] > w[b]) {
      b = k;
    }
  }
  const double sum = static_cast<double>(w[a]) + w[b];
  out[0] = a;
  out[1] = b;
  out[2] = sum > 0 ? static_cast<int>(std::lround(63.0 * w[a] / sum)) : 63;
  out[3] = 0;
}

FapWriter::FapWriter(const std::string& name, int fps, bool visemes)
    : fps_(fps > 0 ? fps : 1), visemes_(visemes) {
  for (char c : name) name_ += (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) ? '_' : c;
  if (name_.empty()) name_ = "zarvo";
}

bool FapWriter::open(std::string* problem) { return spool_.open(problem); }

void FapWriter::writeFrame(const int* faps, const int* viseme) {
  static const std::string mask = maskLine(false), visemeMask = maskLine(true);
  TextWriter& w = spool_.out();
  w.put(visemes_ ? visemeMask : mask);
  w.putInt(framesWritten_++);
  for (int k = 0; visemes_ && k < 4; ++k) {
    w.put(' ');
    w.putInt(viseme[k]);
  }
  for (int f : kSpeechFaps) {
    w.put(' ');
    w.putInt(faps[f]);
  }
  w.put('\n');
}

bool FapWriter::addWindow(long long index, const int* faps, const int* viseme) {
  if (!spool_.isOpen() || spool_.out().failed()) return false;
  if (index != windows_) {
    problem_ =
        "window " + std::to_string(index) + " came where " + std::to_string(windows_) + " was due";
    return false;
  }
  if (visemes_ && viseme != nullptr) std::memcpy(lastViseme_, viseme, sizeof lastViseme_);
  while (fapWindowForFrame(framesWritten_, fps_) <= windows_) writeFrame(faps, lastViseme_);
  ++windows_;
  std::memcpy(last_, faps, sizeof last_);
  if (spool_.out().failed()) problem_ = "temporary file: " + spool_.out().problem();
  return !spool_.out().failed();
}

bool FapWriter::finish(long long samples, TextWriter& out) {
  if (!spool_.isOpen()) return false;
  const long long total = windows_ > 0 ? fapFrameCount(samples, fps_) : 0;
  while (framesWritten_ < total) writeFrame(last_, lastViseme_);
  out.put("2.1 ");
  out.put(name_);
  out.put(' ');
  out.putInt(fps_);
  out.put(' ');
  out.putInt(framesWritten_);
  out.put('\n');
  if (!spool_.copyTo(out, &problem_)) return false;
  return out.flush();
}

// ---- Reading -------------------------------------------------------------------------

namespace {

// Splits off the next whitespace-separated token; empty at the end of the line.
std::string_view token(std::string_view& rest) {
  size_t a = 0;
  while (a < rest.size() && (rest[a] == ' ' || rest[a] == '\t')) ++a;
  size_t b = a;
  while (b < rest.size() && rest[b] != ' ' && rest[b] != '\t') ++b;
  std::string_view t = rest.substr(a, b - a);
  rest.remove_prefix(b);
  return t;
}

bool parseInt(std::string_view t, long long& v) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  return !t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size();
}

}  // namespace

FapReader::FapReader(std::istream& in) : in_(in) {}

bool FapReader::fail(const std::string& what) {
  problem_ = "line " + std::to_string(line_) + ": " + what;
  return false;
}

bool FapReader::nextLine(std::string_view& line) {
  while (std::getline(in_, buf_)) {
    ++line_;
    if (buf_.size() > kMaxLine) return fail("longer than " + std::to_string(kMaxLine) + " bytes");
    std::string_view v(buf_);
    if (!v.empty() && v.back() == '\r') v.remove_suffix(1);
    size_t a = 0;
    while (a < v.size() && (v[a] == ' ' || v[a] == '\t')) ++a;
    if (a == v.size() || v[a] == '#') continue;
    line = v;
    return true;
  }
  return false;
}

bool FapReader::readHeader(FapHeader& header) {
  std::string_view line;
  if (!nextLine(line)) return problem_.empty() ? fail("no header line") : false;
  std::string_view version = token(line), name = token(line), fps = token(line),
                   frames = token(line);
  if (version != "2.1")
    return fail("header must start with version 2.1, not \"" + std::string(version) + "\"");
  if (frames.empty() || !token(line).empty())
    return fail("header must be \"2.1 <name> <fps> <nframes>\"");
  double rate = 0;
  const auto r = std::from_chars(fps.data(), fps.data() + fps.size(), rate);
  if (r.ec != std::errc() || r.ptr != fps.data() + fps.size() || !(rate > 0) ||
      !std::isfinite(rate))
    return fail("frame rate \"" + std::string(fps) + "\" is not a positive number");
  long long n = 0;
  if (!parseInt(frames, n) || n < 0)
    return fail("frame count \"" + std::string(frames) + "\" is not a whole number >= 0");
  header.name = std::string(name);
  header.fps = rate;
  header.frames = n;
  expected_ = n;
  return true;
}

int FapReader::next(FapFrame& frame) {
  std::string_view line;
  if (!nextLine(line)) {
    if (!problem_.empty()) return -1;
    if (read_ < expected_) {
      fail("the file ends after " + std::to_string(read_) + " of " + std::to_string(expected_) +
           " frames");
      return -1;
    }
    return 0;
  }
  if (read_ == expected_) {
    fail("more frames than the header's " + std::to_string(expected_));
    return -1;
  }
  frame = FapFrame{};
  int count = 0;
  for (std::string_view t = token(line); !t.empty(); t = token(line)) {
    ++count;
    if (count > kMaskTokens) continue;  // longer masks: the extra tokens are ignored
    if (t != "0" && t != "1") {
      fail("mask token " + std::to_string(count) + " is \"" + std::string(t) + "\", not 0 or 1");
      return -1;
    }
    frame.set[count] = t == "1";
  }
  if (count < kMaskTokens) {
    fail("mask has " + std::to_string(count) + " tokens, needs " + std::to_string(kMaskTokens));
    return -1;
  }
  if (!nextLine(line)) {
    if (problem_.empty()) fail("the file ends after the mask of frame " + std::to_string(read_));
    return -1;
  }
  long long number = 0;
  const std::string_view first = token(line);
  if (!parseInt(first, number) || number != read_) {
    fail("expected frame number " + std::to_string(read_) + ", found \"" + std::string(first) +
         "\"");
    return -1;
  }
  auto value = [&](int& out) {
    const std::string_view t = token(line);
    long long v = 0;
    if (t.empty())
      return fail("frame " + std::to_string(read_) + " has fewer values than its mask sets");
    if (!parseInt(t, v) || v < -2147483647LL - 1 || v > 2147483647LL)
      return fail("value \"" + std::string(t) + "\" is not an integer");
    out = static_cast<int>(v);
    return true;
  };
  for (int k = 1; k <= kMaskTokens; ++k) {
    if (!frame.set[k]) continue;
    bool ok = true;
    if (k == 1) {
      for (int& v : frame.viseme) ok = ok && value(v);
    } else if (k == 2) {
      for (int& v : frame.expression) ok = ok && value(v);
    } else {
      ok = value(frame.faps[k]);
    }
    if (!ok) return -1;
  }
  if (!token(line).empty()) {
    fail("frame " + std::to_string(read_) + " has more values than its mask sets");
    return -1;
  }
  ++read_;
  return 1;
}

namespace {

bool readAll(std::istream& in, FapHeader& header, std::vector<FapFrame>& frames,
             std::string* problem) {
  FapReader reader(in);
  frames.clear();
  bool ok = reader.readHeader(header);
  FapFrame f;
  int r = 0;
  while (ok && (r = reader.next(f)) == 1) frames.push_back(f);
  ok = ok && r == 0;
  if (!ok && problem != nullptr) *problem = reader.problem();
  return ok;
}

}  // namespace

bool readFapFile(const std::string& path, FapHeader& header, std::vector<FapFrame>& frames,
                 std::string* problem) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (problem != nullptr) *problem = std::string("cannot open: ") + std::strerror(errno);
    return false;
  }
  return readAll(in, header, frames, problem);
}

bool parseFapText(std::string_view text, FapHeader& header, std::vector<FapFrame>& frames,
                  std::string* problem) {
  std::istringstream in{std::string(text)};
  return readAll(in, header, frames, problem);
}
