#include "parser/lexer.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quarn::py {
namespace {

// "Name(x) = Number(1) Newline EndMarker": operators and keywords by their
// spelling, other tokens as Kind(text).
std::string describe(std::string_view src) {
  auto tokens = tokenize(src);
  if (!tokens) return "error: " + tokens.error().message;
  std::string out;
  for (const Token& t : *tokens) {
    if (!out.empty()) out += ' ';
    std::string_view spelling = tok_spelling(t.kind);
    if (!spelling.empty()) {
      out += spelling;
    } else if (t.start == t.end) {
      out += tok_name(t.kind);
    } else if (t.kind == Tok::Newline) {
      out += "Newline";
    } else {
      out += std::string(tok_name(t.kind)) + "(" + std::string(src.substr(t.start, t.end - t.start)) + ")";
    }
  }
  return out;
}

struct StreamCase {
  std::string_view src;
  std::string_view tokens;
};

void check_streams(std::initializer_list<StreamCase> cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    EXPECT_EQ(describe(c.src), c.tokens);
  }
}

TEST(Lexer, LinesAndIndentation) {
  check_streams({
      {"", "EndMarker"},
      {"\n\n", "EndMarker"},
      {"# only a comment", "EndMarker"},
      {"x = 1\n", "Name(x) = Number(1) Newline EndMarker"},
      {"x = 1", "Name(x) = Number(1) Newline EndMarker"},
      {"x  # note\n", "Name(x) Newline EndMarker"},
      {"if x:\n    y\n", "if Name(x) : Newline Indent Name(y) Newline Dedent EndMarker"},
      {"if x:\n    y", "if Name(x) : Newline Indent Name(y) Newline Dedent EndMarker"},
      {"if x:\n  # odd comment\n    y\n\n  \nz\n",
       "if Name(x) : Newline Indent Name(y) Newline Dedent Name(z) Newline EndMarker"},
      {"if a:\n if b:\n  c\nd\n",
       "if Name(a) : Newline Indent if Name(b) : Newline Indent Name(c) Newline Dedent Dedent Name(d) Newline "
       "EndMarker"},
      {"if a:\n \tb\n \tc\n", "if Name(a) : Newline Indent Name(b) Newline Name(c) Newline Dedent EndMarker"},
      {"if a:\n    b\n    ", "if Name(a) : Newline Indent Name(b) Newline Dedent EndMarker"},
      {"\fx\n", "Name(x) Newline EndMarker"},
      {"x = (1,\n  2)\n", "Name(x) = ( Number(1) , Number(2) ) Newline EndMarker"},
      {"x = [1,\n# c\n\n  2]\n", "Name(x) = [ Number(1) , Number(2) ] Newline EndMarker"},
      {"x = 1 + \\\n  2\n", "Name(x) = Number(1) + Number(2) Newline EndMarker"},
      {"if a:\n    \\\n  b\n", "if Name(a) : Newline Indent Name(b) Newline Dedent EndMarker"},
      {"if a:\n  b\n  \\\n  \\\n  c\n", "if Name(a) : Newline Indent Name(b) Newline Name(c) Newline Dedent EndMarker"},
      {"if a:\n  b\n  \\\n   # c\n  c\n", "if Name(a) : Newline Indent Name(b) Newline Name(c) Newline Dedent EndMarker"},
      {"x = 1\r\ny = 2\r\n", "Name(x) = Number(1) Newline Name(y) = Number(2) Newline EndMarker"},
      // A backslash joins one line end only: a blank line after it ends the
      // logical line.
      {"x = 1 + \\\n\n2\n", "Name(x) = Number(1) + Newline Number(2) Newline EndMarker"},
      {"x = 1 + \\\r\n\r\n2\r\n", "Name(x) = Number(1) + Newline Number(2) Newline EndMarker"},
      {"x = 1 + \\\r\r2\r", "Name(x) = Number(1) + Newline Number(2) Newline EndMarker"},
      {"x = 1 + \\\n\r\n2\n", "Name(x) = Number(1) + Newline Number(2) Newline EndMarker"},
      {"x = (1 + \\\r\n\r\n2)\r\n", "Name(x) = ( Number(1) + Number(2) ) Newline EndMarker"},
      {"x = 1\ry = 2\r", "Name(x) = Number(1) Newline Name(y) = Number(2) Newline EndMarker"},
      {"\xEF\xBB\xBFx\n", "Name(x) Newline EndMarker"},
      {"a; b;\n", "Name(a) ; Name(b) ; Newline EndMarker"},
  });
}

TEST(Lexer, NamesAndKeywords) {
  check_streams({
      {"def f(): pass", "def Name(f) ( ) : pass Newline EndMarker"},
      {"async await None True False nonlocal lambda yield",
       "async await None True False nonlocal lambda yield Newline EndMarker"},
      {"match case type _ print defx", "Name(match) Name(case) Name(type) Name(_) Name(print) Name(defx) Newline EndMarker"},
      {"é = ℌ + 𝔘𝔫𝔦 + x·y + _١", "Name(é) = Name(ℌ) + Name(𝔘𝔫𝔦) + Name(x·y) + Name(_١) Newline EndMarker"},
  });
}

TEST(Lexer, Numbers) {
  check_streams({
      {"0 00 0_0 1_000 0x_1f 0o17 0b1_0 0XAB", "Number(0) Number(00) Number(0_0) Number(1_000) Number(0x_1f) Number(0o17) "
                                               "Number(0b1_0) Number(0XAB) Newline EndMarker"},
      {"1. .5 1.e5 1e-5 1E+5 09.5 00j 1_0.0_1e1_0J 1.j",
       "Number(1.) Number(.5) Number(1.e5) Number(1e-5) Number(1E+5) Number(09.5) Number(00j) Number(1_0.0_1e1_0J) "
       "Number(1.j) Newline EndMarker"},
      {"1if x else 2", "Number(1) if Name(x) else Number(2) Newline EndMarker"},
      {"1else", "Number(1) else Newline EndMarker"},
      {"0x1for", "Number(0x1f) or Newline EndMarker"},
      {"1 .real", "Number(1) . Name(real) Newline EndMarker"},
      {"1..real", "Number(1.) . Name(real) Newline EndMarker"},
      {"x[1:2]", "Name(x) [ Number(1) : Number(2) ] Newline EndMarker"},
  });
}

TEST(Lexer, Operators) {
  check_streams({
      {"a **= b //= c >>= d <<= e", "Name(a) **= Name(b) //= Name(c) >>= Name(d) <<= Name(e) Newline EndMarker"},
      {"a->b := c != d ... e", "Name(a) -> Name(b) := Name(c) != Name(d) ... Name(e) Newline EndMarker"},
      {"a<=b>=c==d<b>c", "Name(a) <= Name(b) >= Name(c) == Name(d) < Name(b) > Name(c) Newline EndMarker"},
      {"@d\n", "@ Name(d) Newline EndMarker"},
      {"a@=b%=c&=d|=e^=f-=g+=h*=i/=j~k", "Name(a) @= Name(b) %= Name(c) &= Name(d) |= Name(e) ^= Name(f) -= Name(g) += "
                                       "Name(h) *= Name(i) /= Name(j) ~ Name(k) Newline EndMarker"},
      {"a..b", "Name(a) . . Name(b) Newline EndMarker"},
  });
}

TEST(Lexer, Strings) {
  check_streams({
      {"'a' \"b\" '''c\nd''' \"\"\"e\"\"\"", "String('a') String(\"b\") String('''c\nd''') String(\"\"\"e\"\"\") Newline EndMarker"},
      {"r'\\'' b'x' Rb'x' bR'x' u'x' U'x' rb''", "String(r'\\'') String(b'x') String(Rb'x') String(bR'x') String(u'x') "
                                              "String(U'x') String(rb'') Newline EndMarker"},
      {"ur'x'", "Name(ur) String('x') Newline EndMarker"},
      {"bu'x'", "Name(bu) String('x') Newline EndMarker"},
      {"'' ''''''", "String('') String('''''') Newline EndMarker"},
      {"\"\"\"a\"\"b\"\"\"", "String(\"\"\"a\"\"b\"\"\") Newline EndMarker"},
      // The highest second byte each kind of lead byte allows, and the
      // highest lead byte of each length.
      {"'\xC2\xBF\xE0\xBF\xBF\xED\x9F\xBF\xF4\x8F\xBF\xBF\xDF\xBF\xEF\xBF\xBF'",
       "String('\xC2\xBF\xE0\xBF\xBF\xED\x9F\xBF\xF4\x8F\xBF\xBF\xDF\xBF\xEF\xBF\xBF') Newline EndMarker"},
      {"'a\\\nb'", "String('a\\\nb') Newline EndMarker"},
      {"'a\\\r\nb'", "String('a\\\r\nb') Newline EndMarker"},
      {"'''a''''", "error: unterminated string literal (detected at line 1)"},
  });
}

// Names, strings and indentation are scanned eight bytes at a time: every
// length and every place of a special byte around the word steps.
TEST(Lexer, EveryLengthAndPlaceWithinWords) {
  for (std::size_t length = 0; length < 20; ++length) {
    const std::string run(length, 'a');
    for (std::size_t at = 0; at <= length; ++at) {
      const std::string before = run.substr(0, at);
      const std::string after = run.substr(at);
      SCOPED_TRACE(testing::Message() << length << " " << at);
      const std::string name = "b" + before + "\xC3\xA9" + after;  // é
      EXPECT_EQ(describe(name + "=1"), "Name(" + name + ") = Number(1) Newline EndMarker");
      EXPECT_EQ(describe(name + "\xE2\x82\xAC=1"), "error: invalid character '\xE2\x82\xAC' (U+20AC)");  // €
      EXPECT_EQ(describe("b" + run + " "), "Name(b" + run + ") Newline EndMarker");
      // Bytes of characters whose low seven bits spell a quote, a backslash,
      // a line feed or a carriage return end nothing.
      for (std::string_view inner : {"\xC2\xA2", "\xC2\xA7", "\xDC\x80", "\xC4\x8A", "\xC4\x8D", "\\'", "\\\n"}) {
        const std::string text = "'" + before + std::string(inner) + after + "'";
        EXPECT_EQ(describe(text), "String(" + text + ") Newline EndMarker") << inner;
      }
      EXPECT_EQ(describe("'''" + before + "\n" + after + "'''x"),
                "String('''" + before + "\n" + after + "''') Name(x) Newline EndMarker");
      EXPECT_EQ(describe("if x:\n" + std::string(length + 1, ' ') + "y\n"),
                "if Name(x) : Newline Indent Name(y) Newline Dedent EndMarker");
    }
  }
}

// A copy of a text that ends exactly where a page without access begins, so
// that reading a byte past its end faults.
class GuardedText {
 public:
  explicit GuardedText(std::string_view text) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    size_ = (text.size() / page + 2) * page;
    void* mapping = mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::runtime_error("mmap failed");
    base_ = static_cast<char*>(mapping);
    char* guard = base_ + size_ - page;
    if (mprotect(guard, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
    std::memcpy(guard - text.size(), text.data(), text.size());
    text_ = {guard - text.size(), text.size()};
  }
  GuardedText(const GuardedText&) = delete;
  GuardedText& operator=(const GuardedText&) = delete;
  ~GuardedText() { munmap(base_, size_); }
  std::string_view text() const { return text_; }

 private:
  char* base_ = nullptr;
  std::size_t size_ = 0;
  std::string_view text_;
};

// Every kind of token as the last bytes of the source, at lengths around the
// eight-byte steps; '@' stands for a run of `fill`.
struct EndCase {
  std::string_view src;
  char fill;
  std::string_view tokens;
};

TEST(Lexer, TokensAtTheVeryEndReadNothingPastIt) {
  const EndCase cases[] = {
      {"@", 'a', "Name(@) Newline EndMarker"},
      {"x=\xC3\xA9@", 'a', "Name(x) = Name(\xC3\xA9@) Newline EndMarker"},
      {"@\xC3\xA9", 'a', "Name(@\xC3\xA9) Newline EndMarker"},
      {"'@'", 'a', "String('@') Newline EndMarker"},
      {"b'''@'''", 'a', "String(b'''@''') Newline EndMarker"},
      {"'@", 'a', "error: unterminated string literal (detected at line 1)"},
      {"'''@", 'a', "error: unterminated triple-quoted string literal (detected at line 1)"},
      {"'@\\", 'a', "error: unterminated string literal (detected at line 1)"},
      {"'@\xC3", 'a', "error: invalid UTF-8 byte 0xC3"},
      {"f'@'", 'a', "FStringStart(f') FStringMiddle(@) FStringEnd(') Newline EndMarker"},
      {"f'{@}'", 'a', "FStringStart(f') { Name(@) } FStringEnd(') Newline EndMarker"},
      {"f'@", 'a', "error: unterminated f-string literal (detected at line 1)"},
      {"f'''@\\", 'a', "error: unterminated triple-quoted f-string literal (detected at line 1)"},
      {"@", '1', "Number(@) Newline EndMarker"},
      {"0x@", 'f', "Number(0x@) Newline EndMarker"},
      {"1.@", '0', "Number(1.@) Newline EndMarker"},
      {"1e@", '5', "Number(1e@) Newline EndMarker"},
      {"@j", '2', "Number(@j) Newline EndMarker"},
      {"@i", '3', "error: invalid decimal literal"},
      {"@_", '4', "error: invalid decimal literal"},
      {"@if", '3', "Number(@) if Newline EndMarker"},
      {"if x:\n@", ' ', "if Name(x) : Newline EndMarker"},
      {"if x:\n@y", ' ', "if Name(x) : Newline Indent Name(y) Newline Dedent EndMarker"},
      {"if x:\n@\t", ' ', "if Name(x) : Newline EndMarker"},
      {"x@", ' ', "Name(x) Newline EndMarker"},
      {"#@", 'a', "EndMarker"},
      {"x #@", 'a', "Name(x) Newline EndMarker"},
      {"@**", 'a', "Name(@) ** Newline EndMarker"},
      {"@.", 'a', "Name(@) . Newline EndMarker"},
      {"@...", 'a', "Name(@) ... Newline EndMarker"},
      {"@<", 'a', "Name(@) < Newline EndMarker"},
      {"@->", 'a', "Name(@) -> Newline EndMarker"},
      {"@!", 'a', "error: invalid syntax: '!' outside an f-string replacement field"},
      {"@)", 'a', "error: unmatched ')'"},
      {"(@", 'a', "error: '(' was never closed"},
      {"@\\", 'a', "error: unexpected EOF while parsing"},
      {"@\r", 'a', "Name(@) Newline EndMarker"},
      {"@\r\n", 'a', "Name(@) Newline EndMarker"},
  };
  for (const auto& c : cases) {
    for (std::size_t length = 1; length <= 17; ++length) {
      const std::string run(length, c.fill);
      auto fill = [&](std::string_view pattern) {
        std::string out(pattern);
        if (auto at = out.find('@'); at != std::string::npos) out.replace(at, 1, run);
        return out;
      };
      SCOPED_TRACE(testing::Message() << c.src << " with " << length);
      GuardedText guarded(fill(c.src));
      EXPECT_EQ(describe(guarded.text()), fill(c.tokens));
    }
  }
}

TEST(Lexer, FStrings) {
  check_streams({
      {"f'a{x}b'", "FStringStart(f') FStringMiddle(a) { Name(x) } FStringMiddle(b) FStringEnd(') Newline EndMarker"},
      {"f''", "FStringStart(f') FStringEnd(') Newline EndMarker"},
      {"rf'{x!r:>{w}.2f}'", "FStringStart(rf') { Name(x) ! Name(r) : FStringMiddle(>) { Name(w) } FStringMiddle(.2f) } "
                            "FStringEnd(') Newline EndMarker"},
      {"f'{x=}' f'{x = !s:}'", "FStringStart(f') { Name(x) = } FStringEnd(') FStringStart(f') { Name(x) = ! Name(s) : } "
                               "FStringEnd(') Newline EndMarker"},
      {"f'{{a}}{b}}}'", "FStringStart(f') FStringMiddle({{a}}) { Name(b) } FStringMiddle(}}) FStringEnd(') Newline "
                        "EndMarker"},
      {"f'{x:=5}' f'{(x:=5)}'", "FStringStart(f') { Name(x) : FStringMiddle(=5) } FStringEnd(') FStringStart(f') { ( "
                                "Name(x) := Number(5) ) } FStringEnd(') Newline EndMarker"},
      {"f'{x!=y}' f'{a[1:2]}'", "FStringStart(f') { Name(x) != Name(y) } FStringEnd(') FStringStart(f') { Name(a) [ "
                                "Number(1) : Number(2) ] } FStringEnd(') Newline EndMarker"},
      {"f\"{f\"{f\"{x}\"}\"}\"", "FStringStart(f\") { FStringStart(f\") { FStringStart(f\") { Name(x) } FStringEnd(\") } "
                                 "FStringEnd(\") } FStringEnd(\") Newline EndMarker"},
      {"f'{\"a\"}'", "FStringStart(f') { String(\"a\") } FStringEnd(') Newline EndMarker"},
      {"f'\\N{DIGIT ONE}{x}'", "FStringStart(f') FStringMiddle(\\N{DIGIT ONE}) { Name(x) } FStringEnd(') Newline "
                               "EndMarker"},
      {"rf'\\N{x}'", "FStringStart(rf') FStringMiddle(\\N) { Name(x) } FStringEnd(') Newline EndMarker"},
      {"f'\\{x}'", "FStringStart(f') FStringMiddle(\\) { Name(x) } FStringEnd(') Newline EndMarker"},
      {"f'''a\n{x\n+ 1}\nb'''", "FStringStart(f''') FStringMiddle(a\n) { Name(x) + Number(1) } FStringMiddle(\nb) "
                               "FStringEnd(''') Newline EndMarker"},
      {"f'{x # note\n}'", "FStringStart(f') { Name(x) } FStringEnd(') Newline EndMarker"},
      {"f'{x:a\n}'", "FStringStart(f') { Name(x) : FStringMiddle(a) } FStringEnd(') Newline EndMarker"},
      {"f'{x:{y:{z}}}'", "FStringStart(f') { Name(x) : { Name(y) : { Name(z) } } } FStringEnd(') Newline EndMarker"},
      {"f'{x:{y}{{z}}}'", "FStringStart(f') { Name(x) : { Name(y) } FStringMiddle({{z) } FStringMiddle(}}) "
                          "FStringEnd(') Newline EndMarker"},
      {"f'''{x:'}'''", "FStringStart(f''') { Name(x) : FStringMiddle(') } FStringEnd(''') Newline EndMarker"},
      {"f'a' 'b' f'''c'''", "FStringStart(f') FStringMiddle(a) FStringEnd(') String('b') FStringStart(f''') "
                            "FStringMiddle(c) FStringEnd(''') Newline EndMarker"},
  });
}

struct ErrorCase {
  std::string_view src;
  std::string_view message;
  std::uint32_t offset;
};

TEST(Lexer, Errors) {
  const ErrorCase cases[] = {
      {"if a:\n        b\n\tc\n", "inconsistent use of tabs and spaces in indentation", 17},
      {"if a:\n  b\n c\n", "unindent does not match any outer indentation level", 11},
      {"x = 1 \\ \n", "unexpected character after line continuation character", 7},
      {"x = 1 \\", "unexpected EOF while parsing", 7},
      {"x = 1 \\\n", "unexpected EOF while parsing", 7},
      {"x = 1 \\\r\n", "unexpected EOF while parsing", 7},
      {"x = 1 \\\r", "unexpected EOF while parsing", 7},
      {"if x:\n    \\\n", "unexpected EOF while parsing", 11},
      {"x = (1 \\", "'(' was never closed", 4},
      {"x = (1 \\\n", "'(' was never closed", 4},
      {"x = (1 \\\r\n", "'(' was never closed", 4},
      {"x = [1,\n \\\n", "'[' was never closed", 4},
      {"x = f'{x \\\n", "'{' was never closed", 6},
      {"x = (1]\n", "closing parenthesis ']' does not match opening parenthesis '('", 6},
      {"x = (\n1]\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 1", 7},
      // "\r\n" and a lone "\r" end one line each, as "\n" does.
      {"x = (\r\n1]\r\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 1", 8},
      {"x = (\r1]\r", "closing parenthesis ']' does not match opening parenthesis '(' on line 1", 7},
      {"a = 1\nx = (\n\n1]\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 2", 14},
      {"a = 1\r\nx = (\r\n\r\n1]\r\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 2", 17},
      {"a = 1\rx = (\r\r1]\r", "closing parenthesis ']' does not match opening parenthesis '(' on line 2", 14},
      {"a = 1\r\nx = [\r\n\r\n1}\r\n", "closing parenthesis '}' does not match opening parenthesis '[' on line 2", 17},
      {"a = 1\r\nx = {\r\n# c\r\n\r\n1)\r\n",
       "closing parenthesis ')' does not match opening parenthesis '{' on line 2", 22},
      {"a = 1\rx = {\r# c\r\r1)\r", "closing parenthesis ')' does not match opening parenthesis '{' on line 2", 18},
      {"a = 1\r\nx = (1,\r\n'''\r\n\r\n''', 2]\r\n",
       "closing parenthesis ']' does not match opening parenthesis '(' on line 2", 29},
      {"a = 1\rx = (1,\r'''\r\r''', 2]\r", "closing parenthesis ']' does not match opening parenthesis '(' on line 2",
       25},
      {"a = 1\r\nx = (1, \\\r\n2]\r\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 2",
       19},
      {"a = 1\rx = (1, \\\r2]\r", "closing parenthesis ']' does not match opening parenthesis '(' on line 2", 17},
      {"x = f'''{(\r\n\r\n1]}'''\r\n", "closing parenthesis ']' does not match opening parenthesis '(' on line 1",
       15},
      {"x = f'''{(\r\r1]}'''\r", "closing parenthesis ']' does not match opening parenthesis '(' on line 1", 13},
      {"x = (1\n", "'(' was never closed", 4},
      {"x = 1)\n", "unmatched ')'", 5},
      {"x = $\n", "invalid character '$' (U+0024)", 4},
      {"x = a?b\n", "invalid character '?' (U+003F)", 5},
      {"x = `1`\n", "invalid character '`' (U+0060)", 4},
      {"x = 1\x01\n", "invalid non-printable character U+0001", 5},
      {"x\x0b= 1\n", "invalid non-printable character U+000B", 1},
      {"a\xE2\x82\xAC = 1\n", "invalid character '\xE2\x82\xAC' (U+20AC)", 1},
      {"x = \xC2\xA0\n", "invalid non-printable character U+00A0", 4},
      {"\xD9\xA1x = 1\n", "invalid character '\xD9\xA1' (U+0661)", 0},
      {"x = 1\n\xEF\xBB\xBF\n", "invalid non-printable character U+FEFF", 6},
      {"x = 1 # \xFF\n", "invalid UTF-8 byte 0xFF", 8},
      {"x = '\xE9t\xE9'\n", "invalid UTF-8 byte 0xE9", 5},
      {"x = '\xED\xA0\x80'\n", "invalid UTF-8 byte 0xED", 5},
      {"x = '\xC0\xAF'\n", "invalid UTF-8 byte 0xC0", 5},
      {"x = '\xF0\x9F\x98'", "invalid UTF-8 byte 0xF0", 5},
      {"x = '\xE0\x9F\xBF'\n", "invalid UTF-8 byte 0xE0", 5},
      {"x = '\xF0\x8F\xBF\xBF'\n", "invalid UTF-8 byte 0xF0", 5},
      {"x = '\xF4\x90\x80\x80'\n", "invalid UTF-8 byte 0xF4", 5},
      {"x = '\xF5\x80\x80\x80'\n", "invalid UTF-8 byte 0xF5", 5},
      {std::string_view("x = '\0'\n", 8), "source code cannot contain null bytes", 5},
      {"a <> b\n", "invalid syntax: '<>' is not an operator", 2},
      {"a ! b\n", "invalid syntax: '!' outside an f-string replacement field", 2},
      {"x = 'a\n", "unterminated string literal (detected at line 1)", 4},
      {"x = 'a", "unterminated string literal (detected at line 1)", 4},
      {"x = '''a\n\n", "unterminated triple-quoted string literal (detected at line 2)", 4},
      {"x = '\\", "unterminated string literal (detected at line 1)", 4},
      {"x = f'a\n'", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'''a", "unterminated triple-quoted f-string literal (detected at line 1)", 4},
      {"x = 1\r\ny = 'a\r\nz = 2\r\n", "unterminated string literal (detected at line 2)", 11},
      {"x = 1\ry = 'a\rz = 2\r", "unterminated string literal (detected at line 2)", 10},
      {"x = 1\r\ny = 'a", "unterminated string literal (detected at line 2)", 11},
      {"x = 1\r\n\r\ny = \"a\r\n", "unterminated string literal (detected at line 3)", 13},
      {"x = 1\r\ry = \"a\r", "unterminated string literal (detected at line 3)", 11},
      {"x = 1\r\ny = 'a\\\r\nb\r\nc\r\n", "unterminated string literal (detected at line 3)", 11},
      {"x = 1\ry = 'a\\\rb\rc\r", "unterminated string literal (detected at line 3)", 10},
      {"x = 1\ny = '''a\n\nb\n", "unterminated triple-quoted string literal (detected at line 4)", 10},
      {"x = 1\r\ny = '''a\r\n\r\nb\r\n", "unterminated triple-quoted string literal (detected at line 4)", 11},
      {"x = 1\ry = '''a\r\rb\r", "unterminated triple-quoted string literal (detected at line 4)", 10},
      {"x = 1\r\ny = '''a\r\n\r\nb", "unterminated triple-quoted string literal (detected at line 4)", 11},
      {"x = 1\r\ny = '''a\r\n\r\n\r\n", "unterminated triple-quoted string literal (detected at line 4)", 11},
      {"x = 1\r\ny = \"\"\"a\r\nb\r\n", "unterminated triple-quoted string literal (detected at line 3)", 11},
      {"x = 1\r\ny = f'a\r\n'\r\n", "unterminated f-string literal (detected at line 2)", 11},
      {"x = 1\ry = f'a\r'\r", "unterminated f-string literal (detected at line 2)", 10},
      {"x = 1\r\ny = f'a{b}\r\n", "unterminated f-string literal (detected at line 2)", 11},
      {"x = 1\r\ny = f'''a\r\n\r\n", "unterminated triple-quoted f-string literal (detected at line 3)", 11},
      {"x = 1\ry = f'''a\r\r", "unterminated triple-quoted f-string literal (detected at line 3)", 10},
      {"x = 1\r\ny = f'''{a}\r\n\r\nb", "unterminated triple-quoted f-string literal (detected at line 4)", 11},
      // An escaped line end goes on with the next line, where a blank line
      // leaves the literal without its closing quote.
      {"x = 'a\\\n\nb'\n", "unterminated string literal (detected at line 2)", 4},
      {"x = 'a\\\r\n\r\nb'\r\n", "unterminated string literal (detected at line 2)", 4},
      {"x = 'a\\\r\rb'\r", "unterminated string literal (detected at line 2)", 4},
      {"x = rb'a\\\r\n\r\nb'\r\n", "unterminated string literal (detected at line 2)", 4},
      {"x = 'a\\\n\\\n\nb'\n", "unterminated string literal (detected at line 3)", 4},
      {"x = f'a\\\n\nb'\n", "unterminated f-string literal (detected at line 2)", 4},
      {"x = f'a\\\r\n\r\nb'\r\n", "unterminated f-string literal (detected at line 2)", 4},
      {"x = f'{1}\\\r\rb'\r", "unterminated f-string literal (detected at line 2)", 4},
      {"x = f'}'", "f-string: single '}' is not allowed", 6},
      {"x = f'{x}}'", "f-string: single '}' is not allowed", 9},
      {"x = f'{x'", "f-string: expecting '}'", 8},
      {"x = f'{x:'", "f-string: expecting '}'", 9},
      {"x = f'{x'\n", "f-string: expecting '}'", 8},
      {"x = f'{x:", "'{' was never closed", 6},
      {"x = f'{x:\\\\", "'{' was never closed", 6},
      // The end of the source ends a single-quoted format spec as a line end
      // does, unless a backslash escapes it.
      {"x = f'{x:\\", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'{x:\\\n", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'{x:a\\\r\n", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'{x:a\\\r", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'{x:\\\\\\\n", "unterminated f-string literal (detected at line 1)", 4},
      {"x = rf'{x:\\\n", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'{x:{y:\\\n", "unterminated f-string literal (detected at line 1)", 4},
      {"x = f'''{x:", "unterminated triple-quoted f-string literal (detected at line 1)", 4},
      {"x = f'''{x:\r\n", "unterminated triple-quoted f-string literal (detected at line 1)", 4},
      {"x = f'{x)}'", "f-string: unmatched ')'", 8},
      {"x = f'{(x}'", "closing parenthesis '}' does not match opening parenthesis '('", 9},
      {"x = f'{x:{y:{z:{w}}}}'", "f-string: expressions nested too deeply", 15},
      {"x = 0_7\n", "leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers", 4},
      {"x = 07\n", "leading zeros in decimal integer literals are not permitted; use an 0o prefix for octal integers", 4},
      {"x = 1_\n", "invalid decimal literal", 6},
      {"x = 1__0\n", "invalid decimal literal", 6},
      {"x = 0_\n", "invalid decimal literal", 6},
      {"x = 1e\n", "invalid decimal literal", 5},
      {"x = 1e+\n", "invalid decimal literal", 7},
      {"x = 1_e5\n", "invalid decimal literal", 6},
      {"x = 1.__class__\n", "invalid decimal literal", 6},
      {"x = 1x\n", "invalid decimal literal", 5},
      {"x = 1andy\n", "invalid decimal literal", 5},
      {"x = 1jx\n", "invalid imaginary literal", 6},
      {"x = 0x\n", "invalid hexadecimal literal", 6},
      {"x = 0x1_\n", "invalid hexadecimal literal", 8},
      {"x = 0xg\n", "invalid hexadecimal literal", 6},
      {"x = 0o8\n", "invalid digit '8' in octal literal", 6},
      {"x = 0o\n", "invalid octal literal", 6},
      {"x = 0b2\n", "invalid digit '2' in binary literal", 6},
      {"x = 0b12\n", "invalid digit '2' in binary literal", 7},
      {"x = 0b1x\n", "invalid binary literal", 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = tokenize(c.src);
    ASSERT_FALSE(tokens.has_value());
    EXPECT_EQ(tokens.error().message, c.message);
    EXPECT_EQ(tokens.error().offset, c.offset);
  }
}

std::string nested_blocks(int levels) {
  std::string src;
  for (int i = 0; i < levels; ++i) src += std::string(i, ' ') + "if x:\n";
  return src + std::string(levels, ' ') + "pass\n";
}

TEST(Lexer, Limits) {
  EXPECT_TRUE(tokenize(nested_blocks(99)).has_value());
  auto deep = tokenize(nested_blocks(100));
  ASSERT_FALSE(deep.has_value());
  EXPECT_EQ(deep.error().message, "too many levels of indentation");

  EXPECT_TRUE(tokenize("x = " + std::string(200, '(') + std::string(200, ')')).has_value());
  auto nested = tokenize("x = " + std::string(201, '[') + std::string(201, ']'));
  ASSERT_FALSE(nested.has_value());
  EXPECT_EQ(nested.error().message, "too many nested parentheses");
  EXPECT_EQ(nested.error().offset, 204u);

  // 100 000 brackets fail at the limit, without recursion.
  EXPECT_FALSE(tokenize(std::string(100000, '(')).has_value());

  auto nested_fstrings = [](int n) {
    std::string src;
    for (int i = 0; i < n; ++i) src += "f'{";
    src += "x";
    for (int i = 0; i < n; ++i) src += "}'";
    return src;
  };
  EXPECT_TRUE(tokenize(nested_fstrings(149)).has_value());
  auto too_many = tokenize(nested_fstrings(150));
  ASSERT_FALSE(too_many.has_value());
  EXPECT_EQ(too_many.error().message, "too many nested f-strings");

  std::string small = "x";
  auto huge = tokenize(std::string_view(small.data(), std::size_t{1} << 32));
  ASSERT_FALSE(huge.has_value());
  EXPECT_EQ(huge.error().message, "source is too large (4 GiB or more)");
}

struct RangeCase {
  std::string_view src;
  std::vector<Token> tokens;
};

TEST(Lexer, Ranges) {
  const RangeCase cases[] = {
      {"x\n", {{Tok::Name, 0, 1}, {Tok::Newline, 1, 2}, {Tok::EndMarker, 2, 2}}},
      {"x\r\n", {{Tok::Name, 0, 1}, {Tok::Newline, 1, 3}, {Tok::EndMarker, 3, 3}}},
      {"x", {{Tok::Name, 0, 1}, {Tok::Newline, 1, 1}, {Tok::EndMarker, 1, 1}}},
      {"x  # c\r\n", {{Tok::Name, 0, 1}, {Tok::Newline, 3, 8}, {Tok::EndMarker, 8, 8}}},
      {"x  # c", {{Tok::Name, 0, 1}, {Tok::Newline, 3, 6}, {Tok::EndMarker, 6, 6}}},
      {"x = (  # c\n)  # d\n# e\n",
       {{Tok::Name, 0, 1}, {Tok::Equal, 2, 3}, {Tok::LPar, 4, 5}, {Tok::RPar, 11, 12}, {Tok::Newline, 14, 18},
        {Tok::EndMarker, 22, 22}}},
      {"\xEF\xBB\xBFx", {{Tok::Name, 3, 4}, {Tok::Newline, 4, 4}, {Tok::EndMarker, 4, 4}}},
      {"if a:\n  b\n",
       {{Tok::KwIf, 0, 2}, {Tok::Name, 3, 4}, {Tok::Colon, 4, 5}, {Tok::Newline, 5, 6}, {Tok::Indent, 8, 8},
        {Tok::Name, 8, 9}, {Tok::Newline, 9, 10}, {Tok::Dedent, 10, 10}, {Tok::EndMarker, 10, 10}}},
      {"if a:\n  b\nc",
       {{Tok::KwIf, 0, 2}, {Tok::Name, 3, 4}, {Tok::Colon, 4, 5}, {Tok::Newline, 5, 6}, {Tok::Indent, 8, 8},
        {Tok::Name, 8, 9}, {Tok::Newline, 9, 10}, {Tok::Dedent, 10, 10}, {Tok::Name, 10, 11}, {Tok::Newline, 11, 11},
        {Tok::EndMarker, 11, 11}}},
      {"f'a{{{x}'",
       {{Tok::FStringStart, 0, 2}, {Tok::FStringMiddle, 2, 5}, {Tok::LBrace, 5, 6}, {Tok::Name, 6, 7},
        {Tok::RBrace, 7, 8}, {Tok::FStringEnd, 8, 9}, {Tok::Newline, 9, 9}, {Tok::EndMarker, 9, 9}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    auto tokens = tokenize(c.src);
    ASSERT_TRUE(tokens.has_value()) << tokens.error().message;
    ASSERT_EQ(tokens->size(), c.tokens.size());
    for (std::size_t i = 0; i < c.tokens.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ((*tokens)[i].kind, c.tokens[i].kind) << tok_name((*tokens)[i].kind);
      EXPECT_EQ((*tokens)[i].start, c.tokens[i].start);
      EXPECT_EQ((*tokens)[i].end, c.tokens[i].end);
    }
  }
}

}  // namespace
}  // namespace quarn::py
