// libzarvo's cost: one stream's push and pull of a block, and many streams served in turn
// as a server of voices does, at 48 kHz and at 16 kHz (resampling included), designed and
// articulated. Goals: 1000 streams at 48 kHz and 400 at 16 kHz on one core; push and pull
// of a 10.7 ms block at 48 kHz within 10 us. Speech-like input from the library's tests.
#include <benchmark/benchmark.h>

#include <vector>

#include "tests/libzarvo/support.h"

namespace {

// A block of the input: 512 samples at 48 kHz (10.7 ms), 160 at 16 kHz (10 ms).
int blockOf(int rate) { return rate == 48000 ? 512 : rate / 100; }

struct Voices {
  Voices(int count, int rate, bool articulate) : block(blockOf(rate)) {
    samples = zarvo_test::voice(rate, 5.0);
    // Designed: the FAPs alone, no lip sync; articulated: every output.
    zarvo_options o = zarvo_test::options(rate, 1, articulate);
    if (!articulate) o.outputs = ZARVO_OUTPUT_FAPS;
    for (int i = 0; i < count; ++i) {
      streams.push_back(zarvo_stream_create(&o, nullptr));
      at.push_back((i * 7919L * block) % (static_cast<long>(samples.size()) - block));
    }
    frame.struct_size = sizeof frame;
  }
  ~Voices() {
    for (zarvo_stream* s : streams) zarvo_stream_destroy(s);
  }
  // One block into stream i, and its frames out.
  void serve(size_t i) {
    zarvo_stream_push_float(streams[i], samples.data() + at[i], block);
    while (zarvo_stream_pull(streams[i], &frame) == 1) ++frames;
    at[i] += block;
    if (at[i] + block > static_cast<long>(samples.size())) at[i] = 0;
  }
  const int block;
  std::vector<float> samples;
  std::vector<zarvo_stream*> streams;
  std::vector<long> at;
  zarvo_frame frame{};
  long frames = 0;
};

// Push and pull of one block on one stream: the time is the cost per block; windows/s
// counts what one core analyses.
void BM_zarvo_block(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  Voices v(1, rate, state.range(1) != 0);
  for (auto _ : state) v.serve(0);
  state.counters["windows/s"] =
      benchmark::Counter(static_cast<double>(v.frames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_zarvo_block)
    ->ArgsProduct({{48000, 16000}, {0, 1}})
    ->ArgNames({"rate", "articulate"})
    ->Unit(benchmark::kMicrosecond);

// Every stream gets one block per iteration, in turn: streams_per_core is how many such
// voices one core keeps up with in real time, us_per_window the cost of a window (both by
// the CPU time, so that other work on the machine does not count).
void BM_zarvo_streams(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0)), rate = static_cast<int>(state.range(1));
  Voices v(count, rate, state.range(2) != 0);
  for (auto _ : state)
    for (int i = 0; i < count; ++i) v.serve(i);
  const double blockSeconds = static_cast<double>(v.block) / rate;
  state.counters["streams_per_core"] =
      benchmark::Counter(count * blockSeconds, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["windows/s"] =
      benchmark::Counter(static_cast<double>(v.frames), benchmark::Counter::kIsRate);
  state.counters["us_per_window"] =
      benchmark::Counter(static_cast<double>(v.frames) / 1e6,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_zarvo_streams)
    ->Args({1000, 48000, 0})
    ->Args({1000, 48000, 1})
    ->Args({400, 16000, 0})
    ->Args({400, 16000, 1})
    ->ArgNames({"streams", "rate", "articulate"})
    ->Unit(benchmark::kMillisecond);  // rates per CPU second: the core's own work

}  // namespace
