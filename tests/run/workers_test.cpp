#include "run/workers.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace quarn {
namespace {

// Items of uneven cost, so that workers finish out of order.
TEST(RunInOrder, ConsumesEveryResultInIndexOrder) {
  for (unsigned workers : {1u, 2u, 7u, 16u}) {
    for (std::size_t window : {1u, 3u, 1000u}) {
      std::vector<std::size_t> consumed;
      run_in_order(
          200, workers, window,
          [](std::size_t i) {
            std::string text(i % 7 == 0 ? 20000 : 10, 'x');
            return std::to_string(i) + ":" + std::to_string(std::accumulate(text.begin(), text.end(), 0));
          },
          [&](std::size_t i, std::string& result) {
            EXPECT_EQ(result.substr(0, result.find(':')), std::to_string(i));
            consumed.push_back(i);
          });
      std::vector<std::size_t> expected(200);
      std::iota(expected.begin(), expected.end(), 0);
      EXPECT_EQ(consumed, expected) << workers << " workers, window " << window;
    }
  }
}

}  // namespace
}  // namespace quarn
