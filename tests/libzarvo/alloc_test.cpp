// Nothing but zarvo_stream_create allocates: every allocation of the process is counted
// (malloc and its kin, which operator new and libsoxr use) over long runs at many rates,
// block sizes, resets, flushes and switches. Its own program, for the counting.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>

#include "tests/libzarvo/support.h"

namespace {
std::atomic<long> g_allocations{0};
std::atomic<bool> g_counting{false};
void counted() { g_allocations += g_counting.load(std::memory_order_relaxed) ? 1 : 0; }
}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer owns malloc and reports each one to a hook (declared here: GCC ships the
// run-time without its header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
const int g_hooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, size_t) { counted(); }, [](const volatile void*) {});
#else
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* malloc(size_t n) { return counted(), __libc_malloc(n); }
void* calloc(size_t n, size_t size) { return counted(), __libc_calloc(n, size); }
void* realloc(void* p, size_t n) { return counted(), __libc_realloc(p, n); }
void* aligned_alloc(size_t alignment, size_t n) { return counted(), __libc_memalign(alignment, n); }
int posix_memalign(void** p, size_t alignment, size_t n) {
  counted();
  return (*p = __libc_memalign(alignment, n)) != nullptr ? 0 : 12;  // ENOMEM
}
}
#endif

namespace {

TEST(LibzarvoAllocations, OnlyCreateAllocates) {
  for (int rate : {48000, 8000, 11025, 16000, 44100, 96000, 192000}) {
    for (int channels : {1, 2}) {
      SCOPED_TRACE(rate * 10 + channels);
      std::vector<float> in;
      for (float x : zarvo_test::voice(rate, 6.0)) in.insert(in.end(), channels, x);
      std::vector<int16_t> in16(in.size());  // every other round pushes 16-bit samples
      for (size_t k = 0; k < in.size(); ++k) in16[k] = static_cast<int16_t>(in[k] * 32767.0f);
      // FAPs alone: the switch then starts and ends the look-ahead too.
      const zarvo_options o = zarvo_test::options(rate, channels, 0, ZARVO_OUTPUT_FAPS);
      g_counting = true;  // the counting itself works: create allocates
      zarvo_stream* s = zarvo_stream_create(&o, nullptr);
      g_counting = false;
      ASSERT_TRUE(s != nullptr && g_allocations > 3);
      zarvo_frame f{};
      f.struct_size = sizeof f;
      const int64_t total = static_cast<int64_t>(in.size()) / channels;
      long frames = 0;
      uint32_t random = 7;
      g_allocations = 0;
      g_counting = true;
      for (int round = 0; round < 4; ++round) {
        for (int64_t at = 0; at < total;) {
          random = random * 1664525u + 1013904223u;
          const int64_t n = std::min<int64_t>(total - at, 1 + (random >> 8) % 6000);
          const int64_t pushed = round % 2
                                     ? zarvo_stream_push_int16(s, in16.data() + at * channels, n)
                                     : zarvo_stream_push_float(s, in.data() + at * channels, n);
          at += std::max<int64_t>(0, pushed);
          zarvo_stream_set_articulate(s, (random >> 4) % 7 == 0);
          while (zarvo_stream_pull(s, &f) == 1) ++frames;
        }
        if (round % 2 == 0) zarvo_stream_flush(s);
        while (zarvo_stream_pull(s, &f) == 1) ++frames;
        zarvo_stream_reset(s);
      }
      g_counting = false;
      zarvo_stream_destroy(s);
      EXPECT_EQ(g_allocations.load(), 0);
      EXPECT_GT(frames, 4 * 550);
    }
  }
}

}  // namespace
