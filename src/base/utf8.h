#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quarn {

bool is_valid_utf8(std::string_view bytes);

// Appends `bytes` with every maximal ill-formed subsequence replaced by one
// U+FFFD, the substitution Unicode recommends.
void append_utf8_lossy(std::string& out, std::string_view bytes);
std::string utf8_lossy(std::string_view bytes);

// A path as text for messages and reports: its bytes, invalid UTF-8 replaced.
std::string path_text(const std::filesystem::path& path);

}  // namespace quarn
