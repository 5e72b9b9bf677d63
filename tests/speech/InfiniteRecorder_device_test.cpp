// The recorder on a real ALSA device through PortAudio. Run by CTest in two set-ups:
//   FedDevice.*  under zarvo-feeder with alsa-fed.conf; ZARVO_FEED_FILE names the raw
//                float32 file the feeder plays, which every window must reproduce exactly.
//   NoDevice.*   with alsa-nodevice.conf: no input device at all.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "speech/InfiniteRecorder.h"

namespace {

// Collects everything written to file descriptor 2 (C stdio and libraries alike).
class StderrCapture {
 public:
  StderrCapture() : file(std::tmpfile()), saved(dup(2)) {
    std::fflush(stderr);
    dup2(fileno(file), 2);
  }
  ~StderrCapture() {
    if (saved >= 0) release();
    std::fclose(file);
  }
  std::string release() {
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    saved = -1;
    std::string text;
    std::rewind(file);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
    return text;
  }

 private:
  FILE* file;
  int saved;
};

std::vector<float> readRaw(const char* path) {
  std::vector<float> samples;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return samples;
  float buf[4096];
  size_t n;
  while ((n = std::fread(buf, sizeof(float), 4096, f)) > 0)
    samples.insert(samples.end(), buf, buf + n);
  std::fclose(f);
  return samples;
}

TEST(FedDevice, WindowsReproduceTheFedFileExactlyThenSilence) {
  const char* path = std::getenv("ZARVO_FEED_FILE");
  if (path == nullptr) GTEST_SKIP() << "run under zarvo-feeder (ctest does)";
  const std::vector<float> file = readRaw(path);
  ASSERT_FALSE(file.empty());
  // Past the end of a short file into the feeder's silence; about 2 s of a long one.
  const int wanted = std::min(static_cast<int>(file.size() / 512) + 40, 200);

  StderrCapture err;
  {
    InfiniteRecorder rec(48000, 5, 1, 512, 1024, 512);
    ASSERT_EQ(rec.lastError, paNoError);
    ASSERT_NE(rec.stream, nullptr);
    ASSERT_EQ(rec.start(), paNoError);

    std::vector<double> out(1024);
    int windows = 0;
    int mismatched = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (windows < wanted && std::chrono::steady_clock::now() < giveUp) {
      if (!rec.isNew()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      rec.handleNew(out.data());
      const size_t first = static_cast<size_t>(rec.readPos) - 1024;
      for (size_t i = 0; i < 1024; ++i) {
        const double expected = first + i < file.size() ? file[first + i] : 0.0;
        if (out[i] != expected) {
          ++mismatched;
          break;
        }
      }
      ++windows;
    }
    EXPECT_EQ(windows, wanted);
    EXPECT_EQ(mismatched, 0);
    EXPECT_EQ(rec.skippedWindows(), 0);

    rec.stop();
    EXPECT_EQ(rec.stream, nullptr);
    const int32_t frames = rec.data.framesRecorded.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(rec.data.framesRecorded.load(), frames) << "callbacks after stop";
    rec.stop();  // a second stop does nothing
  }
  EXPECT_EQ(err.release(), "");
}

TEST(FedDevice, StartAfterStopOpensAFreshStreamAndStartWhileRunningIsHarmless) {
  if (std::getenv("ZARVO_FEED_FILE") == nullptr) GTEST_SKIP() << "run under zarvo-feeder";
  InfiniteRecorder rec(48000, 5, 1, 512, 1024, 512);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(rec.start(), paNoError) << round;
    EXPECT_EQ(rec.start(), paNoError) << "already running";
    EXPECT_TRUE(rec.running());
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!rec.isNew() && std::chrono::steady_clock::now() < giveUp)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(rec.isNew()) << "round " << round << " delivers windows";
    rec.stop();
    EXPECT_FALSE(rec.running());
    EXPECT_EQ(rec.stream, nullptr);
  }
  // The fresh stream starts from frame 0 again.
  ASSERT_EQ(rec.start(), paNoError);
  EXPECT_LT(rec.data.framesRecorded.load(), 48000);
  EXPECT_EQ(rec.readPos, 512);
}

TEST(FedDevice, ChosenFormatAndDevice) {
  if (std::getenv("ZARVO_FEED_FILE") == nullptr) GTEST_SKIP() << "run under zarvo-feeder";
  // Asked for 48000 Hz mono on device 0 (the fed default), that is what opens.
  InfiniteRecorder rec(InfiniteRecorder::Choice{0, true}, 48000, 5, 1, 512, 1024, 512);
  EXPECT_EQ(rec.lastError, paNoError);
  EXPECT_EQ(rec.device(), 0);
  EXPECT_EQ(rec.sampleRate, 48000);
  EXPECT_EQ(rec.numChannels, 1);
  // A device index that does not exist is refused, and start() says so.
  InfiniteRecorder none(InfiniteRecorder::Choice{57, true}, 48000, 5, 1, 512, 1024, 512);
  EXPECT_EQ(none.stream, nullptr);
  EXPECT_NE(none.start(), paNoError);
}

TEST(FedDevice, StreamThatCannotOpenIsReportedOnceAndHarmless) {
  if (std::getenv("ZARVO_FEED_FILE") == nullptr) GTEST_SKIP() << "run under zarvo-feeder";
  StderrCapture err;
  {
    // The device offers at most 128 channels.
    InfiniteRecorder rec(48000, 5, 200, 512, 1024, 512);
    EXPECT_EQ(rec.stream, nullptr);
    EXPECT_EQ(rec.lastError, paInvalidChannelCount);
    EXPECT_EQ(rec.start(), paInvalidChannelCount);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(rec.isNew());
    rec.stop();
  }
  // Our one line, after PortAudio's own trace of the failed check (which PortAudio prints
  // itself and offers no way to redirect); none of the ALSA or JACK probing noise.
  std::istringstream lines(err.release());
  std::string line, last;
  while (std::getline(lines, line)) {
    if (!last.empty()) {
      EXPECT_EQ(last.rfind("Expression '", 0), 0u) << last;
    }
    last = line;
  }
  EXPECT_EQ(last, std::string("zarvo: audio input: Pa_OpenStream: ") +
                      Pa_GetErrorText(paInvalidChannelCount));
}

TEST(NoDevice, NothingArrivesAndNothingIsPrinted) {
  StderrCapture err;
  {
    InfiniteRecorder rec(48000, 5, 1, 512, 1024, 512);
    EXPECT_EQ(rec.stream, nullptr);
    EXPECT_EQ(rec.lastError, paDeviceUnavailable);
    EXPECT_NE(rec.start(), paNoError);
    EXPECT_NE(rec.start(), paNoError) << "never paNoError without a stream";
    std::vector<double> out(1024, 9.0);
    for (int poll = 0; poll < 200; ++poll) {
      ASSERT_FALSE(rec.isNew());
      rec.handleNew(out.data());
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (double v : out) ASSERT_EQ(v, 9.0);
    EXPECT_EQ(rec.data.framesRecorded.load(), 0);
    rec.stop();
    rec.stop();
    EXPECT_EQ(rec.start(), paDeviceUnavailable) << "after stop: still why there is none";
  }
  // A second recorder after the first one shut PortAudio down behaves the same.
  InfiniteRecorder again(48000, 5, 1, 512, 1024, 512);
  EXPECT_EQ(again.stream, nullptr);
  const std::string printed = err.release();
  if (std::getenv("ZARVO_AUDIO_DEBUG") != nullptr) {
    // The audio libraries do complain here; it is our handler that keeps them quiet.
    EXPECT_NE(printed, "");
  } else {
    EXPECT_EQ(printed, "");
  }
}

}  // namespace
