#include "audiofile/AudioReader.h"

#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "audiofile/FileName.h"
#include "audiofile/Resampler.h"

static_assert(std::endian::native == std::endian::little,
              "raw float32 input is read as little-endian memory");

namespace {

// Bytes read at open and held for the WAV header check: enough for every header a
// recorder writes. A pipe keeps up to kKeep bytes besides, so the decoders may seek back
// into the stream's head while they probe it.
constexpr size_t kHead = 64 * 1024;
constexpr size_t kKeep = 1024 * 1024;

// Samples decoded per block (all channels together), and mono samples held between the
// decoder and the resampler.
constexpr long kBlockSamples = 64 * 1024;
constexpr long kMonoBlock = 16 * 1024;
constexpr int kMaxChannels = 1024;  // libsndfile's own ceiling

std::string errnoText(const char* what, int err) { return std::string(what) + std::strerror(err); }

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

// The input as bytes, for the decoders: a regular file (random access), a stream (a pipe,
// FIFO or device; forward only, its first kKeep bytes kept for seeks back), or memory.
// head holds the first bytes, possibly patched (see checkWav), and every read of that
// range is served from it.
struct ByteSource {
  enum Kind { kFile, kStream, kMemory } kind = kStream;
  int fd = -1;
  bool ownsFd = false;
  off_t base = 0;       // file offset of byte 0 (standard input may start later)
  long long size = -1;  // total bytes when known (file, memory)
  const uint8_t* mem = nullptr;
  std::vector<uint8_t> head;     // bytes [0, head.size()) of the input
  long long streamPos = 0;       // stream: bytes taken from fd so far
  bool ended = false;            // stream: fd reported the end
  long long pos = 0;             // the decoder's position
  std::string error;             // first read error, for the reader's message
  long long shift = 0;           // file, memory: byte `at` of the decoder's view is at + shift
  long long dataEnd = -1;        // end of a WAV data chunk as its header declares it
  long long bytesPerSecond = 0;  // of that WAV's samples (rate x block align), 0 if unknown
  long long reachedEnd = -1;     // where the input turned out to end, once known

  ~ByteSource() {
    if (ownsFd && fd >= 0) ::close(fd);
  }

  long long known() const { return kind == kStream ? (ended ? streamPos : -1) : size; }

  // Reads up to n bytes at `at` from the underlying input (not from head). Returns the
  // count, 0 at the end or on an error (error set).
  long long fetch(long long at, uint8_t* out, long long n) {
    if (kind == kMemory) {
      const long long k = std::max(0LL, std::min(n, size - at));
      if (k > 0) std::memcpy(out, mem + at + shift, static_cast<size_t>(k));
      if (k == 0) reachedEnd = size;
      return k;
    }
    if (kind == kFile) {
      for (;;) {
        const long long k = std::max(0LL, std::min(n, size - at));
        if (k == 0) {
          reachedEnd = at;
          return 0;
        }
        const ssize_t r = ::pread(fd, out, static_cast<size_t>(k), base + shift + at);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return fail(errno);
        if (r == 0) reachedEnd = at;
        return r;
      }
    }
    // Stream: skip forward to `at`, then read, keeping what falls within kKeep. A decoder
    // probing a header may jump far ahead (the WAV reader looks for chunks after the
    // data) and come back: beyond kKeep such a jump would throw the audio away, so there
    // it finds nothing instead, as if the input ended, and nothing is consumed.
    if (at > streamPos && at > static_cast<long long>(kKeep)) return 0;
    uint8_t skip[4096];
    while (streamPos < at) {
      const long long r = readFd(skip, std::min<long long>(sizeof skip, at - streamPos));
      if (r <= 0) return 0;
    }
    if (at < streamPos) return 0;  // seeks back that far are refused before we get here
    return readFd(out, n);
  }

  long long readFd(uint8_t* out, long long n) {
    if (ended) return 0;
    for (;;) {
      const ssize_t r = ::read(fd, out, static_cast<size_t>(n));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return fail(errno);
      if (r == 0) {
        ended = true;
        reachedEnd = streamPos;
        return 0;
      }
      if (streamPos < static_cast<long long>(kKeep) &&
          streamPos == static_cast<long long>(head.size()))
        head.insert(head.end(), out, out + r);
      streamPos += r;
      return r;
    }
  }

  long long fail(int err) {
    if (error.empty()) error = errnoText("read error: ", err);
    return 0;
  }

  // Reads the first kHead bytes (or all there are) into head.
  bool loadHead() {
    std::vector<uint8_t> buf(kHead);
    size_t have = 0;
    while (have < kHead) {
      const long long r = fetch(static_cast<long long>(have), buf.data() + have,
                                static_cast<long long>(kHead - have));
      if (r <= 0) break;
      have += static_cast<size_t>(r);
    }
    if (kind != kStream) head.assign(buf.begin(), buf.begin() + static_cast<long>(have));
    return error.empty();
  }

  // The decoders' view: reads n bytes at pos, from head first.
  long long read(uint8_t* out, long long n) {
    long long done = 0;
    while (done < n) {
      long long r;
      if (pos < static_cast<long long>(head.size())) {
        r = std::min(n - done, static_cast<long long>(head.size()) - pos);
        std::memcpy(out + done, head.data() + pos, static_cast<size_t>(r));
      } else {
        r = fetch(pos, out + done, n - done);
        if (r <= 0) break;
      }
      done += r;
      pos += r;
    }
    return done;
  }

  long long seek(long long offset, int whence) {
    long long to;
    if (whence == SEEK_SET)
      to = offset;
    else if (whence == SEEK_CUR)
      to = pos + offset;
    else if (known() >= 0)
      to = known() + offset;
    else
      return -1;  // the end of a stream is not known until it is reached
    if (to < 0) return -1;
    if (kind == kStream && to >= static_cast<long long>(head.size()) && to < streamPos) return -1;
    pos = to;
    return pos;
  }
};

namespace {

sf_count_t vioLength(void* user) {
  const long long n = static_cast<ByteSource*>(user)->known();
  // A stream of unknown length: libsndfile then reads until the data runs out.
  return n >= 0 ? n : std::numeric_limits<sf_count_t>::max();
}
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
  return static_cast<ByteSource*>(user)->seek(offset, whence);
}
sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
  return static_cast<ByteSource*>(user)->read(static_cast<uint8_t*>(ptr), count);
}
sf_count_t vioTell(void* user) { return static_cast<ByteSource*>(user)->pos; }

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

bool placeholderSize(uint32_t size) {
  return size == 0 || size == 0xFFFFFFFFu || size == 0x7FFFF000u;
}

// Checks the chunk structure of a RIFF WAVE header and prepares the data chunk for the
// decoder. A data size of 0, 0xFFFFFFFF or 0x7FFFF000 (written before the length was known;
// the last is what a speech synthesiser writing to a pipe states) becomes 0xFFFFFFFF, which the
// decoder reads as "up to the end of the input"; any other size is the exact length, and an input
// that ends before it is truncated (src.dataEnd). libsndfile reads such files regardless, so
// without this a cut or damaged file would pass as complete. A fmt chunk after the data chunk
// (legal, but libsndfile refuses it) is moved in front by presenting a rebuilt header, where the
// input can be read at any offset. Returns the problem, or "" when the header is sound or lies
// beyond reach.
std::string checkWav(ByteSource& src) {
  const long long total = src.known();
  const long long reach =
      src.kind == ByteSource::kStream ? static_cast<long long>(src.head.size()) : total;
  const bool whole = total >= 0 && total <= reach;
  // Bytes [at, at + n) of the input, if they can be reached.
  auto peek = [&](long long at, uint8_t* out, long long n) {
    if (at + n > reach) return false;
    if (at + n <= static_cast<long long>(src.head.size())) {
      std::memcpy(out, src.head.data() + at, static_cast<size_t>(n));
      return true;
    }
    return src.fetch(at, out, n) == n;
  };
  uint8_t h[40];
  if (!peek(0, h, 12)) return whole ? "truncated WAV header" : "";
  if (std::memcmp(h + 8, "WAVE", 4) != 0) return "RIFF file is not WAVE audio";
  long long fmtAt = -1, dataAt = -1;
  uint32_t fmtSize = 0, dataSize = 0;
  unsigned blockAlign = 0;
  long long pos = 12;
  while ((fmtAt < 0 || dataAt < 0) && pos < reach) {
    if (!peek(pos, h, 8))
      return whole ? "truncated chunk header at byte " + std::to_string(pos) : "";
    const uint32_t size = u32(h + 4);
    const long long body = pos + 8;
    if (std::memcmp(h, "fmt ", 4) == 0 && fmtAt < 0) {
      if (body + size > reach) return whole ? "truncated fmt chunk" : "";
      if (size < 16) return "fmt chunk too short (" + std::to_string(size) + " bytes)";
      peek(body, h, std::min<long long>(size, sizeof h));
      uint16_t code = u16(h);
      const unsigned channels = u16(h + 2), bits = u16(h + 14);
      blockAlign = u16(h + 12);
      src.bytesPerSecond = static_cast<long long>(u32(h + 4)) * blockAlign;
      if (code == kFormatExtensible) {
        if (size < 40 || u16(h + 16) < 22) return "WAVE_FORMAT_EXTENSIBLE fmt chunk too short";
        const unsigned valid = u16(h + 18);
        if (valid > bits)
          return "fmt chunk claims " + std::to_string(valid) + " valid bits in " +
                 std::to_string(bits) + "-bit samples";
        code = u16(h + 24);
      }
      if (channels == 0) return "fmt chunk declares 0 channels";
      if ((code == kFormatPcm || code == kFormatFloat) && blockAlign != channels * ((bits + 7) / 8))
        return "inconsistent fmt chunk: block align " + std::to_string(blockAlign) + " for " +
               std::to_string(channels) + "-channel " + std::to_string(bits) + "-bit samples";
      fmtAt = pos;
      fmtSize = size;
    } else if (std::memcmp(h, "data", 4) == 0 && dataAt < 0) {
      dataAt = pos;
      dataSize = size;
      // A placeholder length: the audio runs to the end, nothing can follow it.
      if (placeholderSize(size)) break;
    }
    pos = body + size + (size & 1);
  }
  if (fmtAt < 0 || dataAt < 0) {
    if (!whole) return "";
    return fmtAt < 0 ? "no fmt chunk in WAV file" : "no data chunk in WAV file";
  }
  const bool placeholder = placeholderSize(dataSize);
  if (!placeholder && blockAlign > 0 && dataSize % blockAlign != 0)
    return "truncated data chunk: " + std::to_string(dataSize) +
           " bytes is not a whole number of " + std::to_string(blockAlign) + "-byte samples";
  if (!placeholder && total >= 0 && dataAt + 8 + dataSize > total)
    return "truncated data chunk: header declares " + std::to_string(dataSize) +
           " bytes, file holds " + std::to_string(total - dataAt - 8);

  // A fmt chunk is tens of bytes; a huge one is not rebuilt but left to libsndfile.
  if (fmtAt > dataAt && fmtSize <= kHead) {
    // Rebuild: RIFF header, the fmt chunk, the data chunk's header; the samples follow
    // from where they are.
    std::vector<uint8_t> rebuilt(12 + 8 + fmtSize + (fmtSize & 1) + 8);
    peek(0, rebuilt.data(), 12);
    if (!peek(fmtAt, rebuilt.data() + 12, 8 + fmtSize)) return "";
    peek(dataAt, rebuilt.data() + rebuilt.size() - 8, 8);
    src.shift = dataAt + 8 - static_cast<long long>(rebuilt.size());
    src.size = static_cast<long long>(rebuilt.size()) + dataSize;
    src.head = std::move(rebuilt);
    dataAt = static_cast<long long>(src.head.size()) - 8;
  }
  if (placeholder) {
    if (dataAt + 8 <= static_cast<long long>(src.head.size()))
      std::memset(src.head.data() + dataAt + 4, 0xFF, 4);
  } else {
    src.dataEnd = dataAt + 8 + dataSize;
  }
  return "";
}

}  // namespace

struct AudioReader::State {
  ByteSource src;
  Options options;
  bool raw = false;
  SNDFILE* sf = nullptr;
  std::unique_ptr<Resampler> resampler;
  int rate = kRate;
  int channels = 1;
  long long frames = -1;        // sourceFrames()
  long long checkFrames = -1;   // exact length to hold the input to, -1 when unknown
  long long framesDecoded = 0;  // source frames decoded so far
  long long delivered = 0;
  long long limit = -1;  // most samples read() may deliver, -1 for none
  std::string problem;
  std::string note;  // note()
  bool failed = false;
  bool inputDone = false;    // the decoder has nothing more; the resampler may still hold some
  bool finished = false;     // read() has returned 0
  std::vector<float> block;  // one decoded block, all channels
  std::vector<float> mono;   // averaged samples waiting for the resampler
  long monoPos = 0, monoLen = 0;
  std::vector<uint8_t> rawBytes;
  size_t rawCarry = 0;  // bytes of a sample split across two reads

  ~State() {
    if (sf != nullptr) sf_close(sf);
  }

  long fail(std::string why) {
    if (!failed) problem = std::move(why);
    failed = true;
    return -1;
  }

  // The message for an input that ended: a read error, a cut file, or "" for a clean end.
  // A producer writing a WAV into a pipe states its length before it knows it (sox
  // decoding an MP3 states the estimate from the bit rate), so from a stream a data chunk
  // short by less than a second of sound is the input's end and only noted; a file on disk
  // was written whole and is held to its header.
  std::string endProblem() {
    if (!src.error.empty()) return src.error;
    if (src.dataEnd >= 0 && src.reachedEnd >= 0 && src.reachedEnd < src.dataEnd) {
      const long long missing = src.dataEnd - src.reachedEnd;
      if (src.kind != ByteSource::kStream || missing >= src.bytesPerSecond)
        return "truncated data chunk: the input ends " + std::to_string(missing) +
               " bytes before its declared end";
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f",
                    static_cast<double>(missing) / src.bytesPerSecond);
      note = "the WAV data ends " + std::to_string(missing) + " bytes (" + seconds +
             " s) before its declared length; read as the end of a streamed input";
      return "";
    }
    if (sf != nullptr && sf_error(sf) != SF_ERR_NO_ERROR)
      return std::string("decoding error: ") + sf_strerror(sf);
    if (checkFrames >= 0 && framesDecoded < checkFrames && note.empty())
      return "truncated: the header announces " + std::to_string(checkFrames) +
             " frames, the input ends after " + std::to_string(framesDecoded);
    return "";
  }

  // Decodes the next block into `out` as mono samples (at the source rate). Returns the
  // count, 0 at the end, -1 on an error.
  long decodeMono(float* out, long maxSamples) {
    if (raw) return decodeRaw(out, maxSamples);
    const long maxFrames = std::min(maxSamples, kBlockSamples / channels);
    float* dest = channels == 1 ? out : block.data();
    const sf_count_t n = sf_readf_float(sf, dest, maxFrames);
    if (n <= 0) {
      std::string why = endProblem();
      return why.empty() ? 0 : fail(std::move(why));
    }
    framesDecoded += n;
    if (channels > 1) {
      for (sf_count_t i = 0; i < n; ++i) {
        const float* frame = dest + i * channels;
        double sum = 0.0;
        for (int c = 0; c < channels; ++c) sum += frame[c];
        out[i] = static_cast<float>(sum / channels);
      }
    }
    return static_cast<long>(n);
  }

  long decodeRaw(float* out, long maxSamples) {
    const long want = std::min<long>(maxSamples, kMonoBlock);
    const long long r =
        src.read(rawBytes.data() + rawCarry, want * 4 - static_cast<long>(rawCarry));
    const size_t have = rawCarry + static_cast<size_t>(std::max(0LL, r));
    if (have < 4) {
      if (!src.error.empty()) return fail(src.error);
      if (have != 0)
        return fail("truncated raw float32 data: " + std::to_string(src.pos) +
                    " bytes is not a whole number of 4-byte samples");
      return 0;
    }
    const long n = static_cast<long>(have / 4);
    std::memcpy(out, rawBytes.data(), static_cast<size_t>(n) * 4);
    rawCarry = have - static_cast<size_t>(n) * 4;
    std::memmove(rawBytes.data(), rawBytes.data() + n * 4, rawCarry);
    return n;
  }

  long produce(float* out, long maxSamples) {
    if (resampler == nullptr) return decodeMono(out, maxSamples);
    for (;;) {
      if (monoPos == monoLen && !inputDone) {
        const long n = decodeMono(mono.data(), kMonoBlock);
        if (n < 0) return -1;
        if (n == 0) inputDone = true;
        monoPos = 0;
        monoLen = n;
      }
      size_t used = 0, made = 0;
      const bool ok = inputDone ? resampler->drain(out, static_cast<size_t>(maxSamples), &made)
                                : resampler->process(mono.data() + monoPos,
                                                     static_cast<size_t>(monoLen - monoPos), &used,
                                                     out, static_cast<size_t>(maxSamples), &made);
      if (!ok) return fail(resampler->problem());
      monoPos += static_cast<long>(used);
      if (made > 0) return static_cast<long>(made);
      if (inputDone) return 0;
    }
  }
};

AudioReader::AudioReader(std::unique_ptr<State> state) : s(std::move(state)) {}
AudioReader::~AudioReader() = default;

namespace {

std::unique_ptr<AudioReader::State> setUp(std::unique_ptr<AudioReader::State> s, bool empty,
                                          std::string* problem) {
  auto refuse = [&](std::string why) {
    if (problem != nullptr) *problem = std::move(why);
    return nullptr;
  };
  ByteSource& src = s->src;
  if (!src.loadHead()) return refuse(src.error);
  if (src.kind == ByteSource::kStream && src.head.empty() && src.ended)
    return refuse(empty ? "empty file" : "empty input");
  if (src.kind != ByteSource::kStream && src.size == 0) return refuse("empty file");
  if (s->options.maxSeconds > 0)
    s->limit = static_cast<long long>(std::floor(s->options.maxSeconds * AudioReader::kRate));

  if (s->raw) {
    if (src.size >= 0 && src.size % 4 != 0)
      return refuse("truncated raw float32 data: " + std::to_string(src.size) +
                    " bytes is not a whole number of 4-byte samples");
    s->frames = src.size >= 0 ? src.size / 4 : -1;
    s->rawBytes.resize(static_cast<size_t>(kMonoBlock) * 4);
    return s;
  }

  if (src.head.size() >= 4 && std::memcmp(src.head.data(), "RIFF", 4) == 0) {
    std::string why = checkWav(src);
    if (!why.empty()) return refuse(std::move(why));
  }
  SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, nullptr, vioTell};
  SF_INFO info{};
  s->sf = sf_open_virtual(&io, SFM_READ, &info, &src);
  if (s->sf == nullptr) {
    if (!src.error.empty()) return refuse(src.error);
    return refuse(std::string("not a readable audio file (") + sf_strerror(nullptr) + ")");
  }
  if (info.channels < 1 || info.samplerate < 1)
    return refuse("no audio: " + std::to_string(info.channels) + " channels at " +
                  std::to_string(info.samplerate) + " Hz");
  if (info.channels > kMaxChannels)
    return refuse(std::to_string(info.channels) + " channels, more than " +
                  std::to_string(kMaxChannels));
  s->rate = info.samplerate;
  s->channels = info.channels;
  const bool patched =
      src.head.size() >= 4 && std::memcmp(src.head.data(), "RIFF", 4) == 0 && src.dataEnd < 0;
  // A placeholder WAV length is only known for a file, from the file's size.
  const bool unknown = info.frames < 0 || info.frames == std::numeric_limits<sf_count_t>::max() ||
                       (patched && src.kind == ByteSource::kStream);
  s->frames = unknown ? -1 : info.frames;
  // MP3 frame counts are estimates from the bit rate; every other stated count is exact.
  if ((info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG && !patched) s->checkFrames = s->frames;
  s->block.resize(static_cast<size_t>(kBlockSamples));
  if (s->rate != AudioReader::kRate) {
    std::string why;
    s->resampler = Resampler::create(s->rate, &why);
    if (s->resampler == nullptr) return refuse(why);
    s->mono.resize(static_cast<size_t>(kMonoBlock));
  }
  return s;
}

bool wantsRaw(const AudioReader::Options& options, const std::string& name) {
  return options.raw || endsWithNoCase(name, ".raw") || endsWithNoCase(name, ".f32");
}

}  // namespace

std::unique_ptr<AudioReader> AudioReader::open(const std::string& path, const Options& options,
                                               std::string* problem) {
  auto s = std::make_unique<State>();
  s->options = options;
  s->raw = wantsRaw(options, path);
  ByteSource& src = s->src;
  const bool isStdin = path == "-";
  auto refuse = [&](std::string why) {
    if (problem != nullptr) *problem = std::move(why);
    return nullptr;
  };
  if (isStdin) {
    src.fd = STDIN_FILENO;
  } else {
    // Non-blocking only for the open itself: opening a FIFO blocks until a writer comes.
    src.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (src.fd < 0) return refuse(errnoText("cannot open: ", errno));
    src.ownsFd = true;
  }
  struct stat st {};
  if (::fstat(src.fd, &st) != 0) return refuse(errnoText("cannot open: ", errno));
  if (S_ISDIR(st.st_mode)) return refuse(errnoText("read error: ", EISDIR));
  if (::isatty(src.fd)) return refuse("is a terminal, not audio");
  if (S_ISFIFO(st.st_mode) && !isStdin) {
    pollfd p{src.fd, POLLIN, 0};
    int r;
    while ((r = ::poll(&p, 1, std::max(0, options.fifoWaitMs))) < 0 && errno == EINTR) {
    }
    if (r == 0) {
      char waited[32];
      std::snprintf(waited, sizeof waited, "%g", options.fifoWaitMs / 1000.0);
      return refuse(std::string("nothing arrived within ") + waited +
                    " s (a FIFO without a writer?)");
    }
  }
  if (!isStdin) {
    const int flags = ::fcntl(src.fd, F_GETFL);
    if (flags < 0 || ::fcntl(src.fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
      return refuse(errnoText("cannot open: ", errno));
  }
  // A regular file of size 0 may still have content (the files of /proc and /sys): read
  // it as a stream, to its real end.
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    src.kind = ByteSource::kFile;
    src.base = isStdin ? std::max<off_t>(0, ::lseek(src.fd, 0, SEEK_CUR)) : 0;
    src.size = std::max<long long>(0, st.st_size - src.base);
  } else {
    src.kind = ByteSource::kStream;
  }
  auto ready = setUp(std::move(s), !isStdin, problem);
  if (ready == nullptr) return nullptr;
  return std::unique_ptr<AudioReader>(new AudioReader(std::move(ready)));
}

std::unique_ptr<AudioReader> AudioReader::openMemory(const void* data, size_t size,
                                                     const std::string& name,
                                                     const Options& options, std::string* problem) {
  auto s = std::make_unique<State>();
  s->options = options;
  s->raw = wantsRaw(options, name);
  s->src.kind = ByteSource::kMemory;
  s->src.mem = static_cast<const uint8_t*>(data);
  s->src.size = static_cast<long long>(size);
  auto ready = setUp(std::move(s), true, problem);
  if (ready == nullptr) return nullptr;
  return std::unique_ptr<AudioReader>(new AudioReader(std::move(ready)));
}

long AudioReader::read(float* out, long maxSamples) {
  State& st = *s;
  if (st.failed) return -1;
  if (st.finished || maxSamples <= 0) return 0;
  const long n = st.produce(out, maxSamples);
  if (n < 0) return -1;
  if (n == 0) {
    st.finished = true;
    return 0;
  }
  if (st.limit >= 0 && st.delivered + n > st.limit) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", st.options.maxSeconds);
    return st.fail(std::string("longer than the limit of ") + seconds + " s of audio");
  }
  st.delivered += n;
  return n;
}

const std::string& AudioReader::problem() const { return s->problem; }
const std::string& AudioReader::note() const { return s->note; }
int AudioReader::sourceRate() const { return s->rate; }
int AudioReader::sourceChannels() const { return s->channels; }
long long AudioReader::sourceFrames() const { return s->frames; }
long long AudioReader::samplesDelivered() const { return s->delivered; }
