#include "run/workers.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace quarn {
namespace {

TEST(CgroupQuota, CpusRoundUp) {
  const std::pair<std::string_view, std::optional<unsigned>> cpu_max[] = {
      {"max 100000\n", std::nullopt}, {"100000 100000\n", 1u}, {"150000 100000", 2u},   {"50000 100000", 1u},
      {"800000 100000\n", 8u},        {"", std::nullopt},      {"x 100000", std::nullopt}, {"0 100000", std::nullopt},
  };
  for (auto [text, cpus] : cpu_max) EXPECT_EQ(cpus_of_cpu_max(text), cpus) << text;
  EXPECT_EQ(cpus_of_cfs_quota("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(cpus_of_cfs_quota("250000\n", "100000\n"), 3u);
  EXPECT_EQ(cpus_of_cfs_quota("", ""), std::nullopt);
}

TEST(AvailableCpus, FollowsTheAffinityMask) {
  EXPECT_GE(available_cpus(), 1u);
  unsigned pinned = 0;
  std::thread([&] {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
    int first = 0;
    while (!CPU_ISSET(first, &set)) ++first;
    CPU_ZERO(&set);
    CPU_SET(first, &set);
    ASSERT_EQ(::sched_setaffinity(0, sizeof set, &set), 0);
    pinned = available_cpus();
  }).join();
  EXPECT_EQ(pinned, 1u);
}

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
