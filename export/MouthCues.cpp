#include "export/MouthCues.h"

#include <cstring>

namespace {

constexpr long long kRate = 48000;

long long slotStart(long long window) { return window == 0 ? 0 : 512 * window + 256; }

// Seconds with two decimals from samples, rounded half up: times as the importers read them.
void putSeconds(TextWriter& out, long long samples) {
  const long long centis = (samples * 100 + kRate / 2) / kRate;
  out.putInt(centis / 100);
  out.put('.');
  out.put(static_cast<char>('0' + centis / 10 % 10));
  out.put(static_cast<char>('0' + centis % 10));
}

class CueExport : public FrameExport {
 public:
  CueExport(CueFormat format, std::string soundFile, const std::string& shapes, int fps)
      : format_(format), soundFile_(std::move(soundFile)), track_(shapes), fps_(fps) {}

  bool open(std::string* problem) {
    return format_ == CueFormat::kTsv || format_ == CueFormat::kDat || spool_.open(problem);
  }

  bool add(const zarvo_frame& f, TextWriter& out) override {
    if (f.index != windows_)
      return fail("window " + std::to_string(f.index) + " came where " + std::to_string(windows_) +
                  " was due");
    ++windows_;
    MouthCue c;
    if (track_.add(f.index, f.shape, &c)) write(c, out);
    return spoolOk();
  }

  bool finish(long long samples, TextWriter& out) override {
    MouthCue last[2];
    const int n = track_.finish(samples, last);
    for (int k = 0; k < n; ++k) write(last[k], out);
    if (!spoolOk()) return false;
    switch (format_) {
      case CueFormat::kTsv:
        putSeconds(out, samples);
        out.put("\tX\n");
        return true;
      case CueFormat::kDat:
        out.putInt(frameAtOrAfter(samples) + 1);
        out.put(" X\n");
        return true;
      case CueFormat::kJson:
        out.put("{\"metadata\":{\"soundFile\":\"");
        out.put(jsonText(soundFile_));
        out.put("\",\"duration\":");
        putSeconds(out, samples);
        out.put("},\n\"mouthCues\":[");
        if (!spool_.copyTo(out, &problem_)) return false;
        out.put("\n]}\n");
        return true;
      case CueFormat::kXml:
        out.put(
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rhubarbResult>\n  <metadata>\n"
            "    <soundFile>");
        out.put(xmlText(soundFile_));
        out.put("</soundFile>\n    <duration>");
        putSeconds(out, samples);
        out.put("</duration>\n  </metadata>\n  <mouthCues>\n");
        if (!spool_.copyTo(out, &problem_)) return false;
        out.put("  </mouthCues>\n</rhubarbResult>\n");
        return true;
    }
    return true;
  }

 private:
  // The first frame (from 0) whose time k / fps is at or after `samples`.
  long long frameAtOrAfter(long long samples) const { return (samples * fps_ + kRate - 1) / kRate; }

  void write(const MouthCue& c, TextWriter& out) {
    switch (format_) {
      case CueFormat::kTsv:
        putSeconds(out, c.start);
        out.put('\t');
        out.put(c.shape);
        out.put('\n');
        break;
      case CueFormat::kDat: {
        if (!datStarted_) out.put("MohoSwitch1\n");
        datStarted_ = true;
        const long long k = frameAtOrAfter(c.start);
        if (k * kRate >= c.end * fps_ || c.shape == lastDat_) break;  // no frame shows it
        out.putInt(k + 1);
        out.put(' ');
        out.put(c.shape);
        out.put('\n');
        lastDat_ = c.shape;
        break;
      }
      case CueFormat::kJson: {
        TextWriter& s = spool_.out();
        s.put(cues_++ == 0 ? "\n{\"start\":" : ",\n{\"start\":");
        putSeconds(s, c.start);
        s.put(",\"end\":");
        putSeconds(s, c.end);
        s.put(",\"value\":\"");
        s.put(c.shape);
        s.put("\"}");
        break;
      }
      case CueFormat::kXml: {
        TextWriter& s = spool_.out();
        s.put("    <mouthCue start=\"");
        putSeconds(s, c.start);
        s.put("\" end=\"");
        putSeconds(s, c.end);
        s.put("\">");
        s.put(c.shape);
        s.put("</mouthCue>\n");
        break;
      }
    }
  }

  bool spoolOk() {
    if (format_ == CueFormat::kTsv || format_ == CueFormat::kDat || !spool_.out().failed())
      return true;
    return fail("temporary file: " + spool_.out().problem());
  }

  CueFormat format_;
  std::string soundFile_;
  CueTrack track_;
  int fps_;
  Spool spool_;
  long long windows_ = 0, cues_ = 0;
  bool datStarted_ = false;
  char lastDat_ = 0;
};

}  // namespace

bool validShapeSet(const std::string& shapes) {
  int seen[128] = {};
  for (char c : shapes) {
    if (c <= 0 || std::strchr(kAllShapes, c) == nullptr || seen[static_cast<int>(c)]++)
      return false;
  }
  for (char c : std::string("ABCDEF"))
    if (!seen[static_cast<int>(c)]) return false;
  return true;
}

CueTrack::CueTrack(const std::string& shapes) {
  for (int c = 0; c < 128; ++c) map_[c] = 'X';
  for (char c : std::string(kAllShapes)) map_[static_cast<int>(c)] = c;
  const auto has = [&](char c) { return shapes.find(c) != std::string::npos; };
  if (!has('X')) map_['X'] = 'A';
  if (!has('G')) map_['G'] = 'B';
  if (!has('H')) map_['H'] = 'C';
}

bool CueTrack::add(long long index, char shape, MouthCue* done) {
  const char s = map_[static_cast<unsigned char>(shape) & 127];
  if (!started_) {
    started_ = true;
    cur_ = {0, 0, s};
    return false;
  }
  if (s == cur_.shape) return false;
  const long long at = slotStart(index);
  if (at - cur_.start < kMinCueSamples) {
    // Too short to be seen: the next shape takes its time, or the held cue goes on when
    // the mouth comes straight back to it.
    cur_.shape = s;
    if (holding_ && held_.shape == s) {
      cur_.start = held_.start;
      holding_ = false;
    }
    return false;
  }
  const bool out = holding_;
  if (out) *done = held_;
  held_ = {cur_.start, at, cur_.shape};
  holding_ = true;
  cur_ = {at, 0, s};
  return out;
}

int CueTrack::finish(long long samples, MouthCue done[2]) {
  int n = 0;
  if (!started_) {
    done[n++] = {0, samples, map_['X']};
  } else if (holding_ && samples - cur_.start < kMinCueSamples) {
    done[n++] = {held_.start, samples, held_.shape};
  } else {
    if (holding_) done[n++] = held_;
    done[n++] = {cur_.start, samples, cur_.shape};
  }
  started_ = holding_ = false;
  return n;
}

std::unique_ptr<FrameExport> makeCueExport(CueFormat format, const std::string& soundFile,
                                           const std::string& shapes, int fps,
                                           std::string* problem) {
  auto e = std::make_unique<CueExport>(format, soundFile, shapes, fps);
  if (!e->open(problem)) return nullptr;
  return e;
}
