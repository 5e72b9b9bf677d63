// Writing output files so that a failed run leaves nothing half-written, and a buffered
// text writer for large outputs.
//
// OutputFile: the data go to a temporary file beside the target (same directory, so the
// final rename is atomic); commit() renames it onto the target. If the run fails or the
// object is destroyed without commit(), the temporary is removed and the target is left
// as it was (absent, or its old content). A target that exists and is neither a regular
// file nor a directory (/dev/null, a FIFO) is written directly: it cannot be replaced.
//
// TextWriter: appends text and numbers into one large buffer and writes it out in big
// blocks; integers are formatted by hand and fixed-point numbers with std::to_chars, so
// printing costs little against the analysis. The first failed write (a full disk, a
// closed pipe) makes failed() true and every later write a no-op.
//
// Neither is thread-safe; each belongs to the thread that writes the output. Nothing
// here prints.
#pragma once
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class OutputFile {
 public:
  // Creates the temporary file for `path` (".<name>.XXXXXX" in path's directory). Returns
  // null and sets *problem (one line, without the path) when it cannot be created.
  static std::unique_ptr<OutputFile> create(const std::string& path, std::string* problem);
  ~OutputFile();  // discard() unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  int fd() const { return fd_; }  // where to write; owned by this object
  const std::string& path() const { return target_; }
  const std::string& temporaryPath() const { return temp_; }  // "" when written directly

  // Closes the temporary, gives it the mode a new file gets (0666 less the umask) and
  // renames it onto the target. Returns false with *problem set if any step fails (the
  // temporary is then removed).
  bool commit(std::string* problem);
  void discard();  // closes and removes the temporary; the target is untouched

 private:
  OutputFile(std::string target, std::string temp, int fd);
  std::string target_, temp_;
  int fd_;
  bool done_ = false;
};

class TextWriter {
 public:
  // fd: not owned, stays open. capacity: bytes buffered before a write.
  explicit TextWriter(int fd, size_t capacity = 256 * 1024);
  ~TextWriter() = default;  // does not flush: call flush() and check it
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void put(std::string_view text) {
    if (text.size() > buf_.size() - used_) return putSlow(text);
    std::copy(text.begin(), text.end(), buf_.data() + used_);
    used_ += text.size();
  }
  void put(char c) {
    if (used_ == buf_.size()) return putSlow(std::string_view(&c, 1));
    buf_[used_++] = c;
  }
  void putInt(long long v);               // decimal, '-' when negative
  void putFixed(double v, int decimals);  // as printf("%.*f"): same digits, same rounding

  bool flush();  // writes everything buffered; false once any write has failed
  bool failed() const { return !problem_.empty(); }
  const std::string& problem() const { return problem_; }  // e.g. "No space left on device"
  long long written() const { return written_; }           // bytes handed to the fd

 private:
  void putSlow(std::string_view text);  // text does not fit behind what is buffered
  bool writeAll(const char* p, size_t n);
  int fd_;
  std::vector<char> buf_;
  size_t used_ = 0;
  long long written_ = 0;
  std::string problem_;
};

// A temporary file that a writer fills while the frames come and copies out at the end.
class Spool {
 public:
  Spool() = default;
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // Creates the unnamed temporary file (in $TMPDIR, else /tmp). False with *problem set
  // (when problem is not null).
  bool open(std::string* problem);
  bool isOpen() const { return writer_ != nullptr; }
  TextWriter& out() { return *writer_; }  // only after open()
  // Flushes and appends everything written to `to`. False with *problem set when the
  // temporary file failed (to's own failures are to.failed()).
  bool copyTo(TextWriter& to, std::string* problem);

 private:
  int fd_ = -1;
  std::unique_ptr<TextWriter> writer_;
};
