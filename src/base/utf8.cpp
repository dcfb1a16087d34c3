#include "base/utf8.h"

#include <cstddef>

namespace quarn {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the sequence at `at`: either a whole well-formed character, or the
// longest prefix of one that the input holds before going wrong (at least 1).
struct Step {
  std::size_t length;
  bool valid;
};

Step next_step(std::string_view s, std::size_t at) {
  auto lead = static_cast<unsigned char>(s[at]);
  if (lead < 0x80) return {1, true};
  std::size_t trailing;
  unsigned char low = 0x80, high = 0xBF;  // range of the first trailing byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1;
  } else if (lead == 0xE0) {
    trailing = 2, low = 0xA0;  // no overlong forms
  } else if (lead == 0xED) {
    trailing = 2, high = 0x9F;  // no surrogates
  } else if (lead >= 0xE1 && lead <= 0xEF) {
    trailing = 2;
  } else if (lead == 0xF0) {
    trailing = 3, low = 0x90;
  } else if (lead == 0xF4) {
    trailing = 3, high = 0x8F;  // nothing above U+10FFFF
  } else if (lead >= 0xF1 && lead <= 0xF3) {
    trailing = 3;
  } else {
    return {1, false};
  }
  for (std::size_t n = 1; n <= trailing; ++n) {
    if (at + n >= s.size()) return {n, false};
    auto byte = static_cast<unsigned char>(s[at + n]);
    if (byte < low || byte > high) return {n, false};
    low = 0x80, high = 0xBF;
  }
  return {trailing + 1, true};
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      ++at;
      continue;
    }
    auto step = next_step(bytes, at);
    if (!step.valid) return false;
    at += step.length;
  }
  return true;
}

void append_utf8_lossy(std::string& out, std::string_view bytes) {
  std::size_t clean_from = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    if (static_cast<unsigned char>(bytes[at]) < 0x80) {
      ++at;
      continue;
    }
    auto step = next_step(bytes, at);
    if (!step.valid) {
      out.append(bytes.substr(clean_from, at - clean_from));
      out.append(kReplacement);
      clean_from = at + step.length;
    }
    at += step.length;
  }
  out.append(bytes.substr(clean_from));
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  append_utf8_lossy(out, bytes);
  return out;
}

std::string path_text(const std::filesystem::path& path) { return utf8_lossy(path.native()); }

}  // namespace quarn
