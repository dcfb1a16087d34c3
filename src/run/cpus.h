#pragma once

#include <sched.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

namespace quarn {

// The number of CPUs this process may run on: its affinity mask, lowered by
// a CPU quota of its control group. At least 1. The cgroup files are read
// under `root`.
unsigned available_cpus(const std::filesystem::path& root = "/");

// CPUs a cgroup quota allows: the quota divided by the period, rounded up.
// `cpu_max` is a cgroup v2 "cpu.max" text ("max 100000", "150000 100000");
// none when unlimited or unreadable.
std::optional<unsigned> cpus_of_cpu_max(std::string_view cpu_max);
// The same for the two cgroup v1 files (a quota of -1 is unlimited).
std::optional<unsigned> cpus_of_cfs_quota(std::string_view quota_us, std::string_view period_us);

// The parts of available_cpus, apart for tests.

// The smallest CPU quota on the way from the process's cgroup up to the top
// of each mounted hierarchy that can limit CPU time. Every absolute path read
// (/proc/self/..., the mount points) is taken under `root`.
std::optional<unsigned> cgroup_cpu_limit(const std::filesystem::path& root);

// The CPUs in the affinity mask `get_affinity` (which works like
// sched_getaffinity) gives, in a set grown until the mask fits; the online
// CPUs when it fails.
unsigned affinity_cpus(int (*get_affinity)(pid_t, std::size_t, cpu_set_t*));

}  // namespace quarn
