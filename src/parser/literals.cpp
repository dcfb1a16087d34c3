#include "parser/literals.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <vector>

#include "parser/unicode_tables.h"

namespace quarn::py {
namespace {

// Hex, octal and binary literals are converted to decimal only up to this
// many bits: the conversion is quadratic and nothing needs larger values.
constexpr std::size_t kMaxConvertedBits = 65536;
constexpr char32_t kReplacementCharacter = 0xFFFD;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_octal(char c) { return c >= '0' && c <= '7'; }

char ascii_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_surrogate(char32_t cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// `cp` is a scalar value: never a surrogate.
void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// "CJK UNIFIED IDEOGRAPH-4E00" (upper-case hex, 4 or 5 digits).
std::optional<char32_t> lookup_cjk_name(std::string_view name) {
  constexpr std::string_view kPrefix = "CJK UNIFIED IDEOGRAPH-";
  if (!name.starts_with(kPrefix)) return std::nullopt;
  std::string_view hex = name.substr(kPrefix.size());
  if (hex.size() != 4 && hex.size() != 5) return std::nullopt;
  char32_t cp = 0;
  for (char c : hex) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return std::nullopt;
    cp = cp * 16 + hex_value(c);
  }
  if (!unicode::in_ranges(unicode::cjk_unified_ideographs, cp)) return std::nullopt;
  return cp;
}

// Longest jamo short name that starts `rest`; the empty name always matches.
int match_jamo(std::string_view& rest, std::span<const std::string_view> jamo) {
  int best = -1;
  std::size_t best_len = 0;
  for (std::size_t i = 0; i < jamo.size(); ++i) {
    if (rest.starts_with(jamo[i]) && (best < 0 || jamo[i].size() > best_len)) {
      best = static_cast<int>(i);
      best_len = jamo[i].size();
    }
  }
  rest.remove_prefix(best_len);
  return best;
}

// "HANGUL SYLLABLE GAG": composed from the jamo short names.
std::optional<char32_t> lookup_hangul_name(std::string_view name) {
  constexpr std::string_view kPrefix = "HANGUL SYLLABLE ";
  if (!name.starts_with(kPrefix)) return std::nullopt;
  std::string_view rest = name.substr(kPrefix.size());
  int lead = match_jamo(rest, unicode::hangul_lead);
  int vowel = match_jamo(rest, unicode::hangul_vowel);
  int trail = match_jamo(rest, unicode::hangul_trail);
  if (lead < 0 || vowel < 0 || trail < 0 || !rest.empty()) return std::nullopt;
  return unicode::hangul_base +
         static_cast<char32_t>((lead * unicode::hangul_vowel_count + vowel) * unicode::hangul_trail_count + trail);
}

std::string_view table_name(std::string_view line) { return line.substr(0, line.find('\t')); }

// The names table is sorted "NAME\tHEX\n" lines; binary search over byte
// positions, snapping each probe back to the start of its line.
std::optional<char32_t> lookup_table_name(std::string_view upper) {
  std::string_view table = unicode::character_names;
  std::size_t lo = 0, hi = table.size();  // lo and hi are line starts
  while (lo < hi) {
    std::size_t mid = lo + (hi - lo) / 2;
    std::size_t line_start = table.rfind('\n', mid == 0 ? 0 : mid - 1);
    line_start = (line_start == std::string_view::npos || mid == 0) ? 0 : line_start + 1;
    if (line_start < lo) line_start = lo;
    std::size_t line_end = table.find('\n', line_start);
    std::string_view line = table.substr(line_start, line_end - line_start);
    std::string_view name = table_name(line);
    if (name == upper) {
      char32_t cp = 0;
      for (char c : line.substr(name.size() + 1)) cp = cp * 16 + hex_value(c);
      return cp;
    }
    if (name < upper) {
      lo = line_end + 1;
    } else {
      hi = line_start;
    }
  }
  return std::nullopt;
}

// \N{...}: names and aliases compare without regard to ASCII case; the
// computed CJK and Hangul names only in upper case, as in Python.
std::optional<char32_t> lookup_character_name(std::string_view name) {
  if (auto cp = lookup_cjk_name(name)) return cp;
  if (auto cp = lookup_hangul_name(name)) return cp;
  if (name.empty() || name.size() > 128) return std::nullopt;
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(), ascii_upper);
  return lookup_table_name(upper);
}

// Decodes a literal body (between the quotes), appending to out. Offsets in
// errors are relative to the body; the caller adds where the body starts.
class BodyDecoder {
 public:
  BodyDecoder(std::string_view body, bool raw, bool bytes, bool fstring, std::string& out)
      : body_(body), raw_(raw), bytes_(bytes), fstring_(fstring), out_(out) {}

  std::optional<LexError> run() {
    out_.reserve(out_.size() + body_.size());
    while (i_ < body_.size()) {
      char c = body_[i_];
      if (c == '\r') {
        // Line ends reach the value as "\n", whatever the file uses.
        out_ += '\n';
        i_ += i_ + 1 < body_.size() && body_[i_ + 1] == '\n' ? 2 : 1;
      } else if (bytes_ && static_cast<unsigned char>(c) >= 0x80) {
        return LexError{"bytes can only contain ASCII literal characters", static_cast<std::uint32_t>(i_)};
      } else if (fstring_ && (c == '{' || c == '}')) {
        // "{{" and "}}" stand for one brace.
        out_ += c;
        i_ += i_ + 1 < body_.size() && body_[i_ + 1] == c ? 2 : 1;
      } else if (c == '\\' && !raw_) {
        if (auto error = escape()) return error;
      } else {
        out_ += c;
        ++i_;
      }
    }
    return std::nullopt;
  }

 private:
  LexError error(std::string message, std::size_t at) const {
    return LexError{std::move(message), static_cast<std::uint32_t>(at)};
  }

  // A lone surrogate has no UTF-8 form: the text keeps one replacement
  // character in its place.
  void append_code(char32_t cp) {
    if (bytes_) {
      out_ += static_cast<char>(cp & 0xFF);
    } else {
      append_utf8(out_, is_surrogate(cp) ? kReplacementCharacter : cp);
    }
  }

  // Reads exactly `digits` hex digits after the escape letter.
  std::optional<char32_t> fixed_hex(std::size_t from, int digits) const {
    if (from + digits > body_.size()) return std::nullopt;
    char32_t v = 0;
    for (int k = 0; k < digits; ++k) {
      int h = hex_value(body_[from + k]);
      if (h < 0) return std::nullopt;
      v = v * 16 + h;
    }
    return v;
  }

  std::optional<LexError> escape() {
    std::size_t start = i_;
    if (i_ + 1 >= body_.size()) {
      // Only an f-string piece can end in a backslash ("\{" before a field).
      out_ += '\\';
      ++i_;
      return std::nullopt;
    }
    char c = body_[i_ + 1];
    i_ += 2;
    switch (c) {
      case '\n': return std::nullopt;
      case '\r':
        if (i_ < body_.size() && body_[i_] == '\n') ++i_;
        return std::nullopt;
      case '\\': out_ += '\\'; return std::nullopt;
      case '\'': out_ += '\''; return std::nullopt;
      case '"': out_ += '"'; return std::nullopt;
      case 'a': out_ += '\a'; return std::nullopt;
      case 'b': out_ += '\b'; return std::nullopt;
      case 'f': out_ += '\f'; return std::nullopt;
      case 'n': out_ += '\n'; return std::nullopt;
      case 'r': out_ += '\r'; return std::nullopt;
      case 't': out_ += '\t'; return std::nullopt;
      case 'v': out_ += '\v'; return std::nullopt;
      case '0': case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
        char32_t v = c - '0';
        for (int k = 0; k < 2 && i_ < body_.size() && is_octal(body_[i_]); ++k) v = v * 8 + (body_[i_++] - '0');
        append_code(v);
        return std::nullopt;
      }
      case 'x': {
        auto v = fixed_hex(i_, 2);
        if (!v) return error("truncated \\xXX escape", start);
        i_ += 2;
        append_code(*v);
        return std::nullopt;
      }
      case 'u':
      case 'U': {
        if (bytes_) break;
        int digits = c == 'u' ? 4 : 8;
        auto v = fixed_hex(i_, digits);
        if (!v) return error(c == 'u' ? "truncated \\uXXXX escape" : "truncated \\UXXXXXXXX escape", start);
        if (*v > 0x10FFFF) return error("illegal Unicode character", start);
        i_ += digits;
        append_code(*v);
        return std::nullopt;
      }
      case 'N': {
        if (bytes_) break;
        std::size_t close = i_ < body_.size() && body_[i_] == '{' ? body_.find('}', i_) : std::string_view::npos;
        if (close == std::string_view::npos || close == i_ + 1) {
          return error("malformed \\N character escape", start);
        }
        auto cp = lookup_character_name(body_.substr(i_ + 1, close - i_ - 1));
        if (!cp) return error("unknown Unicode character name", start);
        i_ = close + 1;
        append_code(*cp);
        return std::nullopt;
      }
      default:
        break;
    }
    // Not an escape: the backslash stays, the next character is read as usual.
    out_ += '\\';
    i_ = start + 1;
    return std::nullopt;
  }

  std::string_view body_;
  bool raw_;
  bool bytes_;
  bool fstring_;
  std::string& out_;
  std::size_t i_ = 0;
};

// Appends the decimal digits of a hex, octal or binary digit string
// (underscores already removed) to `out`.
void based_to_decimal(std::string_view digits, int bits_per_digit, std::string& out) {
  // Little-endian limbs of nine decimal digits.
  constexpr std::uint64_t kLimb = 1'000'000'000;
  std::vector<std::uint32_t> limbs;
  auto shift_in = [&](std::uint64_t chunk, int bits) {
    std::uint64_t carry = chunk;
    for (auto& limb : limbs) {
      std::uint64_t v = (static_cast<std::uint64_t>(limb) << bits) + carry;
      limb = static_cast<std::uint32_t>(v % kLimb);
      carry = v / kLimb;
    }
    while (carry) {
      limbs.push_back(static_cast<std::uint32_t>(carry % kLimb));
      carry /= kLimb;
    }
  };
  // Feed up to 30 bits at a time so that limb << bits stays below 2^64.
  std::uint64_t chunk = 0;
  int chunk_bits = 0;
  for (char c : digits) {
    chunk = (chunk << bits_per_digit) | static_cast<std::uint64_t>(hex_value(c));
    chunk_bits += bits_per_digit;
    if (chunk_bits + bits_per_digit > 30) {
      shift_in(chunk, chunk_bits);
      chunk = 0;
      chunk_bits = 0;
    }
  }
  if (chunk_bits) shift_in(chunk, chunk_bits);
  if (limbs.empty()) {
    out += '0';
    return;
  }
  out += std::to_string(limbs.back());
  for (std::size_t k = limbs.size() - 1; k-- > 0;) out += fmt::format("{:09}", limbs[k]);
}

bool parse_double(std::string_view text, double& value) {
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow and underflow; strtod
    // gives the IEEE result (inf or a rounded tiny value), as Python does.
    std::string copy(text);
    value = std::strtod(copy.c_str(), nullptr);
    return true;
  }
  return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

StringPrefix string_prefix(std::string_view token_text) {
  StringPrefix p;
  std::size_t i = 0;
  for (; i < token_text.size(); ++i) {
    char c = token_text[i];
    if (c == 'r' || c == 'R') {
      p.raw = true;
    } else if (c == 'b' || c == 'B') {
      p.bytes = true;
    } else if (c == 'f' || c == 'F') {
      p.fstring = true;
    } else if (c == 'u' || c == 'U') {
      p.unicode = true;
    } else {
      break;
    }
  }
  p.length = static_cast<std::uint32_t>(i);
  if (i < token_text.size()) p.quote = token_text[i];
  // A bare '' is an empty one-quote literal: three quotes need a third byte.
  bool triple = i + 2 < token_text.size() && token_text[i + 1] == p.quote && token_text[i + 2] == p.quote;
  p.quote_len = triple ? 3 : 1;
  return p;
}

std::optional<LexError> decode_string_token(std::string_view token_text, std::string& out, bool& is_bytes) {
  StringPrefix p = string_prefix(token_text);
  is_bytes = p.bytes;
  std::size_t open = p.length + p.quote_len;
  if (token_text.size() < open + p.quote_len) {
    return LexError{"malformed string literal", 0};
  }
  std::string_view body = token_text.substr(open, token_text.size() - open - p.quote_len);
  auto error = BodyDecoder(body, p.raw, p.bytes, false, out).run();
  if (error) error->offset += static_cast<std::uint32_t>(open);
  return error;
}

std::optional<LexError> decode_fstring_middle(std::string_view raw_text, bool raw, std::string& out) {
  return BodyDecoder(raw_text, raw, false, true, out).run();
}

std::expected<NumberLiteral, LexError> decode_number(std::string_view token_text) {
  std::string clean;
  clean.reserve(token_text.size());
  for (char c : token_text) {
    if (c != '_') clean += c;
  }
  auto malformed = [&] { return std::unexpected(LexError{"invalid number literal", 0}); };
  if (clean.empty()) return malformed();

  NumberLiteral n;
  char last = clean.back();
  if (last == 'j' || last == 'J') {
    n.kind = NumberLiteral::Kind::Complex;
    if (!parse_double(std::string_view(clean).substr(0, clean.size() - 1), n.value)) return malformed();
    return n;
  }
  if (clean.size() > 2 && clean[0] == '0' && std::string_view("xXoObB").find(clean[1]) != std::string_view::npos) {
    char base = static_cast<char>(clean[1] | 0x20);
    int bits = base == 'x' ? 4 : base == 'o' ? 3 : 1;
    int limit = 1 << bits;
    std::string_view digits = std::string_view(clean).substr(2);
    for (char c : digits) {
      int v = hex_value(c);
      if (v < 0 || v >= limit) return malformed();
    }
    std::size_t first = digits.find_first_not_of('0');
    digits = first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
    if (digits.size() * bits <= kMaxConvertedBits) based_to_decimal(digits, bits, n.decimal);
    return n;
  }
  if (clean.find_first_of(".eE") != std::string::npos) {
    n.kind = NumberLiteral::Kind::Float;
    if (!parse_double(clean, n.value)) return malformed();
    return n;
  }
  if (clean.find_first_not_of("0123456789") != std::string::npos) return malformed();
  std::size_t first = clean.find_first_not_of('0');
  n.decimal = first == std::string::npos ? "0" : clean.substr(first);
  if (n.decimal.size() > kMaxDecimalDigits) {
    return std::unexpected(LexError{
        fmt::format("Exceeds the limit ({} digits) for integer string conversion: value has {} digits; "
                    "use hexadecimal for huge integer literals",
                    kMaxDecimalDigits, n.decimal.size()),
        0});
  }
  return n;
}

}  // namespace quarn::py
