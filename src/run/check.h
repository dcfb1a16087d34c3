#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "config/config.h"
#include "findings/finding.h"
#include "run/command.h"

namespace quarn {

struct FileError {
  std::filesystem::path path;
  std::string message;
};

struct RunOutcome {
  std::vector<Finding> findings;
  std::vector<FileError> file_errors;
};

// Directories the file walk never enters.
inline constexpr std::string_view SKIPPED_DIR_NAMES[] = {
    ".git", "venv", ".venv", "target", "__pycache__", ".mypy_cache", ".ruff_cache", "node_modules", ".pytest_cache",
};

// The `check` subcommand: configuration, discovery, checks, external
// checkers, report, prompt, exit status.
RunResult run_check(const CheckCommand& command);

// The upward search for quarn.toml from `start` (lexical parents only).
Result<Config> discover_config(const std::filesystem::path& start);

// The .py files under `path` (or `path` itself), in path order.
Result<std::vector<std::filesystem::path>> discover_python_files(const std::filesystem::path& path);

// Parses and checks every file; findings sorted, file errors in visit order.
Result<RunOutcome> check_path(const std::vector<std::filesystem::path>& files, const Config& config);

// The lexical parent of a path: "src/pkg" -> "src" -> "" (the current
// directory) -> none; "/a" -> "/" -> none.
std::optional<std::filesystem::path> lexical_parent(const std::filesystem::path& path);

// True when the last component's extension is exactly "py".
bool has_py_extension(const std::filesystem::path& path);

}  // namespace quarn
