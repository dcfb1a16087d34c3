#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"

namespace quarn {

// Writes every byte of `text` to `fd`, going on after an interrupted or a
// short write, and waiting while a non-blocking descriptor is full. The
// error is the system's message alone, or "no bytes written".
Result<void> write_all(int fd, std::string_view text);

// Create `path` exclusively (an existing entry of any kind, a dangling link
// included, is never followed or replaced) and write `text` to it. False,
// with nothing written, when something already exists there. Other errors are
// the system's message alone, and remove the half-written file.
Result<bool> write_new_file(const std::filesystem::path& path, std::string_view text);

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

}  // namespace quarn
