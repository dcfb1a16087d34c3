#include "run/cpus.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "base/files.h"
#include "base/text.h"
#include "base/thread_stack.h"
#include "run/cpus_detail.h"

namespace quarn {

namespace {

namespace fs = std::filesystem;

// More CPUs than any machine has: the bound of a quota and of the affinity set.
constexpr int max_cpus = 1 << 20;

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
  const long long cpus = quota / period + (quota % period != 0);
  return static_cast<unsigned>(std::min<long long>(cpus, max_cpus));
}

// A file of /proc or /sys; one that cannot be read counts as empty.
std::string read_small_file(const fs::path& path) { return read_file(path).value_or(std::string()); }

bool has_option(std::string_view options, std::string_view wanted) {
  const auto pieces = split_text(options, ',');
  return std::ranges::find(pieces, wanted) != pieces.end();
}

// A path of /proc/self/mountinfo, where space, tab, newline and backslash
// are written as octal escapes ("\040").
std::string unescape_path(std::string_view text) {
  const auto octal = [&](std::size_t at) { return text[at] >= '0' && text[at] <= '7'; };
  std::string path;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
      path += static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      path += text[i];
    }
  }
  return path;
}

// The part of `group` below a mount's `root`, when the root is the group or
// one of its ancestors.
std::optional<std::string_view> below_root(std::string_view group, std::string_view root) {
  while (root.ends_with('/')) root.remove_suffix(1);
  if (!group.starts_with(root) || (group.size() > root.size() && group[root.size()] != '/')) return std::nullopt;
  return group.substr(root.size());
}

// One mounted cgroup hierarchy that can limit CPU time.
struct CpuHierarchy {
  fs::path mount_point;
  std::string mount_root;  // the cgroup path the mount shows at its top
  bool unified = false;    // cgroup v2
};

std::vector<CpuHierarchy> cpu_hierarchies(const fs::path& root) {
  std::vector<CpuHierarchy> found;
  const std::string mounts = read_small_file(root / "proc/self/mountinfo");
  for (std::string_view line : split_text(mounts, '\n')) {
    // ID PARENT MAJ:MIN ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS
    const auto fields = split_text(line, ' ');
    const auto dash = std::ranges::find(fields, std::string_view("-"));
    if (fields.size() < 5 || std::ranges::distance(dash, fields.end()) < 4) continue;
    const bool unified = dash[1] == "cgroup2";
    if (unified || (dash[1] == "cgroup" && has_option(dash[3], "cpu")))
      found.push_back({unescape_path(fields[4]), unescape_path(fields[3]), unified});
  }
  return found;
}

// The process's cgroup path in each hierarchy: v2 under "", v1 under the
// controller list that names "cpu".
std::optional<std::string> own_cgroup(const fs::path& root, bool unified) {
  const std::string groups = read_small_file(root / "proc/self/cgroup");
  for (std::string_view line : split_text(groups, '\n')) {
    const auto fields = split_text(line, ':');
    if (fields.size() < 3) continue;
    const bool match = unified ? fields[1].empty() && fields[0] == "0" : has_option(fields[1], "cpu");
    if (match) return std::string(line.substr(fields[0].size() + fields[1].size() + 2));
  }
  return std::nullopt;
}

std::optional<unsigned> quota_at(const fs::path& dir, bool unified) {
  if (unified) return detail::cpus_of_cpu_max(read_small_file(dir / "cpu.max"));
  return detail::cpus_of_cfs_quota(read_small_file(dir / "cpu.cfs_quota_us"),
                                   read_small_file(dir / "cpu.cfs_period_us"));
}

// Under a memory limit each worker needs room of its own: its stack and what
// checking its files takes. One worker per 256 MiB of the limit, so that a
// run under a tight limit is a one-worker run.
constexpr std::size_t kPerWorker = std::size_t{256} << 20;

unsigned workers_within_memory_limit() {
  const std::optional<std::size_t> limit = memory_limit();
  if (!limit) return std::numeric_limits<unsigned>::max();
  return static_cast<unsigned>(std::clamp<std::size_t>(*limit / kPerWorker, 1, std::numeric_limits<unsigned>::max()));
}

}  // namespace

namespace detail {

std::optional<unsigned> cpus_of_cfs_quota(std::string_view quota_us, std::string_view period_us) {
  const auto quota = parse_integer(quota_us);
  const auto period = parse_integer(period_us);
  if (!quota || !period) return std::nullopt;
  return cpus_of_quota(*quota, *period);
}

std::optional<unsigned> cpus_of_cpu_max(std::string_view cpu_max) {
  const auto fields = split_text(trim(cpu_max), ' ');
  if (fields.size() != 2 || fields[0] == "max") return std::nullopt;
  return cpus_of_cfs_quota(fields[0], fields[1]);
}

std::optional<unsigned> cgroup_cpu_limit(const fs::path& root) {
  std::optional<unsigned> limit;
  for (const CpuHierarchy& hierarchy : cpu_hierarchies(root)) {
    const auto group = own_cgroup(root, hierarchy.unified);
    const auto below = group ? below_root(*group, hierarchy.mount_root) : std::nullopt;
    if (!below) continue;
    // A group outside the namespace's root ("/../x") lies above the mount,
    // where nothing may be read: it counts as unlimited.
    const fs::path parts = fs::path(*below).relative_path();
    if (std::ranges::find(parts, fs::path("..")) != parts.end()) continue;
    // The mount's top, then each group down to the process's own.
    const auto take_quota_at = [&](const fs::path& at) {
      if (auto cpus = quota_at(at, hierarchy.unified)) limit = std::min(limit.value_or(*cpus), *cpus);
    };
    fs::path dir = root / hierarchy.mount_point.relative_path();
    take_quota_at(dir);
    for (const fs::path& part : parts) {
      dir /= part;
      take_quota_at(dir);
    }
  }
  return limit;
}

unsigned affinity_cpus(GetAffinity get_affinity) {
  for (int cpus = 1024; cpus <= max_cpus; cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) break;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(size, set);
    const int status = get_affinity(0, size, set);
    const int error = errno;
    const int count = CPU_COUNT_S(size, set);
    CPU_FREE(set);
    if (status == 0) return static_cast<unsigned>(std::max(count, 1));
    if (error != EINVAL) break;
  }
  return std::max(std::thread::hardware_concurrency(), 1u);
}

unsigned available_cpus(const fs::path& root, GetAffinity get_affinity) {
  const unsigned cpus = affinity_cpus(get_affinity);
  const auto limit = cgroup_cpu_limit(root);
  return std::max(1u, limit ? std::min(cpus, *limit) : cpus);
}

}  // namespace detail

unsigned available_cpus() { return detail::available_cpus("/", ::sched_getaffinity); }

bool needs_repeatable_malloc(unsigned workers) {
  const std::optional<std::size_t> limit = memory_limit();
  if (!limit) return false;
  // A worker with twice its budget is not expected to run out of memory, so
  // there the workers keep arenas of their own and glibc's moving
  // thresholds: the settings about double the CPU time of a run on several
  // workers. The price: a run that comes near such a limit may run out where
  // a one-worker run does not. A one-worker run keeps the settings: under a
  // tight limit, a file checked again alone must repeat it.
  return workers <= 1 || *limit / workers < 2 * kPerWorker;
}

unsigned worker_count(std::size_t files) {
  const std::size_t most = std::min(available_cpus(), workers_within_memory_limit());
  return static_cast<unsigned>(std::clamp<std::size_t>(files, 1, most));
}

}  // namespace quarn
