#include "base/error.h"

#include <cstring>

#include <fmt/format.h>

#include "base/text.h"

namespace quarn {

std::vector<std::string> Error::messages() const {
  std::vector<std::string> texts;
  texts.reserve(chain_.size());
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) texts.push_back(it->text);
  return texts;
}

std::string Error::render() const {
  std::string out;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
    if (it != chain_.rbegin()) out += ": ";
    if (it->terminal_ready) {
      out += it->text;
    } else {
      append_terminal_text(out, it->text);
    }
  }
  return out;
}

std::unexpected<Error> fail_os(int error_number) {
  return std::unexpected(Error(os_error_message(error_number), error_number));
}

std::string os_error_message(int error_number) {
  return fmt::format("{} (os error {})", std::strerror(error_number), error_number);
}

}  // namespace quarn
