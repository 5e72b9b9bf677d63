// Proves that the per-window analysis allocates nothing: every global operator new of
// this test program is counted.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t n) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
// GCC cannot tell that these frees pair with the malloc above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

TEST(FrameAnalysis, HandleNewAllocatesNothing) {
  const int windows = 200;
  std::vector<float> s(1024 + (windows - 1) * 512);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<float>(0.4 * std::sin(0.03 * i) * std::sin(0.0007 * i));
  // Silent and broken stretches take their own paths through the analysis.
  for (int i = 20000; i < 24000; ++i) s[i] = 0.0f;
  s[40000] = std::nanf("");

  const long beforeConstruction = g_allocations.load();
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  EXPECT_GT(g_allocations.load(), beforeConstruction);  // the counter does count

  double out[30];
  int analysed = 0;
  const long before = g_allocations.load();
  while (qsp.isNew()) {
    qsp.handleNew(out);
    ++analysed;
  }
  const long during = g_allocations.load() - before;
  EXPECT_EQ(analysed, windows);
  EXPECT_EQ(during, 0);
}

}  // namespace
