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

class CreatedPaths;

// Write `text` to a new file beside `path` and rename it over `path`, so
// that `path` holds either its old content or all of `text`. The file keeps
// the permission bits of the regular file it replaces; otherwise it gets those
// a plain create gives. The temporary file is created through `created`,
// which removes it unless the rename succeeds. An empty path fails with
// ENOENT before anything is created. The error is the system's message alone.
Result<void> replace_file(const std::filesystem::path& path, std::string_view text, CreatedPaths& created);

// Read a whole file. A regular file of 4 GiB or more is refused with
// "stream is too large" before anything is read, any other stream once that
// much was read. The error is the system's message alone (with its errno),
// or that refusal.
Result<std::string> read_file(const std::filesystem::path& path);

// The same for a regular file only, opened without blocking, so that a fifo
// or a device fails at once instead of hanging or streaming forever.
Result<std::string> read_regular_file(const std::filesystem::path& path);

// The same for a regular file smaller than `smaller_than` bytes; a larger
// file, a fifo or a device is left unread (none). The opened file decides:
// one that grew past the bound or turned into a fifo since the path was
// tested is none too, with nothing past the bound read.
Result<std::optional<std::string>> read_file_if_small(const std::filesystem::path& path, std::size_t smaller_than);

// The system's message for an errno value, e.g. "No such file or directory (os error 2)".
std::string os_error_message(int error_number);

// An error of that message that keeps the errno value.
std::unexpected<Error> fail_os(int error_number);

// True for the bytes that continue a UTF-8 sequence (10xxxxxx).
inline bool is_utf8_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// True when `text` is valid UTF-8 (no overlongs, no surrogates, max U+10FFFF).
bool is_valid_utf8(std::string_view text);

namespace detail {
// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid; its
// code point goes to `code_point`. `maximal` receives the length of the
// maximal invalid prefix to replace. Inline: the lexer validates every
// source with it.
inline std::size_t utf8_sequence(std::string_view s, std::size_t i, std::size_t& maximal, char32_t& code_point) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  maximal = 1;
  code_point = b0;
  if (b0 < 0x80) return 1;
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  code_point &= 0x7Fu >> len;
  for (std::size_t k = 1; k < len; ++k) {
    if (i + k >= s.size()) return 0;
    unsigned char b = byte(i + k);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    code_point = (code_point << 6) | (b & 0x3Fu);
    maximal = k + 1;
  }
  return len;
}
}  // namespace detail

// The length of the valid UTF-8 sequence at text[at] (at < text.size()), its
// code point stored in `code_point`; 0 when none starts there.
inline std::size_t decode_utf8(std::string_view text, std::size_t at, char32_t& code_point) {
  std::size_t maximal;
  return detail::utf8_sequence(text, at, maximal, code_point);
}

// `text` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view text);

// Every piece of `text` between `separator`s, empty ones included.
std::vector<std::string_view> split_text(std::string_view text, char separator);

// A path as text for messages and reports: its bytes, invalid UTF-8 replaced.
std::string path_text(const std::filesystem::path& path);

// Appends `text` as it may reach a terminal: every control character (C0
// with tab, DEL, C1) as a visible escape, `\t`, `\n`, `\r` or `\xHH`, and
// invalid UTF-8 replaced by U+FFFD; the rest unchanged, appended at once when
// nothing needs escaping.
void append_terminal_text(std::string& out, std::string_view text);
std::string terminal_text(std::string_view text);

// The UTF-8 byte-order mark.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

}  // namespace quarn
