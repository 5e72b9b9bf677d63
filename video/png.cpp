#include "video/png.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fapfile/OutputFile.h"

struct PngSequence::Impl {
  std::string pattern;
  bool alpha = false;
  long frames = 0;         // frames in place under their final names
  bool committed = false;  // kept for good
  AVCodecContext* codec = nullptr;
  AVFrame* picture = nullptr;  // rgb24 or rgba, reused
  AVPacket* packet = nullptr;

  ~Impl() {
    avcodec_free_context(&codec);
    av_frame_free(&picture);
    av_packet_free(&packet);
  }
};

std::string PngSequence::frameName(const std::string& pattern, long number) {
  std::vector<char> name(pattern.size() + 32);
  if (number < 0 || number > INT32_MAX ||
      av_get_frame_filename2(name.data(), static_cast<int>(name.size()), pattern.c_str(),
                             static_cast<int>(number), 0) < 0)
    return "";
  return name.data();
}

namespace {

// The frames named by `pattern` (as PngSequence::frameName makes the names) numbered
// `from` or higher, found in the pattern's directory. None when the number is not in the
// file name's part of the pattern.
std::vector<std::pair<long, std::string>> framesFrom(const std::string& pattern, long from) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(pattern).parent_path();
  const std::string name = fs::path(pattern).filename();
  // The literal text before and after the conversion ("%d", "%05d"), "%%" read as "%".
  std::string before, after;
  bool seen = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    std::string& text = seen ? after : before;
    if (name[i] != '%') {
      text += name[i];
    } else if (i + 1 < name.size() && name[i + 1] == '%') {
      text += '%';
      ++i;
    } else {
      while (i + 1 < name.size() && std::isdigit(static_cast<unsigned char>(name[i + 1]))) ++i;
      seen = true;
      ++i;  // the 'd'
    }
  }
  std::vector<std::pair<long, std::string>> found;
  std::error_code e;
  if (!seen) return found;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir.empty() ? "." : dir, e)) {
    const std::string n = entry.path().filename();
    if (n.size() <= before.size() + after.size() || n.rfind(before, 0) != 0 ||
        n.compare(n.size() - after.size(), after.size(), after) != 0)
      continue;
    const std::string digits = n.substr(before.size(), n.size() - before.size() - after.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    const long k = std::stol(digits);
    // Only the names this pattern makes: "%04d" owns 0012.png, not 12.png.
    const std::string path = PngSequence::frameName(pattern, k);
    if (k >= from && fs::path(path).filename() == n) found.emplace_back(k, path);
  }
  return found;
}

}  // namespace

PngSequence::PngSequence(const std::string& pattern, int width, int height, bool alpha)
    : impl_(new Impl) {
  Impl& m = *impl_;
  m.pattern = pattern;
  m.alpha = alpha;
  if (frameName(pattern, 0).empty()) {
    fail("a PNG sequence needs one frame number in its name, such as frames/%05d.png");
    return;
  }
  const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!png) {
    fail("this FFmpeg has no PNG encoder");
    return;
  }
  m.codec = avcodec_alloc_context3(png);
  m.codec->width = width;
  m.codec->height = height;
  m.codec->pix_fmt = alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24;
  m.codec->time_base = AVRational{1, 25};  // PNG has no clock; libavcodec wants one
  const int r = avcodec_open2(m.codec, png, nullptr);
  if (r < 0) {
    fail("cannot open the PNG encoder: " + ffmpegError(r));
    return;
  }
  allocatePicture(m.picture, m.packet, m.codec->pix_fmt, width, height);
}

PngSequence::~PngSequence() {
  if (!impl_->committed) abandon();
}

bool PngSequence::frame(const offscreen::Image& p) {
  Impl& m = *impl_;
  if (!ok()) return false;
  auto start = std::chrono::steady_clock::now();
  if (av_frame_make_writable(m.picture) < 0) return fail("out of memory");
  // The window shows no alpha (the clear colour's alpha is 0), so keep red, green, blue,
  // unless the background is to be transparent.
  for (int y = 0; y < p.height; ++y) {
    const unsigned char* from = p.rgba.data() + static_cast<std::size_t>(y) * p.width * 4;
    uint8_t* to = m.picture->data[0] + static_cast<std::size_t>(y) * m.picture->linesize[0];
    if (m.alpha) {
      std::copy_n(from, 4 * p.width, to);
      continue;
    }
    for (int x = 0; x < p.width; ++x) {
      to[3 * x] = from[4 * x];
      to[3 * x + 1] = from[4 * x + 1];
      to[3 * x + 2] = from[4 * x + 2];
    }
  }
  conversionSeconds += secondsSince(start);

  start = std::chrono::steady_clock::now();
  const std::string name = frameName(m.pattern, m.frames);
  if (name.empty()) return fail("too many frames for the name pattern");
  int r = avcodec_send_frame(m.codec, m.picture);
  if (r >= 0) r = avcodec_receive_packet(m.codec, m.packet);
  if (r < 0) return fail("cannot encode frame " + std::to_string(m.frames) + ": " + ffmpegError(r));
  // Each frame appears whole under its name or not at all.
  std::string why;
  std::unique_ptr<OutputFile> out = OutputFile::create(name, &why);
  if (out) {
    TextWriter bytes(out->fd(), 0);
    bytes.put(std::string_view(reinterpret_cast<const char*>(m.packet->data), m.packet->size));
    if (!bytes.flush()) {
      why = bytes.problem();
      out.reset();
    } else if (!out->commit(&why)) {
      out.reset();
    }
  }
  av_packet_unref(m.packet);
  encodingSeconds += secondsSince(start);
  if (!out) return fail("cannot write " + name + ": " + why);
  ++m.frames;
  return true;
}

bool PngSequence::commit() {
  Impl& m = *impl_;
  m.committed = ok();
  if (!ok()) return false;
  long removed = 0, first = 0, last = 0;
  for (const auto& [k, name] : framesFrom(m.pattern, m.frames)) {
    if (std::remove(name.c_str()) != 0) continue;
    first = removed == 0 ? k : std::min(first, k);
    last = removed == 0 ? k : std::max(last, k);
    ++removed;
  }
  // Left by an earlier, longer render into the same names: they would read as this one's.
  if (removed > 0)
    note_ = "removed " + std::to_string(removed) + " older frame" + (removed > 1 ? "s " : " ") +
            frameName(m.pattern, first) + (removed > 1 ? " to " + frameName(m.pattern, last) : "") +
            ", beyond this render's " + std::to_string(m.frames) + " frames";
  return true;
}

void PngSequence::abandon() {
  for (long k = 0; k < impl_->frames; ++k) std::remove(frameName(impl_->pattern, k).c_str());
  impl_->frames = 0;
  fail("abandoned");
}
