#pragma once

#include <cstdint>
#include <string>

namespace quarn::py {

// Token kinds. Hard keywords get kinds of their own; soft keywords (match,
// case, type, _) stay Name.
enum class Tok : std::uint8_t {
  EndMarker,
  Newline,
  Indent,
  Dedent,
  Name,
  Number,
  String,         // a whole non-f string literal, prefix and quotes included
  FStringStart,   // f/rf/fr prefix and opening quote(s)
  FStringMiddle,  // literal text between replacement fields (escapes not yet decoded)
  FStringEnd,     // closing quote(s)
  // keywords
  KwFalse, KwNone, KwTrue, KwAnd, KwAs, KwAssert, KwAsync, KwAwait, KwBreak, KwClass, KwContinue,
  KwDef, KwDel, KwElif, KwElse, KwExcept, KwFinally, KwFor, KwFrom, KwGlobal, KwIf, KwImport,
  KwIn, KwIs, KwLambda, KwNonlocal, KwNot, KwOr, KwPass, KwRaise, KwReturn, KwTry, KwWhile,
  KwWith, KwYield,
  // operators and delimiters
  LPar, RPar, LSqb, RSqb, LBrace, RBrace, Colon, Comma, Semi, Plus, Minus, Star, Slash, VBar,
  Amper, Less, Greater, Equal, Dot, Percent, EqEqual, NotEqual, LessEqual, GreaterEqual, Tilde,
  Circumflex, LeftShift, RightShift, DoubleStar, PlusEqual, MinEqual, StarEqual, SlashEqual,
  PercentEqual, AmperEqual, VBarEqual, CircumflexEqual, LeftShiftEqual, RightShiftEqual,
  DoubleStarEqual, DoubleSlash, DoubleSlashEqual, At, AtEqual, RArrow, Ellipsis, ColonEqual,
  Exclamation,
};

// A token is a kind and a byte range [start, end) of the source text.
struct Token {
  Tok kind;
  std::uint32_t start;
  std::uint32_t end;
};

struct LexError {
  std::string message;
  std::uint32_t offset;
};

}  // namespace quarn::py
