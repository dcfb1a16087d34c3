#include "base/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "base/utf8.h"

namespace quarn {

std::vector<std::string_view> split_text(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  for (std::size_t at = 0;;) {
    const std::size_t end = text.find(separator, at);
    pieces.push_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
    if (end == std::string_view::npos) return pieces;
    at = end + 1;
  }
}

std::string path_text(const std::filesystem::path& path) { return utf8_lossy(path.native()); }

namespace {

// False when all eight bytes of `word` are printable ASCII; true, maybe
// wrongly, when one may be a control character, DEL or non-ASCII.
bool needs_a_look(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  const std::uint64_t below_space = (word - kOnes * 0x20) & ~word;
  const std::uint64_t del = word ^ (kOnes * 0x7F);
  const std::uint64_t is_del = (del - kOnes) & ~del;
  return ((word | below_space | is_del) & kHighBits) != 0;
}

void append_control_escape(std::string& out, char32_t code_point) {
  switch (code_point) {
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    default:
      break;
  }
  constexpr std::string_view kHex = "0123456789abcdef";
  const char escape[] = {'\\', 'x', kHex[(code_point >> 4) & 0xF], kHex[code_point & 0xF]};
  out.append(escape, sizeof escape);
}

}  // namespace

void append_terminal_text(std::string& out, std::string_view text) {
  std::size_t kept = 0;  // where the bytes not yet appended start
  std::size_t maximal = 1;
  char32_t code_point;
  for (std::size_t i = 0; i < text.size();) {
    // Printable ASCII, the common case: eight bytes at a time, then one.
    if (i + 8 <= text.size()) {
      std::uint64_t word;
      std::memcpy(&word, text.data() + i, 8);
      if (!needs_a_look(word)) {
        i += 8;
        continue;
      }
    }
    const auto byte = static_cast<unsigned char>(text[i]);
    if (static_cast<unsigned char>(byte - 0x20) < 0x5F) {
      ++i;
      continue;
    }
    std::size_t len = 1;
    code_point = byte;
    if (byte >= 0x80) {
      len = detail::utf8_sequence(text, i, maximal, code_point);
      if (len != 0 && code_point > 0x9F) {
        i += len;
        continue;
      }
    }
    out.append(text.substr(kept, i - kept));
    if (len == 0) {
      out += kUtf8ReplacementCharacter;
      i += maximal;
    } else {
      append_control_escape(out, code_point);
      i += len;
    }
    kept = i;
  }
  out.append(text.substr(kept));
}

std::string terminal_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_terminal_text(out, text);
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
