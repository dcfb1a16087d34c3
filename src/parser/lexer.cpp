#include "parser/lexer.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/utf8.h"
#include "parser/unicode_tables.h"

namespace quarn::py {
namespace {

// CPython's own limits.
constexpr int kMaxIndentLevels = 100;
constexpr int kMaxBrackets = 200;
constexpr std::size_t kMaxNestedFStrings = 150;
constexpr int kMaxFieldNesting = 3;
constexpr int kTabSize = 8;

// Indentation columns: a tab adds at most kTabSize, so a source under 4 GiB
// stays below 2^35.
using Column = std::int64_t;

enum CharFlags : std::uint8_t {
  kIdentStart = 1,  // ASCII letter, '_' or any byte of a non-ASCII character
  kIdentChar = 2,
  kDigit = 4,
  kHexDigit = 8,
};

constexpr std::array<std::uint8_t, 256> make_char_flags() {
  std::array<std::uint8_t, 256> flags{};
  for (int c = 0; c < 256; ++c) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80;
    bool digit = c >= '0' && c <= '9';
    bool hex = digit || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    flags[c] = (letter ? kIdentStart | kIdentChar : 0) | (digit ? kIdentChar | kDigit : 0) |
               (hex ? kHexDigit : 0);
  }
  return flags;
}
constexpr std::array<std::uint8_t, 256> kCharFlags = make_char_flags();

// Bytes that end a run of ordinary characters inside a string literal.
constexpr std::array<bool, 256> kStringStop = [] {
  std::array<bool, 256> stop{};
  for (char c : {'\'', '"', '\\', '\n', '\r'}) stop[static_cast<unsigned char>(c)] = true;
  return stop;
}();

bool has_flag(char c, std::uint8_t flag) { return kCharFlags[static_cast<unsigned char>(c)] & flag; }

// Word-at-a-time byte tests: eight bytes, the first in the lowest bits; a
// result has the high bit of each byte that passes the test set.
constexpr std::uint64_t kLowBits = 0x0101010101010101u;
constexpr std::uint64_t kHighBits = 0x8080808080808080u;

std::uint64_t load_word(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
  return word;
}

// For bytes below 0x80 only.
std::uint64_t bytes_at_least(std::uint64_t ascii, unsigned char bound) {
  return (ascii + (0x80 - bound) * kLowBits) & kHighBits;
}
std::uint64_t bytes_equal(std::uint64_t ascii, unsigned char value) {
  return ~((ascii ^ (value * kLowBits)) + 0x7F * kLowBits) & kHighBits;
}

// Bytes that cannot continue a name: all but letters, digits, '_' and the
// bytes of non-ASCII characters.
std::uint64_t non_name_bytes(std::uint64_t word) {
  const std::uint64_t ascii = word & ~kHighBits;
  const std::uint64_t folded = ascii | 0x20 * kLowBits;
  const std::uint64_t digit = bytes_at_least(ascii, '0') & ~bytes_at_least(ascii, '9' + 1);
  const std::uint64_t letter = bytes_at_least(folded, 'a') & ~bytes_at_least(folded, 'z' + 1);
  const std::uint64_t name = (word & kHighBits) | digit | letter | bytes_equal(ascii, '_');
  return ~name & kHighBits;
}

// Bytes other than ' '.
std::uint64_t non_space_bytes(std::uint64_t word) {
  return (~bytes_equal(word & ~kHighBits, ' ') & kHighBits) | (word & kHighBits);
}

// Bytes that end a run of ordinary characters inside a string literal (the
// bytes of kStringStop).
std::uint64_t string_stop_bytes(std::uint64_t word) {
  const std::uint64_t ascii = word & ~kHighBits;
  const std::uint64_t stops = bytes_equal(ascii, '\'') | bytes_equal(ascii, '"') | bytes_equal(ascii, '\\') |
                              bytes_equal(ascii, '\n') | bytes_equal(ascii, '\r');
  return stops & ~word;
}

// Whether the eight bytes from offset `p` lie within `n` bytes (p <= n). The
// remaining length is compared: p + 8 wraps for offsets near 4 GiB.
constexpr bool word_fits(std::uint32_t p, std::uint32_t n) { return n - p >= 8; }
static_assert(word_fits(0xFFFFFFF7, 0xFFFFFFFF) && !word_fits(0xFFFFFFF8, 0xFFFFFFFF));
static_assert(!word_fits(0xFFFFFFFC, 0xFFFFFFFF) && !word_fits(0xFFFFFFFF, 0xFFFFFFFF));
static_assert(word_fits(0xFFFFFFF0, 0xFFFFFFF8) && !word_fits(0xFFFFFFF1, 0xFFFFFFF8));

// The number of bytes before the first one flagged in `flags` (nonzero).
std::uint32_t bytes_before(std::uint64_t flags) { return static_cast<std::uint32_t>(std::countr_zero(flags)) / 8; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_printable(char32_t cp) { return !unicode::in_ranges(unicode::not_printable, cp); }

// Python decodes the whole file before tokenizing, so a NUL byte or invalid
// UTF-8 anywhere (comments and strings included) fails the file.
std::optional<LexError> check_encoding(std::string_view src) {
  const auto* s = reinterpret_cast<const unsigned char*>(src.data());
  std::size_t n = src.size(), i = 0;
  auto invalid = [&](std::size_t at) {
    return LexError{fmt::format("invalid UTF-8 byte 0x{:02X}", s[at]), static_cast<std::uint32_t>(at)};
  };
  while (i < n) {
    if (n - i >= 8) {
      std::uint64_t w;
      std::memcpy(&w, s + i, 8);
      bool ascii = (w & 0x8080808080808080ULL) == 0;
      bool has_nul = ((w - 0x0101010101010101ULL) & ~w & 0x8080808080808080ULL) != 0;
      if (ascii && !has_nul) {
        i += 8;
        continue;
      }
    }
    unsigned char c = s[i];
    if (c == 0) return LexError{"source code cannot contain null bytes", static_cast<std::uint32_t>(i)};
    if (c < 0x80) {
      ++i;
      continue;
    }
    char32_t cp;
    const std::size_t len = decode_utf8(src, i, cp);
    if (len == 0) return invalid(i);
    i += len;
  }
  return std::nullopt;
}

struct Keyword {
  std::string_view text;
  Tok kind;
};
constexpr Keyword kKeywords[] = {
    {"False", Tok::KwFalse},   {"None", Tok::KwNone},         {"True", Tok::KwTrue},
    {"and", Tok::KwAnd},       {"as", Tok::KwAs},             {"assert", Tok::KwAssert},
    {"async", Tok::KwAsync},   {"await", Tok::KwAwait},       {"break", Tok::KwBreak},
    {"class", Tok::KwClass},   {"continue", Tok::KwContinue}, {"def", Tok::KwDef},
    {"del", Tok::KwDel},       {"elif", Tok::KwElif},         {"else", Tok::KwElse},
    {"except", Tok::KwExcept}, {"finally", Tok::KwFinally},   {"for", Tok::KwFor},
    {"from", Tok::KwFrom},     {"global", Tok::KwGlobal},     {"if", Tok::KwIf},
    {"import", Tok::KwImport}, {"in", Tok::KwIn},             {"is", Tok::KwIs},
    {"lambda", Tok::KwLambda}, {"nonlocal", Tok::KwNonlocal}, {"not", Tok::KwNot},
    {"or", Tok::KwOr},         {"pass", Tok::KwPass},         {"raise", Tok::KwRaise},
    {"return", Tok::KwReturn}, {"try", Tok::KwTry},           {"while", Tok::KwWhile},
    {"with", Tok::KwWith},     {"yield", Tok::KwYield},
};

// Names are the most frequent tokens, so keywords are found with a hash
// that is collision-free over the keyword list.
constexpr std::size_t keyword_hash(std::string_view w) {
  return (static_cast<unsigned char>(w.front()) + static_cast<unsigned char>(w.back()) * 11 + w.size()) & 127;
}

constexpr std::array<std::uint8_t, 128> make_keyword_slots() {
  std::array<std::uint8_t, 128> slots{};
  for (std::size_t i = 0; i < std::size(kKeywords); ++i) {
    auto& slot = slots[keyword_hash(kKeywords[i].text)];
    if (slot != 0) throw "keyword hash collision";
    slot = static_cast<std::uint8_t>(i + 1);
  }
  return slots;
}
constexpr std::array<std::uint8_t, 128> kKeywordSlots = make_keyword_slots();

Tok keyword_kind(std::string_view w) {
  if (w.size() < 2 || w.size() > 8) return Tok::Name;
  std::uint8_t slot = kKeywordSlots[keyword_hash(w)];
  if (slot == 0) return Tok::Name;
  const Keyword& k = kKeywords[slot - 1];
  return k.text == w ? k.kind : Tok::Name;
}

// One open f-string. It alternates between scanning literal text and
// tokenizing a replacement field's expression ("in_field").
struct FString {
  std::uint32_t start;
  char quote;
  std::uint8_t quote_len;
  bool raw;
  bool in_field = false;
  bool in_format_spec = false;
  int bracket_depth = 0;  // brackets opened inside this f-string, field braces included
  int field_depth = -1;   // bracket_depth at which the innermost open field started
};

struct Bracket {
  char ch;
  std::uint32_t offset;
};

class Lexer {
 public:
  explicit Lexer(std::string_view src)
      : s_(src.data()), n_(static_cast<std::uint32_t>(src.size())) {}

  std::expected<std::vector<Token>, LexError> run();

 private:
  char at(std::uint32_t i) const { return i < n_ ? s_[i] : '\0'; }
  // The byte `ahead` bytes after offset i, summed in 64 bits: no wrap.
  char at(std::uint32_t i, std::uint32_t ahead) const {
    const std::uint64_t k = std::uint64_t{i} + ahead;
    return k < n_ ? s_[k] : '\0';
  }
  bool at_eof(std::uint32_t i) const { return i >= n_; }
  bool is_line_end(std::uint32_t i) const { return at(i) == '\n' || at(i) == '\r'; }
  std::uint32_t line_end_length(std::uint32_t i) const {
    return at(i) == '\r' && at(i, 1) == '\n' ? 2 : 1;
  }

  bool fail(std::string message, std::uint32_t offset) {
    error_ = LexError{std::move(message), offset};
    return false;
  }
  void emit(Tok kind, std::uint32_t start, std::uint32_t end) { toks_.push_back({kind, start, end}); }
  FString* fstring_in_field() {
    return !fstrings_.empty() && fstrings_.back().in_field ? &fstrings_.back() : nullptr;
  }
  std::uint32_t line_of(std::uint32_t offset) const;
  // Offset of the first "\n" or "\r" at or after `from`, or the end.
  std::uint32_t line_end_from(std::uint32_t from) const {
    const char* begin = s_ + from;
    const char* end = s_ + n_;
    const void* lf = std::memchr(begin, '\n', end - begin);
    const char* stop = lf ? static_cast<const char*>(lf) : end;
    const void* cr = std::memchr(begin, '\r', stop - begin);
    return static_cast<std::uint32_t>((cr ? static_cast<const char*>(cr) : stop) - s_);
  }

  bool lex_normal(bool& done);
  bool read_indentation();
  bool apply_indentation(Column col, Column altcol, std::uint32_t at_offset);
  bool skip_line_continuation(std::uint32_t backslash);
  bool lex_name_or_string();
  bool lex_name(std::uint32_t start);
  bool check_identifier(std::uint32_t start, std::uint32_t end);
  bool lex_string(std::uint32_t start, std::uint32_t quote_pos);
  bool start_fstring(std::uint32_t start, std::uint32_t quote_pos);
  bool lex_fstring_part();
  bool start_field(FString& f);
  bool lex_number(std::uint32_t start);
  bool decimal_tail(std::uint32_t& p);
  bool check_number_end(std::uint32_t p, const char* kind);
  bool lex_operator(std::uint32_t start);
  bool open_bracket(char c, std::uint32_t start);
  bool close_bracket(char c, std::uint32_t start);
  bool finish();
  bool unclosed_bracket();
  std::uint32_t last_line(std::uint32_t eof_or_line_end) const {
    return line_of(eof_or_line_end > 0 && at_eof(eof_or_line_end) ? eof_or_line_end - 1 : eof_or_line_end);
  }

  const char* s_;
  std::uint32_t n_;
  std::uint32_t pos_ = 0;
  std::vector<Token> toks_;
  std::optional<LexError> error_;

  bool at_line_start_ = true;
  std::uint32_t comment_start_ = 0;
  std::uint32_t comment_end_ = 0;  // the line end (or end of source) after the last comment
  bool blank_line_ = false;
  int pending_indents_ = 0;  // > 0: Indents, < 0: Dedents
  int indent_ = 0;
  std::array<Column, kMaxIndentLevels> indent_cols_{};
  std::array<Column, kMaxIndentLevels> indent_altcols_{};

  int level_ = 0;
  std::array<Bracket, kMaxBrackets> brackets_{};
  std::vector<FString> fstrings_;
};

std::uint32_t Lexer::line_of(std::uint32_t offset) const {
  std::uint32_t line = 1;
  for (std::uint32_t i = 0; i < offset && i < n_; ++i) {
    if (s_[i] == '\n' || (s_[i] == '\r' && at(i, 1) != '\n')) ++line;
  }
  return line;
}

std::expected<std::vector<Token>, LexError> Lexer::run() {
  // Python code averages six or more bytes per token, so this rarely grows.
  toks_.reserve(n_ / 4 + 16);
  if (std::string_view(s_, n_).starts_with(kUtf8ByteOrderMark)) pos_ = kUtf8ByteOrderMark.size();
  bool done = false;
  while (!done) {
    bool ok = !fstrings_.empty() && !fstrings_.back().in_field ? lex_fstring_part() : lex_normal(done);
    if (!ok) return std::unexpected(std::move(*error_));
  }
  return std::move(toks_);
}

bool Lexer::skip_line_continuation(std::uint32_t backslash) {
  std::uint32_t p = backslash + 1;
  if (!is_line_end(p) && !at_eof(p)) return fail("unexpected character after line continuation character", p);
  if (!at_eof(p)) p += line_end_length(p);
  if (at_eof(p)) {
    // Python names the innermost open bracket, or the place after the
    // backslash.
    return level_ > 0 ? unclosed_bracket() : fail("unexpected EOF while parsing", backslash + 1);
  }
  pos_ = p;
  return true;
}

bool Lexer::read_indentation() {
  Column col = 0, altcol = 0, cont_col = 0;
  for (;;) {
    std::uint32_t spaces = pos_;
    for (; word_fits(spaces, n_); spaces += 8) {
      if (const std::uint64_t other = non_space_bytes(load_word(s_ + spaces))) {
        spaces += bytes_before(other);
        break;
      }
    }
    while (spaces < n_ && s_[spaces] == ' ') ++spaces;
    col += spaces - pos_;
    altcol += spaces - pos_;
    pos_ = spaces;
    char c = at(pos_);
    if (c == '\t') {
      col = (col / kTabSize + 1) * kTabSize;
      ++altcol;
    } else if (c == '\f') {
      col = altcol = 0;
    } else if (c == '\\') {
      // A backslash-joined indentation counts from the first backslash.
      cont_col = cont_col ? cont_col : col;
      if (!skip_line_continuation(pos_)) return false;
      continue;
    } else {
      break;
    }
    ++pos_;
  }
  char c = at(pos_);
  blank_line_ = c == '#' || c == '\n' || c == '\r' || at_eof(pos_);
  if (blank_line_ || level_ > 0) return true;
  if (cont_col) col = altcol = cont_col;
  return apply_indentation(col, altcol, pos_);
}

bool Lexer::apply_indentation(Column col, Column altcol, std::uint32_t at_offset) {
  static constexpr const char* kTabError = "inconsistent use of tabs and spaces in indentation";
  if (col == indent_cols_[indent_]) {
    if (altcol != indent_altcols_[indent_]) return fail(kTabError, at_offset);
  } else if (col > indent_cols_[indent_]) {
    if (indent_ + 1 >= kMaxIndentLevels) return fail("too many levels of indentation", at_offset);
    if (altcol <= indent_altcols_[indent_]) return fail(kTabError, at_offset);
    ++pending_indents_;
    ++indent_;
    indent_cols_[indent_] = col;
    indent_altcols_[indent_] = altcol;
  } else {
    while (indent_ > 0 && col < indent_cols_[indent_]) {
      --pending_indents_;
      --indent_;
    }
    if (col != indent_cols_[indent_]) {
      return fail("unindent does not match any outer indentation level", at_offset);
    }
    if (altcol != indent_altcols_[indent_]) return fail(kTabError, at_offset);
  }
  return true;
}

bool Lexer::lex_normal(bool& done) {
  if (at_line_start_) {
    at_line_start_ = false;
    if (!read_indentation()) return false;
  }
  char c = at(pos_);
  while (c == ' ' || c == '\t' || c == '\f') c = at(++pos_);
  std::uint32_t start = pos_;

  if (pending_indents_ != 0) {
    Tok kind = pending_indents_ > 0 ? Tok::Indent : Tok::Dedent;
    for (int k = std::abs(pending_indents_); k > 0; --k) emit(kind, start, start);
    pending_indents_ = 0;
  }

  if (at_eof(pos_)) {
    done = true;
    return finish();
  }
  if (c == '#') {
    comment_start_ = start;
    pos_ = comment_end_ = line_end_from(pos_);
    return true;
  }
  if (c == '\n' || c == '\r') {
    std::uint32_t end = pos_ + line_end_length(pos_);
    // As in Python, the Newline of a line that ends in a comment starts there.
    if (!blank_line_ && level_ == 0) emit(Tok::Newline, pos_ == comment_end_ ? comment_start_ : pos_, end);
    pos_ = end;
    at_line_start_ = true;
    return true;
  }
  if (has_flag(c, kIdentStart)) return lex_name_or_string();
  if (is_digit(c) || (c == '.' && is_digit(at(pos_, 1)))) return lex_number(start);
  if (c == '"' || c == '\'') return lex_string(start, start);
  if (c == '\\') return skip_line_continuation(pos_);
  return lex_operator(start);
}

bool Lexer::finish() {
  if (level_ > 0) return unclosed_bracket();
  if (!toks_.empty() && toks_.back().kind != Tok::Newline) {
    emit(Tok::Newline, comment_end_ == n_ ? comment_start_ : n_, n_);
  }
  for (; indent_ > 0; --indent_) emit(Tok::Dedent, n_, n_);
  emit(Tok::EndMarker, n_, n_);
  return true;
}

bool Lexer::unclosed_bracket() {
  const Bracket& b = brackets_[level_ - 1];
  return fail(fmt::format("'{}' was never closed", b.ch), b.offset);
}

bool Lexer::lex_name_or_string() {
  std::uint32_t start = pos_;
  // A prefix has at most two letters, so a literal has a quote right after
  // the first or the second byte.
  const auto is_quote = [](char c) { return c == '"' || c == '\''; };
  if (!is_quote(at(start, 1)) && !is_quote(at(start, 2))) return lex_name(start);
  bool saw_b = false, saw_r = false, saw_u = false, saw_f = false;
  // Any case-combination of the prefixes r, b, br, rb, f, fr, rf, u.
  for (std::uint32_t p = start;; ++p) {
    char c = at(p);
    if (!(saw_b || saw_u || saw_f) && (c == 'b' || c == 'B')) {
      saw_b = true;
    } else if (!(saw_b || saw_u || saw_r || saw_f) && (c == 'u' || c == 'U')) {
      saw_u = true;
    } else if (!(saw_r || saw_u) && (c == 'r' || c == 'R')) {
      saw_r = true;
    } else if (!(saw_f || saw_b || saw_u) && (c == 'f' || c == 'F')) {
      saw_f = true;
    } else {
      break;
    }
    char next = at(p, 1);
    if (next == '"' || next == '\'') {
      return saw_f ? start_fstring(start, p + 1) : lex_string(start, p + 1);
    }
  }
  return lex_name(start);
}

bool Lexer::lex_name(std::uint32_t start) {
  std::uint32_t p = start;
  std::uint64_t seen = 0;
  for (;;) {
    if (!word_fits(p, n_)) {
      while (p < n_ && has_flag(s_[p], kIdentChar)) seen |= static_cast<unsigned char>(s_[p++]);
      break;
    }
    const std::uint64_t word = load_word(s_ + p);
    const std::uint64_t stop = non_name_bytes(word);
    if (stop == 0) {
      seen |= word;
      p += 8;
      continue;
    }
    const std::uint32_t length = bytes_before(stop);
    seen |= word & ((std::uint64_t{1} << (8 * length)) - 1);
    p += length;
    break;
  }
  bool ascii = (seen & kHighBits) == 0;
  if (!ascii && !check_identifier(start, p)) return false;
  pos_ = p;
  emit(ascii ? keyword_kind({s_ + start, p - start}) : Tok::Name, start, p);
  return true;
}

bool Lexer::check_identifier(std::uint32_t start, std::uint32_t end) {
  for (std::uint32_t i = start; i < end;) {
    std::uint32_t at_char = i;
    char32_t cp;
    // Fits: the text was validated, so the length is 1 to 4.
    i += static_cast<std::uint32_t>(decode_utf8({s_, n_}, i, cp));
    bool ok;
    if (cp < 0x80) {
      ok = at_char == start ? has_flag(static_cast<char>(cp), kIdentStart) : true;
    } else {
      ok = unicode::in_ranges(at_char == start ? unicode::identifier_start : unicode::identifier_continue, cp);
    }
    if (ok) continue;
    if (is_printable(cp)) {
      return fail(fmt::format("invalid character '{}' (U+{:04X})",
                              std::string_view(s_ + at_char, i - at_char),
                              static_cast<std::uint32_t>(cp)),
                  at_char);
    }
    return fail(fmt::format("invalid non-printable character U+{:04X}", static_cast<std::uint32_t>(cp)),
                at_char);
  }
  return true;
}

bool Lexer::lex_string(std::uint32_t start, std::uint32_t quote_pos) {
  char quote = at(quote_pos);
  std::uint32_t p = quote_pos + 1;
  int quote_len = 1;
  if (at(p) == quote && at(p, 1) == quote) {
    quote_len = 3;
    p += 2;
  } else if (at(p) == quote) {
    pos_ = p + 1;
    emit(Tok::String, start, pos_);
    return true;
  }
  for (;;) {
    for (; word_fits(p, n_); p += 8) {
      if (const std::uint64_t stop = string_stop_bytes(load_word(s_ + p))) {
        p += bytes_before(stop);
        break;
      }
    }
    while (p < n_ && !kStringStop[static_cast<unsigned char>(s_[p])]) ++p;
    if (p >= n_ || (quote_len == 1 && is_line_end(p))) {
      const FString* f = fstring_in_field();
      if (f && f->quote == quote && f->quote_len == quote_len) {
        return fail("f-string: expecting '}'", start);
      }
      std::string_view what = quote_len == 3 ? "triple-quoted string literal" : "string literal";
      return fail(fmt::format("unterminated {} (detected at line {})", what, last_line(p)), start);
    }
    char c = s_[p];
    if (c == quote && (quote_len == 1 || (at(p, 1) == quote && at(p, 2) == quote))) {
      p += quote_len;
      break;
    }
    ++p;
    if (c == '\\' && p < n_) p += is_line_end(p) ? line_end_length(p) : 1;
  }
  pos_ = p;
  emit(Tok::String, start, p);
  return true;
}

bool Lexer::start_fstring(std::uint32_t start, std::uint32_t quote_pos) {
  if (fstrings_.size() + 1 >= kMaxNestedFStrings) return fail("too many nested f-strings", start);
  char quote = at(quote_pos);
  std::uint8_t quote_len = at(quote_pos, 1) == quote && at(quote_pos, 2) == quote ? 3 : 1;
  bool raw = false;
  for (std::uint32_t i = start; i < quote_pos; ++i) raw |= s_[i] == 'r' || s_[i] == 'R';
  fstrings_.push_back({start, quote, quote_len, raw});
  pos_ = quote_pos + quote_len;
  emit(Tok::FStringStart, start, pos_);
  return true;
}

bool Lexer::start_field(FString& f) {
  if (++f.field_depth >= kMaxFieldNesting) return fail("f-string: expressions nested too deeply", pos_);
  f.in_field = true;
  return true;
}

// Scans literal text of the innermost f-string up to a replacement field, the
// closing quotes, or (in a single-quoted format spec) a line end.
bool Lexer::lex_fstring_part() {
  FString& f = fstrings_.back();
  bool format_spec = f.in_format_spec && f.field_depth >= 0;
  std::uint32_t start = pos_;
  auto emit_middle = [&](std::uint32_t end) {
    if (end > start) emit(Tok::FStringMiddle, start, end);
  };
  // Python ends the source with a line end, which ends a single-quoted
  // format spec unless a backslash escapes it.
  auto unterminated = [&](bool escaped_end) {
    if (at_eof(pos_) && format_spec && f.quote_len == 1 && !escaped_end) return unclosed_bracket();
    std::string_view what = f.quote_len == 3 ? "triple-quoted f-string literal" : "f-string literal";
    return fail(fmt::format("unterminated {} (detected at line {})", what, last_line(pos_)), f.start);
  };

  bool named_escape = false;  // inside "\N{...}", whose braces are not a field
  int closing = 0;
  while (closing != f.quote_len) {
    if (at_eof(pos_)) return unterminated(false);
    char c = s_[pos_];
    if (f.quote_len == 1 && (c == '\n' || c == '\r')) {
      if (!format_spec) return unterminated(false);
      // A line end closes a single-quoted format spec; the field goes on.
      emit_middle(pos_);
      f.in_field = true;
      return true;
    }
    ++pos_;
    if (c == f.quote) {
      ++closing;
      continue;
    }
    closing = 0;
    if (c == '{') {
      if (at(pos_) == '{' && !format_spec) {
        ++pos_;
        continue;
      }
      --pos_;
      emit_middle(pos_);
      return start_field(f);
    }
    if (c == '}') {
      if (named_escape) {
        named_escape = false;
        continue;
      }
      // Inside an open field (its format spec) "}}" is two closing braces.
      if (at(pos_) == '}' && f.bracket_depth == 0) {
        ++pos_;
        continue;
      }
      // The normal tokenizer closes the field or reports the lone '}'.
      --pos_;
      emit_middle(pos_);
      f.in_field = true;
      return true;
    }
    if (c == '\\') {
      char next = at(pos_);
      if (next == '{' || next == '}') continue;
      if (at_eof(pos_)) return unterminated(true);
      const bool line_end = is_line_end(pos_);
      pos_ += line_end ? line_end_length(pos_) : 1;
      if (line_end && at_eof(pos_)) return unterminated(true);
      if (!f.raw && next == 'N' && at(pos_) == '{') {
        ++pos_;
        named_escape = true;
      }
    }
  }
  std::uint32_t quotes = pos_ - f.quote_len;
  emit_middle(quotes);
  if (f.field_depth >= 0) return fail("f-string: expecting '}'", quotes);
  emit(Tok::FStringEnd, quotes, pos_);
  fstrings_.pop_back();
  return true;
}

bool Lexer::decimal_tail(std::uint32_t& p) {
  for (;;) {
    while (is_digit(at(p))) ++p;
    if (at(p) != '_') return true;
    ++p;
    if (!is_digit(at(p))) return fail("invalid decimal literal", p);
  }
}

// A number directly followed by a letter is an error, except before the
// keywords that may follow a number in valid code ("1if x else y").
bool Lexer::check_number_end(std::uint32_t p, const char* kind) {
  auto followed_by = [&](std::string_view word) {
    if (p > n_ || word.size() > n_ - p) return false;
    // Fits: no longer than the rest of the source, which is under 4 GiB.
    const auto length = static_cast<std::uint32_t>(word.size());
    for (std::uint32_t k = 0; k < length; ++k) {
      if (s_[p + k] != word[k]) return false;
    }
    return !has_flag(at(p, length), kIdentChar);
  };
  char c = at(p);
  bool keyword = false;
  switch (c) {
    case 'a': keyword = followed_by("and"); break;
    case 'e': keyword = followed_by("else"); break;
    case 'f': keyword = followed_by("for"); break;
    case 'i': keyword = at(p, 1) == 'f' || at(p, 1) == 'n' || at(p, 1) == 's'; break;
    case 'o': keyword = followed_by("or"); break;
    case 'n': keyword = followed_by("not"); break;
    default: break;
  }
  if (!keyword && static_cast<unsigned char>(c) < 0x80 && has_flag(c, kIdentChar)) {
    return fail(fmt::format("invalid {} literal", kind), p);
  }
  return true;
}

bool Lexer::lex_number(std::uint32_t start) {
  std::uint32_t p = start;
  auto done = [&](std::uint32_t end) {
    pos_ = end;
    emit(Tok::Number, start, end);
    return true;
  };
  auto based = [&](const char* kind, auto is_base_digit) -> bool {
    p += 2;
    do {
      if (at(p) == '_') ++p;
      if (!is_base_digit(at(p))) {
        if (is_digit(at(p))) return fail(fmt::format("invalid digit '{}' in {} literal", at(p), kind), p);
        return fail(fmt::format("invalid {} literal", kind), p);
      }
      while (is_base_digit(at(p))) ++p;
    } while (at(p) == '_');
    if (is_digit(at(p))) return fail(fmt::format("invalid digit '{}' in {} literal", at(p), kind), p);
    return check_number_end(p, kind) && done(p);
  };

  bool fraction = false;
  if (at(p) == '.') {
    ++p;
    fraction = true;
  } else if (at(p) == '0') {
    char x = at(p, 1);
    if (x == 'x' || x == 'X') return based("hexadecimal", [](char c) { return has_flag(c, kHexDigit); });
    if (x == 'o' || x == 'O') return based("octal", [](char c) { return c >= '0' && c <= '7'; });
    if (x == 'b' || x == 'B') return based("binary", [](char c) { return c == '0' || c == '1'; });
    // Zeros, then maybe more digits: fine for floats and imaginaries, but
    // "0_7" or "007" as an integer is the old octal form.
    ++p;
    for (;;) {
      if (at(p) == '_') {
        ++p;
        if (!is_digit(at(p))) return fail("invalid decimal literal", p);
      }
      if (at(p) != '0') break;
      ++p;
    }
    bool nonzero = false;
    if (is_digit(at(p))) {
      nonzero = true;
      if (!decimal_tail(p)) return false;
    }
    char c = at(p);
    if (c == '.') {
      ++p;
      fraction = true;
    } else if (c != 'e' && c != 'E' && c != 'j' && c != 'J') {
      if (nonzero) {
        return fail("leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers",
                    start);
      }
      return check_number_end(p, "decimal") && done(p);
    }
  } else {
    if (!decimal_tail(p)) return false;
    if (at(p) == '.') {
      ++p;
      fraction = true;
    }
  }
  if (fraction && is_digit(at(p)) && !decimal_tail(p)) return false;
  if (at(p) == 'e' || at(p) == 'E') {
    std::uint32_t e = p++;
    if (at(p) == '+' || at(p) == '-') {
      ++p;
      if (!is_digit(at(p))) return fail("invalid decimal literal", p);
    } else if (!is_digit(at(p))) {
      // "1else": the number ends before the 'e'.
      return check_number_end(e, "decimal") && done(e);
    }
    if (!decimal_tail(p)) return false;
  }
  if (at(p) == 'j' || at(p) == 'J') {
    ++p;
    return check_number_end(p, "imaginary") && done(p);
  }
  return check_number_end(p, "decimal") && done(p);
}

bool Lexer::open_bracket(char c, std::uint32_t start) {
  if (level_ >= kMaxBrackets) return fail("too many nested parentheses", start);
  brackets_[level_++] = {c, start};
  if (FString* f = fstring_in_field()) ++f->bracket_depth;
  return true;
}

bool Lexer::close_bracket(char c, std::uint32_t start) {
  FString* f = fstring_in_field();
  if (f && f->bracket_depth == 0 && c == '}') return fail("f-string: single '}' is not allowed", start);
  if (level_ == 0) return fail(fmt::format("unmatched '{}'", c), start);
  const Bracket& open = brackets_[level_ - 1];
  char expected = open.ch == '(' ? ')' : open.ch == '[' ? ']' : '}';
  if (c != expected) {
    if (f && open.ch == '{' && f->bracket_depth - 1 == f->field_depth) {
      return fail(fmt::format("f-string: unmatched '{}'", c), start);
    }
    std::uint32_t open_line = line_of(open.offset);
    if (open_line != line_of(start)) {
      return fail(fmt::format("closing parenthesis '{}' does not match opening parenthesis '{}' on line {}", c,
                              open.ch, open_line),
                  start);
    }
    return fail(fmt::format("closing parenthesis '{}' does not match opening parenthesis '{}'", c, open.ch),
                start);
  }
  --level_;
  if (f) {
    --f->bracket_depth;
    if (c == '}' && f->bracket_depth == f->field_depth) {
      --f->field_depth;
      f->in_field = false;
      f->in_format_spec = false;
    }
  }
  return true;
}

bool Lexer::lex_operator(std::uint32_t start) {
  char c = at(start);
  char c2 = at(start, 1);
  char c3 = at(start, 2);
  Tok kind = Tok::Name;
  std::uint32_t len = 1;
  auto pick = [&](Tok one, char second, Tok two) {
    if (c2 == second) {
      kind = two;
      len = 2;
    } else {
      kind = one;
    }
  };
  // Operators that may take '=' and may double: "*", "**", "*=", "**=".
  auto pick_double = [&](Tok one, Tok one_eq, Tok twice, Tok twice_eq) {
    if (c2 == c) {
      kind = c3 == '=' ? twice_eq : twice;
      len = c3 == '=' ? 3 : 2;
    } else {
      pick(one, '=', one_eq);
    }
  };

  if (FString* f = fstring_in_field();
      f && c == ':' && f->field_depth >= 0 && f->bracket_depth - 1 == f->field_depth) {
    // A top-level ':' in a replacement field starts its format spec.
    emit(Tok::Colon, start, start + 1);
    pos_ = start + 1;
    f->in_field = false;
    f->in_format_spec = true;
    return true;
  }

  switch (c) {
    case '(': case '[': case '{':
      if (!open_bracket(c, start)) return false;
      kind = c == '(' ? Tok::LPar : c == '[' ? Tok::LSqb : Tok::LBrace;
      break;
    case ')': case ']': case '}':
      if (!close_bracket(c, start)) return false;
      kind = c == ')' ? Tok::RPar : c == ']' ? Tok::RSqb : Tok::RBrace;
      break;
    case ':': pick(Tok::Colon, '=', Tok::ColonEqual); break;
    case ',': kind = Tok::Comma; break;
    case ';': kind = Tok::Semi; break;
    case '+': pick(Tok::Plus, '=', Tok::PlusEqual); break;
    case '-':
      if (c2 == '>') {
        kind = Tok::RArrow;
        len = 2;
      } else {
        pick(Tok::Minus, '=', Tok::MinEqual);
      }
      break;
    case '*': pick_double(Tok::Star, Tok::StarEqual, Tok::DoubleStar, Tok::DoubleStarEqual); break;
    case '/': pick_double(Tok::Slash, Tok::SlashEqual, Tok::DoubleSlash, Tok::DoubleSlashEqual); break;
    case '<':
      if (c2 == '>') return fail("invalid syntax: '<>' is not an operator", start);
      pick_double(Tok::Less, Tok::LessEqual, Tok::LeftShift, Tok::LeftShiftEqual);
      break;
    case '>': pick_double(Tok::Greater, Tok::GreaterEqual, Tok::RightShift, Tok::RightShiftEqual); break;
    case '|': pick(Tok::VBar, '=', Tok::VBarEqual); break;
    case '&': pick(Tok::Amper, '=', Tok::AmperEqual); break;
    case '^': pick(Tok::Circumflex, '=', Tok::CircumflexEqual); break;
    case '%': pick(Tok::Percent, '=', Tok::PercentEqual); break;
    case '@': pick(Tok::At, '=', Tok::AtEqual); break;
    case '~': kind = Tok::Tilde; break;
    case '=': pick(Tok::Equal, '=', Tok::EqEqual); break;
    case '!':
      if (c2 == '=') {
        kind = Tok::NotEqual;
        len = 2;
      } else if (fstring_in_field()) {
        kind = Tok::Exclamation;
      } else {
        return fail("invalid syntax: '!' outside an f-string replacement field", start);
      }
      break;
    case '.':
      if (c2 == '.' && c3 == '.') {
        kind = Tok::Ellipsis;
        len = 3;
      } else {
        kind = Tok::Dot;
      }
      break;
    default: {
      unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || u == 0x7F) return fail(fmt::format("invalid non-printable character U+{:04X}", u), start);
      return fail(fmt::format("invalid character '{}' (U+{:04X})", c, u), start);
    }
  }
  emit(kind, start, start + len);
  pos_ = start + len;
  return true;
}

constexpr std::string_view kTokNames[] = {
    "EndMarker", "Newline", "Indent", "Dedent", "Name", "Number", "String", "FStringStart",
    "FStringMiddle", "FStringEnd",
    "KwFalse", "KwNone", "KwTrue", "KwAnd", "KwAs", "KwAssert", "KwAsync", "KwAwait", "KwBreak",
    "KwClass", "KwContinue", "KwDef", "KwDel", "KwElif", "KwElse", "KwExcept", "KwFinally", "KwFor",
    "KwFrom", "KwGlobal", "KwIf", "KwImport", "KwIn", "KwIs", "KwLambda", "KwNonlocal", "KwNot",
    "KwOr", "KwPass", "KwRaise", "KwReturn", "KwTry", "KwWhile", "KwWith", "KwYield",
    "LPar", "RPar", "LSqb", "RSqb", "LBrace", "RBrace", "Colon", "Comma", "Semi", "Plus", "Minus",
    "Star", "Slash", "VBar", "Amper", "Less", "Greater", "Equal", "Dot", "Percent", "EqEqual",
    "NotEqual", "LessEqual", "GreaterEqual", "Tilde", "Circumflex", "LeftShift", "RightShift",
    "DoubleStar", "PlusEqual", "MinEqual", "StarEqual", "SlashEqual", "PercentEqual", "AmperEqual",
    "VBarEqual", "CircumflexEqual", "LeftShiftEqual", "RightShiftEqual", "DoubleStarEqual",
    "DoubleSlash", "DoubleSlashEqual", "At", "AtEqual", "RArrow", "Ellipsis", "ColonEqual",
    "Exclamation",
};

constexpr std::string_view kTokSpellings[] = {
    "", "", "", "", "", "", "", "", "", "",
    "False", "None", "True", "and", "as", "assert", "async", "await", "break", "class", "continue",
    "def", "del", "elif", "else", "except", "finally", "for", "from", "global", "if", "import", "in",
    "is", "lambda", "nonlocal", "not", "or", "pass", "raise", "return", "try", "while", "with",
    "yield",
    "(", ")", "[", "]", "{", "}", ":", ",", ";", "+", "-", "*", "/", "|", "&", "<", ">", "=", ".",
    "%", "==", "!=", "<=", ">=", "~", "^", "<<", ">>", "**", "+=", "-=", "*=", "/=", "%=", "&=",
    "|=", "^=", "<<=", ">>=", "**=", "//", "//=", "@", "@=", "->", "...", ":=", "!",
};

static_assert(std::size(kTokNames) == static_cast<std::size_t>(Tok::Exclamation) + 1);
static_assert(std::size(kTokSpellings) == static_cast<std::size_t>(Tok::Exclamation) + 1);

}  // namespace

std::expected<std::vector<Token>, LexError> tokenize(std::string_view source) {
  if (source.size() >= (std::size_t{1} << 32)) {
    return std::unexpected(LexError{"source is too large (4 GiB or more)", 0});
  }
  if (auto error = check_encoding(source)) return std::unexpected(std::move(*error));
  return Lexer(source).run();
}

std::string_view tok_name(Tok kind) {
  auto i = static_cast<std::size_t>(kind);
  return i < std::size(kTokNames) ? kTokNames[i] : "?";
}

std::string_view tok_spelling(Tok kind) {
  auto i = static_cast<std::size_t>(kind);
  return i < std::size(kTokSpellings) ? kTokSpellings[i] : "";
}

}  // namespace quarn::py
