#include "base/error.h"

#include <charconv>
#include <cmath>

namespace quarn {

std::string Error::render() const {
  std::string out;
  for (auto it = chain_.rbegin(); it != chain_.rend(); ++it) {
    if (!out.empty() || it != chain_.rbegin()) out += ": ";
    out += *it;
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
