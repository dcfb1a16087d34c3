#include "config/toml_scan.h"

#include <vector>

#include "base/utf8.h"

namespace quarn {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

bool is_blank_or_line_break(char c) { return is_space(c) || c == '\r' || c == '\n'; }

bool is_bare_key_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool is_key_start(char c) { return is_bare_key_character(c) || c == '"' || c == '\''; }

bool ends_scalar(char c) { return is_blank_or_line_break(c) || c == ',' || c == ']' || c == '}' || c == '#'; }

// toml++ 3.3 tells non-ASCII whitespace apart with a generated lookup whose
// switch misses three blocks of code points: for them it reaches
// __builtin_unreachable, which is undefined behaviour.
bool trips_whitespace_lookup(char32_t c) {
  if (c < 0xA1 || c > 0xFEFE || c == 0x3000) return false;
  const char32_t block = (c - 0xA0) / 0x3FA;
  return block == 0 || block == 11 || block == 63;
}

struct CodePoint {
  char32_t value;
  std::size_t length;
};

// An invalid sequence reads as one byte that is no whitespace candidate;
// toml++ refuses it before testing anything.
CodePoint code_point_at(std::string_view text, std::size_t pos) {
  char32_t value;
  const std::size_t length = decode_utf8(text, pos, value);
  if (length == 0) return {0, 1};
  return {value, length};
}

// One pass over the document. Nesting is tracked on an explicit stack, so
// that no input, however deep, deepens the scanner's own call stack.
class TomlScanner {
 public:
  TomlScanner(std::string_view text, std::size_t depth_limit, std::size_t nesting_limit)
      : text_(text), limit_(depth_limit), nesting_limit_(nesting_limit) {}

  TomlScan run() {
    while (!stopped() && skip_gaps()) {
      if (peek() == '[') {
        table_header();
      } else if (is_key_start(peek())) {
        key_value_line();
      } else {
        rest_of_line();
      }
    }
    return std::move(scan_);
  }

 private:
  // An array, or an inline table, and the depth of the node it is.
  struct Open {
    bool is_array;
    std::size_t depth;
  };

  bool stopped() const { return scan_.too_deep || scan_.too_nested; }

  // Ends the scan at `span`; nothing from there on counts.
  void stop(std::optional<TextSpan>& at, TextSpan span) {
    at = span;
    std::erase_if(scan_.unsafe, [&](const UnsafeCodePoint& point) { return point.span.begin >= span.begin; });
  }

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }
  bool looking_at(std::string_view what) const { return text_.substr(pos_).starts_with(what); }

  void skip_spaces() {
    while (is_space(peek())) ++pos_;
  }

  void skip_comment() {
    while (!at_end() && peek() != '\n') ++pos_;
  }

  // Blanks, line breaks and comments; false at the end of the text.
  bool skip_gaps() {
    while (!at_end()) {
      if (peek() == '#') {
        skip_comment();
      } else if (is_blank_or_line_break(peek())) {
        ++pos_;
      } else {
        return true;
      }
    }
    return false;
  }

  // Steps over one code point that toml++ tests for whitespace: any outside
  // strings and comments, and a few in multi-line basic strings.
  void step_tested(bool is_string_content = false) {
    const std::size_t begin = pos_;
    const CodePoint c = code_point_at(text_, pos_);
    pos_ += c.length;
    if (trips_whitespace_lookup(c.value)) scan_.unsafe.push_back({{begin, pos_}, c.value, is_string_content});
  }

  // What follows a statement on its line: blanks, a comment, or text the
  // parser refuses.
  void rest_of_line() {
    while (!at_end() && peek() != '\n') {
      if (peek() == '#') {
        skip_comment();
      } else {
        step_tested();
      }
    }
    if (!at_end()) ++pos_;
  }

  // [a.b] and [[a.b]]: the header's parts set the depth of the keys below it.
  void table_header() {
    ++pos_;
    if (peek() == '[') ++pos_;
    skip_spaces();
    table_depth_ = key(0);
    if (!stopped()) rest_of_line();
  }

  void key_value_line() {
    std::size_t depth = key(table_depth_);
    if (stopped()) return;
    skip_spaces();
    if (peek() == '=') {
      ++pos_;
      skip_spaces();
      value(depth);
    }
    if (!stopped()) rest_of_line();
  }

  // The parts of one key, the first one level below `depth`. Returns the
  // depth of the last part.
  std::size_t key(std::size_t depth) {
    while (is_key_start(peek())) {
      std::size_t begin = pos_;
      key_part();
      if (++depth > limit_) {
        stop(scan_.too_deep, {begin, pos_});
        return depth;
      }
      skip_spaces();
      if (peek() != '.') break;
      ++pos_;
      skip_spaces();
    }
    return depth;
  }

  // toml++ reads a quoted part like any string, multi-line ones included,
  // before it refuses those.
  void key_part() {
    char c = peek();
    if (c == '"' || c == '\'') {
      string_value(c);
    } else {
      while (is_bare_key_character(peek())) ++pos_;
    }
  }

  // A value and everything nested in it, which may span lines.
  void value(std::size_t depth) {
    std::vector<Open> open;
    one_value(depth, open);
    while (!stopped() && !open.empty() && skip_gaps()) {
      const Open top = open.back();
      char c = peek();
      if (c == ',') {
        ++pos_;
      } else if (c == ']' || c == '}') {
        ++pos_;
        open.pop_back();
      } else if (top.is_array) {
        one_value(top.depth + 1, open);
      } else if (is_key_start(c)) {
        inline_table_entry(top.depth, open);
      } else {
        step_tested();
      }
    }
  }

  void inline_table_entry(std::size_t table_depth, std::vector<Open>& open) {
    std::size_t depth = key(table_depth);
    if (stopped()) return;
    skip_spaces();
    if (peek() != '=') return;
    ++pos_;
    skip_spaces();
    one_value(depth, open);
  }

  // Skips a string or scalar; an array or inline table is opened instead.
  void one_value(std::size_t depth, std::vector<Open>& open) {
    char c = peek();
    if (c == '[' || c == '{') {
      if (open.size() >= nesting_limit_) {
        stop(scan_.too_nested, {pos_, pos_ + 1});
        return;
      }
      ++pos_;
      open.push_back({c == '[', depth});
    } else if (c == '"' || c == '\'') {
      string_value(c);
    } else {
      while (!at_end() && !ends_scalar(peek())) step_tested();
    }
  }

  void string_value(char quote) {
    const char triple[] = {quote, quote, quote, '\0'};
    if (looking_at(triple)) {
      multi_line_string(quote, triple);
    } else {
      single_line_string(quote);
    }
  }

  // Ends after the closing quote, or before the line break of an
  // unterminated string.
  void single_line_string(char quote) {
    ++pos_;
    while (!at_end() && peek() != '\n') {
      char c = peek();
      ++pos_;
      if (c == quote) return;
      if (c == '\\' && quote == '"' && peek() != '\n' && !at_end()) ++pos_;
    }
  }

  // Up to two quotes right before the closing three belong to the string.
  void multi_line_string(char quote, std::string_view triple) {
    pos_ += triple.size();
    while (!at_end()) {
      if (looking_at(triple)) {
        pos_ += triple.size();
        for (int extra = 0; extra < 2 && peek() == quote; ++extra) ++pos_;
        return;
      }
      if (quote == '"' && peek() == '\\') {
        multi_line_escape();
      } else {
        ++pos_;
      }
    }
  }

  // toml++ tests the character after the backslash for whitespace, and
  // after a line-ending backslash the first character past the blanks and
  // line breaks it removes.
  void multi_line_escape() {
    ++pos_;
    if (at_end()) return;
    if (!is_blank_or_line_break(peek())) {
      step_tested();  // an escape letter, or an error
      return;
    }
    while (is_blank_or_line_break(peek())) ++pos_;
    if (!at_end() && peek() != '"' && peek() != '\\') step_tested(true);
  }

  std::string_view text_;
  std::size_t limit_;
  std::size_t nesting_limit_;
  std::size_t pos_ = 0;
  std::size_t table_depth_ = 0;
  TomlScan scan_;
};

}  // namespace

TomlScan scan_toml(std::string_view text, std::size_t depth_limit, std::size_t nesting_limit) {
  return TomlScanner(text, depth_limit, nesting_limit).run();
}

}  // namespace quarn
