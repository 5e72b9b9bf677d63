#include "video/mp4.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "fapfile/OutputFile.h"

namespace {

constexpr int kRate = 48000;
constexpr int kAudioBitRate = 96000;  // mono AAC-LC: clear speech, small files

// Opens the encoder of `codec` (options: may be null) and gives the muxer a stream with
// its parameters. Null with the error in `r` when the encoder will not open.
AVStream* openStream(AVFormatContext* format, AVCodecContext* codec, AVDictionary** options,
                     int& r) {
  r = avcodec_open2(codec, codec->codec, options);
  if (r < 0) return nullptr;
  AVStream* stream = avformat_new_stream(format, nullptr);
  if (!stream) {
    r = AVERROR(ENOMEM);
    return nullptr;
  }
  avcodec_parameters_from_context(stream->codecpar, codec);
  stream->time_base = codec->time_base;
  return stream;
}

}  // namespace

struct Mp4Writer::Impl {
  std::string path;
  std::unique_ptr<OutputFile> out;  // the temporary beside `path`, renamed on commit
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* sound = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* soundStream = nullptr;
  SwsContext* convert = nullptr;
  AVFrame* picture = nullptr;  // yuv420p, reused for every frame
  AVFrame* block = nullptr;    // one AAC frame of float samples, reused
  AVPacket* packet = nullptr;
  int64_t frames = 0;   // video frames sent
  int64_t samples = 0;  // sound samples sent to the encoder
  int filled = 0;       // samples waiting in `block`

  ~Impl() {
    avcodec_free_context(&video);
    avcodec_free_context(&sound);
    sws_freeContext(convert);
    av_frame_free(&picture);
    av_frame_free(&block);
    av_packet_free(&packet);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }
};

Mp4Writer::Mp4Writer(const std::string& path, const Mp4Settings& s) : impl_(new Impl) {
  Impl& m = *impl_;
  m.path = path;
  if (s.width % 2 != 0 || s.height % 2 != 0) {
    fail("an MP4 needs an even width and height (yuv420p), not " + std::to_string(s.width) + "x" +
         std::to_string(s.height));
    return;
  }
  std::string why;
  m.out = OutputFile::create(path, &why);
  if (!m.out) {
    fail("cannot write " + path + ": " + why);
    return;
  }
  // The muxer writes the temporary by name: moving the index to the front reads it back.
  // A device or a FIFO (written in place, no temporary) cannot be read back.
  if (m.out->temporaryPath().empty()) {
    fail("cannot write " + path + ": an MP4 needs a regular file (its index comes last)");
    return;
  }
  const char* staged = m.out->temporaryPath().c_str();
  int r = avformat_alloc_output_context2(&m.format, nullptr, "mp4", staged);
  if (r < 0 || !m.format) {
    fail("cannot set up the MP4 muxer: " + ffmpegError(r));
    return;
  }
  const bool globalHeader = (m.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
  if (!h264) {
    fail("this FFmpeg has no libx264 encoder");
    return;
  }
  m.video = avcodec_alloc_context3(h264);
  m.video->width = s.width;
  m.video->height = s.height;
  m.video->time_base = AVRational{1, s.fps};
  m.video->framerate = AVRational{s.fps, 1};
  m.video->pix_fmt = AV_PIX_FMT_YUV420P;
  m.video->gop_size = 2 * s.fps;  // a key frame every two seconds keeps seeking quick
  m.video->colorspace = AVCOL_SPC_BT709;
  m.video->color_primaries = AVCOL_PRI_BT709;
  m.video->color_trc = AVCOL_TRC_BT709;
  m.video->color_range = AVCOL_RANGE_MPEG;
  if (globalHeader) m.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", s.preset.c_str(), 0);
  av_dict_set_int(&options, "crf", s.crf, 0);
  m.videoStream = openStream(m.format, m.video, &options, r);
  av_dict_free(&options);
  if (!m.videoStream) {
    fail("cannot open the H.264 encoder: " + ffmpegError(r));
    return;
  }

  if (s.sound) {
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!aac) {
      fail("this FFmpeg has no AAC encoder");
      return;
    }
    m.sound = avcodec_alloc_context3(aac);
    m.sound->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m.sound->sample_rate = kRate;
    m.sound->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    m.sound->bit_rate = kAudioBitRate;
    m.sound->time_base = AVRational{1, kRate};
    if (globalHeader) m.sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    m.soundStream = openStream(m.format, m.sound, nullptr, r);
    if (!m.soundStream) {
      fail("cannot open the AAC encoder: " + ffmpegError(r));
      return;
    }
    m.block = av_frame_alloc();
    m.block->format = AV_SAMPLE_FMT_FLTP;
    m.block->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    m.block->sample_rate = kRate;
    m.block->nb_samples = m.sound->frame_size;
    if (av_frame_get_buffer(m.block, 0) < 0) {
      fail("out of memory");
      return;
    }
  }

  if (!allocatePicture(m.picture, m.packet, AV_PIX_FMT_YUV420P, s.width, s.height)) return;
  // The frames are drawn in sRGB; BT.709 is the matrix the stream is tagged with.
  m.convert =
      sws_getContext(s.width, s.height, AV_PIX_FMT_RGBA, s.width, s.height, AV_PIX_FMT_YUV420P,
                     SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
  if (!m.convert) {
    fail("cannot set up the colour conversion");
    return;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(m.convert, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);

  r = avio_open(&m.format->pb, staged, AVIO_FLAG_WRITE);
  if (r < 0) {
    fail("cannot write " + path + ": " + ffmpegError(r));
    return;
  }
  // The index goes to the front at the end, so players can start before the whole file is
  // in (the muxer rewrites the file once more to move it).
  AVDictionary* mux = nullptr;
  av_dict_set(&mux, "movflags", "+faststart", 0);
  r = avformat_write_header(m.format, &mux);
  av_dict_free(&mux);
  if (r < 0) {
    fail("cannot write " + path + ": " + ffmpegError(r));
    return;
  }
}

Mp4Writer::~Mp4Writer() {
  if (impl_->out) abandon();
}

namespace {

// Sends `frame` (null: flush) to `codec` and writes every packet it gives back.
int drain(AVFormatContext* format, AVCodecContext* codec, AVStream* stream, AVPacket* packet,
          const AVFrame* frame) {
  int r = avcodec_send_frame(codec, frame);
  if (r < 0) return r;
  while ((r = avcodec_receive_packet(codec, packet)) >= 0) {
    // Every picture lasts one frame; without it the muxer counts the last one as lasting
    // nothing and the video ends a frame early.
    if (packet->duration == 0 && codec->codec_type == AVMEDIA_TYPE_VIDEO) packet->duration = 1;
    av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    r = av_interleaved_write_frame(format, packet);  // takes the packet's data
    if (r < 0) return r;
  }
  return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
}

}  // namespace

bool Mp4Writer::audio(const float* samples, long count) {
  Impl& m = *impl_;
  if (!ok() || !m.sound) return ok();
  const auto start = std::chrono::steady_clock::now();
  while (count > 0) {
    if (m.filled == 0 && av_frame_make_writable(m.block) < 0) return fail("out of memory");
    float* to = reinterpret_cast<float*>(m.block->data[0]);
    const long take = std::min<long>(count, m.block->nb_samples - m.filled);
    std::copy_n(samples, take, to + m.filled);
    m.filled += static_cast<int>(take);
    samples += take;
    count -= take;
    if (m.filled == m.block->nb_samples) {
      m.block->pts = m.samples;
      m.samples += m.filled;
      m.filled = 0;
      const int r = drain(m.format, m.sound, m.soundStream, m.packet, m.block);
      if (r < 0) return fail("cannot encode the sound: " + ffmpegError(r));
    }
  }
  encodingSeconds += secondsSince(start);
  return true;
}

bool Mp4Writer::frame(const offscreen::Image& p) {
  Impl& m = *impl_;
  if (!ok()) return false;
  auto start = std::chrono::steady_clock::now();
  if (av_frame_make_writable(m.picture) < 0) return fail("out of memory");
  const uint8_t* rows[1] = {p.rgba.data()};
  const int stride[1] = {4 * p.width};
  sws_scale(m.convert, rows, stride, 0, p.height, m.picture->data, m.picture->linesize);
  m.picture->pts = m.frames++;
  conversionSeconds += secondsSince(start);
  start = std::chrono::steady_clock::now();
  const int r = drain(m.format, m.video, m.videoStream, m.packet, m.picture);
  encodingSeconds += secondsSince(start);
  if (r < 0) return fail("cannot encode the video: " + ffmpegError(r));
  return true;
}

bool Mp4Writer::commit() {
  Impl& m = *impl_;
  if (!ok()) return false;
  const auto start = std::chrono::steady_clock::now();
  int r = 0;
  if (m.sound) {
    // The last, short block of sound; the encoder pads it, and the stream's end is marked by
    // its sample count, so the sound is as long as the input.
    if (m.filled > 0) {
      if (m.sound->codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME) {
        m.block->nb_samples = m.filled;
      } else {
        float* to = reinterpret_cast<float*>(m.block->data[0]);
        std::fill(to + m.filled, to + m.block->nb_samples, 0.0f);
      }
      m.block->pts = m.samples;
      m.samples += m.filled;
      m.filled = 0;
      r = drain(m.format, m.sound, m.soundStream, m.packet, m.block);
    }
    if (r >= 0) r = drain(m.format, m.sound, m.soundStream, m.packet, nullptr);
    if (r < 0) return fail("cannot encode the sound: " + ffmpegError(r));
  }
  r = drain(m.format, m.video, m.videoStream, m.packet, nullptr);
  if (r < 0) return fail("cannot encode the video: " + ffmpegError(r));
  r = av_write_trailer(m.format);
  if (r < 0) return fail("cannot write " + m.path + ": " + ffmpegError(r));
  r = avio_closep(&m.format->pb);
  if (r < 0) return fail("cannot write " + m.path + ": " + ffmpegError(r));
  encodingSeconds += secondsSince(start);
  std::string why;
  const bool renamed = m.out->commit(&why);
  m.out.reset();
  if (!renamed) return fail("cannot write " + m.path + ": " + why);
  return true;
}

void Mp4Writer::abandon() {
  Impl& m = *impl_;
  if (m.format && m.format->pb) avio_closep(&m.format->pb);
  m.out.reset();  // removes the temporary
  fail("abandoned");
}
