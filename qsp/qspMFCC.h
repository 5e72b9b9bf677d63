// Mel-frequency cepstral coefficients of one frame: Hamming window, real FFT, log2 power
// per bin, triangular mel bands over the log spectrum, type-II cosine transform.
#pragma once

class qspFFT_c;
class qspLog_c;

// One triangular band over spectrum bins [first, end).
class triangband_c {
 public:
  // lo, centre, hi: edges as fractions of half the sample rate, 0 <= lo < centre < hi
  // (unchecked here; qspMFCC_c checks its edges); scale: bins per 1.0 (N/2); gain:
  // level factor.
  void Reset(double lo, double centre, double hi, int scale, double gain);
  // norm * sum of spectrum[j] * weight(j) over the band's bins; reads spectrum[first..end-1].
  double DotProduct(double* spectrum);

  int first = 0;
  int mid = 0;
  int end = 0;
  double norm = 0.0;
  double upStart = 0.0;
  double downStart = 0.0;
  double upSlope = 0.0;
  double downSlope = 0.0;
};

class qspMFCC_c {
 public:
  // frameLen: N samples (power of two, 4..4096); numBands coefficients (power of two,
  // 1..1024, as the cosine transform needs); edges: numBands+2 band edges as fractions of
  // half the sample rate, read only here. Any other size, or edges that are not strictly
  // rising from >= 0 to < 1.0 (which would read outside the log spectrum), aborts with a
  // message. Allocates every buffer GetMFCC needs; a failed allocation throws
  // std::bad_alloc after releasing what was already allocated.
  qspMFCC_c(int frameLen, int numBands, double* edges);
  ~qspMFCC_c();
  qspMFCC_c(const qspMFCC_c&) = delete;
  qspMFCC_c& operator=(const qspMFCC_c&) = delete;

  // frame: N samples, destroyed (used as work space: afterwards its first N/2 entries hold
  // the log2 power spectrum); out: numBands coefficients. Both caller-owned. Allocates
  // nothing; runs on the thread that owns the object. Coefficients are always finite: a
  // NaN or infinite sample makes every bin read about 1024 in log2 (out[0] near +11.3
  // for the program's configuration), so callers that must reject broken input check
  // the samples themselves.
  void GetMFCC(double* frame, double* out);

  int frameLen;
  int numBands;
  qspFFT_c* fft = nullptr;
  qspLog_c* log = nullptr;
  double* window = nullptr;
  double* dctScratch = nullptr;
  triangband_c* bands = nullptr;
};
