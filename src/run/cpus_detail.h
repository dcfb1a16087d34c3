#pragma once

// The parts of available_cpus, for its tests.

#include <sched.h>

#include <filesystem>
#include <optional>
#include <string_view>

namespace quarn::detail {

// CPUs a cgroup quota allows: the quota divided by the period, rounded up.
// `cpu_max` is a cgroup v2 "cpu.max" text ("max 100000", "150000 100000");
// none when unlimited or unreadable.
std::optional<unsigned> cpus_of_cpu_max(std::string_view cpu_max);
// The same for the two cgroup v1 files (a quota of -1 is unlimited).
std::optional<unsigned> cpus_of_cfs_quota(std::string_view quota_us, std::string_view period_us);

// The smallest CPU quota on the way from the process's cgroup up to the top
// of each mounted hierarchy that can limit CPU time. Every absolute path read
// (/proc/self/..., the mount points) is taken under `root`.
std::optional<unsigned> cgroup_cpu_limit(const std::filesystem::path& root);

using GetAffinity = int (*)(pid_t, std::size_t, cpu_set_t*);

// The CPUs in the affinity mask `get_affinity` (which works like
// sched_getaffinity) gives, in a set grown until the mask fits; the online
// CPUs when it fails.
unsigned affinity_cpus(GetAffinity get_affinity);

// available_cpus with the cgroup files read under `root` and the mask that
// `get_affinity` gives.
unsigned available_cpus(const std::filesystem::path& root, GetAffinity get_affinity);

}  // namespace quarn::detail
