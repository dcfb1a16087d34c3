#include "base/output_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cerrno>
#include <optional>
#include <string_view>

#include <fmt/format.h>

#include "base/files.h"

namespace quarn {

namespace {

namespace fs = std::filesystem;

// Tries for a fresh temporary name beside a replaced file before giving up.
constexpr int kTemporaryNameAttempts = 100;

// A short name of our own, so that a long target name cannot push it past
// the name limit.
fs::path temporary_name(const fs::path& path, int attempt) {
  return path.parent_path() / fmt::format(".quarn-{}-{}.tmp", ::getpid(), attempt);
}

// What a directory that may not be written in gives.
bool is_refusal(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// True when `path` lies on another mount than its directory (a file
// mounted over it, as containers do), which no rename may replace.
bool is_mount_point(const fs::path& path, const fs::path& directory) {
  struct statx file {};
  struct statx parent {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &file) != 0 ||
      ::statx(AT_FDCWD, directory.c_str(), 0, STATX_MNT_ID, &parent) != 0)
    return false;
  if ((file.stx_mask & parent.stx_mask & STATX_MNT_ID) != 0) return file.stx_mnt_id != parent.stx_mnt_id;
  return file.stx_dev_major != parent.stx_dev_major || file.stx_dev_minor != parent.stx_dev_minor;
}

// Gives the new file on `fd` the owner, group and mode of `old`: false when
// it cannot take them all.
bool take_attributes(int fd, const struct stat& old) {
  struct stat now;
  if (::fstat(fd, &now) != 0) return false;
  if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
    return false;
  // After the owner: a change of owner clears the set-ID bits.
  if (::fchmod(fd, old.st_mode & 07777) != 0 || ::fstat(fd, &now) != 0) return false;
  return now.st_uid == old.st_uid && now.st_gid == old.st_gid && (now.st_mode & 07777) == (old.st_mode & 07777);
}

// An unnamed file in `directory` (mode 0666 through the umask), or none
// where the file system cannot make one or /proc is not there to name it by.
Result<std::optional<Descriptor>> open_unnamed(const fs::path& directory) {
  if (::access("/proc/self/fd", X_OK) != 0) return std::nullopt;
  Descriptor fd(::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (fd.is_open()) return std::optional(std::move(fd));
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) return std::nullopt;
  return fail_os(errno);
}

// The file that standard output or standard error writes, when `info` is it.
bool is_a_standard_stream(const struct stat& info) {
  for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat stream;
    if (::fstat(fd, &stream) == 0 && stream.st_dev == info.st_dev && stream.st_ino == info.st_ino) return true;
  }
  return false;
}

// Opens what `path` leads to for writing, as `> path` does, creating a
// missing target of a link; a regular file is emptied first, unless a
// standard stream writes it: then the text follows what it holds.
Result<Descriptor> open_in_place(const fs::path& path) {
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
  if (!fd.is_open()) return fail_os(errno);
  struct stat info;
  if (::fstat(fd.get(), &info) != 0) return fail_os(errno);
  if (S_ISREG(info.st_mode)) {
    const bool emptied =
        is_a_standard_stream(info) ? ::lseek(fd.get(), 0, SEEK_END) >= 0 : ::ftruncate(fd.get(), 0) == 0;
    if (!emptied) return fail_os(errno);
  }
  return fd;
}

// Calls `attempt` with temporary names beside `path` while the name is
// taken, leaving in `name` the last one tried.
template <class Attempt>
auto under_a_fresh_name(const fs::path& path, fs::path& name, const Attempt& attempt) {
  auto result = attempt(name = temporary_name(path, 0));
  for (int n = 1; !result && result.error().os_error() == EEXIST && n < kTemporaryNameAttempts; ++n)
    result = attempt(name = temporary_name(path, n));
  return result;
}

// A new file that is to take `path` once written: unnamed, or where that
// cannot be, under a temporary name registered with `created`.
struct NewFile {
  Descriptor fd;
  fs::path temporary;  // empty for an unnamed file
};

Result<NewFile> open_new_file(const fs::path& path, const fs::path& directory, CreatedPaths& created) {
  auto unnamed = open_unnamed(directory);
  if (!unnamed) return fail(std::move(unnamed.error()));
  if (*unnamed) return NewFile{std::move(**unnamed), {}};
  NewFile file;
  auto opened = under_a_fresh_name(path, file.temporary, [&](const fs::path& name) { return created.create_file(name); });
  if (!opened) return fail(std::move(opened.error()));
  file.fd = Descriptor(*opened);
  return file;
}

// The descriptor that a name of an inherited stream stands for
// ("/dev/stdout", "/dev/fd/N" as a shell's process substitution gives, ...),
// or none for any other path.
std::optional<int> inherited_stream(const fs::path& path) {
  std::string_view name = path.native();
  if (name == "/dev/stdout") return STDOUT_FILENO;
  if (name == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view directory : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(directory)) continue;
    name.remove_prefix(directory.size());
    int fd = -1;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fd);
    if (error == std::errc() && end == name.data() + name.size() && fd >= 0) return fd;
  }
  return std::nullopt;
}

}  // namespace

Result<OutputFile> OutputFile::open(const fs::path& path, CreatedPaths& created) {
  if (path.empty()) return fail_os(ENOENT);
  // An inherited stream is written through a copy of its descriptor, which
  // reaches it where opening its name again could not (a pipe or a socket
  // of another user, a terminal), at its own position.
  if (const std::optional<int> stream = inherited_stream(path)) {
    Descriptor fd(::fcntl(*stream, F_DUPFD_CLOEXEC, 0));
    if (!fd.is_open()) return fail_os(errno);
    return OutputFile(std::move(fd), Kind::in_place, path, created);
  }
  const fs::path directory = path.has_parent_path() ? path.parent_path() : fs::path(".");
  struct stat old;
  const bool exists = ::lstat(path.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return fail_os(errno);
  if (!exists || (S_ISREG(old.st_mode) && old.st_nlink == 1 && !is_a_standard_stream(old) &&
                  !is_mount_point(path, directory))) {
    // A directory that refuses a new file gets the old one written in place.
    auto made = open_new_file(path, directory, created);
    if (!made && !(exists && is_refusal(made.error().os_error()))) return fail(std::move(made.error()));
    if (made) {
      if (!exists || take_attributes(made->fd.get(), old)) {
        const Kind kind = made->temporary.empty() ? Kind::unnamed : Kind::temporary;
        OutputFile file(std::move(made->fd), kind, path, created);
        file.temporary_ = std::move(made->temporary);
        if (exists) file.replaced_mode_ = old.st_mode & 07777;
        return file;
      }
      made->fd.close();
      if (!made->temporary.empty()) created.remove_newest(made->temporary);
    }
  }
  auto fd = open_in_place(path);
  if (!fd) return fail(std::move(fd.error()));
  return OutputFile(std::move(*fd), Kind::in_place, path, created);
}

Result<void> OutputFile::write(std::string_view text) {
  if (auto written = write_all(fd_.get(), text); !written) return written;
  // The disk starts on what is written while the rest is made, so that the
  // sync at the end finds little left to do. Only a file takes this; what
  // fails here, the sync reports.
  unstarted_ += text.size();
  if (unstarted_ >= kWriteBehind) {
    (void)::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    unstarted_ = 0;
  }
  return {};
}

Result<void> OutputFile::finish() {
  // Writing clears the set-ID bits of a file that an unprivileged process
  // writes: the replacing file gets them again.
  if (replaced_mode_ && ::fchmod(fd_.get(), *replaced_mode_) != 0) return fail_os(errno);
  struct stat info;
  if (::fstat(fd_.get(), &info) != 0) return fail_os(errno);
  if (S_ISREG(info.st_mode) && ::fsync(fd_.get()) != 0) return fail_os(errno);
  if (kind_ == Kind::unnamed) {
    // A new file takes its path at once; a replacing one a temporary name
    // first, which the rename then moves over the old file.
    if (!replaced_mode_) {
      if (auto linked = created_->link_file(fd_.get(), path_); !linked) return linked;
    } else if (auto linked = under_a_fresh_name(
                   path_, temporary_, [&](const fs::path& name) { return created_->link_file(fd_.get(), name); });
               !linked) {
      return linked;
    }
  }
  if (const int error = fd_.close(); error != 0) return fail_os(error);
  if (kind_ == Kind::temporary || replaced_mode_) return created_->rename_and_keep(temporary_, path_);
  created_->keep();
  return {};
}

}  // namespace quarn
