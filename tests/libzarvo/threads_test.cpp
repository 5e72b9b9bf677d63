// Streams on several threads at once (run under ThreadSanitizer by the tsan label): no state
// is shared, so each thread gets what the same stream gives alone.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "tests/libzarvo/support.h"

namespace {

TEST(LibzarvoThreads, StreamsRunInParallel) {
  const int rates[] = {48000, 16000, 44100, 48000};
  std::vector<std::vector<float>> inputs;
  std::vector<std::vector<zarvo_frame>> alone, together(std::size(rates));
  for (int rate : rates) {
    inputs.push_back(zarvo_test::voice(rate, 2.0));
    alone.push_back(zarvo_test::run(zarvo_test::options(rate), inputs.back(), 480));
  }
  std::vector<std::thread> threads;
  for (size_t t = 0; t < std::size(rates); ++t)
    threads.emplace_back([&, t] {
      together[t] = zarvo_test::run(zarvo_test::options(rates[t]), inputs[t], 100 + 97 * t);
    });
  for (std::thread& t : threads) t.join();
  for (size_t t = 0; t < std::size(rates); ++t) {
    ASSERT_EQ(together[t].size(), alone[t].size());
    EXPECT_EQ(
        std::memcmp(together[t].data(), alone[t].data(), alone[t].size() * sizeof(zarvo_frame)), 0);
  }
}

}  // namespace
