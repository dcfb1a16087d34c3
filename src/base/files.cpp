#include "base/files.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/descriptor.h"

namespace quarn {

Result<void> write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return fail_os(errno);
      // A descriptor in non-blocking mode, full for now: wait until it
      // takes more.
      pollfd writable = {fd, POLLOUT, 0};
      if (::poll(&writable, 1, -1) < 0 && errno != EINTR) return fail_os(errno);
      continue;
    }
    if (n == 0) return fail("no bytes written");
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

namespace {

namespace fs = std::filesystem;

// Sources are addressed with 32-bit offsets (the lexer refuses 4 GiB), so
// nothing that is read whole may reach that size.
constexpr std::size_t kReadLimit = std::size_t{1} << 32;
constexpr std::string_view kTooLarge = "stream is too large (4 GiB or more)";

// Writes `text`, syncs it to the disk (a crash then leaves the whole text or
// none) and closes `fd` whatever happens; the first error wins.
Result<void> write_and_close(Descriptor fd, std::string_view text) {
  Result<void> written = write_all(fd.get(), text);
  if (written && ::fsync(fd.get()) != 0) written = fail_os(errno);
  if (const int error = fd.close(); error != 0 && written) written = fail_os(error);
  return written;
}

// Reads the rest of `fd` after `data`, what was read of it so far, until
// the end of the file: true, or false once `limit` bytes are there (nothing
// past them is read). The rest comes in chunks, so that growing never copies
// what was read; the text is put together once at the end.
Result<bool> read_rest(int fd, std::string& data, std::size_t limit) {
  struct Chunk {
    std::unique_ptr<char[]> bytes;
    std::size_t capacity;
    std::size_t size;
  };
  constexpr std::size_t kLargestChunk = std::size_t{64} << 20;
  std::vector<Chunk> chunks;
  std::size_t total = data.size();
  bool complete = true;
  for (;;) {
    if (total >= limit) {
      complete = false;
      break;
    }
    if (chunks.empty() || chunks.back().size == chunks.back().capacity) {
      const std::size_t capacity =
          chunks.empty() ? std::size_t{1} << 16 : std::min(2 * chunks.back().capacity, kLargestChunk);
      chunks.push_back({std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
    }
    Chunk& last = chunks.back();
    const std::size_t wanted = std::min(last.capacity - last.size, limit - total);
    const ssize_t n = ::read(fd, last.bytes.get() + last.size, wanted);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail_os(errno);
    }
    if (n == 0) break;
    last.size += static_cast<std::size_t>(n);
    total += static_cast<std::size_t>(n);
  }
  if (!complete || total == data.size()) return complete;
  std::string text;
  text.reserve(total);
  text.append(data);
  std::string().swap(data);
  for (Chunk& chunk : chunks) {
    text.append(chunk.bytes.get(), chunk.size);
    chunk.bytes.reset();
  }
  data = std::move(text);
  return true;
}

// What reading makes of anything but a regular file: read it, refuse it
// with an error, or leave it unread (none).
enum class Streams { read, refuse, skip };

// Reads `fd` whole when it holds less than `limit` bytes; none otherwise, with
// a regular file of `limit` bytes or more left unread and nothing past the
// limit read from anything else.
Result<std::optional<std::string>> read_descriptor(int fd, Streams streams, std::size_t limit) {
  struct stat info;
  if (::fstat(fd, &info) != 0) return fail_os(errno);
  const bool regular = S_ISREG(info.st_mode);
  if (!regular && streams == Streams::refuse) return fail("not a regular file");
  if (!regular && streams == Streams::skip) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (regular && size >= limit) return std::nullopt;
  std::string data;
  if (regular) {
    // Straight into a text of the file's size, plus one byte that tells
    // whether it grew since.
    int error = 0;
    std::size_t got = 0;
    data.resize_and_overwrite(static_cast<std::size_t>(size) + 1, [&](char* buffer, std::size_t capacity) {
      while (got < capacity) {
        const ssize_t n = ::read(fd, buffer + got, capacity - got);
        if (n > 0) {
          got += static_cast<std::size_t>(n);
        } else if (n == 0 || errno != EINTR) {
          error = n < 0 ? errno : 0;
          break;
        }
      }
      return got;
    });
    if (error != 0) return fail_os(error);
    if (got <= size) return data;
  }
  auto complete = read_rest(fd, data, limit);
  if (!complete) return fail(std::move(complete.error()));
  if (!*complete) return std::nullopt;
  return data;
}

// Opens `path` and reads it as read_descriptor does.
Result<std::optional<std::string>> open_and_read(const fs::path& path, int flags, Streams streams,
                                                 std::size_t limit) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags));
  if (!fd.is_open()) return fail_os(errno);
  return read_descriptor(fd.get(), streams, limit);
}

// The same, with a stream that reaches the 4 GiB limit refused.
Result<std::string> open_and_read_whole(const fs::path& path, int flags, Streams streams) {
  auto data = open_and_read(path, flags, streams, kReadLimit);
  if (!data) return fail(std::move(data.error()));
  if (!*data) return fail(std::string(kTooLarge));
  return std::move(**data);
}

}  // namespace

Result<bool> write_new_file(const fs::path& path, std::string_view text) {
  // With O_EXCL, open neither follows a link nor reuses any entry.
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (!fd.is_open()) {
    if (errno == EEXIST) return false;
    return fail_os(errno);
  }
  if (auto written = write_and_close(std::move(fd), text); !written) {
    ::unlink(path.c_str());
    return fail(std::move(written.error()));
  }
  return true;
}

Result<std::string> read_file(const fs::path& path) { return open_and_read_whole(path, 0, Streams::read); }

Result<std::string> read_regular_file(const fs::path& path) {
  return open_and_read_whole(path, O_NONBLOCK, Streams::refuse);
}

Result<std::optional<std::string>> read_file_if_small(const fs::path& path, std::size_t smaller_than) {
  // The path is tested first, so that a fifo's writer or a device never
  // notices an open; what counts is the opened file, which may have been
  // replaced by a fifo since (hence no waiting in the open) or grow.
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return fail_os(errno);
  if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) >= smaller_than) return std::nullopt;
  return open_and_read(path, O_NONBLOCK, Streams::skip, smaller_than);
}

}  // namespace quarn
