#include "video/head.h"

#include <fcntl.h>
#include <unistd.h>

#include "model/costav.h"
#include "model/modellbeolv.h"

namespace {

bool holdsMesh(const std::string& dir) {
  return access((dir + "/vertex.txt").c_str(), R_OK) == 0 &&
         access((dir + "/face.txt").c_str(), R_OK) == 0;
}

// The readers open their files relative to the working directory, so visit `dir` while
// they run and come back by descriptor (the way back works even from a relative path).
bool readIn(const std::string& dir) {
  const int back = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (back < 0 || chdir(dir.c_str()) != 0) {
    if (back >= 0) close(back);
    return false;
  }
  vertexbeolv();
  facebeolv();
  const bool returned = fchdir(back) == 0;
  close(back);
  return returned;
}

}  // namespace

bool loadHead(std::string& problem) {
  for (const std::string& dir : {std::string("."), std::string(ZARVO_DATA_DIR)}) {
    if (!holdsMesh(dir)) continue;
    if (!readIn(dir)) {
      problem = "cannot read the head mesh in " + dir;
      return false;
    }
    tavolsag();
    return true;
  }
  problem = "no head mesh: vertex.txt and face.txt are neither in the working directory nor in " +
            std::string(ZARVO_DATA_DIR);
  return false;
}
