#pragma once

// The parts of the configuration search and the file walk, for their tests.

#include <filesystem>
#include <optional>
#include <string_view>

namespace quarn::detail {

// The lexical parent of a path: "src/pkg" -> "src" -> "" (the current
// directory) -> none; "/a" -> "/" -> none.
std::optional<std::filesystem::path> lexical_parent(const std::filesystem::path& path);

// True when the last component's extension is exactly "py".
bool has_py_extension(std::string_view path);

}  // namespace quarn::detail
