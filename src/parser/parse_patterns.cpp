// Patterns of `match` statements.

#include "parser/parser.h"

namespace quarn::py {

namespace {

bool is_imaginary(std::string_view number) {
  return !number.empty() && (number.back() == 'j' || number.back() == 'J');
}

}  // namespace

bool Parser::starts_pattern(Tok k) const {
  switch (k) {
    case Tok::Name: case Tok::Number: case Tok::String: case Tok::FStringStart:
    case Tok::KwNone: case Tok::KwTrue: case Tok::KwFalse: case Tok::Minus: case Tok::LPar:
    case Tok::LSqb: case Tok::LBrace: case Tok::Star:
      return true;
    default:
      return false;
  }
}

// The pattern of a case: an open sequence when there is a comma.
Pattern* Parser::patterns() {
  std::uint32_t start = tok().start;
  Pattern* first = maybe_star_pattern();
  if (first == nullptr) return nullptr;
  if (!at(Tok::Comma)) {
    if (first->kind == PatternKind::MatchStar) return fail();
    return first;
  }
  Scratch items(patterns_);
  patterns_.push_back(first);
  while (accept(Tok::Comma)) {
    if (!starts_pattern(kind())) break;
    Pattern* p = maybe_star_pattern();
    if (p == nullptr) return nullptr;
    patterns_.push_back(p);
  }
  auto* seq = node<MatchSequence>(start);
  seq->patterns = items.copy(arena_);
  return seq;
}

Pattern* Parser::maybe_star_pattern() {
  if (!at(Tok::Star)) return pattern();
  std::uint32_t start = tok().start;
  advance();
  std::string_view name;
  if (at_soft_keyword("_")) {
    advance();
  } else if (!capture_target(name)) {
    return nullptr;
  }
  auto* star = node<MatchStar>(start);
  star->name = name;
  return star;
}

Pattern* Parser::pattern() {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  std::uint32_t start = tok().start;
  Pattern* p = or_pattern();
  if (p == nullptr || !accept(Tok::KwAs)) return p;
  std::string_view name;
  if (!capture_target(name)) return nullptr;
  auto* as = node<MatchAs>(start);
  as->pattern = p;
  as->name = name;
  return as;
}

Pattern* Parser::or_pattern() {
  std::uint32_t start = tok().start;
  Pattern* first = closed_pattern();
  if (first == nullptr || !at(Tok::VBar)) return first;
  Scratch alternatives(patterns_);
  patterns_.push_back(first);
  while (accept(Tok::VBar)) {
    Pattern* p = closed_pattern();
    if (p == nullptr) return nullptr;
    patterns_.push_back(p);
  }
  auto* alt = node<MatchOr>(start);
  alt->patterns = alternatives.copy(arena_);
  return alt;
}

Pattern* Parser::closed_pattern() {
  std::uint32_t start = tok().start;
  switch (kind()) {
    case Tok::Number:
    case Tok::Minus:
    case Tok::String:
    case Tok::FStringStart: {
      Expr* value = at(Tok::String) || at(Tok::FStringStart) ? strings() : signed_number_literal();
      if (value == nullptr) return nullptr;
      auto* p = node<MatchValue>(start);
      p->value = value;
      return p;
    }
    case Tok::KwNone:
    case Tok::KwTrue:
    case Tok::KwFalse: {
      Tok k = kind();
      advance();
      auto* p = node<MatchSingleton>(start);
      p->value = k == Tok::KwNone ? ConstantKind::None : k == Tok::KwTrue ? ConstantKind::True : ConstantKind::False;
      return p;
    }
    case Tok::Name:
      return name_pattern();
    case Tok::LPar:
      return group_or_sequence_pattern();
    case Tok::LSqb:
      return list_pattern();
    case Tok::LBrace:
      return mapping_pattern();
    default:
      return fail();
  }
}

// A wildcard, a capture, a dotted value or a class pattern.
Pattern* Parser::name_pattern() {
  std::uint32_t start = tok().start;
  if (at_soft_keyword("_")) {
    advance();
    return node<MatchAs>(start);
  }
  if (peek() == Tok::Dot || peek() == Tok::LPar) {
    Expr* cls = name_or_attribute();
    if (cls == nullptr) return nullptr;
    if (at(Tok::LPar)) return class_pattern(cls, start);
    if (at(Tok::Equal)) return fail();
    auto* p = node<MatchValue>(start);
    p->value = cls;
    return p;
  }
  std::string_view name;
  if (!capture_target(name)) return nullptr;
  auto* p = node<MatchAs>(start);
  p->name = name;
  return p;
}

// A name that binds: not `_`, and not followed by `.`, `(` or `=`.
bool Parser::capture_target(std::string_view& name) {
  if (!at(Tok::Name) || at_soft_keyword("_")) {
    fail();
    return false;
  }
  Tok next = peek();
  if (next == Tok::Dot || next == Tok::LPar || next == Tok::Equal) {
    fail();
    return false;
  }
  name = text(tok());
  advance();
  return true;
}

Expr* Parser::name_or_attribute() {
  std::uint32_t start = tok().start;
  Expr* e = name_expr();
  while (at(Tok::Dot)) {
    advance();
    if (!at(Tok::Name)) return fail();
    std::string_view attr = text(tok());
    advance();
    auto* a = node<Attribute>(start);
    a->value = e;
    a->attr = attr;
    e = a;
  }
  return e;
}

// A number, a negated number, or a complex literal `real +/- imaginary`.
Expr* Parser::signed_number_literal() {
  std::uint32_t start = tok().start;
  bool negative = accept(Tok::Minus);
  if (!at(Tok::Number)) return fail();
  std::string_view real_text = text(tok());
  Expr* e = number();
  if (e == nullptr) return nullptr;
  if (negative) {
    auto* u = node<UnaryOp>(start);
    u->op = UnaryOperator::USub;
    u->operand = e;
    e = u;
  }
  if (!at(Tok::Plus) && !at(Tok::Minus)) return e;
  if (is_imaginary(real_text)) return fatal(start, "real number required in complex literal");
  Operator op = at(Tok::Plus) ? Operator::Add : Operator::Sub;
  advance();
  if (!at(Tok::Number)) return fail();
  if (!is_imaginary(text(tok()))) return fatal(tok().start, "imaginary number required in complex literal");
  Expr* imaginary = number();
  if (imaginary == nullptr) return nullptr;
  auto* b = node<BinOp>(start);
  b->left = e;
  b->op = op;
  b->right = imaginary;
  return b;
}

Pattern* Parser::group_or_sequence_pattern() {
  std::uint32_t start = tok().start;
  advance();  // (
  if (accept(Tok::RPar)) return node<MatchSequence>(start);
  Pattern* first = maybe_star_pattern();
  if (first == nullptr) return nullptr;
  if (first->kind != PatternKind::MatchStar && accept(Tok::RPar)) return first;
  if (!at(Tok::Comma)) return fail();
  Scratch items(patterns_);
  patterns_.push_back(first);
  while (accept(Tok::Comma)) {
    if (at(Tok::RPar)) break;
    Pattern* p = maybe_star_pattern();
    if (p == nullptr) return nullptr;
    patterns_.push_back(p);
  }
  if (!expect(Tok::RPar)) return nullptr;
  auto* seq = node<MatchSequence>(start);
  seq->patterns = items.copy(arena_);
  return seq;
}

Pattern* Parser::list_pattern() {
  std::uint32_t start = tok().start;
  advance();  // [
  Scratch items(patterns_);
  while (!at(Tok::RSqb)) {
    Pattern* p = maybe_star_pattern();
    if (p == nullptr) return nullptr;
    patterns_.push_back(p);
    if (!accept(Tok::Comma)) break;
  }
  if (!expect(Tok::RSqb)) return nullptr;
  auto* seq = node<MatchSequence>(start);
  seq->patterns = items.copy(arena_);
  return seq;
}

Pattern* Parser::mapping_pattern() {
  std::uint32_t start = tok().start;
  advance();  // {
  Scratch keys(exprs_);
  Scratch values(patterns_);
  std::string_view rest;
  while (!at(Tok::RBrace)) {
    if (accept(Tok::DoubleStar)) {
      if (!capture_target(rest)) return nullptr;
      accept(Tok::Comma);
      break;
    }
    Expr* key = mapping_key();
    if (key == nullptr || !expect(Tok::Colon)) return nullptr;
    Pattern* value = pattern();
    if (value == nullptr) return nullptr;
    exprs_.push_back(key);
    patterns_.push_back(value);
    if (!accept(Tok::Comma)) break;
  }
  if (!expect(Tok::RBrace)) return nullptr;
  auto* m = node<MatchMapping>(start);
  m->keys = keys.copy(arena_);
  m->patterns = values.copy(arena_);
  m->rest = rest;
  return m;
}

// A literal or a dotted name (at least one dot).
Expr* Parser::mapping_key() {
  switch (kind()) {
    case Tok::Number:
    case Tok::Minus:
      return signed_number_literal();
    case Tok::String:
    case Tok::FStringStart:
      return strings();
    case Tok::KwNone:
    case Tok::KwTrue:
    case Tok::KwFalse:
      return atom();
    case Tok::Name:
      if (peek() != Tok::Dot) return fail();
      return name_or_attribute();
    default:
      return fail();
  }
}

// Positional sub-patterns, then keyword sub-patterns.
Pattern* Parser::class_pattern(Expr* cls, std::uint32_t start) {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  advance();  // (
  Scratch subpatterns(patterns_);
  Scratch attrs(names_);
  std::size_t positional = 0;
  while (!at(Tok::RPar)) {
    if (at(Tok::Name) && peek() == Tok::Equal) {
      std::string_view attr = text(tok());
      advance();
      advance();
      Pattern* p = pattern();
      if (p == nullptr) return nullptr;
      names_.push_back(attr);
      patterns_.push_back(p);
    } else {
      if (attrs.size() != 0) return fatal(tok().start, "positional patterns follow keyword patterns");
      Pattern* p = pattern();
      if (p == nullptr) return nullptr;
      patterns_.push_back(p);
      ++positional;
    }
    if (!accept(Tok::Comma)) break;
  }
  if (!expect(Tok::RPar)) return nullptr;
  auto all = subpatterns.copy(arena_);
  auto* c = node<MatchClass>(start);
  c->cls = cls;
  c->patterns = all.first(positional);
  c->kwd_attrs = attrs.copy(arena_);
  c->kwd_patterns = all.subspan(positional);
  return c;
}

}  // namespace quarn::py
