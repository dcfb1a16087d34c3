#include "config/toml_input.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "base/utf8.h"

namespace quarn {

namespace {

// \uXXXX spells one code point in six.
constexpr toml::source_index kEscapeGrowth = 5;

void advance_over(toml::source_position& at, std::string_view text) {
  for (char c : text) {
    if (c == '\n') {
      ++at.line;
      at.column = 1;
    } else if (!is_utf8_continuation_byte(c)) {
      ++at.column;
    }
  }
}

}  // namespace

toml::source_position position_at(std::string_view text, std::size_t offset) {
  toml::source_position at{1, 1};
  advance_over(at, text.substr(0, offset));
  return at;
}

TomlInput::TomlInput(std::string_view text, std::span<const UnsafeCodePoint> unsafe) : original_(text) {
  if (unsafe.empty()) return;
  std::string out;
  out.reserve(text.size() + unsafe.size() * kEscapeGrowth);
  toml::source_position at{1, 1};  // in the document
  toml::source_index line_growth = 0;
  std::size_t copied = 0;
  for (const UnsafeCodePoint& point : unsafe) {
    std::string_view before = text.substr(copied, point.span.begin - copied);
    std::string_view written = text.substr(point.span.begin, point.span.end - point.span.begin);
    out += before;
    const toml::source_index line = at.line;
    advance_over(at, before);
    if (at.line != line) line_growth = 0;
    if (point.is_string_content) {
      out += fmt::format("\\u{:04X}", static_cast<std::uint32_t>(point.value));
      escapes_.push_back({at.line, at.column + line_growth});
      line_growth += kEscapeGrowth;
    } else {
      out += kUtf8ReplacementCharacter;
      if (!first_replaced_) first_replaced_ = Replaced{at, written};
    }
    advance_over(at, written);
    copied = point.span.end;
  }
  out += text.substr(copied);
  rewritten_ = std::move(out);
}

toml::source_position TomlInput::original(toml::source_position at) const {
  auto line = std::ranges::equal_range(escapes_, at.line, {}, &toml::source_position::line);
  for (auto escape = line.end(); escape != line.begin();) {
    --escape;
    if (at.column > escape->column + kEscapeGrowth) {
      at.column -= kEscapeGrowth;
    } else if (at.column > escape->column) {
      at.column = escape->column;
    }
  }
  return at;
}

toml::source_region TomlInput::original(toml::source_region where) const {
  where.begin = original(where.begin);
  where.end = original(where.end);
  return where;
}

std::string TomlInput::original_description(std::string_view description, const toml::source_position& at) const {
  std::string out(description);
  if (!first_replaced_ || at < first_replaced_->at) return out;
  if (auto found = out.rfind(kUtf8ReplacementCharacter); found != std::string::npos) {
    out.replace(found, kUtf8ReplacementCharacter.size(), first_replaced_->written);
  }
  return out;
}

}  // namespace quarn
