#include "video/staging.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// "dir/.name.part-XXXXXX" for "dir/name", as mkstemp and mkdtemp want it.
std::vector<char> templateBeside(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string name = dir + "." + base + ".part-XXXXXX";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  return buf;
}

std::string cannot(const std::string& path) {
  return "cannot write " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string stageBeside(const std::string& path, std::string& problem) {
  std::vector<char> name = templateBeside(path);
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    problem = cannot(path);
    return "";
  }
  // mkstemp makes the file private; the finished file gets the usual permissions.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  return name.data();
}

std::string stageDirBeside(const std::string& path, std::string& problem) {
  std::vector<char> name = templateBeside(path);
  if (!mkdtemp(name.data())) {
    problem = cannot(path);
    return "";
  }
  return name.data();
}

bool unstage(const std::string& staged, const std::string& path, std::string& problem) {
  if (std::rename(staged.c_str(), path.c_str()) == 0) return true;
  problem = cannot(path);
  return false;
}
