#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include "base/created_paths.h"
#include "base/descriptor.h"
#include "base/error.h"

namespace quarn {

// A file written where a path leads, as a shell's `> path` puts it there,
// and nothing of what is there changed but its contents. A regular file
// that a rename leaves indistinguishable (one link, an owner, group and mode
// that the new file can take, a writable directory, not a mount point) is
// replaced whole: the text goes to an unnamed file (or, where the file system
// has none, a temporary one registered with `created`) that takes the path
// only once complete. A missing file is made that way too. Anything else
// (a device, a fifo, a symbolic link, a hard-linked or foreign file) is
// opened through links and written in place, a regular file truncated first,
// unless it is the file standard output or standard error is writing, which
// gets the text after what it holds. A name of an inherited descriptor
// ("/dev/stdout", "/dev/stderr", "/dev/fd/N", "/proc/self/fd/N") is written
// through a copy of that descriptor. Errors are the system's message alone.
class OutputFile {
 public:
  static Result<OutputFile> open(const std::filesystem::path& path, CreatedPaths& created);

  // Writes all of `text` after what was written so far.
  Result<void> write(std::string_view text);

  // Syncs a regular file to the disk and gives a new or replacing file its
  // path; after that the text is in place.
  Result<void> finish();

 private:
  enum class Kind { in_place, unnamed, temporary };
  OutputFile(Descriptor fd, Kind kind, std::filesystem::path path, CreatedPaths& created)
      : fd_(std::move(fd)), kind_(kind), path_(std::move(path)), created_(&created) {}

  Descriptor fd_;
  Kind kind_;
  std::filesystem::path path_;
  std::filesystem::path temporary_;  // the name of a temporary file
  std::optional<mode_t> replaced_mode_;  // the mode of the file this one replaces
  CreatedPaths* created_;
  static constexpr std::size_t kWriteBehind = std::size_t{2} << 20;
  std::size_t unstarted_ = 0;  // bytes written since the disk was last started on them
};

}  // namespace quarn
