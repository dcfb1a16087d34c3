#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/error.h"

namespace quarn {

// Write all of `text` to standard output / standard error, unbuffered by
// stdio so that the two streams keep their relative order.
void write_stdout(std::string_view text);
void write_stderr(std::string_view text);

// Create or truncate `path` and write `text` to it. The error is the system's
// message alone; callers add context.
Result<void> write_file(const std::filesystem::path& path, std::string_view text);

// Read a whole file. The error is the system's message alone.
Result<std::string> read_file(const std::filesystem::path& path);

// The system's message for an errno value, e.g. "No such file or directory (os error 2)".
std::string os_error_message(int error_number);

// True when `text` is valid UTF-8 (no overlongs, no surrogates, max U+10FFFF).
bool is_valid_utf8(std::string_view text);

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view text);

// A path as text for messages and reports: its bytes, invalid UTF-8 replaced.
std::string path_text(const std::filesystem::path& path);

}  // namespace quarn
