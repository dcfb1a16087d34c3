#include "checks/catalog_detectors/number_literal.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace quarn {

std::string float_to_plain_text(double value) {
  if (std::isnan(value)) return "NaN";
  std::string out;
  if (std::signbit(value)) out.push_back('-');
  if (std::isinf(value)) return out + "inf";

  // Shortest round-trip digits come from the scientific form, e.g.
  // "1.2345e+03"; they are then laid out without an exponent.
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific);
  const std::string_view scientific(buffer, static_cast<std::size_t>(written.ptr - buffer));
  const auto e = scientific.find('e');
  char digits[32];
  std::size_t count = 0;
  for (char c : scientific.substr(0, e)) {
    if (c != '.') digits[count++] = c;
  }
  std::string_view exponent_text = scientific.substr(e + 1);
  if (!exponent_text.empty() && exponent_text.front() == '+') exponent_text.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponent_text.data(), exponent_text.data() + exponent_text.size(), exponent);

  const std::string_view all(digits, count);
  const long point = exponent + 1;  // digits before the decimal point
  if (all == "0") {
    out.push_back('0');
  } else if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out += all;
  } else if (static_cast<std::size_t>(point) >= count) {
    out += all;
    out.append(static_cast<std::size_t>(point) - count, '0');
  } else {
    out += all.substr(0, static_cast<std::size_t>(point));
    out.push_back('.');
    out += all.substr(static_cast<std::size_t>(point));
  }
  return out;
}

std::optional<std::string> number_literal_to_string(const py::Constant& constant) {
  switch (constant.value_kind) {
    case py::ConstantKind::Int:
      if (constant.text.empty()) return std::nullopt;
      return std::string(constant.text);
    case py::ConstantKind::Float:
      return float_to_plain_text(constant.number);
    default:
      return std::nullopt;
  }
}

}  // namespace quarn
