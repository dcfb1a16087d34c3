#include "base/descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace quarn {

int Descriptor::close() {
  if (fd_ < 0) return 0;
  // Linux releases the descriptor even when close fails, so it is never
  // closed twice.
  const int fd = std::exchange(fd_, -1);
  return ::close(fd) == 0 ? 0 : errno;
}

}  // namespace quarn
