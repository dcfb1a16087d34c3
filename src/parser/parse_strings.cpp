// String literals, implicit concatenation and f-strings.

#include <algorithm>

#include "parser/literals.h"
#include "parser/parser.h"

namespace quarn::py {

namespace {

// Truncates the decoded-text stack back to a height on every exit path.
struct TextMark {
  std::string& text;
  std::size_t mark;
  ~TextMark() { text.resize(mark); }
};

bool is_ascii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

void Parser::note_piece(StringPieces& pieces, std::uint32_t start, std::uint32_t end) {
  if (!pieces.pending) pieces.start = start;
  pieces.end = end;
  pieces.pending = true;
}

// Turns the pending literal text into a Constant piece, dropping it if empty.
void Parser::flush_pieces(StringPieces& pieces) {
  if (text_.size() > pieces.mark) {
    auto* c = node_at<Constant>(pieces.start, pieces.end);
    c->value_kind = ConstantKind::Str;
    c->text = arena_.copy(std::string_view(text_).substr(pieces.mark));
    exprs_.push_back(c);
    text_.resize(pieces.mark);
  }
  pieces.pending = false;
}

// One or more adjacent literals: a Constant, or a JoinedStr when any of them
// is an f-string. Bytes and text literals cannot be mixed.
Expr* Parser::strings() {
  std::uint32_t start = tok().start;
  TextMark text_mark{text_, text_.size()};

  if (at(Tok::String) && peek() != Tok::String && peek() != Tok::FStringStart) {
    const Token& t = tok();
    std::string_view literal = text(t);
    StringPrefix prefix = string_prefix(literal);
    std::size_t skip = prefix.length + prefix.quote_len;
    std::string_view body = literal.substr(skip, literal.size() - skip - prefix.quote_len);
    bool verbatim = body.find('\r') == std::string_view::npos &&
                    (prefix.raw || body.find('\\') == std::string_view::npos) &&
                    (!prefix.bytes || is_ascii(body));
    std::string_view value = body;
    if (!verbatim) {
      bool is_bytes = false;
      if (auto error = decode_string_token(literal, text_, is_bytes)) {
        return fatal(t.start + error->offset, error->message);
      }
      value = arena_.copy(std::string_view(text_).substr(text_mark.mark));
    }
    advance();
    auto* c = node<Constant>(start);
    c->value_kind = prefix.bytes ? ConstantKind::Bytes : ConstantKind::Str;
    c->text = value;
    return c;
  }

  StringPieces pieces{text_.size()};
  Scratch values(exprs_);
  bool any_bytes = false;
  bool any_text = false;
  bool any_fstring = false;
  while (at(Tok::String) || at(Tok::FStringStart)) {
    if (at(Tok::String)) {
      bool is_bytes = false;
      if (!string_literal(is_bytes, pieces)) return nullptr;
      (is_bytes ? any_bytes : any_text) = true;
    } else {
      any_fstring = true;
      if (!fstring(pieces)) return nullptr;
    }
  }
  if (any_bytes && (any_text || any_fstring)) {
    return fatal(start, "cannot mix bytes and nonbytes literals");
  }
  if (!any_fstring) {
    auto* c = node<Constant>(start);
    c->value_kind = any_bytes ? ConstantKind::Bytes : ConstantKind::Str;
    c->text = arena_.copy(std::string_view(text_).substr(pieces.mark));
    return c;
  }
  flush_pieces(pieces);
  auto* joined = node<JoinedStr>(start);
  joined->values = values.copy(arena_);
  return joined;
}

bool Parser::string_literal(bool& is_bytes, StringPieces& pieces) {
  const Token& t = tok();
  if (auto error = decode_string_token(text(t), text_, is_bytes)) {
    fatal(t.start + error->offset, error->message);
    return false;
  }
  note_piece(pieces, t.start, t.end);
  advance();
  return true;
}

bool Parser::fstring(StringPieces& pieces) {
  bool raw = string_prefix(text(tok())).raw;
  advance();  // FStringStart
  for (;;) {
    switch (kind()) {
      case Tok::FStringMiddle: {
        const Token& t = tok();
        if (auto error = decode_fstring_middle(text(t), raw, text_)) {
          fatal(t.start + error->offset, error->message);
          return false;
        }
        note_piece(pieces, t.start, t.end);
        advance();
        break;
      }
      case Tok::LBrace: {
        Expr* field = replacement_field(raw, pieces);
        if (field == nullptr) return false;
        flush_pieces(pieces);
        exprs_.push_back(field);
        break;
      }
      case Tok::FStringEnd:
        advance();
        return true;
      default:
        fail();
        return false;
    }
  }
}

// '{' expression ['='] ['!' conversion] [':' format spec] '}'. The text of
// a `=` debug field joins the literal text before the field.
Expr* Parser::replacement_field(bool raw, StringPieces& outer) {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  const Token& lbrace = tok();
  std::uint32_t start = lbrace.start;
  std::uint32_t expression_start = lbrace.end;
  advance();
  Expr* value = at(Tok::KwYield) ? yield_expression() : star_expressions();
  if (value == nullptr) return nullptr;
  bool debug = false;
  if (at(Tok::Equal)) {
    advance();
    debug = true;
    std::uint32_t debug_end = tok().start;
    text_.append(src_.substr(expression_start, debug_end - expression_start));
    note_piece(outer, expression_start, debug_end);
  }
  int conversion = -1;
  if (at(Tok::Exclamation)) {
    std::uint32_t bang_end = tok().end;
    advance();
    if (!at(Tok::Name)) return fail();
    if (tok().start != bang_end) {
      return fatal(tok().start, "f-string: conversion type must come right after the exclamation mark");
    }
    std::string_view name = text(tok());
    if (name != "s" && name != "r" && name != "a") {
      return fatal(tok().start, "f-string: invalid conversion character");
    }
    conversion = name[0];
    advance();
  }
  Expr* spec = nullptr;
  if (accept(Tok::Colon)) {
    spec = format_spec(raw);
    if (spec == nullptr) return nullptr;
  }
  if (!expect(Tok::RBrace)) return nullptr;
  if (debug && conversion == -1 && spec == nullptr) conversion = 'r';
  auto* field = node<FormattedValue>(start);
  field->value = value;
  field->conversion = conversion;
  field->format_spec = spec;
  return field;
}

Expr* Parser::format_spec(bool raw) {
  std::uint32_t start = tok().start;
  TextMark text_mark{text_, text_.size()};
  StringPieces pieces{text_.size()};
  Scratch values(exprs_);
  for (;;) {
    if (at(Tok::FStringMiddle)) {
      const Token& t = tok();
      if (auto error = decode_fstring_middle(text(t), raw, text_)) {
        return fatal(t.start + error->offset, error->message);
      }
      note_piece(pieces, t.start, t.end);
      advance();
    } else if (at(Tok::LBrace)) {
      Expr* field = replacement_field(raw, pieces);
      if (field == nullptr) return nullptr;
      flush_pieces(pieces);
      exprs_.push_back(field);
    } else {
      break;
    }
  }
  flush_pieces(pieces);
  auto* spec = node_at<JoinedStr>(start, std::max(start, prev_end()));
  spec->values = values.copy(arena_);
  return spec;
}

}  // namespace quarn::py
