#include "run/discovery.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <string>

#include <fmt/format.h>

#include "base/text.h"
#include "base/utf8.h"
#include "findings/finding.h"
#include "run/discovery_detail.h"

namespace quarn {

namespace fs = std::filesystem;

namespace {

// File-system tests that follow links; any failure to look counts as "no".
bool names_regular_file(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool names_anything(const fs::path& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string_view last_component(std::string_view text) {
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  auto slash = text.rfind('/');
  return slash == std::string_view::npos || text.size() == 1 ? text : text.substr(slash + 1);
}

bool is_skipped_dir_name(std::string_view name) {
  return std::find(std::begin(SKIPPED_DIR_NAMES), std::end(SKIPPED_DIR_NAMES), name) != std::end(SKIPPED_DIR_NAMES);
}

Error walk_error(std::string_view root, std::string_view entry, int error_number) {
  return Error(fmt::format("cannot access {}: {}", utf8_lossy(entry), os_error_message(error_number)))
      .context(fmt::format("walk directory {}", utf8_lossy(root)));
}

// `dir` joined with `name` as the path library joins them: a separator is
// added unless `dir` ends in one.
std::string joined(std::string_view dir, std::string_view name) {
  std::string path(dir);
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
  return path;
}

// Whether a directory entry is itself a directory, links not followed: the
// type readdir reports, or lstat's where the file system reports none.
std::optional<bool> is_directory_entry(const dirent& entry, const std::string& path) {
  if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return S_ISDIR(info.st_mode);
}

// Appends the .py entries below `root` to `files`, in no particular order.
// Links are not followed; directories wait on a stack rather than holding a
// descriptor each, so a deep tree neither recurses nor runs out of them. An
// error names the entry that failed.
Result<void> walk_directory(const std::string& root, std::vector<std::string>& files) {
  std::vector<std::string> pending{root};
  while (!pending.empty()) {
    const std::string dir = std::move(pending.back());
    pending.pop_back();
    const std::unique_ptr<DIR, int (*)(DIR*)> stream(::opendir(dir.c_str()), ::closedir);
    if (!stream) return fail(walk_error(root, dir, errno));
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(stream.get());
      if (entry == nullptr) {
        if (errno != 0) return fail(walk_error(root, dir, errno));
        break;
      }
      const std::string_view name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::string path = joined(dir, name);
      const std::optional<bool> is_directory = is_directory_entry(*entry, path);
      if (!is_directory) return fail(walk_error(root, path, errno));
      if (*is_directory) {
        if (!is_skipped_dir_name(name)) pending.push_back(std::move(path));
      } else if (detail::has_py_extension(path)) {
        files.push_back(std::move(path));
      }
    }
  }
  return {};
}

}  // namespace

namespace detail {

std::optional<fs::path> lexical_parent(const fs::path& path) {
  std::string_view text = path.native();
  while (text.size() > 1 && text.back() == '/') text.remove_suffix(1);
  if (text.empty() || text == "/") return std::nullopt;
  auto slash = text.rfind('/');
  if (slash == std::string_view::npos) return fs::path();
  std::string_view parent = text.substr(0, slash);
  while (parent.size() > 1 && parent.back() == '/') parent.remove_suffix(1);
  return fs::path(parent.empty() ? std::string_view("/") : parent);
}

bool has_py_extension(std::string_view path) {
  std::string_view name = last_component(path);
  if (name == "..") return false;
  auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return false;
  return name.substr(dot + 1) == "py";
}

}  // namespace detail

fs::path config_search_start(const fs::path& path) {
  return names_regular_file(path) ? detail::lexical_parent(path).value_or(fs::path()) : path;
}

Result<Config> discover_config(const fs::path& start) {
  std::optional<fs::path> dir = start;
  while (dir) {
    fs::path candidate = *dir / "quarn.toml";
    if (names_regular_file(candidate)) return load_config(candidate);
    if (names_anything(*dir / ".git") || names_regular_file(*dir / "pyproject.toml")) break;
    dir = detail::lexical_parent(*dir);
  }
  return default_config();
}

Result<std::vector<fs::path>> discover_python_files(const fs::path& path) {
  const std::string& root = path.native();
  std::vector<std::string> found;
  struct stat info;
  if (::stat(root.c_str(), &info) != 0) return fail(walk_error(root, root, errno));
  if (S_ISREG(info.st_mode)) {
    if (detail::has_py_extension(root)) found.push_back(root);
  } else if (S_ISDIR(info.st_mode)) {
    if (!is_skipped_dir_name(last_component(root))) {
      if (auto walked = walk_directory(root, found); !walked) return fail(std::move(walked.error()));
    }
  } else if (detail::has_py_extension(root)) {
    // Neither a regular file nor a directory (a fifo, a socket): it is the
    // only entry of its own walk.
    found.push_back(root);
  }
  if (found.empty()) return fail(fmt::format("no Python files found under {}", path_text(path)));
  std::ranges::stable_sort(found, [](const std::string& a, const std::string& b) { return compare_paths(a, b) < 0; });
  return std::vector<fs::path>(std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

}  // namespace quarn
