#include "base/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <fmt/format.h>

namespace quarn {

namespace {

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // nowhere left to report a failing standard stream
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Length of the valid UTF-8 sequence starting at s[i], or 0 when invalid.
// `maximal` receives the length of the maximal invalid prefix to replace.
std::size_t utf8_sequence(std::string_view s, std::size_t i, std::size_t& maximal) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  maximal = 1;
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
  for (std::size_t k = 1; k < len; ++k) {
    if (i + k >= s.size()) return 0;
    unsigned char b = byte(i + k);
    if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return 0;
    maximal = k + 1;
  }
  return len;
}

}  // namespace

void write_stdout(std::string_view text) { write_all(STDOUT_FILENO, text); }
void write_stderr(std::string_view text) { write_all(STDERR_FILENO, text); }

std::string os_error_message(int error_number) {
  return fmt::format("{} (os error {})", std::strerror(error_number), error_number);
}

Result<void> write_file(const std::filesystem::path& path, std::string_view text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return fail(os_error_message(errno));
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      return fail(os_error_message(saved));
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  if (::close(fd) != 0) return fail(os_error_message(errno));
  return {};
}

Result<std::string> read_file(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(os_error_message(errno));
  std::string data;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    data.reserve(static_cast<std::size_t>(info.st_size) + 1);
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      return fail(os_error_message(saved));
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return data;
}

bool is_valid_utf8(std::string_view text) {
  std::size_t maximal;
  for (std::size_t i = 0; i < text.size();) {
    // Runs of ASCII, the common case, eight bytes at a time.
    while (i + 8 <= text.size()) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if ((word & 0x8080808080808080ULL) != 0) break;
      i += 8;
    }
    if (i >= text.size()) break;
    std::size_t len = utf8_sequence(text, i, maximal);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

std::string utf8_lossy(std::string_view text) {
  if (is_valid_utf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 8);
  std::size_t maximal;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = utf8_sequence(text, i, maximal);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      i += maximal;
    } else {
      out.append(text.substr(i, len));
      i += len;
    }
  }
  return out;
}

std::string path_text(const std::filesystem::path& path) { return utf8_lossy(path.native()); }

}  // namespace quarn
