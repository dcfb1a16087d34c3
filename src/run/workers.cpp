#include "run/workers.h"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <sstream>
#include <string>

#include "base/output.h"

namespace quarn {

namespace {

namespace fs = std::filesystem;

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return text;
}

std::optional<long long> parse_integer(std::string_view text) {
  text = trim(text);
  long long value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<unsigned> cpus_of_quota(long long quota, long long period) {
  if (quota <= 0 || period <= 0) return std::nullopt;
  return static_cast<unsigned>(std::clamp<long long>((quota + period - 1) / period, 1, 1 << 20));
}

// A file of /proc or /sys; one that cannot be read counts as empty.
std::string read_small_file(const fs::path& path) { return read_file(path).value_or(std::string()); }

bool has_option(std::string_view options, std::string_view wanted) {
  const auto pieces = split_text(options, ',');
  return std::ranges::find(pieces, wanted) != pieces.end();
}

// One mounted cgroup hierarchy that can limit CPU time.
struct CpuHierarchy {
  fs::path mount_point;
  std::string mount_root;  // the cgroup path the mount shows at its top
  bool unified = false;    // cgroup v2
};

std::vector<CpuHierarchy> cpu_hierarchies() {
  std::vector<CpuHierarchy> found;
  std::istringstream mounts(read_small_file("/proc/self/mountinfo"));
  for (std::string line; std::getline(mounts, line);) {
    // ID PARENT MAJ:MIN ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS
    const auto fields = split_text(line, ' ');
    const auto dash = std::ranges::find(fields, std::string_view("-"));
    if (fields.size() < 5 || std::ranges::distance(dash, fields.end()) < 4) continue;
    const std::string_view type = dash[1];
    const std::string_view super_options = dash[3];
    if (type == "cgroup2") {
      found.push_back({std::string(fields[4]), std::string(fields[3]), true});
    } else if (type == "cgroup" && has_option(super_options, "cpu")) {
      found.push_back({std::string(fields[4]), std::string(fields[3]), false});
    }
  }
  return found;
}

// The process's cgroup path in each hierarchy: v2 under "", v1 under the
// controller list that names "cpu".
std::optional<std::string> own_cgroup(bool unified) {
  std::istringstream groups(read_small_file("/proc/self/cgroup"));
  for (std::string line; std::getline(groups, line);) {
    const auto fields = split_text(line, ':');
    if (fields.size() < 3) continue;
    const bool match = unified ? fields[1].empty() && fields[0] == "0" : has_option(fields[1], "cpu");
    if (match) return std::string(line.substr(fields[0].size() + fields[1].size() + 2));
  }
  return std::nullopt;
}

std::optional<unsigned> quota_at(const fs::path& dir, bool unified) {
  if (unified) return cpus_of_cpu_max(read_small_file(dir / "cpu.max"));
  return cpus_of_cfs_quota(read_small_file(dir / "cpu.cfs_quota_us"), read_small_file(dir / "cpu.cfs_period_us"));
}

// The smallest quota on the way from the process's cgroup up to the top of
// each mounted hierarchy.
std::optional<unsigned> cgroup_cpu_limit() {
  std::optional<unsigned> limit;
  for (const CpuHierarchy& hierarchy : cpu_hierarchies()) {
    const auto group = own_cgroup(hierarchy.unified);
    if (!group || !group->starts_with(hierarchy.mount_root)) continue;
    std::string relative = group->substr(hierarchy.mount_root.size());
    fs::path dir = hierarchy.mount_point / fs::path(relative).relative_path();
    for (;;) {
      if (auto cpus = quota_at(dir, hierarchy.unified)) limit = std::min(limit.value_or(*cpus), *cpus);
      if (dir == hierarchy.mount_point || !dir.has_relative_path()) break;
      dir = dir.parent_path();
    }
  }
  return limit;
}

unsigned affinity_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return static_cast<unsigned>(std::max(CPU_COUNT(&set), 1));
}

}  // namespace

std::optional<unsigned> cpus_of_cpu_max(std::string_view cpu_max) {
  const auto fields = split_text(trim(cpu_max), ' ');
  if (fields.size() != 2 || fields[0] == "max") return std::nullopt;
  const auto quota = parse_integer(fields[0]);
  const auto period = parse_integer(fields[1]);
  if (!quota || !period) return std::nullopt;
  return cpus_of_quota(*quota, *period);
}

std::optional<unsigned> cpus_of_cfs_quota(std::string_view quota_us, std::string_view period_us) {
  const auto quota = parse_integer(quota_us);
  const auto period = parse_integer(period_us);
  if (!quota || !period) return std::nullopt;
  return cpus_of_quota(*quota, *period);
}

unsigned available_cpus() {
  const unsigned cpus = affinity_cpus();
  const auto limit = cgroup_cpu_limit();
  return std::max(1u, limit ? std::min(cpus, *limit) : cpus);
}

}  // namespace quarn
