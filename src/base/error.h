#pragma once

#include <expected>
#include <string>
#include <utility>
#include <vector>

namespace quarn {

// A message already fit for a terminal: its line breaks are meant, and
// whatever it quotes is escaped.
struct TerminalReady {
  std::string text;
};

// An error value: a root cause wrapped in context messages, outermost first
// when rendered. Every layer adds at most one message with `context`.
class Error {
 public:
  explicit Error(std::string cause) { chain_.push_back({std::move(cause), false}); }
  explicit Error(TerminalReady cause) { chain_.push_back({std::move(cause.text), true}); }
  // A system call's failure: `cause` is its message, `os_error` its errno.
  Error(std::string cause, int os_error) : os_error_(os_error) { chain_.push_back({std::move(cause), false}); }

  Error& context(std::string message) & {
    chain_.push_back({std::move(message), false});
    return *this;
  }
  Error&& context(std::string message) && {
    chain_.push_back({std::move(message), false});
    return std::move(*this);
  }

  // Messages from the outermost context to the root cause, as given.
  std::vector<std::string> messages() const;

  // The messages joined by ": ", outermost first, for a terminal: each
  // escaped as terminal_text does, unless it is TerminalReady.
  std::string render() const;

  // The errno of a root cause that is a system call's failure, else 0.
  int os_error() const { return os_error_; }

 private:
  struct Message {
    std::string text;
    bool terminal_ready;
  };
  std::vector<Message> chain_;  // root cause first
  int os_error_ = 0;
};

template <class T>
using Result = std::expected<T, Error>;

inline std::unexpected<Error> fail(std::string cause) { return std::unexpected(Error(std::move(cause))); }
inline std::unexpected<Error> fail(Error error) { return std::unexpected(std::move(error)); }

// The system's message for an errno value, e.g. "No such file or directory (os error 2)".
std::string os_error_message(int error_number);

// An error of that message that keeps the errno value.
std::unexpected<Error> fail_os(int error_number);

}  // namespace quarn
