// zarvo-feeder: runs a program with a known recording as its microphone.
//
//   zarvo-feeder [--alsa-config FILE] [--fd N] [--rate HZ] [--chunk FRAMES] [--channels C]
//                [--log FILE] RAWFILE -- PROGRAM [ARGS...]
//
// PROGRAM gets descriptor N (default 3) connected to an AF_UNIX stream socket; with an ALSA
// configuration whose default PCM is a `file` plugin reading `infile N` over a `null` slave
// (tests/speech/alsa-fed.conf), PortAudio's default input device then delivers RAWFILE
// (raw float32 little-endian frames of C channels, default 1) bit for bit. RAWFILE "-"
// means silence only.
//
// Pacing: one chunk (default 512 frames) per chunk period (10.67 ms at 48000 Hz) on an
// absolute clock, so the device runs in real time and the reading side never sees a short
// read: the program's end has SO_RCVLOWAT = INT_MAX, so each read waits for its whole
// request (a pipe would return short reads, which ALSA takes as stale data). While the
// program is not capturing, at most two chunks wait in the socket and the file does not
// advance, so the recording starts when capture starts. After the file ends, silence
// follows (an ending infile makes ALSA replay its last buffer at full speed).
//
// --close-after SECONDS: after that much audio the device goes away (the socket is closed,
// as a capture device that is unplugged); the program keeps running and is waited for.
// --stall-after SECONDS: after that much audio the device stops delivering (and the speaker
// stops playing) but stays open: a read or write of it then waits for ever.
//
// --sink FILE: the program's speaker too. It gets descriptor 4 (--sink-fd N) as the
// writing end of a second socket, for an ALSA `file` plugin that writes its playback there
// (tests/live/alsa-play.conf); what arrives is read at the same real-time pace, one chunk per
// period, and stored in FILE, so the device plays in real time and FILE holds exactly what
// was played. The socket's buffer is kept small, so writing blocks about as a sound card's
// does. --sink-log FILE: one line per chunk stored, "<first sample> <ns>", the steady clock
// just after it was read (the moment it "played").
//
// --log FILE: one line per chunk of RAWFILE sent, "<chunk index> <ns>", the steady clock
// (CLOCK_MONOTONIC) just after the chunk went into the socket; for latency measurements.
//
// Ctrl-C (SIGINT, SIGTERM, SIGHUP) passes SIGTERM on to the program; the device keeps
// delivering until the program has ended (SIGKILL after 5 s).
// Exits with the program's status (128 + signal number if it was killed).
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

// The usage line, on standard error with status 2 after a mistake; --help: standard
// output, status 0.
[[noreturn]] void usage(FILE* to = stderr, int status = 2) {
  std::fprintf(to,
               "usage: zarvo-feeder [--alsa-config FILE] [--fd N] [--rate HZ] "
               "[--chunk FRAMES] [--channels C] [--log FILE] [--close-after SECONDS] "
               "[--stall-after SECONDS] [--sink FILE "
               "[--sink-log FILE] [--sink-fd N]] RAWFILE -- "
               "PROGRAM [ARGS...]\n");
  std::exit(status);
}

bool readFile(const char* path, std::vector<char>& out) {
  if (std::strcmp(path, "-") == 0) return true;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool sendAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

void addNanos(timespec& t, int64_t ns) {
  int64_t total = t.tv_nsec + ns;
  t.tv_sec += total / 1000000000;
  t.tv_nsec = total % 1000000000;
}

int exitStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* alsaConfig = nullptr;
  const char* logPath = nullptr;
  int targetFd = 3;
  long rate = 48000;
  long chunkFrames = 512;
  long channels = 1;
  double closeAfter = -1, stallAfter = -1;
  const char* sinkPath = nullptr;
  const char* sinkLogPath = nullptr;
  int sinkFd = 4;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) usage(stdout, 0);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("zarvo-feeder " ZARVO_VERSION);
    return 0;
  }
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0 && argv[i][2] != '\0'; i += 2) {
    if (i + 1 >= argc) usage();
    const std::string opt = argv[i];
    const char* val = argv[i + 1];
    if (opt == "--alsa-config")
      alsaConfig = val;
    else if (opt == "--fd")
      targetFd = std::atoi(val);
    else if (opt == "--rate")
      rate = std::atol(val);
    else if (opt == "--chunk")
      chunkFrames = std::atol(val);
    else if (opt == "--channels")
      channels = std::atol(val);
    else if (opt == "--log")
      logPath = val;
    else if (opt == "--close-after")
      closeAfter = std::atof(val);
    else if (opt == "--stall-after")
      stallAfter = std::atof(val);
    else if (opt == "--sink")
      sinkPath = val;
    else if (opt == "--sink-log")
      sinkLogPath = val;
    else if (opt == "--sink-fd")
      sinkFd = std::atoi(val);
    else
      usage();
  }
  if (i + 2 >= argc || std::strcmp(argv[i + 1], "--") != 0) usage();
  if (targetFd < 3 || rate <= 0 || chunkFrames <= 0 || channels <= 0) usage();
  if (sinkPath != nullptr && (sinkFd < 3 || sinkFd == targetFd)) usage();
  const char* rawPath = argv[i];
  char** program = argv + i + 2;

  std::vector<char> audio;
  if (!readFile(rawPath, audio)) {
    std::fprintf(stderr, "zarvo-feeder: cannot read %s: %s\n", rawPath, std::strerror(errno));
    return 2;
  }
  std::string configPath;
  if (alsaConfig != nullptr) {
    // ALSA needs an absolute path; a missing or empty configuration aborts it.
    char* abs = realpath(alsaConfig, nullptr);
    if (abs == nullptr) {
      std::fprintf(stderr, "zarvo-feeder: no ALSA configuration %s\n", alsaConfig);
      return 2;
    }
    configPath = abs;
    std::free(abs);
  }

  FILE* chunkLog = nullptr;
  if (logPath != nullptr && (chunkLog = std::fopen(logPath, "w")) == nullptr) {
    std::fprintf(stderr, "zarvo-feeder: cannot write %s: %s\n", logPath, std::strerror(errno));
    return 2;
  }

  int sv[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    std::perror("zarvo-feeder: socketpair");
    return 2;
  }
  const int lowat = INT_MAX;
  if (setsockopt(sv[1], SOL_SOCKET, SO_RCVLOWAT, &lowat, sizeof lowat) != 0) {
    std::perror("zarvo-feeder: SO_RCVLOWAT");
    return 2;
  }

  // The speaker: the program writes into ss[1], we read ss[0] at the device's pace.
  int ss[2] = {-1, -1};
  FILE* sink = nullptr;
  FILE* sinkLog = nullptr;
  if (sinkPath != nullptr) {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ss) != 0) {
      std::perror("zarvo-feeder: socketpair");
      return 2;
    }
    const int small = 1;  // the least the kernel allows (a few kilobytes)
    setsockopt(ss[1], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    setsockopt(ss[0], SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    fcntl(ss[0], F_SETFL, fcntl(ss[0], F_GETFL) | O_NONBLOCK);
    sink = std::fopen(sinkPath, "wb");
    if (sink == nullptr ||
        (sinkLogPath != nullptr && (sinkLog = std::fopen(sinkLogPath, "w")) == nullptr)) {
      std::fprintf(stderr, "zarvo-feeder: cannot write %s\n", sink ? sinkLogPath : sinkPath);
      return 2;
    }
  }

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  const pid_t parent = getpid();

  const pid_t child = fork();
  if (child < 0) {
    std::perror("zarvo-feeder: fork");
    return 2;
  }
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (sv[1] == targetFd) {
      fcntl(targetFd, F_SETFD, 0);
    } else if (dup2(sv[1], targetFd) < 0) {
      _exit(127);
    }
    if (ss[1] >= 0 && dup2(ss[1], sinkFd) < 0) _exit(127);
    if (!configPath.empty()) setenv("ALSA_CONFIG_PATH", configPath.c_str(), 1);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    execvp(program[0], program);
    std::fprintf(stderr, "zarvo-feeder: cannot run %s: %s\n", program[0], std::strerror(errno));
    _exit(127);
  }

  if (ss[1] >= 0) close(ss[1]);
  int64_t sinkSamples = 0;
  std::vector<char> sinkBuf;
  // The reading end stays open here only so that the queue length can be asked for.
  const int out = sv[0];
  const int queueEnd = sv[1];
  const size_t chunkBytes = static_cast<size_t>(chunkFrames * channels) * sizeof(float);
  const std::vector<char> silence(chunkBytes, 0);
  size_t filePos = 0;
  const int64_t periodNumerator = chunkFrames * int64_t{1000000000};  // ns * rate per chunk

  timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  int status = 0;
  const int64_t closeTick =
      closeAfter >= 0 ? static_cast<int64_t>(closeAfter * rate / chunkFrames) : -1;
  const int64_t stallTick =
      stallAfter >= 0 ? static_cast<int64_t>(stallAfter * rate / chunkFrames) : -1;
  int64_t stopTick = -1;
  for (int64_t tick = 1;; ++tick) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (tick == closeTick) {
      close(out);
      close(queueEnd);
      waitpid(child, &status, 0);
      if (chunkLog != nullptr) std::fclose(chunkLog);
      return exitStatus(status);
    }
    // Asked to end: the program is, and the device keeps delivering until it has (closing a
    // capture stream waits for the read in progress); one that lingers 5 s is killed.
    if (g_stop && stopTick < 0) {
      kill(child, SIGTERM);
      stopTick = tick;
    } else if (stopTick >= 0 && tick == stopTick + 5 * rate / chunkFrames) {
      kill(child, SIGKILL);
    }
    int queued = 0;
    if ((stallTick < 0 || tick < stallTick) && ioctl(queueEnd, FIONREAD, &queued) == 0 &&
        static_cast<size_t>(queued) < 2 * chunkBytes) {
      const char* data = silence.data();
      std::vector<char> tail;
      const bool fromFile = filePos < audio.size();
      const long chunkIndex = static_cast<long>(filePos / chunkBytes);
      if (fromFile) {
        if (audio.size() - filePos >= chunkBytes) {
          data = audio.data() + filePos;
        } else {
          tail.assign(audio.begin() + static_cast<long>(filePos), audio.end());
          tail.resize(chunkBytes, 0);
          data = tail.data();
        }
        filePos += chunkBytes;
      }
      if (!sendAll(out, data, chunkBytes)) {
        waitpid(child, &status, 0);
        break;
      }
      if (chunkLog != nullptr && fromFile) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        std::fprintf(chunkLog, "%ld %lld\n", chunkIndex,
                     static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec);
        std::fflush(chunkLog);
      }
    }
    if (sink != nullptr && (stallTick < 0 || tick < stallTick)) {
      // One chunk a period (less when less came); what is not whole yet waits.
      sinkBuf.resize(chunkBytes);
      const ssize_t got = recv(ss[0], sinkBuf.data(), chunkBytes, 0);
      if (got > 0) {
        std::fwrite(sinkBuf.data(), 1, static_cast<size_t>(got), sink);
        std::fflush(sink);  // the program may read what it has played so far
        if (sinkLog != nullptr) {
          timespec now;
          clock_gettime(CLOCK_MONOTONIC, &now);
          std::fprintf(sinkLog, "%lld %lld\n", static_cast<long long>(sinkSamples),
                       static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec);
          std::fflush(sinkLog);
        }
        sinkSamples += got / static_cast<ssize_t>(sizeof(float) * channels);
      }
    }
    timespec next = start;
    addNanos(next, tick * periodNumerator / rate);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
      if (g_stop) break;
    }
  }
  close(out);
  close(queueEnd);
  if (chunkLog != nullptr) std::fclose(chunkLog);
  if (sink != nullptr) std::fclose(sink);
  if (sinkLog != nullptr) std::fclose(sinkLog);
  return exitStatus(status);
}
