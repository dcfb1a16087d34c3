#include "base/streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/files.h"

namespace quarn {

Result<void> write_stdout(std::string_view text) {
  if (auto written = write_all(STDOUT_FILENO, text); !written)
    return fail(std::move(written.error()).context("write standard output"));
  return {};
}

void write_stderr(std::string_view text) { (void)write_all(STDERR_FILENO, text); }

void hold_closed_standard_streams() {
  // open() takes the lowest free descriptor, so in this order each closed
  // stream gets its own; writes to a read-only one fail as on a closed one.
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    if (::open("/dev/null", O_RDONLY) < 0) return;
  }
}

}  // namespace quarn
