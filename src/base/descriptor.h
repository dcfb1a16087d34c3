#pragma once

#include <utility>

namespace quarn {

// An open file descriptor, closed when this goes away, on every path out
// (exceptions included). Move-only.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }

  int get() const { return fd_; }
  bool is_open() const { return fd_ >= 0; }

  // Closes it now: the errno of a failed close, else 0 (also when it was not
  // open).
  int close();

 private:
  int fd_ = -1;
};

}  // namespace quarn
