#include "fapfile/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

OutputFile::OutputFile(std::string target, std::string temp, int fd)
    : target_(std::move(target)), temp_(std::move(temp)), fd_(fd) {}

std::unique_ptr<OutputFile> OutputFile::create(const std::string& path, std::string* problem) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    if (problem != nullptr) *problem = "not a file name";
    return nullptr;
  }
  // A device or a FIFO (-o /dev/null, -o /dev/stdout, a named pipe) is written as it is:
  // renaming a file over it would replace the device node.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
      if (problem != nullptr) *problem = std::string("cannot open: ") + std::strerror(errno);
      return nullptr;
    }
    return std::unique_ptr<OutputFile>(new OutputFile(path, "", fd));
  }
  std::string temp = dir + "." + name + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    if (problem != nullptr) *problem = std::string("cannot create: ") + std::strerror(errno);
    return nullptr;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<OutputFile>(new OutputFile(path, std::move(temp), fd));
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (done_) return;
  done_ = true;
  ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
}

bool OutputFile::commit(std::string* problem) {
  if (done_) return false;
  if (temp_.empty()) {  // written in place
    done_ = true;
    const bool closed = ::close(fd_) == 0;
    if (!closed && problem != nullptr)
      *problem = std::string("cannot write: ") + std::strerror(errno);
    return closed;
  }
  // mkstemp makes the file private (0600); the result gets what any new file would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const char* step = nullptr;
  int err = 0;
  if (::fchmod(fd_, 0666 & ~mask) != 0) {
    err = errno;
    step = "cannot set the mode: ";
  }
  if (::close(fd_) != 0 && step == nullptr) {
    err = errno;
    step = "cannot write: ";
  }
  fd_ = -1;
  if (step == nullptr && ::rename(temp_.c_str(), target_.c_str()) != 0) {
    err = errno;
    step = "cannot rename: ";
  }
  done_ = true;
  if (step != nullptr) {
    ::unlink(temp_.c_str());
    if (problem != nullptr) *problem = std::string(step) + std::strerror(err);
    return false;
  }
  return true;
}

TextWriter::TextWriter(int fd, size_t capacity) : fd_(fd), buf_(capacity > 64 ? capacity : 64) {}

bool TextWriter::writeAll(const char* p, size_t n) {
  while (n > 0 && !failed()) {
    const ssize_t r = ::write(fd_, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      problem_ = std::strerror(r < 0 ? errno : EIO);
      break;
    }
    p += r;
    n -= static_cast<size_t>(r);
    written_ += r;
  }
  return !failed();
}

bool TextWriter::flush() {
  if (used_ > 0 && !failed()) writeAll(buf_.data(), used_);
  used_ = 0;
  return !failed();
}

void TextWriter::putSlow(std::string_view text) {
  if (!flush()) return;
  if (text.size() > buf_.size()) {
    writeAll(text.data(), text.size());
    return;
  }
  std::copy(text.begin(), text.end(), buf_.data());
  used_ = text.size();
}

void TextWriter::putInt(long long v) {
  char tmp[24];
  char* end = tmp + sizeof tmp;
  char* p = end;
  // Work on the magnitude as unsigned, so the most negative value needs no special case.
  unsigned long long m = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : v;
  do {
    *--p = static_cast<char>('0' + m % 10);
    m /= 10;
  } while (m != 0);
  if (v < 0) *--p = '-';
  put(std::string_view(p, static_cast<size_t>(end - p)));
}

void TextWriter::putFixed(double v, int decimals) {
  char tmp[400];  // room for any double in fixed notation with a few decimals
  const auto r = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::fixed, decimals);
  if (r.ec != std::errc()) {
    char alt[32];
    const int n = std::snprintf(alt, sizeof alt, "%.*e", decimals, v);
    put(std::string_view(alt, static_cast<size_t>(n)));
    return;
  }
  put(std::string_view(tmp, static_cast<size_t>(r.ptr - tmp)));
}

Spool::~Spool() {
  if (fd_ >= 0) ::close(fd_);
}

bool Spool::open(std::string* problem) {
  const char* dir = std::getenv("TMPDIR");
  std::string path =
      std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/zarvo-fap.XXXXXX";
  fd_ = ::mkstemp(path.data());
  if (fd_ < 0) {
    if (problem != nullptr)
      *problem = "cannot create a temporary file in " + path.substr(0, path.rfind('/')) + ": " +
                 std::strerror(errno);
    return false;
  }
  ::unlink(path.c_str());  // unnamed from now on: nothing is left behind whatever happens
  writer_ = std::make_unique<TextWriter>(fd_);
  return true;
}

bool Spool::copyTo(TextWriter& to, std::string* problem) {
  if (!writer_->flush()) {
    *problem = "temporary file: " + writer_->problem();
    return false;
  }
  char buf[64 * 1024];
  for (off_t at = 0; !to.failed();) {
    const ssize_t r = ::pread(fd_, buf, sizeof buf, at);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      *problem = std::string("temporary file: ") + std::strerror(errno);
      return false;
    }
    if (r == 0) break;
    to.put(std::string_view(buf, static_cast<size_t>(r)));
    at += r;
  }
  return true;
}
