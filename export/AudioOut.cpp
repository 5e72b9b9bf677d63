#include "export/AudioOut.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>

struct AudioOut::SndFile {
  SNDFILE* f;
};

std::unique_ptr<AudioOut> AudioOut::create(const std::string& path, std::string* problem) {
  std::unique_ptr<AudioOut> a(new AudioOut);
  a->file_ = OutputFile::create(path, problem);
  if (a->file_ == nullptr) return nullptr;
  SF_INFO info{};
  info.samplerate = 48000;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open_fd(a->file_->fd(), SFM_WRITE, &info, SF_FALSE);
  if (f == nullptr) {
    *problem = sf_strerror(nullptr);
    return nullptr;
  }
  sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  a->snd_ = new SndFile{f};
  return a;
}

AudioOut::~AudioOut() {
  if (snd_ != nullptr) sf_close(snd_->f);
  delete snd_;
}

bool AudioOut::write(const float* samples, long n) {
  float buf[4096];
  while (n > 0 && problem_.empty()) {
    const long m = std::min<long>(n, 4096);
    for (long k = 0; k < m; ++k) buf[k] = std::isfinite(samples[k]) ? samples[k] : 0.0f;
    if (sf_write_float(snd_->f, buf, m) != m) problem_ = sf_strerror(snd_->f);
    samples += m;
    n -= m;
  }
  return problem_.empty();
}

bool AudioOut::commit(std::string* problem) {
  if (!problem_.empty()) {
    *problem = problem_;
    return false;
  }
  const int r = sf_close(snd_->f);
  delete snd_;
  snd_ = nullptr;
  if (r != 0) {
    *problem = sf_error_number(r);
    return false;
  }
  return file_->commit(problem);
}
