#include "video/png.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <vector>

#include "video/staging.h"

namespace {

std::string averror(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

struct PngSequence::Impl {
  std::string pattern;
  std::string staging;  // a directory beside the frames; frame k is staged as staging/k
  long frames = 0;      // frames staged
  AVCodecContext* codec = nullptr;
  AVFrame* picture = nullptr;  // rgb24, reused
  AVPacket* packet = nullptr;

  std::string staged(long k) const { return staging + "/" + std::to_string(k); }

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

PngSequence::PngSequence(const std::string& pattern, int width, int height) : impl_(new Impl) {
  Impl& m = *impl_;
  m.pattern = pattern;
  const std::string first = frameName(pattern, 0);
  const std::size_t slash = pattern.rfind('/');
  // All frames in one directory, the one the staging directory goes into.
  if (first.empty() || (slash != std::string::npos && pattern.find('%') < slash)) {
    fail("a PNG sequence needs one frame number in its file name, such as frames/%05d.png");
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
  m.codec->pix_fmt = AV_PIX_FMT_RGB24;
  m.codec->time_base = AVRational{1, 25};  // PNG has no clock; libavcodec wants one
  const int r = avcodec_open2(m.codec, png, nullptr);
  if (r < 0) {
    fail("cannot open the PNG encoder: " + averror(r));
    return;
  }
  m.picture = av_frame_alloc();
  m.picture->format = AV_PIX_FMT_RGB24;
  m.picture->width = width;
  m.picture->height = height;
  m.packet = av_packet_alloc();
  if (av_frame_get_buffer(m.picture, 0) < 0 || !m.packet) {
    fail("out of memory");
    return;
  }
  m.staging = stageDirBeside(first, problem_);
}

PngSequence::~PngSequence() {
  if (impl_ && !impl_->staging.empty()) abandon();
}

bool PngSequence::frame(const offscreen::Image& p) {
  Impl& m = *impl_;
  if (!ok()) return false;
  auto start = std::chrono::steady_clock::now();
  if (av_frame_make_writable(m.picture) < 0) return fail("out of memory");
  // The window shows no alpha (the clear colour's alpha is 0), so keep red, green, blue.
  for (int y = 0; y < p.height; ++y) {
    const unsigned char* from = p.rgba.data() + static_cast<std::size_t>(y) * p.width * 4;
    uint8_t* to = m.picture->data[0] + static_cast<std::size_t>(y) * m.picture->linesize[0];
    for (int x = 0; x < p.width; ++x) {
      to[3 * x] = from[4 * x];
      to[3 * x + 1] = from[4 * x + 1];
      to[3 * x + 2] = from[4 * x + 2];
    }
  }
  conversionSeconds += since(start);

  start = std::chrono::steady_clock::now();
  if (frameName(m.pattern, m.frames).empty()) return fail("too many frames for the name pattern");
  int r = avcodec_send_frame(m.codec, m.picture);
  if (r >= 0) r = avcodec_receive_packet(m.codec, m.packet);
  if (r < 0) return fail("cannot encode frame " + std::to_string(m.frames) + ": " + averror(r));
  const std::string staged = m.staged(m.frames);
  std::FILE* out = std::fopen(staged.c_str(), "wb");
  if (out) ++m.frames;  // from here on abandon() removes it
  bool written = out && std::fwrite(m.packet->data, 1, m.packet->size, out) ==
                            static_cast<std::size_t>(m.packet->size);
  if (out && std::fclose(out) != 0) written = false;
  av_packet_unref(m.packet);
  encodingSeconds += since(start);
  if (!written) return fail("cannot write " + frameName(m.pattern, m.frames) + ": " +
                            std::strerror(errno));
  return true;
}

bool PngSequence::commit() {
  Impl& m = *impl_;
  if (!ok()) return false;
  for (long k = 0; k < m.frames; ++k) {
    if (!unstage(m.staged(k), frameName(m.pattern, k), problem_)) {
      // Take back the frames already in place, so a failed run leaves nothing.
      for (long j = 0; j < k; ++j) std::remove(frameName(m.pattern, j).c_str());
      const std::string why = problem_;
      abandon();
      problem_ = why;
      return false;
    }
  }
  rmdir(m.staging.c_str());
  m.staging.clear();
  return true;
}

void PngSequence::abandon() {
  Impl& m = *impl_;
  if (!m.staging.empty()) {
    for (long k = 0; k < m.frames; ++k) std::remove(m.staged(k).c_str());
    rmdir(m.staging.c_str());
  }
  m.staging.clear();
  m.frames = 0;
  fail("abandoned");
}
