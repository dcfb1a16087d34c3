#include "config/key_depth.h"

#include <vector>

namespace quarn {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

bool is_bare_key_character(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

bool is_key_start(char c) { return is_bare_key_character(c) || c == '"' || c == '\''; }

bool ends_scalar(char c) {
  return is_space(c) || c == '\r' || c == '\n' || c == ',' || c == ']' || c == '}' || c == '#';
}

// One pass over the document. Nesting is tracked on an explicit stack, so
// that no input, however deep, deepens the scanner's own call stack.
class KeyDepthScanner {
 public:
  KeyDepthScanner(std::string_view text, std::size_t limit) : text_(text), limit_(limit) {}

  std::optional<TextSpan> run() {
    while (!found_ && skip_gaps()) {
      if (peek() == '[') {
        table_header();
      } else if (is_key_start(peek())) {
        key_value_line();
      } else {
        skip_line();
      }
    }
    return found_;
  }

 private:
  // An array, or an inline table, and the depth of the node it is.
  struct Open {
    bool is_array;
    std::size_t depth;
  };

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
      char c = peek();
      if (c == '#') {
        skip_comment();
      } else if (is_space(c) || c == '\r' || c == '\n') {
        ++pos_;
      } else {
        return true;
      }
    }
    return false;
  }

  void skip_line() {
    skip_comment();
    if (!at_end()) ++pos_;
  }

  // [a.b] and [[a.b]]: the header's parts set the depth of the keys below it.
  void table_header() {
    ++pos_;
    if (peek() == '[') ++pos_;
    skip_spaces();
    table_depth_ = key(0);
    if (!found_) skip_line();
  }

  void key_value_line() {
    std::size_t depth = key(table_depth_);
    if (found_) return;
    skip_spaces();
    if (peek() == '=') {
      ++pos_;
      skip_spaces();
      value(depth);
    }
    if (!found_) skip_line();
  }

  // The parts of one key, the first one level below `depth`. Returns the
  // depth of the last part.
  std::size_t key(std::size_t depth) {
    while (is_key_start(peek())) {
      std::size_t begin = pos_;
      key_part();
      if (++depth > limit_) {
        found_ = TextSpan{begin, pos_};
        return depth;
      }
      skip_spaces();
      if (peek() != '.') break;
      ++pos_;
      skip_spaces();
    }
    return depth;
  }

  void key_part() {
    char c = peek();
    if (c == '"' || c == '\'') {
      single_line_string(c);
    } else {
      while (is_bare_key_character(peek())) ++pos_;
    }
  }

  // A value and everything nested in it, which may span lines.
  void value(std::size_t depth) {
    std::vector<Open> open;
    one_value(depth, open);
    while (!found_ && !open.empty() && skip_gaps()) {
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
        ++pos_;
      }
    }
  }

  void inline_table_entry(std::size_t table_depth, std::vector<Open>& open) {
    std::size_t depth = key(table_depth);
    if (found_) return;
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
      ++pos_;
      open.push_back({c == '[', depth});
    } else if (c == '"' || c == '\'') {
      string_value(c);
    } else {
      while (!at_end() && !ends_scalar(peek())) ++pos_;
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
      char c = peek();
      ++pos_;
      if (c == '\\' && quote == '"' && !at_end()) ++pos_;
    }
  }

  std::string_view text_;
  std::size_t limit_;
  std::size_t pos_ = 0;
  std::size_t table_depth_ = 0;
  std::optional<TextSpan> found_;
};

}  // namespace

std::optional<TextSpan> find_key_deeper_than(std::string_view text, std::size_t limit) {
  return KeyDepthScanner(text, limit).run();
}

}  // namespace quarn
