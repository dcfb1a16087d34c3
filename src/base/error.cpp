#include "base/error.h"

#include <charconv>
#include <cmath>

#include "base/output.h"

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

std::string float_text(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  char buffer[1100];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  std::string text(buffer, result.ptr);
  if (text.find('.') == std::string::npos) text += ".0";
  return text;
}

}  // namespace quarn
