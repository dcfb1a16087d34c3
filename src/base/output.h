#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"

namespace quarn {

// Write all of `text` to standard output / standard error, unbuffered by
// stdio so that the two streams keep their relative order. A failed or short
// write of standard output is an error with the context "write standard
// output"; standard error has nowhere left to report its own failure.
[[nodiscard]] Result<void> write_stdout(std::string_view text);
void write_stderr(std::string_view text);

// Takes a standard stream's descriptor that is closed at start with one that
// cannot be written either, so that no file or pipe opened later lands on it
// and receives the report or the warnings.
void hold_closed_standard_streams();

// Create `path` exclusively (an existing entry of any kind, a dangling link
// included, is never followed or replaced) and write `text` to it. False,
// with nothing written, when something already exists there. Other errors are
// the system's message alone, and remove the half-written file.
Result<bool> write_new_file(const std::filesystem::path& path, std::string_view text);

// Write `text` to a new file beside `path` and rename it over `path`, so
// that `path` holds either its old content or all of `text`. The file keeps
// the permission bits of the regular file it replaces; otherwise it gets those
// a plain create gives. The error is the system's message alone; the
// temporary file is removed then.
Result<void> replace_file(const std::filesystem::path& path, std::string_view text);

// Read a whole file. A regular file of 4 GiB or more is refused with
// "stream is too large" before anything is read, any other stream once that
// much was read. The error is the system's message alone (with its errno),
// or that refusal.
Result<std::string> read_file(const std::filesystem::path& path);

// The same for a regular file only, opened without blocking, so that a fifo
// or a device fails at once instead of hanging or streaming forever.
Result<std::string> read_regular_file(const std::filesystem::path& path);

// The same for a regular file smaller than `smaller_than` bytes; a larger
// file, a fifo or a device is left unopened and unread (none).
Result<std::optional<std::string>> read_file_if_small(const std::filesystem::path& path, std::size_t smaller_than);

// The system's message for an errno value, e.g. "No such file or directory (os error 2)".
std::string os_error_message(int error_number);

// An error of that message that keeps the errno value.
std::unexpected<Error> fail_os(int error_number);

// True for the bytes that continue a UTF-8 sequence (10xxxxxx).
inline bool is_utf8_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// True when `text` is valid UTF-8 (no overlongs, no surrogates, max U+10FFFF).
bool is_valid_utf8(std::string_view text);

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view text);

// Every piece of `text` between `separator`s, empty ones included.
std::vector<std::string_view> split_text(std::string_view text, char separator);

// A path as text for messages and reports: its bytes, invalid UTF-8 replaced.
std::string path_text(const std::filesystem::path& path);

// The UTF-8 byte-order mark.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace quarn
