#include "reporters/json_writer.h"

#include <cstdint>
#include <cstring>

#include <fmt/format.h>

#include "base/utf8.h"

namespace quarn {

namespace {

// Skips eight bytes at a time while none needs escaping (control
// characters, '"' and '\\'); returns the first position to examine.
std::size_t skip_plain_bytes(std::string_view text, std::size_t at) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
  auto has_zero_byte = [](std::uint64_t v) { return ((v - kOnes) & ~v & kHigh) != 0; };
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    const bool below_space = ((word - 0x20 * kOnes) & ~word & kHigh) != 0;
    if (below_space || has_zero_byte(word ^ ('"' * kOnes)) || has_zero_byte(word ^ ('\\' * kOnes))) break;
  }
  return at;
}

void append_escaped(std::string& out, std::string_view text) {
  constexpr char kHex[] = "0123456789abcdef";
  std::size_t clean_from = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    at = skip_plain_bytes(text, at);
    if (at >= text.size()) break;
    auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
    out.append(text.substr(clean_from, at - clean_from));
    clean_from = at + 1;
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        out += "\\u00";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
  }
  out.append(text.substr(clean_from));
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
  out += '"';
  if (is_valid_utf8(text)) {
    append_escaped(out, text);
  } else {
    append_escaped(out, utf8_lossy(text));
  }
  out += '"';
}

void append_json_number(std::string& out, std::uint64_t value) {
  const fmt::format_int digits(value);
  out.append(digits.data(), digits.size());
}

void JsonWriter::key(std::string_view name) {
  start_item();
  append_json_string(out_, name);
  out_ += ": ";
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  start_value();
  append_json_string(out_, text);
}

void JsonWriter::open(char bracket) {
  start_value();
  out_ += bracket;
  has_items_.push_back(false);
}

void JsonWriter::close(char bracket) {
  bool had_items = has_items_.back();
  has_items_.pop_back();
  if (had_items) newline_and_indent();
  out_ += bracket;
}

void JsonWriter::start_item() {
  if (has_items_.empty()) return;
  if (has_items_.back()) out_ += ',';
  has_items_.back() = true;
  newline_and_indent();
}

// A value after a key continues the key's line; any other value is an array
// element (or the document itself) and starts its own.
void JsonWriter::start_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  start_item();
}

void JsonWriter::newline_and_indent() {
  out_ += '\n';
  out_.append(2 * has_items_.size(), ' ');
}

}  // namespace quarn
