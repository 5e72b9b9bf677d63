// Timings of the signal-processing toolkit, with FFTW's real FFT of the same size as
// the yardstick. Each iteration restores the input (GetMFCC and the in-place FFT
// destroy it, and a spectrum fed back in would grow without bound); the FFTW case does
// the same copy so the two read side by side.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "qsp/qspFFT.h"
#include "qsp/qspFFTcore.h"
#include "qsp/qspLog.h"
#include "qsp/qspMFCC.h"
#include "qsp/qspSimd.h"
#include "speech/TempFile_beolv.h"

namespace {

// The machine is shared, so with --benchmark_repetitions the fastest run is the one to
// read: it is the one least disturbed by other work.
double fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

std::vector<double> noise(int count) {
  std::mt19937 gen(1234);
  std::uniform_real_distribution<double> dist(-0.5, 0.5);
  std::vector<double> v(count);
  for (double& s : v) s = dist(gen);
  return v;
}

void BM_qsp_RealFFT(benchmark::State& state) {
  const int N = static_cast<int>(state.range(0));
  qspFFT_c fft;
  const std::vector<double> input = noise(N);
  std::vector<double> x(N);
  for (auto _ : state) {
    std::memcpy(x.data(), input.data(), sizeof(double) * N);
    fft.RealFFT(x.data(), N);
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_qsp_RealFFT)->Arg(64)->Arg(1024)->Arg(4096)->ComputeStatistics("min", fastest);

// The same transform on the portable loops (what a processor without AVX2 runs).
void BM_qsp_RealFFT_portable(benchmark::State& state) {
  const bool had = qspVectorKernels();
  qspSetVectorKernels(false);
  BM_qsp_RealFFT(state);
  qspSetVectorKernels(had);
}
BENCHMARK(BM_qsp_RealFFT_portable)->Arg(1024)->ComputeStatistics("min", fastest);

void BM_fftw_r2c(benchmark::State& state) {
  const int N = static_cast<int>(state.range(0));
  double* in = fftw_alloc_real(N);
  fftw_complex* out = fftw_alloc_complex(N / 2 + 1);
  // Planning with FFTW_MEASURE overwrites the arrays, so the input is filled after.
  fftw_plan plan = fftw_plan_dft_r2c_1d(N, in, out, FFTW_MEASURE);
  const std::vector<double> input = noise(N);
  for (auto _ : state) {
    std::memcpy(in, input.data(), sizeof(double) * N);
    fftw_execute(plan);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  fftw_destroy_plan(plan);
  fftw_free(out);
  fftw_free(in);
}
BENCHMARK(BM_fftw_r2c)->Arg(64)->Arg(1024)->Arg(4096)->ComputeStatistics("min", fastest);

// The three steps of RealFFT(1024), to see where its time goes.
void BM_qsp_RealFFT1024_steps(benchmark::State& state) {
  qspFFT_c fft;
  const std::vector<double> input = noise(1024);
  std::vector<double> x(1024);
  const int step = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::memcpy(x.data(), input.data(), sizeof(double) * 1024);
    if (step == 0)
      qspCpxFFT(x.data(), fft.costable, 512);
    else if (step == 1)
      qspCpxFFT2Real(x.data(), fft.costable, 512);
    else
      qspCpxBitrev(x.data(), 512);
    benchmark::DoNotOptimize(x.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_qsp_RealFFT1024_steps)
    ->ArgName("cpxfft0_split1_bitrev2")
    ->DenseRange(0, 2)
    ->ComputeStatistics("min", fastest);

void BM_qsp_CpxAbsLog2_512(benchmark::State& state) {
  qspLog_c lg;
  const std::vector<double> input = noise(1024);
  std::vector<double> out(512);
  for (auto _ : state) {
    lg.CpxAbsLog2(const_cast<double*>(input.data()), out.data(), 512);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_qsp_CpxAbsLog2_512)->ComputeStatistics("min", fastest);

void BM_qsp_RealDCT_16(benchmark::State& state) {
  qspFFT_c fft;
  const std::vector<double> input = noise(16);
  double x[16];
  double scratch[64];
  for (auto _ : state) {
    std::memcpy(x, input.data(), sizeof x);
    fft.RealDCT(x, scratch, 16);
    benchmark::DoNotOptimize(x);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_qsp_RealDCT_16)->ComputeStatistics("min", fastest);

// One analysis window of the live program: 1024 samples, 16 bands.
void BM_qsp_GetMFCC_1024x16(benchmark::State& state) {
  // The program's own band edges; qspMFCC_c only reads them, despite the non-const pointer.
  qspMFCC_c mfcc(1024, 16, const_cast<double*>(g_fcs));
  const std::vector<double> input = noise(1024);
  std::vector<double> frame(1024);
  double out[16];
  for (auto _ : state) {
    std::memcpy(frame.data(), input.data(), sizeof(double) * 1024);
    mfcc.GetMFCC(frame.data(), out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_qsp_GetMFCC_1024x16)->ComputeStatistics("min", fastest);

void BM_qsp_GetMFCC_1024x16_portable(benchmark::State& state) {
  const bool had = qspVectorKernels();
  qspSetVectorKernels(false);
  BM_qsp_GetMFCC_1024x16(state);
  qspSetVectorKernels(had);
}
BENCHMARK(BM_qsp_GetMFCC_1024x16_portable)->ComputeStatistics("min", fastest);

}  // namespace
