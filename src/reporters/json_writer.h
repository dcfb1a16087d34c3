#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

// Streams pretty-printed JSON into a string in the reports' layout: two-space
// indent, one member or element per line, ": " after keys, "[]" and "{}" for
// empty containers, no trailing newline. Writing straight to the buffer keeps
// large reports free of a document tree.
class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : out_(out) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  // The key of the next member of the current object; the value follows.
  void key(std::string_view name);

  void string(std::string_view text);

  // A whole member of the current object.
  void member(std::string_view name, std::string_view text) {
    key(name);
    string(text);
  }
  void begin_object(std::string_view name) {
    key(name);
    begin_object();
  }
  void begin_array(std::string_view name) {
    key(name);
    begin_array();
  }

 private:
  void open(char bracket);
  void close(char bracket);
  void start_item();
  void start_value();
  void newline_and_indent();

  std::string& out_;
  std::vector<bool> has_items_;  // one entry per open container
  bool after_key_ = false;
};

// A JSON number.
void append_json_number(std::string& out, std::uint64_t value);

// `text` as a JSON string literal: quotes, backslash and control characters
// escaped (short forms where JSON has them, else \u00xx in lower case),
// everything else kept as UTF-8. Ill-formed UTF-8 becomes U+FFFD.
void append_json_string(std::string& out, std::string_view text);

}  // namespace quarn
