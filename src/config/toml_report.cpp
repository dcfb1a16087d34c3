#include "config/toml_report.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "base/text.h"
#include "base/utf8.h"

namespace quarn {

namespace {

// Line `number` (1-based) without its line break; empty past the end.
std::string_view source_line(std::string_view text, std::uint32_t number) {
  for (std::uint32_t line = 1; line < number; ++line) {
    auto next = text.find('\n');
    if (next == std::string_view::npos) return {};
    text.remove_prefix(next + 1);
  }
  text = text.substr(0, text.find('\n'));
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text;
}

// Byte offset of the 1-based code-point column, clamped to the line's end.
std::size_t byte_offset(std::string_view line, std::uint32_t column) {
  std::size_t offset = 0;
  for (std::uint32_t seen = 1; seen < column && offset < line.size(); ++seen) {
    do ++offset;
    while (offset < line.size() && is_utf8_continuation_byte(line[offset]));
  }
  return offset;
}

std::size_t code_points(std::string_view text) {
  return static_cast<std::size_t>(std::ranges::count_if(text, [](char c) { return !is_utf8_continuation_byte(c); }));
}

// Columns `text` takes once escaped for the terminal, one per code point.
std::size_t shown_width(std::string_view text) { return code_points(terminal_text(text)); }

}  // namespace

Error render_toml_error(std::string_view text, const toml::source_region& where, std::string_view message) {
  const auto& begin = where.begin;
  if (begin.line == 0) return Error(TerminalReady{fmt::format("TOML parse error\n{}", terminal_text(message))});

  std::string_view line = source_line(text, begin.line);
  std::size_t start = byte_offset(line, begin.column);
  std::size_t width = 1;
  if (where.end.line == begin.line && where.end.column > begin.column) {
    // Each escaped control character in the region widens it.
    std::string_view region = line.substr(start, byte_offset(line, where.end.column) - start);
    width = where.end.column - begin.column + shown_width(region) - code_points(region);
  } else if (start < line.size()) {
    width = shown_width(line.substr(start));
  }

  std::string number = std::to_string(begin.line);
  std::string gutter(number.size(), ' ');
  return Error(TerminalReady{fmt::format("TOML parse error at line {}, column {}\n{} |\n{} | {}\n{} | {}{}\n{}",
                                         begin.line, begin.column, gutter, number, terminal_text(line), gutter,
                                         std::string(shown_width(line.substr(0, start)), ' '),
                                         std::string(width, '^'), terminal_text(message))});
}

}  // namespace quarn
