// Reading recorded speech for the offline tools and the playback: any audio file that
// libsndfile can decode (WAV incl. EXTENSIBLE and float, FLAC, Ogg Vorbis, Opus, AIFF,
// MP3, ...), or raw little-endian float32 samples at 48000 Hz when asked for, delivered
// as mono float samples at 48000 Hz, the rate of the live analysis.
//
//   what                  | how
//   ----------------------|-------------------------------------------------------------
//   container, codec      | libsndfile decides from the content; nothing is guessed, and
//                         | an unrecognised file is refused (raw only when asked for)
//   sample rate           | anything else than 48000 Hz is resampled with libsoxr (high
//                         | quality, streaming); 48000 Hz takes no resampling path at all
//   channels              | averaged to mono, as the live recorder averages them
//   length                | streamed in blocks: memory stays bounded whatever the length;
//                         | input beyond Options::maxSeconds is an error, not a silent cut
//   sources               | a path, "-" (standard input, a pipe or a file), a FIFO, or a
//                         | buffer in memory (tests, fuzzing)
//   WAV data size 0,      | the placeholder a recorder writes before it knows the length
//   0xFFFFFFFF or         | (espeak-ng --stdout: 0x7FFFF000): read to the end of the input
//   0x7FFFF000            |
//   truncated input       | a WAV data chunk or a FLAC/WAV/AIFF stream that ends before
//                         | its header says is an error; MP3 and Ogg carry no reliable
//                         | length, so a cut file of those reads to where it ends.
//                         | From a stream (pipe, FIFO), a WAV data chunk short by less
//                         | than a second is the end of the input, with a note()
//
// Not thread-safe: one reader is used by one thread at a time. Errors are plain strings
// naming what was wrong (the caller adds the file name); nothing here prints.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

class AudioReader {
 public:
  static constexpr int kRate = 48000;  // the rate of every sample read() delivers

  // The default ceiling on the length of one input, in seconds of audio: a whole day.
  // It only stops endless inputs (/dev/zero, an endless pipe) that would otherwise write
  // output forever; every real recording is far shorter.
  static constexpr double kDefaultMaxSeconds = 24.0 * 3600.0;

  // How long open() waits on a FIFO for its writer to deliver the first bytes.
  static constexpr int kDefaultFifoWaitMs = 5000;

  struct Options {
    // Raw little-endian float32 samples, mono, 48000 Hz. Also chosen by the path's
    // extension ".raw" or ".f32" (any case).
    bool raw = false;
    // read() fails once more than this many seconds of audio (at 48000 Hz) would be
    // delivered. 0 or less: no limit.
    double maxSeconds = kDefaultMaxSeconds;
    // A FIFO (named pipe) whose writer has delivered nothing after this many
    // milliseconds is refused instead of waited on for ever. Standard input is not
    // affected (the shell has connected it already).
    int fifoWaitMs = kDefaultFifoWaitMs;
  };

  // Opens `path` for reading; "-" is standard input (which stays open when the reader is
  // destroyed). Reads and checks the header before returning, so a file that cannot be
  // read, is empty, is not audio, or whose WAV header is broken is refused here.
  // On failure returns null and, if `problem` is not null, sets it to one line naming
  // what was wrong (without the path). Allocates the reader's buffers once.
  static std::unique_ptr<AudioReader> open(const std::string& path, const Options& options,
                                           std::string* problem);

  // The same on `size` bytes at `data`, which the caller keeps alive and unchanged for the
  // reader's lifetime. `name` only chooses raw reading by its extension, as a path would.
  static std::unique_ptr<AudioReader> openMemory(const void* data, size_t size,
                                                 const std::string& name, const Options& options,
                                                 std::string* problem);

  ~AudioReader();
  AudioReader(const AudioReader&) = delete;
  AudioReader& operator=(const AudioReader&) = delete;

  // Writes the next mono samples at 48000 Hz into out[0..maxSamples-1] and returns how
  // many (at least 1 while input remains; fewer than maxSamples is not the end). Returns
  // 0 at the end of the input and -1 on an error (decoding, reading, truncation, the
  // length limit); problem() then says why, and every later call returns -1 again.
  // Blocks while a pipe has no data. Allocates nothing.
  long read(float* out, long maxSamples);

  const std::string& problem() const;  // empty unless read() or open() failed
  // One line on something accepted that was not quite as the header declared (a streamed
  // WAV that ended early, see the table above), for the caller to pass on; empty when
  // there is none. Set by the read() that returns 0.
  const std::string& note() const;
  int sourceRate() const;      // the input's own sample rate, Hz
  int sourceChannels() const;  // the input's own channel count
  // The input's length in its own frames (per channel), as its header gives it: -1 when
  // unknown (a pipe without a length, an Ogg or WAV without one); an estimate for MP3.
  long long sourceFrames() const;
  long long samplesDelivered() const;  // samples at 48000 Hz returned by read() so far

  struct State;  // everything the reader holds, private to AudioReader.cpp

 private:
  explicit AudioReader(std::unique_ptr<State> state);
  std::unique_ptr<State> s;
};
