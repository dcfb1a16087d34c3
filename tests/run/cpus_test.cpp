#include "run/cpus.h"
#include "run/cpus_detail.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quarn {
namespace {

namespace fs = std::filesystem;

TEST(CgroupQuota, CpusRoundUp) {
  const std::pair<std::string_view, std::optional<unsigned>> cpu_max[] = {
      {"max 100000\n", std::nullopt},
      {"100000 100000\n", 1u},
      {"100001 100000", 2u},
      {"150000 100000", 2u},
      {"50000 100000", 1u},
      {"800000 100000\n", 8u},
      {"", std::nullopt},
      {"x 100000", std::nullopt},
      {"0 100000", std::nullopt},
      {" 200000 100000", 2u},
      {"150000x 100000", std::nullopt},
      {"150000 100000 1", std::nullopt},
      {"9223372036854775807 100000", 1u << 20},
      {"9223372036854775807 9223372036854775807", 1u},
  };
  for (auto [text, cpus] : cpu_max) EXPECT_EQ(detail::cpus_of_cpu_max(text), cpus) << text;
  EXPECT_EQ(detail::cpus_of_cfs_quota("-1\n", "100000\n"), std::nullopt);
  EXPECT_EQ(detail::cpus_of_cfs_quota("250000\n", "100000\n"), 3u);
  EXPECT_EQ(detail::cpus_of_cfs_quota("9223372036854775807\n", "100000\n"), 1u << 20);
  EXPECT_EQ(detail::cpus_of_cfs_quota("", ""), std::nullopt);
}

// A machine of 3000 CPUs: a set too small for them is refused as the kernel does.
// The kernel writes only as many bytes as its own mask has, so the set it is
// given must come cleared.
int three_thousand_cpus(pid_t, std::size_t size, cpu_set_t* set) {
  if (CPU_COUNT_S(size, set) != 0) {
    errno = EFAULT;
    return -1;
  }
  if (size < CPU_ALLOC_SIZE(3000)) {
    errno = EINVAL;
    return -1;
  }
  for (int cpu = 0; cpu < 3000; ++cpu) CPU_SET_S(cpu, size, set);
  return 0;
}

int never_large_enough(pid_t, std::size_t, cpu_set_t*) {
  errno = EINVAL;
  return -1;
}

int not_permitted(pid_t, std::size_t, cpu_set_t*) {
  errno = EPERM;
  return -1;
}

using Files = std::vector<std::pair<std::string, std::string>>;

// Writes `files` under `root`; a path ending in '/' only gets its directory.
void write_tree(const fs::path& root, const Files& files) {
  for (const auto& [path, text] : files) {
    fs::create_directories((root / path).parent_path());
    if (!path.ends_with('/')) std::ofstream(root / path, std::ios::binary) << text;
  }
}

TEST(CgroupQuota, WalksTheMountedHierarchies) {
  const std::string mounts = "proc/self/mountinfo";
  const std::string groups = "proc/self/cgroup";
  const std::string v2 = "30 23 0:26 / /sys/fs/cgroup rw,nosuid shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
  const std::string v1 =
      "36 30 0:31 / /sys/fs/cgroup/memory rw shared:10 - cgroup cgroup rw,memory\n"
      "35 30 0:30 / /sys/fs/cgroup/cpu,cpuacct rw,nosuid shared:9 - cgroup cgroup rw,cpu\n"
      "37 30 0:32 / /sys/fs/cgroup/cpuacct rw shared:11 - cgroup cgroup rw,cpuacct\n";
  const std::string unified = "29 23 0:26 / /sys/fs/cgroup/unified rw shared:4 - cgroup2 cgroup2 rw\n";
  const auto v2_rooted_at = [](std::string root) {
    return "30 23 0:26 " + root + " /sys/fs/cgroup rw shared:4 - cgroup2 cgroup2 rw\n";
  };
  const std::string v1_dir = "sys/fs/cgroup/cpu,cpuacct/job/";
  const struct {
    std::string_view name;
    Files files;
    std::optional<unsigned> cpus;
  } cases[] = {
      {"v2",
       {{mounts, v2}, {groups, "1::/other\n0::/app\n"}, {"sys/fs/cgroup/app/cpu.max", "150000 100000\n"}},
       2u},
      {"v2 max", {{mounts, v2}, {groups, "0::/app\n"}, {"sys/fs/cgroup/app/cpu.max", "max 100000\n"}}, std::nullopt},
      {"parent below child",
       {{mounts, v2},
        {groups, "0::/a/b\n"},
        {"sys/fs/cgroup/a/cpu.max", "100000 100000\n"},
        {"sys/fs/cgroup/a/b/cpu.max", "400000 100000\n"}},
       1u},
      {"v1",
       {{mounts, v1},
        {groups, "5:memory:/job\n3:cpuacct:/other\n2:cpu\n4:cpu,cpuacct:/job\n"},
        {v1_dir + "cpu.cfs_quota_us", "250000\n"},
        {v1_dir + "cpu.cfs_period_us", "100000\n"}},
       3u},
      {"v1 -1",
       {{mounts, v1},
        {groups, "4:cpu,cpuacct:/job\n"},
        {v1_dir + "cpu.cfs_quota_us", "-1\n"},
        {v1_dir + "cpu.cfs_period_us", "100000\n"}},
       std::nullopt},
      {"v1 without period", {{mounts, v1}, {groups, "4:cpu,cpuacct:/job\n"}, {v1_dir + "cpu.cfs_quota_us", "100000\n"}},
       std::nullopt},
      {"a hierarchy the group is not under, then one it is",
       {{mounts, v2_rooted_at("/elsewhere") + v1},
        {groups, "4:cpu,cpuacct:/job\n0::/job\n"},
        {v1_dir + "cpu.cfs_quota_us", "300000\n"},
        {v1_dir + "cpu.cfs_period_us", "100000\n"}},
       3u},
      {"hybrid",
       {{mounts, unified + v1},
        {groups, "4:cpu,cpuacct:/job\n0::/job\n"},
        {"sys/fs/cgroup/unified/job/cpu.max", "300000 100000\n"},
        {v1_dir + "cpu.cfs_quota_us", "200000\n"},
        {v1_dir + "cpu.cfs_period_us", "100000\n"}},
       2u},
      {"escaped mount point",
       {{mounts, "30 23 0:26 / /cg/a\\040b\\011c\\012d\\134e\\089\\040 rw shared:4 - cgroup2 cgroup2 rw\n"},
        {groups, "0::/app\n"},
        {"cg/a b\tc\nd\\e\\089 /app/cpu.max", "300000 100000\n"}},
       3u},
      {"container",
       {{mounts, v2_rooted_at("/docker/abc")},
        {groups, "0::/docker/abc\n"},
        {"sys/fs/cgroup/cpu.max", "300000 100000\n"}},
       3u},
      {"escaped root",
       {{mounts, v2_rooted_at("/docker/a\\040b")},
        {groups, "0::/docker/a b/job\n"},
        {"sys/fs/cgroup/job/cpu.max", "200000 100000\n"}},
       2u},
      {"lookalike group",
       {{mounts, v2_rooted_at("/a/b")}, {groups, "0::/a/bc\n"}, {"sys/fs/cgroup/cpu.max", "100000 100000\n"}},
       std::nullopt},
      {"group outside the namespace's root",
       {{mounts, v2},
        {groups, "0::/../x\n"},
        {"sys/fs/cgroup/cpu.max", "100000 100000\n"},
        {"sys/fs/x/cpu.max", "100000 100000\n"}},
       std::nullopt},
      {"a group that climbs out below its start, beside one that stays",
       {{mounts, v2 + v1},
        {groups, "0::/a/../../x\n4:cpu,cpuacct:/job\n"},
        {"sys/fs/cgroup/cpu.max", "100000 100000\n"},
        {"sys/fs/x/cpu.max", "100000 100000\n"},
        {v1_dir + "cpu.cfs_quota_us", "300000\n"},
        {v1_dir + "cpu.cfs_period_us", "100000\n"}},
       3u},
      {"nothing mounted", {}, std::nullopt},
      {"mount line cut short",
       {{mounts, "30 23 0:26 / /sys/fs/cgroup rw shared:4 - cgroup2 cgroup2\n"},
        {groups, "0::/app\n"},
        {"sys/fs/cgroup/app/cpu.max", "100000 100000\n"}},
       std::nullopt},
      {"no cgroup file", {{mounts, v2}, {"sys/fs/cgroup/cpu.max", "100000 100000\n"}}, std::nullopt},
      {"unreadable cpu.max", {{mounts, v2}, {groups, "0::/app\n"}, {"sys/fs/cgroup/app/cpu.max/", ""}}, std::nullopt},
  };
  for (const auto& [name, files, cpus] : cases) {
    std::string pattern = (fs::temp_directory_path() / "quarn-cpus-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    write_tree(pattern, files);
    EXPECT_EQ(detail::cgroup_cpu_limit(pattern), cpus) << name;
    EXPECT_EQ(detail::available_cpus(pattern, three_thousand_cpus), cpus.value_or(3000u)) << name;
    fs::remove_all(pattern);
  }
}

TEST(AvailableCpus, FollowsTheAffinityMask) {
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

TEST(AvailableCpus, GrowsTheSetUntilTheMaskFits) {
  EXPECT_EQ(detail::affinity_cpus(three_thousand_cpus), 3000u);
  const unsigned online = std::max(std::thread::hardware_concurrency(), 1u);
  EXPECT_EQ(detail::affinity_cpus(never_large_enough), online);
  EXPECT_EQ(detail::affinity_cpus(not_permitted), online);
}

}  // namespace
}  // namespace quarn
