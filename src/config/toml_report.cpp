#include "config/toml_report.h"

#include <algorithm>
#include <cstdint>

#include <fmt/format.h>

#include "base/output.h"

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

// Control characters would reach the terminal raw; each becomes one
// replacement character so the caret stays aligned.
std::string printable(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (char c : line) {
    auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t') || byte == 0x7F) {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

// Blanks up to the column, keeping tabs so the caret lines up under them.
std::string caret_indent(std::string_view prefix) {
  std::string out;
  for (char c : prefix) {
    if (c == '\t') {
      out += '\t';
    } else if (!is_utf8_continuation_byte(c)) {
      out += ' ';
    }
  }
  return out;
}

}  // namespace

std::string render_toml_error(std::string_view text, const toml::source_region& where, std::string_view message) {
  const auto& begin = where.begin;
  if (begin.line == 0) return fmt::format("TOML parse error\n{}", message);

  std::string_view line = source_line(text, begin.line);
  std::size_t start = byte_offset(line, begin.column);
  std::size_t width = 1;
  if (where.end.line == begin.line && where.end.column > begin.column) {
    width = where.end.column - begin.column;
  } else if (start < line.size()) {
    width = code_points(line.substr(start));
  }

  std::string number = std::to_string(begin.line);
  std::string gutter(number.size(), ' ');
  return fmt::format("TOML parse error at line {}, column {}\n{} |\n{} | {}\n{} | {}{}\n{}", begin.line, begin.column,
                     gutter, number, printable(line), gutter, caret_indent(line.substr(0, start)),
                     std::string(width, '^'), message);
}

}  // namespace quarn
