#pragma once

#include <signal.h>

#include <filesystem>

#include "base/error.h"

namespace quarn {

// The directories and files that one write creates, removed again, newest
// first, unless the write keeps them: when this goes away, and from a
// handler when SIGINT, SIGTERM or SIGHUP ends the process meanwhile, which
// then ends by that same signal. A signal ignored at start stays ignored.
// An entry is registered only once its creation succeeded, and changes to
// the list hold the handler off, so it removes nothing that is not ours.
// One at a time per process; any thread may take the signal. Errors are the
// system's message alone.
class CreatedPaths {
 public:
  CreatedPaths();
  ~CreatedPaths();
  CreatedPaths(const CreatedPaths&) = delete;
  CreatedPaths& operator=(const CreatedPaths&) = delete;

  // Creates every missing directory of `path` (mode 0777 through the umask).
  // An existing entry that is not a directory fails with ENOTDIR.
  Result<void> create_directories(const std::filesystem::path& path);

  // Creates `path` exclusively for writing (mode 0666 through the umask) and
  // returns its descriptor; an existing entry fails with EEXIST.
  Result<int> create_file(const std::filesystem::path& path);

  // Gives the unnamed file open on `fd` the name `path`; an existing entry
  // fails with EEXIST.
  Result<void> link_file(int fd, const std::filesystem::path& path);

  // Removes `path`, the newest entry created here.
  void remove_newest(const std::filesystem::path& path);

  // Renames `from`, a file created here, over `to`; once that succeeded,
  // everything created is kept.
  Result<void> rename_and_keep(const std::filesystem::path& from, const std::filesystem::path& to);

  // Keeps everything created so far.
  void keep();

 private:
  struct sigaction previous_[3];  // of SIGINT, SIGTERM and SIGHUP
  bool installed_[3];
};

}  // namespace quarn
