#pragma once

#include <expected>
#include <string_view>
#include <vector>

#include "parser/token.h"

namespace quarn::py {

// Tokenizes a whole Python 3.12 source file (UTF-8 bytes) in one pass.
//
// The token stream:
// - No comment, blank-line (NL) or encoding tokens; a leading UTF-8 BOM is
//   skipped (offsets still count it). Coding declarations are ignored.
// - Newline ends every logical line that holds tokens; its range is the line
//   end ("\n", "\r\n" or "\r") and a comment before it (Python's errors
//   point there), or empty at the end of the source when the last line has
//   neither.
// - Indent/Dedent are zero-width at the start of the first token of the
//   logical line; all pending Dedents come before EndMarker, zero-width at
//   the end of the source. An unexpected Indent is left to the parser.
// - Name covers identifiers (Unicode XID rules); hard keywords get Kw*
//   kinds, soft keywords (match, case, type, _) stay Name.
// - Number is the whole literal text, including a j/J suffix.
// - String is one non-f literal, prefix and quotes included; adjacent
//   literals are separate tokens.
// - An f-string is FStringStart (prefix and opening quotes), then any of
//   FStringMiddle (raw literal text, never empty, "{{" / "}}" kept as
//   written, a "\N{...}" escape kept whole) and replacement fields:
//   LBrace, expression tokens, optional Equal (the "=" debug form), optional
//   Exclamation Name (conversion), optional Colon followed by the format spec
//   as FStringMiddle tokens and nested replacement fields, then RBrace; and
//   finally FStringEnd (closing quotes). An empty format spec gives Colon
//   directly followed by RBrace. Exclamation is produced only inside a
//   replacement field; a "!" elsewhere is an error. A field's brace counts
//   as a bracket, so line ends and comments inside a field are skipped,
//   also in single-quoted f-strings (as in Python 3.12); a line end ends a
//   single-quoted format spec. Doubled braces "}}" inside an open field are
//   two closing braces, not literal text.
// - Newline, Indent and Dedent are never produced inside brackets or inside
//   an f-string.
//
// Errors (bad indentation, unterminated strings, invalid characters or
// UTF-8, NUL bytes, more than 200 nested brackets, more than 100 indentation
// levels, mismatched brackets, malformed numbers, sources of 4 GiB or more)
// are returned as a LexError with the byte offset of the fault.
std::expected<std::vector<Token>, LexError> tokenize(std::string_view source);

// Kind name for diagnostics and tests, e.g. "Name", "KwDef", "LPar".
std::string_view tok_name(Tok kind);

// Source spelling of an operator, delimiter or keyword kind ("+=", "def");
// empty for kinds without a fixed spelling (Name, Number, String, ...).
std::string_view tok_spelling(Tok kind);

}  // namespace quarn::py
