#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "config/config.h"

namespace quarn {

// Directories the file walk never enters.
inline constexpr std::string_view SKIPPED_DIR_NAMES[] = {
    ".git", "venv", ".venv", "target", "__pycache__", ".mypy_cache", ".ruff_cache", "node_modules", ".pytest_cache",
};

// Where the search for quarn.toml starts for a checked path: its lexical
// parent when it names a regular file, else the path itself.
std::filesystem::path config_search_start(const std::filesystem::path& path);

// The upward search for quarn.toml from `start` (lexical parents only).
Result<Config> discover_config(const std::filesystem::path& start);

// The .py files under `path` (or `path` itself), in path order.
Result<std::vector<std::filesystem::path>> discover_python_files(const std::filesystem::path& path);

}  // namespace quarn
