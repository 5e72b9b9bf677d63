#include "video/clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
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

// What a container holds: its muxer, the video encoder and its pixel format, the sound
// encoder and its bit rate (mono speech: clear at these rates, small files).
struct Formats {
  const char* muxer;
  const char* video;
  const char* videoName;
  AVPixelFormat pixels;
  const char* sound;  // null: the container carries no sound
  const char* soundName;
  int soundBitRate;
};

const Formats& formatsOf(Container c) {
  static const Formats mp4{"mp4", "libx264", "H.264", AV_PIX_FMT_YUV420P, "aac", "AAC", 96000};
  static const Formats webm{"webm",    "libvpx-vp9", "VP9", AV_PIX_FMT_YUV420P,
                            "libopus", "Opus",       64000};
  static const Formats gif{"gif", "gif", "GIF", AV_PIX_FMT_PAL8, nullptr, nullptr, 0};
  return c == Container::mp4 ? mp4 : c == Container::webm ? webm : gif;
}

// The video encoders' quality and speed. x264 "veryfast" at constant quality 20, and VP9
// at constant quality 32 with libvpx's real-time speed 6 (as sharp as its slow "good"
// setting on these pictures, five times as fast), keep the head's flat shading free of
// visible blocks and the encoder ahead of the drawing.
void videoOptions(Container c, AVCodecContext* codec, AVDictionary** options) {
  if (c == Container::mp4) {
    av_dict_set(options, "preset", "veryfast", 0);
    av_dict_set_int(options, "crf", 20, 0);
  } else if (c == Container::webm) {
    codec->bit_rate = 0;  // constant quality, no bit-rate ceiling
    av_dict_set_int(options, "crf", 32, 0);
    av_dict_set(options, "deadline", "realtime", 0);
    av_dict_set_int(options, "cpu-used", 6, 0);
    av_dict_set_int(options, "row-mt", 1, 0);
  }
}

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

// The encoder's float layout for mono: planar where it takes it (AAC), else interleaved
// (libopus); for one channel the samples lie alike.
AVSampleFormat floatFormat(const AVCodec* codec) {
  for (const AVSampleFormat* f = codec->sample_fmts; f && *f != AV_SAMPLE_FMT_NONE; ++f)
    if (*f == AV_SAMPLE_FMT_FLTP) return AV_SAMPLE_FMT_FLTP;
  return AV_SAMPLE_FMT_FLT;
}

// RGBA pictures to palette pictures for GIF: each frame gets its own 256 colours
// (palettegen's single-frame statistics), so a flat-shaded frame, which has fewer, keeps
// them exactly and unchanged pixels stay unchanged between frames (the encoder leaves them
// out); only smooth shading is dithered (error diffusion).
struct Palettes {
  AVFilterGraph* graph = nullptr;
  AVFilterContext* in = nullptr;
  AVFilterContext* out = nullptr;
  AVFrame* result = nullptr;

  ~Palettes() {
    avfilter_graph_free(&graph);
    av_frame_free(&result);
  }

  int open(int width, int height, int fps) {
    graph = avfilter_graph_alloc();
    result = av_frame_alloc();
    if (!graph || !result) return AVERROR(ENOMEM);
    char args[128];
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=1/%d", width, height,
                  AV_PIX_FMT_RGBA, fps);
    int r = avfilter_graph_create_filter(&in, avfilter_get_by_name("buffer"), "in", args, nullptr,
                                         graph);
    if (r >= 0)
      r = avfilter_graph_create_filter(&out, avfilter_get_by_name("buffersink"), "out", nullptr,
                                       nullptr, graph);
    if (r < 0) return r;
    AVFilterInOut* from = avfilter_inout_alloc();
    AVFilterInOut* to = avfilter_inout_alloc();
    if (!from || !to) r = AVERROR(ENOMEM);
    if (r >= 0) {
      from->name = av_strdup("in");
      from->filter_ctx = in;
      to->name = av_strdup("out");
      to->filter_ctx = out;
      r = avfilter_graph_parse_ptr(graph,
                                   "split[a][b];[a]palettegen=stats_mode=single[p];"
                                   "[b][p]paletteuse=new=1",
                                   &to, &from, nullptr);
    }
    avfilter_inout_free(&from);
    avfilter_inout_free(&to);
    return r < 0 ? r : avfilter_graph_config(graph, nullptr);
  }
};

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

struct ClipWriter::Impl {
  std::string path;
  std::unique_ptr<OutputFile> out;  // the temporary beside `path`, renamed on commit
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* sound = nullptr;
  AVStream* videoStream = nullptr;
  AVStream* soundStream = nullptr;
  SwsContext* convert = nullptr;       // MP4, WebM: RGBA to yuv420p
  std::unique_ptr<Palettes> palettes;  // GIF: RGBA to a palette
  AVFrame* picture = nullptr;          // the encoder's input (yuv420p) or RGBA for GIF, reused
  AVFrame* block = nullptr;            // one encoder frame of float samples, reused
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

  // GIF: takes the pictures the palette filter has ready to the encoder.
  int encodePalettes() {
    int r;
    while ((r = av_buffersink_get_frame(palettes->out, palettes->result)) >= 0) {
      r = drain(format, video, videoStream, packet, palettes->result);
      av_frame_unref(palettes->result);
      if (r < 0) return r;
    }
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
  }
};

ClipWriter::ClipWriter(const std::string& path, const ClipSettings& s) : impl_(new Impl) {
  Impl& m = *impl_;
  m.path = path;
  const Formats& f = formatsOf(s.container);
  const bool gif = s.container == Container::gif;
  if (!gif && (s.width % 2 != 0 || s.height % 2 != 0)) {
    fail(std::string(s.container == Container::mp4 ? "an MP4" : "a WebM") +
         " needs an even width and height (yuv420p), not " + std::to_string(s.width) + "x" +
         std::to_string(s.height));
    return;
  }
  std::string why;
  m.out = OutputFile::create(path, &why);
  if (!m.out) {
    fail("cannot write " + path + ": " + why);
    return;
  }
  // The muxer writes the temporary by name and goes back to fill in the index and the
  // lengths; a device or a FIFO (written in place, no temporary) cannot be gone back to.
  if (m.out->temporaryPath().empty()) {
    fail("cannot write " + path + ": a clip needs a regular file (its index comes last)");
    return;
  }
  const char* staged = m.out->temporaryPath().c_str();
  int r = avformat_alloc_output_context2(&m.format, nullptr, f.muxer, staged);
  if (r < 0 || !m.format) {
    fail(std::string("cannot set up the ") + f.muxer + " muxer: " + ffmpegError(r));
    return;
  }
  const bool globalHeader = (m.format->oformat->flags & AVFMT_GLOBALHEADER) != 0;

  const AVCodec* encoder = avcodec_find_encoder_by_name(f.video);
  if (!encoder) {
    fail(std::string("this FFmpeg has no ") + f.video + " encoder");
    return;
  }
  m.video = avcodec_alloc_context3(encoder);
  m.video->width = s.width;
  m.video->height = s.height;
  m.video->time_base = AVRational{1, s.fps};
  m.video->framerate = AVRational{s.fps, 1};
  m.video->pix_fmt = f.pixels;
  if (!gif) {
    m.video->gop_size = 2 * s.fps;  // a key frame every two seconds keeps seeking quick
    m.video->colorspace = AVCOL_SPC_BT709;
    m.video->color_primaries = AVCOL_PRI_BT709;
    m.video->color_trc = AVCOL_TRC_BT709;
    m.video->color_range = AVCOL_RANGE_MPEG;
  }
  if (globalHeader) m.video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  videoOptions(s.container, m.video, &options);
  m.videoStream = openStream(m.format, m.video, &options, r);
  av_dict_free(&options);
  if (!m.videoStream) {
    fail(std::string("cannot open the ") + f.videoName + " encoder: " + ffmpegError(r));
    return;
  }

  if (s.sound && f.sound) {
    const AVCodec* codec = avcodec_find_encoder_by_name(f.sound);
    if (!codec) {
      fail(std::string("this FFmpeg has no ") + f.soundName + " encoder");
      return;
    }
    m.sound = avcodec_alloc_context3(codec);
    m.sound->sample_fmt = floatFormat(codec);
    m.sound->sample_rate = kRate;
    m.sound->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    m.sound->bit_rate = f.soundBitRate;
    m.sound->time_base = AVRational{1, kRate};
    if (globalHeader) m.sound->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    m.soundStream = openStream(m.format, m.sound, nullptr, r);
    if (!m.soundStream) {
      fail(std::string("cannot open the ") + f.soundName + " encoder: " + ffmpegError(r));
      return;
    }
    m.block = av_frame_alloc();
    m.block->format = m.sound->sample_fmt;
    m.block->ch_layout = AV_CHANNEL_LAYOUT_MONO;
    m.block->sample_rate = kRate;
    m.block->nb_samples = m.sound->frame_size;
    if (av_frame_get_buffer(m.block, 0) < 0) {
      fail("out of memory");
      return;
    }
  }

  if (gif) {
    if (!allocatePicture(m.picture, m.packet, AV_PIX_FMT_RGBA, s.width, s.height)) return;
    m.palettes = std::make_unique<Palettes>();
    r = m.palettes->open(s.width, s.height, s.fps);
    if (r < 0) {
      fail("cannot set up the GIF palettes: " + ffmpegError(r));
      return;
    }
  } else {
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
  }

  r = avio_open(&m.format->pb, staged, AVIO_FLAG_WRITE);
  if (r < 0) {
    fail("cannot write " + path + ": " + ffmpegError(r));
    return;
  }
  // MP4: the index goes to the front at the end, so players can start before the whole
  // file is in (the muxer rewrites the file once more to move it).
  AVDictionary* mux = nullptr;
  if (s.container == Container::mp4) av_dict_set(&mux, "movflags", "+faststart", 0);
  r = avformat_write_header(m.format, &mux);
  av_dict_free(&mux);
  if (r < 0) {
    fail("cannot write " + path + ": " + ffmpegError(r));
    return;
  }
}

ClipWriter::~ClipWriter() {
  if (impl_->out) abandon();
}

bool ClipWriter::audio(const float* samples, long count) {
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

bool ClipWriter::frame(const offscreen::Image& p) {
  Impl& m = *impl_;
  if (!ok()) return false;
  auto start = std::chrono::steady_clock::now();
  if (av_frame_make_writable(m.picture) < 0) return fail("out of memory");
  m.picture->pts = m.frames++;
  int r;
  if (m.palettes) {
    for (int y = 0; y < p.height; ++y)
      std::copy_n(p.rgba.data() + static_cast<std::size_t>(y) * p.width * 4, p.width * 4,
                  m.picture->data[0] + static_cast<std::size_t>(y) * m.picture->linesize[0]);
    r = av_buffersrc_add_frame_flags(m.palettes->in, m.picture, AV_BUFFERSRC_FLAG_KEEP_REF);
    conversionSeconds += secondsSince(start);
    start = std::chrono::steady_clock::now();
    if (r >= 0) r = m.encodePalettes();
  } else {
    const uint8_t* rows[1] = {p.rgba.data()};
    const int stride[1] = {4 * p.width};
    sws_scale(m.convert, rows, stride, 0, p.height, m.picture->data, m.picture->linesize);
    conversionSeconds += secondsSince(start);
    start = std::chrono::steady_clock::now();
    r = drain(m.format, m.video, m.videoStream, m.packet, m.picture);
  }
  encodingSeconds += secondsSince(start);
  if (r < 0) return fail("cannot encode the video: " + ffmpegError(r));
  return true;
}

bool ClipWriter::commit() {
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
  if (m.palettes) {
    r = av_buffersrc_add_frame_flags(m.palettes->in, nullptr, 0);
    if (r >= 0) r = m.encodePalettes();
  }
  if (r >= 0) r = drain(m.format, m.video, m.videoStream, m.packet, nullptr);
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

void ClipWriter::abandon() {
  Impl& m = *impl_;
  if (m.format && m.format->pb) avio_closep(&m.format->pb);
  m.out.reset();  // removes the temporary
  fail("abandoned");
}
