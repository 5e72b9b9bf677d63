// zarvo-render run as a program on a short spoken recording, its output opened with the
// FFmpeg libraries and compared with pictures drawn here, straight through render/ on the
// offscreen backend, for the FAPs this test works out from the same recording.
#include <GL/gl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fapfile/FapFile.h"
#include "fapfile/OutputFile.h"
#include "lipsync/LipSync.h"
#include "lipsync/LipSyncInput.h"
#include "lipsync/MeshGuard.h"
#include "model/costav.h"
#include "model/modellbeolv.h"
#include "model/valtozok.h"
#include "platform/offscreen.h"
#include "render/context.h"
#include "render/rajzolo.h"
#include "speech/FAPmozgat.h"
#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "tests/render/support.h"
#include "tests/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = ZARVO_RENDER;
const std::string kRaw = ZARVO_VIDEO_SPEECH ".raw";     // float32, 48 kHz mono
const std::string kSpeech = ZARVO_VIDEO_SPEECH ".wav";  // the same samples
constexpr int kRate = 48000;

// ---- the recording and its analysis, done here the way the live mode does it ----

struct Window {
  int volume;
  int faps[76];
};

std::vector<float> samplesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  std::vector<float> s(bytes.size() / 4);
  std::memcpy(s.data(), bytes.data(), s.size() * 4);
  return s;
}

// The articulated FAPs of the lip sync, as the tool draws by default; or the designed ones.
std::vector<Window> analyse(const std::vector<float>& samples, bool designed = false) {
  MemoryRecorder rec(samples.data(), static_cast<int>(samples.size()));
  QspRecorder analyser(&rec, 3);
  lipsync::LipSync sync;
  lipsync::WindowInput in;
  lipsync::Frame f;
  std::vector<Window> out;
  double points[30];
  int faps[76];
  auto add = [&](const int* mouth, int volume) {
    Window& w = out.emplace_back();
    w.volume = volume;
    std::copy(mouth, mouth + 76, w.faps);
  };
  for (long long i = 0; analyser.isNew(); ++i) {
    analyser.handleNew(points);
    pixels2FAPs(points, faps);
    lipsync::fillWindowInput(analyser, points, faps, i, in);
    if (designed) add(faps, analyser.volume());
    if (!designed && sync.push(in, f)) add(f.articulated, f.vol);
  }
  while (!designed && sync.flush(f)) add(f.articulated, f.vol);
  return out;
}

// Frame k shows time k / fps; window i is centred on sample 512 (i + 1).
const Window& windowOfFrame(const std::vector<Window>& windows, long k, int fps) {
  const double t = static_cast<double>(k) / fps * kRate;
  long best = 0;
  for (long i = 1; i < static_cast<long>(windows.size()); ++i)
    if (std::abs(512.0 * (i + 1) - t) < std::abs(512.0 * (best + 1) - t)) best = i;
  return windows[best];
}

// ---- the reference pictures ----

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // rows from the top
  int at(int x, int y, int c) const {
    return rgb[(static_cast<std::size_t>(y) * width + x) * 3 + c];
  }
};

// A square window of `side` pixels with the real head, drawn as the live mode draws a
// window of the given volume and FAPs; `front`: in the start-up view instead; `smooth`:
// smooth-shaded.
Picture drawn(int side, const Window& w, bool front = false, bool smooth = false) {
  HINSTANCE instance = offscreen::reset();
  support::reset_viewer();
  EXPECT_NE(offscreen::register_class("reference", DefWindowProcA, instance), 0);
  HWND window = CreateWindowExA(0, "reference", "reference", WS_OVERLAPPEDWINDOW, 0, 0, side, side,
                                nullptr, nullptr, instance, nullptr);
  hGLRC = offscreen::make_current(window, &hDC);
  EXPECT_NE(hGLRC, nullptr);
  const fs::path here = fs::current_path();
  fs::current_path(ZARVO_DATA_DIR);
  vertexbeolv();
  facebeolv();
  fs::current_path(here);
  tavolsag();
  winW = winH = side;
  sima = smooth;
  if (!front) {
    toly = 42.0;
    rotx = 20.0;
    d = FAPzoom(w.volume);
  }
  int held[76];  // as the continuous mode draws a pose
  lipsync::heldFaps(w.faps, held);
  FAPmozgat(held, 1);
  initMapping();
  modellnezet();
  FAPmozgat(held, -1);
  const offscreen::Image& im = offscreen::front();
  Picture p{im.width, im.height, {}};
  for (std::size_t i = 0; i < im.rgba.size(); i += 4)
    p.rgb.insert(p.rgb.end(), {im.rgba[i], im.rgba[i + 1], im.rgba[i + 2]});
  hDC = nullptr;
  hGLRC = nullptr;
  return p;
}

// Mean absolute difference per channel value over the box [x0, x1) x [y0, y1).
double meanDifference(const Picture& a, const Picture& b, int x0, int y0, int x1, int y1) {
  double sum = 0.0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < 3; ++c) sum += std::abs(a.at(x, y, c) - b.at(x, y, c));
  return sum / (3.0 * (x1 - x0) * (y1 - y0));
}

// ---- the program ----

struct Outcome {
  int status;
  std::string errors;  // standard error
};

Outcome runTool(const std::vector<std::string>& args) {
  std::string cmd = "'" + kTool + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  const fs::path err = fs::temp_directory_path() / ("zarvo-render-err-" + std::to_string(getpid()));
  const int raw = std::system((cmd + " 2>'" + err.string() + "' </dev/null").c_str());
  std::ifstream in(err);
  Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {std::istreambuf_iterator<char>(in), {}}};
  fs::remove(err);
  return r;
}

// ---- reading the output back ----

struct Clip {
  int videoStreams = 0, audioStreams = 0;
  AVCodecID videoCodec = AV_CODEC_ID_NONE, audioCodec = AV_CODEC_ID_NONE;
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
  double videoSeconds = 0.0, audioSeconds = 0.0;
  long frames = 0;
  std::vector<std::pair<long, Picture>> kept;  // the frames asked for, as RGB
};

double seconds(const AVStream* s) { return s->duration * av_q2d(s->time_base); }

// Opens `path`, decodes every video frame, keeps those numbered in `keep` as RGB (with the
// colour matrix the stream is tagged with).
Clip readClip(const std::string& path, const std::vector<long>& keep) {
  Clip clip;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
    ADD_FAILURE() << "cannot open " << path;
    return clip;
  }
  avformat_find_stream_info(format, nullptr);
  int video = -1;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* s = format->streams[i];
    if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      ++clip.videoStreams;
      clip.videoCodec = s->codecpar->codec_id;
      clip.pixelFormat = static_cast<AVPixelFormat>(s->codecpar->format);
      clip.videoSeconds = seconds(s);
      video = static_cast<int>(i);
    } else if (s->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      ++clip.audioStreams;
      clip.audioCodec = s->codecpar->codec_id;
      clip.audioSeconds = seconds(s);
    }
  }
  if (video >= 0) {
    const AVCodecParameters* par = format->streams[video]->codecpar;
    AVCodecContext* dec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(dec, par);
    avcodec_open2(dec, dec->codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto take = [&] {
      while (avcodec_receive_frame(dec, frame) >= 0) {
        const long k = clip.frames++;
        if (std::find(keep.begin(), keep.end(), k) == keep.end()) continue;
        Picture p{
            frame->width, frame->height,
            std::vector<unsigned char>(static_cast<std::size_t>(frame->width) * frame->height * 3)};
        SwsContext* sws = sws_getContext(
            frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->width,
            frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
        const int* matrix = sws_getCoefficients(frame->colorspace);
        sws_setColorspaceDetails(sws, matrix, frame->color_range == AVCOL_RANGE_JPEG, matrix, 1, 0,
                                 1 << 16, 1 << 16);
        uint8_t* to[1] = {p.rgb.data()};
        const int stride[1] = {3 * frame->width};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, to, stride);
        sws_freeContext(sws);
        clip.kept.emplace_back(k, std::move(p));
      }
    };
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == video && avcodec_send_packet(dec, packet) >= 0) take();
      av_packet_unref(packet);
    }
    avcodec_send_packet(dec, nullptr);
    take();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
  }
  avformat_close_input(&format);
  return clip;
}

// RGB of an RGB PNG; with `alpha`, of an RGBA PNG, its alpha values in `alpha`.
Picture readPng(const std::string& path, std::vector<unsigned char>* alpha = nullptr) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  bytes.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
  AVCodecContext* dec = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_PNG));
  avcodec_open2(dec, dec->codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  packet->data = bytes.data();
  packet->size = static_cast<int>(bytes.size() - AV_INPUT_BUFFER_PADDING_SIZE);
  AVFrame* frame = av_frame_alloc();
  Picture p;
  if (avcodec_send_packet(dec, packet) >= 0 && avcodec_receive_frame(dec, frame) >= 0) {
    EXPECT_EQ(frame->format, alpha ? AV_PIX_FMT_RGBA : AV_PIX_FMT_RGB24);
    p.width = frame->width;
    p.height = frame->height;
    const int step = alpha ? 4 : 3;
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width * step; x += step) {
        const uint8_t* at = frame->data[0] + y * frame->linesize[0] + x;
        p.rgb.insert(p.rgb.end(), at, at + 3);
        if (alpha) alpha->push_back(at[3]);
      }
  } else {
    ADD_FAILURE() << "cannot decode " << path;
  }
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&dec);
  return p;
}

// The names in a directory, sorted.
std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename());
  std::sort(out.begin(), out.end());
  return out;
}

// The loudest frame and the quietest frame of the recording at `fps`.
std::pair<long, long> loudAndSilent(const std::vector<Window>& windows, long frames, int fps) {
  long loud = 0, silent = 0;
  for (long k = 0; k < frames; ++k) {
    if (windowOfFrame(windows, k, fps).volume > windowOfFrame(windows, loud, fps).volume) loud = k;
    if (windowOfFrame(windows, k, fps).volume < windowOfFrame(windows, silent, fps).volume)
      silent = k;
  }
  return {loud, silent};
}

// ---- the cases ----

TEST(Mp4, SpeechGivesH264AndAacInStepWithTheLiveModesPictures) {
  const std::vector<float> samples = samplesOf(kRaw);
  const std::vector<Window> windows = analyse(samples);
  const double duration = static_cast<double>(samples.size()) / kRate;
  const long frames = static_cast<long>(std::ceil(duration * 30));
  const auto [loud, silent] = loudAndSilent(windows, frames, 30);
  ASSERT_GT(windowOfFrame(windows, loud, 30).volume, 100);
  ASSERT_LT(windowOfFrame(windows, silent, 30).volume, 0);

  ScratchDir dir;
  const Outcome r = runTool({kSpeech, "--look", "designed", "--axes", "-o", dir / "clip.mp4"});
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.errors, "");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"clip.mp4"});

  const Clip clip = readClip(dir / "clip.mp4", {loud, silent});
  EXPECT_EQ(clip.videoStreams, 1);
  EXPECT_EQ(clip.audioStreams, 1);
  EXPECT_EQ(clip.videoCodec, AV_CODEC_ID_H264);
  EXPECT_EQ(clip.audioCodec, AV_CODEC_ID_AAC);
  EXPECT_EQ(clip.pixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(clip.frames, frames);
  EXPECT_NEAR(clip.audioSeconds, duration, 0.001);
  EXPECT_NEAR(clip.videoSeconds, clip.audioSeconds, 1.0 / 30);
  ASSERT_EQ(clip.kept.size(), 2u);

  // The mouth: from the upper lip to the chin, between the lip corners, with a margin.
  const int side = 720;
  const Picture& a = clip.kept[0].first == loud ? clip.kept[0].second : clip.kept[1].second;
  const Picture& b = clip.kept[0].first == loud ? clip.kept[1].second : clip.kept[0].second;
  ASSERT_EQ(a.width, side);
  ASSERT_EQ(a.height, side);
  const int x0 = side / 4, x1 = 3 * side / 4, y0 = side / 3, y1 = 5 * side / 6;
  const Picture loudRef = drawn(side, windowOfFrame(windows, loud, 30));
  const Picture silentRef = drawn(side, windowOfFrame(windows, silent, 30));
  const double compression = std::max(meanDifference(a, loudRef, 0, 0, side, side),
                                      meanDifference(b, silentRef, 0, 0, side, side));
  EXPECT_LT(compression, 2.0);
  const double mouthError = std::max(meanDifference(a, loudRef, x0, y0, x1, y1),
                                     meanDifference(b, silentRef, x0, y0, x1, y1));
  EXPECT_LT(mouthError, 4.0);
  EXPECT_GT(meanDifference(a, b, x0, y0, x1, y1), 4 * mouthError);
}

// Pixels of the axes' pure colours: one channel above both others by more than the skin's
// red ever is.
long axisPixels(const Picture& p) {
  long n = 0;
  for (std::size_t i = 0; i < p.rgb.size(); i += 3) {
    int c[3] = {p.rgb[i], p.rgb[i + 1], p.rgb[i + 2]};
    std::sort(c, c + 3);
    n += c[2] - c[1] > 80;
  }
  return n;
}

// The sequence at 10 fps: every frame there, and one frame with the axes exactly the
// renderer's picture, in the default live view and in the start-up view with smooth
// shading; without --axes, no axis. A shorter render into the same folder removes the
// frames it does not reach.
TEST(Png, NumberedFramesEqualTheRenderersPictures) {
  const std::vector<float> samples = samplesOf(kRaw);
  const std::vector<Window> windows = analyse(samples), designed = analyse(samples, true);
  const long frames = static_cast<long>(std::ceil(samples.size() * 10.0 / kRate));
  const long loud = loudAndSilent(windows, frames, 10).first;
  std::vector<std::string> want;
  char name[32];
  for (long k = 0; k < frames; ++k) {
    std::snprintf(name, sizeof name, "%04ld.png", k);
    want.push_back(name);
  }
  for (const bool front : {false, true}) {
    SCOPED_TRACE(front ? "front, smooth, designed" : "live, poly, articulated");
    ScratchDir dir;
    fs::create_directory(dir / "frames");
    std::vector<std::string> args{kSpeech, "--look", "designed", "--fps",
                                  "10",    "--size", "240x240"};
    if (front) args.insert(args.end(), {"--camera", "front", "--mode", "smooth", "--designed"});
    args.insert(args.end(), {"-o", dir / "frames/%04d.png"});
    const Outcome plain = runTool(args);
    ASSERT_EQ(plain.status, 0) << plain.errors;
    EXPECT_EQ(axisPixels(readPng(dir / "frames/" + want[loud])), 0);
    args.push_back("--axes");
    const Outcome r = runTool(args);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    EXPECT_EQ(namesIn(dir / "frames"), want);

    const Picture got = readPng(dir / "frames/" + want[loud]);
    const Picture ref =
        drawn(240, windowOfFrame(front ? designed : windows, loud, 10), front, front);
    EXPECT_EQ(got.width, 240);
    EXPECT_EQ(got.height, 240);
    EXPECT_TRUE(got.rgb == ref.rgb);
    EXPECT_GT(axisPixels(got), 100);

    std::ofstream(dir / "second.raw", std::ios::binary)
        .write(reinterpret_cast<const char*>(samples.data()), 4 * kRate);
    const Outcome shorter = runTool(
        {dir / "second.raw", "--fps", "10", "--size", "240x240", "-o", dir / "frames/%04d.png"});
    const std::string first = dir / "frames/0010.png", last = dir / "frames/" + want.back();
    EXPECT_EQ(shorter.errors, "zarvo-render: note: removed " + std::to_string(frames - 10) +
                                  " older frames " + first + " to " + last +
                                  ", beyond this render's 10 frames\n");
    EXPECT_EQ(namesIn(dir / "frames"), std::vector<std::string>(want.begin(), want.begin() + 10));
  }
}

// Writes `path`, a 10 fps FAP file (by the FAP file library) of the windows that lie in
// the first `samples` samples.
void writeFap(const std::string& path, const std::vector<Window>& windows, long long samples) {
  FapWriter writer("speech", 10);
  ASSERT_TRUE(writer.open(nullptr));
  for (long long i = 0; 512 * i + 1024 <= samples; ++i) writer.addWindow(i, windows[i].faps);
  std::string problem;
  auto out = OutputFile::create(path, &problem);
  ASSERT_NE(out, nullptr) << problem;
  TextWriter text(out->fd());
  ASSERT_TRUE(writer.finish(samples, text));
  ASSERT_TRUE(text.flush() && out->commit(&problem)) << problem;
}

// A FAP file written from the test's analysis of the recording at 10 fps, rendered with the
// recording as its sound: frame for frame the PNGs of the recording itself, loudness zoom
// included. The clip takes the file's own frame rate. A FAP file of the first two seconds
// with the whole recording: a clip of two seconds, and a note.
TEST(FapFile, GivesTheFramesOfTheSpeechItWasWrittenFrom) {
  const std::vector<float> samples = samplesOf(kRaw);
  const std::vector<Window> windows = analyse(samples);
  ScratchDir dir;
  writeFap(dir / "speech.fap", windows, static_cast<long long>(samples.size()));
  writeFap(dir / "two.fap", windows, 2 * kRate);
  fs::create_directory(dir / "speech");
  fs::create_directory(dir / "fap");
  Outcome r = runTool({kSpeech, "--fps", "10", "--size", "240x240", "-o", dir / "speech/%04d.png"});
  ASSERT_EQ(r.status, 0) << r.errors;
  r = runTool(
      {dir / "speech.fap", "--audio", kSpeech, "--size", "240x240", "-o", dir / "fap/%04d.png"});
  ASSERT_EQ(r.status, 0) << r.errors;

  const std::vector<std::string> names = namesIn(dir / "speech");
  EXPECT_EQ(names.size(), static_cast<std::size_t>(std::ceil(samples.size() * 10.0 / kRate)));
  ASSERT_EQ(namesIn(dir / "fap"), names);
  for (const std::string& n : names) {
    std::ifstream a(dir / "speech/" + n, std::ios::binary), b(dir / "fap/" + n, std::ios::binary);
    EXPECT_TRUE(
        std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {}))
        << n;
  }
  r = runTool({dir / "two.fap", "--audio", kSpeech, "--size", "64x64", "-o", dir / "two.mp4"});
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.errors, "zarvo-render: note: " + dir / "two.fap" + " lasts 2.00 s, " + kSpeech +
                          " 4.20 s: the clip ends with the shorter, at 2.00 s\n");
  const Clip clip = readClip(dir / "two.mp4", {});
  EXPECT_EQ(clip.frames, 20);
  EXPECT_NEAR(clip.audioSeconds, 2.0, 0.001);
}

// The other outputs: a WebM of VP9 and Opus and a GIF, a frame for each 1/fps of the
// recording; PNG frames on a chosen colour, or transparent around the head; the version.
TEST(Outputs, WebmGifAndBackgrounds) {
  const long frames = static_cast<long>(std::ceil(samplesOf(kRaw).size() * 10.0 / kRate));
  ScratchDir dir;
  for (const char* name : {"clip.webm", "clip.gif"}) {
    const Outcome r = runTool({kSpeech, "--fps", "10", "--size", "96x96", "-o", dir / name});
    ASSERT_EQ(r.status, 0) << r.errors;
    const Clip clip = readClip(dir / name, {});
    const bool gif = std::string(name) == "clip.gif";
    EXPECT_EQ(clip.videoCodec, gif ? AV_CODEC_ID_GIF : AV_CODEC_ID_VP9);
    EXPECT_EQ(clip.audioCodec, gif ? AV_CODEC_ID_NONE : AV_CODEC_ID_OPUS);
    EXPECT_EQ(clip.frames, frames);
  }
  std::vector<unsigned char> alpha;
  for (const char* background : {"transparent", "#336699"}) {
    fs::create_directories(dir / background);
    const Outcome r = runTool({kSpeech, "--fps", "1", "--size", "64x48", "--background", background,
                               "-o", dir / background + "/%d.png"});
    ASSERT_EQ(r.status, 0) << r.errors;
    const bool clear = std::string(background) == "transparent";
    const Picture p = readPng(dir / background + "/2.png", clear ? &alpha : nullptr);
    if (clear) {
      EXPECT_EQ(alpha.at(0), 0);               // a corner: the background
      EXPECT_EQ(alpha.at(24 * 64 + 32), 255);  // the middle: the head
    } else {
      EXPECT_EQ(std::vector<int>({p.at(0, 0, 0), p.at(0, 0, 1), p.at(0, 0, 2)}),
                std::vector<int>({0x33, 0x66, 0x99}));
    }
  }
  FILE* version = popen(("'" + kTool + "' --version").c_str(), "r");
  char line[64] = {};
  ASSERT_NE(std::fgets(line, sizeof line, version), nullptr);
  EXPECT_EQ(pclose(version), 0);
  EXPECT_EQ(std::string(line).rfind("zarvo-render 1.", 0), 0u) << line;
}

// Each bad run ends with status 2, tells why in one line and leaves the directory as it
// was.
TEST(Failures, ExitTwoAndNothingLeftBehind) {
  ScratchDir dir;
  std::ofstream(dir / "empty.raw").close();
  std::ofstream(dir / "short.raw", std::ios::binary) << std::string(4 * 1000, '\0');
  std::ofstream(dir / "bad.fap") << "2.1 name ten 3\n";
  std::ofstream(dir / "fast.fap") << "2.1 name 1000 3\n";  // zarvo-fap writes up to 1000 fps
  std::vector<float> nan(4800, 0.1f);
  nan[2400] = NAN;
  std::ofstream(dir / "nan.raw", std::ios::binary)
      .write(reinterpret_cast<const char*>(nan.data()), 4 * 4800);
  std::ofstream(dir / "file").close();
  fs::create_directory(dir / "taken.mp4");
  fs::create_directory(dir / "frames");
  const std::vector<std::string> before = namesIn(dir.path());
  const std::vector<std::string> cases[] = {
      {dir / "missing.raw", "-o", dir / "a.mp4"},
      {dir / "empty.raw", "-o", dir / "a.mp4"},
      {dir / "short.raw", "-o", dir / "a.mp4"},  // less than one window
      {"-", "-o", dir / "a.mp4"},
      {dir / "bad.fap", "-o", dir / "a.mp4"},
      {dir / "missing.fap", "-o", dir / "a.mp4"},
      {kSpeech, "-o", dir / "missing/a.mp4"},
      {kSpeech, "-o", dir / "file/a.mp4"},
      {kSpeech, "--size", "64x64", "-o", dir / "taken.mp4"},  // fails at the rename
      {kSpeech, "-o", dir / "frames/%05d/a.png"},
      {kSpeech, "-o", dir / "frames/a.png"},
      {kSpeech, "-o", dir / "a.avi"},
      {kSpeech, "--size", "322x241", "-o", dir / "a.mp4"},
      {kSpeech},
      {"-o", dir / "a.mp4"},
      {kSpeech, "--fps", "0", "-o", dir / "a.mp4"},
      {kSpeech, "--size", "720", "-o", dir / "a.mp4"},
      {kSpeech, "--view", "side", "-o", dir / "a.mp4"},
      {kSpeech, "--mode", "solid", "-o", dir / "a.mp4"},
      {kSpeech, "--colour", "-o", dir / "a.mp4"},
      {kSpeech, "--audio", kSpeech, "-o", dir / "a.mp4"},
      {dir / "fast.fap", "-o", dir / "a.mp4"},
      {dir / "nan.raw", "-o", dir / "a.mp4"},
      {kSpeech, "--background", "transparent", "-o", dir / "a.mp4"},
  };
  for (const std::vector<std::string>& args : cases) {
    std::string line;
    for (const std::string& a : args) line += a + " ";
    SCOPED_TRACE(line);
    const Outcome r = runTool(args);
    EXPECT_EQ(r.status, 2) << r.errors;
    EXPECT_EQ(r.errors.rfind("zarvo-render: ", 0), 0u) << r.errors;
    EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    // Bad input names the file.
    if (args[0].find(".fap") != std::string::npos || args[0].find(".raw") != std::string::npos) {
      EXPECT_EQ(r.errors.find("zarvo-render: " + args[0] + ": "), 0u) << r.errors;
    }
    EXPECT_EQ(namesIn(dir.path()), before);
    EXPECT_TRUE(fs::is_empty(dir / "frames"));
    EXPECT_TRUE(fs::is_empty(dir / "taken.mp4"));
  }
}

}  // namespace
