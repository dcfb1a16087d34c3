// Expressions, comprehensions and assignment targets.

#include <cstring>

#include "parser/literals.h"
#include "parser/parser.h"

namespace quarn::py {

namespace {

struct BinaryOperator {
  int precedence;  // 0: not a binary operator
  Operator op;
};

BinaryOperator binary_operator(Tok k) {
  switch (k) {
    case Tok::VBar: return {1, Operator::BitOr};
    case Tok::Circumflex: return {2, Operator::BitXor};
    case Tok::Amper: return {3, Operator::BitAnd};
    case Tok::LeftShift: return {4, Operator::LShift};
    case Tok::RightShift: return {4, Operator::RShift};
    case Tok::Plus: return {5, Operator::Add};
    case Tok::Minus: return {5, Operator::Sub};
    case Tok::Star: return {6, Operator::Mult};
    case Tok::Slash: return {6, Operator::Div};
    case Tok::DoubleSlash: return {6, Operator::FloorDiv};
    case Tok::Percent: return {6, Operator::Mod};
    case Tok::At: return {6, Operator::MatMult};
    default: return {0, Operator::Add};
  }
}

// Tokens that make an atom on their own (a string may still be joined by
// the next one).
bool is_single_token_atom(Tok k) {
  switch (k) {
    case Tok::Name: case Tok::Number: case Tok::String: case Tok::KwNone: case Tok::KwTrue:
    case Tok::KwFalse: case Tok::Ellipsis:
      return true;
    default:
      return false;
  }
}

// Tokens that continue an expression after its first atom: trailers, an
// adjoining string, and the operators of every level from `**` up to `if`.
bool continues_expression(Tok k) {
  switch (k) {
    case Tok::Dot: case Tok::LPar: case Tok::LSqb: case Tok::String: case Tok::FStringStart:
    case Tok::DoubleStar: case Tok::VBar: case Tok::Circumflex: case Tok::Amper: case Tok::LeftShift:
    case Tok::RightShift: case Tok::Plus: case Tok::Minus: case Tok::Star: case Tok::Slash:
    case Tok::DoubleSlash: case Tok::Percent: case Tok::At: case Tok::EqEqual: case Tok::NotEqual:
    case Tok::Less: case Tok::LessEqual: case Tok::Greater: case Tok::GreaterEqual: case Tok::KwIn:
    case Tok::KwIs: case Tok::KwNot: case Tok::KwAnd: case Tok::KwOr: case Tok::KwIf:
      return true;
    default:
      return false;
  }
}

bool starts_comprehension(Tok k, Tok next) {
  return k == Tok::KwFor || (k == Tok::KwAsync && next == Tok::KwFor);
}

}  // namespace

bool Parser::starts_expression(Tok k) const {
  switch (k) {
    case Tok::Name: case Tok::Number: case Tok::String: case Tok::FStringStart:
    case Tok::KwNone: case Tok::KwTrue: case Tok::KwFalse: case Tok::LPar: case Tok::LSqb:
    case Tok::LBrace: case Tok::Minus: case Tok::Plus: case Tok::Tilde: case Tok::KwNot:
    case Tok::KwAwait: case Tok::KwLambda: case Tok::Ellipsis:
      return true;
    default:
      return false;
  }
}

// Tokens that can begin an assignment target: an atom or a star.
bool Parser::starts_target(Tok k) const {
  switch (k) {
    case Tok::Name: case Tok::Number: case Tok::String: case Tok::FStringStart:
    case Tok::KwNone: case Tok::KwTrue: case Tok::KwFalse: case Tok::LPar: case Tok::LSqb:
    case Tok::LBrace: case Tok::Ellipsis: case Tok::Star:
      return true;
    default:
      return false;
  }
}

// star_expressions: an unparenthesized tuple when there is a comma.
Expr* Parser::star_expressions() {
  std::uint32_t start = tok().start;
  Expr* first = star_expression();
  if (first == nullptr || !at(Tok::Comma)) return first;
  Scratch items(exprs_);
  items.items.push_back(first);
  while (accept(Tok::Comma)) {
    if (!at(Tok::Star) && !starts_expression(kind())) break;
    Expr* e = star_expression();
    if (e == nullptr) return nullptr;
    exprs_.push_back(e);
  }
  auto* tuple = node<Tuple>(start);
  tuple->elts = items.copy(arena_);
  return tuple;
}

// `*value`, at the star; the grammar decides what the value may be.
template <Expr* (Parser::*Value)()>
Expr* Parser::starred() {
  std::uint32_t start = tok().start;
  advance();
  Expr* value = (this->*Value)();
  if (value == nullptr) return nullptr;
  auto* e = node<Starred>(start);
  e->value = value;
  return e;
}

Expr* Parser::star_expression() { return at(Tok::Star) ? starred<&Parser::bitwise_or>() : expression(); }

Expr* Parser::star_named_expression() {
  return at(Tok::Star) ? starred<&Parser::bitwise_or>() : named_expression();
}

Expr* Parser::named_expression() {
  if (at(Tok::Name) && peek() == Tok::ColonEqual) {
    std::uint32_t start = tok().start;
    Expr* target = name_expr();
    target->as<Name>().ctx = ExprContext::Store;
    advance();  // :=
    Expr* value = expression();
    if (value == nullptr) return nullptr;
    auto* named = node<NamedExpr>(start);
    named->target = target;
    named->value = value;
    return named;
  }
  Expr* e = expression();
  if (e != nullptr && at(Tok::ColonEqual)) return fail();
  return e;
}

Expr* Parser::expression() {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  if (at(Tok::KwLambda)) return lambda_expression();
  // Most expressions are a lone name or literal: skip the levels between.
  if (is_single_token_atom(kind()) && !continues_expression(peek())) return atom();
  std::uint32_t start = tok().start;
  Expr* body = disjunction();
  if (body == nullptr || !at(Tok::KwIf)) return body;
  advance();
  Expr* test = disjunction();
  if (test == nullptr || !expect(Tok::KwElse)) return nullptr;
  Expr* orelse = expression();
  if (orelse == nullptr) return nullptr;
  auto* e = node<IfExp>(start);
  e->test = test;
  e->body = body;
  e->orelse = orelse;
  return e;
}

Expr* Parser::lambda_expression() {
  std::uint32_t start = tok().start;
  advance();  // lambda
  Arguments* args = parameters(/*lambda=*/true);
  if (args == nullptr || !expect(Tok::Colon)) return nullptr;
  Expr* body = expression();
  if (body == nullptr) return nullptr;
  auto* e = node<Lambda>(start);
  e->args = args;
  e->body = body;
  return e;
}

Expr* Parser::yield_expression() {
  std::uint32_t start = tok().start;
  advance();  // yield
  if (accept(Tok::KwFrom)) {
    Expr* value = expression();
    if (value == nullptr) return nullptr;
    auto* e = node<YieldFrom>(start);
    e->value = value;
    return e;
  }
  Expr* value = nullptr;
  if (at(Tok::Star) || starts_expression(kind())) {
    value = star_expressions();
    if (value == nullptr) return nullptr;
  }
  auto* e = node<Yield>(start);
  e->value = value;
  return e;
}

// `a or b or c` (and the same for `and`) is one BoolOp with all operands.
template <Expr* (Parser::*Operand)()>
Expr* Parser::bool_operation(Tok keyword, BoolOperator op) {
  std::uint32_t start = tok().start;
  Expr* first = (this->*Operand)();
  if (first == nullptr || !at(keyword)) return first;
  Scratch values(exprs_);
  exprs_.push_back(first);
  while (accept(keyword)) {
    Expr* e = (this->*Operand)();
    if (e == nullptr) return nullptr;
    exprs_.push_back(e);
  }
  auto* e = node<BoolOp>(start);
  e->op = op;
  e->values = values.copy(arena_);
  return e;
}

Expr* Parser::disjunction() { return bool_operation<&Parser::conjunction>(Tok::KwOr, BoolOperator::Or); }

Expr* Parser::conjunction() { return bool_operation<&Parser::inversion>(Tok::KwAnd, BoolOperator::And); }

// `not not x` is built without recursion; the tree depth is checked later.
Expr* Parser::inversion() {
  if (!at(Tok::KwNot)) return comparison();
  Scratch starts(token_marks_);
  while (at(Tok::KwNot)) {
    token_marks_.push_back(tok().start);
    advance();
  }
  Expr* e = comparison();
  if (e == nullptr) return nullptr;
  for (std::size_t i = token_marks_.size(); i-- > starts.base;) {
    auto* u = node<UnaryOp>(token_marks_[i]);
    u->op = UnaryOperator::Not;
    u->operand = e;
    e = u;
  }
  return e;
}

namespace {

bool is_comparison(Tok k, Tok next) {
  switch (k) {
    case Tok::EqEqual: case Tok::NotEqual: case Tok::Less: case Tok::LessEqual: case Tok::Greater:
    case Tok::GreaterEqual: case Tok::KwIn: case Tok::KwIs:
      return true;
    case Tok::KwNot:
      return next == Tok::KwIn;
    default:
      return false;
  }
}

}  // namespace

Expr* Parser::comparison() {
  std::uint32_t start = tok().start;
  Expr* left = bitwise_or();
  if (left == nullptr || !is_comparison(kind(), peek())) return left;
  Scratch ops(cmp_ops_);
  Scratch comparators(exprs_);
  while (is_comparison(kind(), peek())) {
    CmpOperator op;
    switch (kind()) {
      case Tok::EqEqual: op = CmpOperator::Eq; break;
      case Tok::NotEqual: op = CmpOperator::NotEq; break;
      case Tok::Less: op = CmpOperator::Lt; break;
      case Tok::LessEqual: op = CmpOperator::LtE; break;
      case Tok::Greater: op = CmpOperator::Gt; break;
      case Tok::GreaterEqual: op = CmpOperator::GtE; break;
      case Tok::KwIn: op = CmpOperator::In; break;
      case Tok::KwIs:
        op = peek() == Tok::KwNot ? CmpOperator::IsNot : CmpOperator::Is;
        if (op == CmpOperator::IsNot) advance();
        break;
      default:  // not in
        advance();
        op = CmpOperator::NotIn;
        break;
    }
    advance();
    Expr* right = bitwise_or();
    if (right == nullptr) return nullptr;
    cmp_ops_.push_back(op);
    exprs_.push_back(right);
  }
  auto* e = node<Compare>(start);
  e->left = left;
  e->ops = ops.copy(arena_);
  e->comparators = comparators.copy(arena_);
  return e;
}

// Binary operators from `|` to `*` by precedence climbing: all left
// associative, the right operand binds tighter than the operator.
Expr* Parser::binary(int min_precedence) {
  std::uint32_t start = tok().start;
  Expr* left = factor();
  if (left == nullptr) return nullptr;
  for (;;) {
    BinaryOperator op = binary_operator(kind());
    if (op.precedence < min_precedence || op.precedence == 0) return left;
    advance();
    Expr* right = binary(op.precedence + 1);
    if (right == nullptr) return nullptr;
    auto* e = node<BinOp>(start);
    e->left = left;
    e->op = op.op;
    e->right = right;
    left = e;
  }
}

Expr* Parser::factor() {
  if (!at(Tok::Plus) && !at(Tok::Minus) && !at(Tok::Tilde)) return power();
  Scratch marks(token_marks_);
  while (at(Tok::Plus) || at(Tok::Minus) || at(Tok::Tilde)) {
    token_marks_.push_back(static_cast<std::uint32_t>(pos_));
    advance();
  }
  Expr* e = power();
  if (e == nullptr) return nullptr;
  for (std::size_t i = token_marks_.size(); i-- > marks.base;) {
    const Token& op = toks_[token_marks_[i]];
    auto* u = node<UnaryOp>(op.start);
    u->op = op.kind == Tok::Plus ? UnaryOperator::UAdd
            : op.kind == Tok::Minus ? UnaryOperator::USub
                                    : UnaryOperator::Invert;
    u->operand = e;
    e = u;
  }
  return e;
}

Expr* Parser::power() {
  std::uint32_t start = tok().start;
  Expr* base = await_primary();
  if (base == nullptr || !at(Tok::DoubleStar)) return base;
  advance();
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  Expr* exponent = factor();
  if (exponent == nullptr) return nullptr;
  auto* e = node<BinOp>(start);
  e->left = base;
  e->op = Operator::Pow;
  e->right = exponent;
  return e;
}

Expr* Parser::await_primary() {
  if (!at(Tok::KwAwait)) return primary();
  std::uint32_t start = tok().start;
  advance();
  Expr* value = primary();
  if (value == nullptr) return nullptr;
  auto* e = node<Await>(start);
  e->value = value;
  return e;
}

Expr* Parser::primary() {
  std::uint32_t start = tok().start;
  Expr* e = atom();
  while (e != nullptr) {
    switch (kind()) {
      case Tok::Dot: {
        advance();
        if (!at(Tok::Name)) return fail();
        std::string_view attr = text(tok());
        advance();
        auto* a = node<Attribute>(start);
        a->value = e;
        a->attr = attr;
        e = a;
        break;
      }
      case Tok::LPar:
        e = call(e, start);
        break;
      case Tok::LSqb:
        e = subscript(e, start);
        break;
      default:
        return e;
    }
  }
  return nullptr;
}

Expr* Parser::name_expr() {
  std::uint32_t start = tok().start;
  std::string_view id = text(tok());
  advance();
  auto* n = node<Name>(start);
  n->id = id;
  return n;
}

Expr* Parser::atom() {
  std::uint32_t start = tok().start;
  switch (kind()) {
    case Tok::Name:
      return name_expr();
    case Tok::KwNone:
    case Tok::KwTrue:
    case Tok::KwFalse:
    case Tok::Ellipsis: {
      Tok k = kind();
      advance();
      auto* c = node<Constant>(start);
      c->value_kind = k == Tok::KwNone   ? ConstantKind::None
                      : k == Tok::KwTrue  ? ConstantKind::True
                      : k == Tok::KwFalse ? ConstantKind::False
                                          : ConstantKind::Ellipsis;
      return c;
    }
    case Tok::Number:
      return number();
    case Tok::String:
    case Tok::FStringStart:
      return strings();
    case Tok::LPar:
      return parenthesized();
    case Tok::LSqb:
      return list_display();
    case Tok::LBrace:
      return brace_display();
    default:
      return fail();
  }
}

Expr* Parser::number() {
  const Token& t = tok();
  std::string_view literal = text(t);
  auto* c = node_at<Constant>(t.start, t.end);
  bool plain_decimal = literal.size() == 1 || literal[0] != '0';
  for (char ch : literal) plain_decimal = plain_decimal && ch >= '0' && ch <= '9';
  if (plain_decimal) {
    if (literal.size() > kMaxDecimalDigits) {
      return fatal(t.start, "integer literal has more than 4300 decimal digits");
    }
    c->value_kind = ConstantKind::Int;
    c->text = literal;
    advance();
    return c;
  }
  auto decoded = decode_number(literal);
  if (!decoded) return fatal(t.start + decoded.error().offset, decoded.error().message);
  switch (decoded->kind) {
    case NumberLiteral::Kind::Int: {
      bool decimal = literal.size() < 2 || literal[0] != '0' ||
                     std::strchr("xXoObB", literal[1]) == nullptr;
      if (decimal && decoded->decimal.size() > kMaxDecimalDigits) {
        return fatal(t.start, "integer literal has more than 4300 decimal digits");
      }
      c->value_kind = ConstantKind::Int;
      c->text = arena_.copy(std::string_view(decoded->decimal));
      break;
    }
    case NumberLiteral::Kind::Float:
      c->value_kind = ConstantKind::Float;
      c->number = decoded->value;
      break;
    case NumberLiteral::Kind::Complex:
      c->value_kind = ConstantKind::Complex;
      c->number = decoded->value;
      break;
  }
  advance();
  return c;
}

// ( ... ): empty tuple, yield, group, generator expression or tuple.
Expr* Parser::parenthesized() {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  std::uint32_t start = tok().start;
  advance();
  if (accept(Tok::RPar)) return node<Tuple>(start);
  if (at(Tok::KwYield)) {
    Expr* y = yield_expression();
    if (y == nullptr || !expect(Tok::RPar)) return nullptr;
    return y;
  }
  bool starred = at(Tok::Star);
  Expr* first = star_named_expression();
  if (first == nullptr) return nullptr;
  if (!starred && starts_comprehension(kind(), peek())) {
    std::span<Comprehension> generators;
    if (!comprehension_clauses(generators) || !expect(Tok::RPar)) return nullptr;
    auto* g = node<GeneratorExp>(start);
    g->elt = first;
    g->generators = generators;
    return g;
  }
  if (!starred && accept(Tok::RPar)) return first;
  if (!at(Tok::Comma)) return fail();
  Scratch items(exprs_);
  exprs_.push_back(first);
  if (!rest_of_elements(Tok::RPar)) return nullptr;
  auto* tuple = node<Tuple>(start);
  tuple->elts = items.copy(arena_);
  return tuple;
}

// After a display's first element: more ", element" up to `closer`, a
// trailing comma allowed; the elements go onto exprs_.
bool Parser::rest_of_elements(Tok closer) {
  while (accept(Tok::Comma)) {
    if (at(closer)) break;
    Expr* e = star_named_expression();
    if (e == nullptr) return false;
    exprs_.push_back(e);
  }
  return expect(closer);
}

Expr* Parser::list_display() {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  std::uint32_t start = tok().start;
  advance();
  if (accept(Tok::RSqb)) return node<List>(start);
  bool starred = at(Tok::Star);
  Expr* first = star_named_expression();
  if (first == nullptr) return nullptr;
  if (!starred && starts_comprehension(kind(), peek())) {
    std::span<Comprehension> generators;
    if (!comprehension_clauses(generators) || !expect(Tok::RSqb)) return nullptr;
    auto* c = node<ListComp>(start);
    c->elt = first;
    c->generators = generators;
    return c;
  }
  Scratch items(exprs_);
  exprs_.push_back(first);
  if (!rest_of_elements(Tok::RSqb)) return nullptr;
  auto* list = node<List>(start);
  list->elts = items.copy(arena_);
  return list;
}

// { ... }: dict, set, or their comprehensions.
Expr* Parser::brace_display() {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  std::uint32_t start = tok().start;
  advance();
  if (accept(Tok::RBrace)) return node<Dict>(start);

  bool is_dict = at(Tok::DoubleStar);
  Expr* first_key = nullptr;
  Expr* first = nullptr;  // the first value (dict) or element (set)
  if (is_dict) {
    advance();
    first = bitwise_or();
    if (first == nullptr) return nullptr;
  } else {
    bool starred = at(Tok::Star);
    std::uint32_t item_start = tok().start;
    first = star_named_expression();
    if (first == nullptr) return nullptr;
    if (!starred && at(Tok::Colon)) {
      if (first->kind == ExprKind::NamedExpr && is_unparenthesized(first, item_start)) return fail();
      advance();
      is_dict = true;
      first_key = first;
      first = expression();
      if (first == nullptr) return nullptr;
      if (starts_comprehension(kind(), peek())) {
        std::span<Comprehension> generators;
        if (!comprehension_clauses(generators) || !expect(Tok::RBrace)) return nullptr;
        auto* c = node<DictComp>(start);
        c->key = first_key;
        c->value = first;
        c->generators = generators;
        return c;
      }
    } else if (!starred && starts_comprehension(kind(), peek())) {
      std::span<Comprehension> generators;
      if (!comprehension_clauses(generators) || !expect(Tok::RBrace)) return nullptr;
      auto* c = node<SetComp>(start);
      c->elt = first;
      c->generators = generators;
      return c;
    }
  }

  if (!is_dict) {
    Scratch items(exprs_);
    exprs_.push_back(first);
    if (!rest_of_elements(Tok::RBrace)) return nullptr;
    auto* set = node<Set>(start);
    set->elts = items.copy(arena_);
    return set;
  }

  // Keys and values alternate on the scratch stack until the end.
  Scratch pairs(exprs_);
  exprs_.push_back(first_key);
  exprs_.push_back(first);
  while (accept(Tok::Comma)) {
    if (at(Tok::RBrace)) break;
    Expr* key = nullptr;
    Expr* value = nullptr;
    if (accept(Tok::DoubleStar)) {
      value = bitwise_or();
    } else {
      key = expression();
      if (key == nullptr || !expect(Tok::Colon)) return nullptr;
      value = expression();
    }
    if (value == nullptr) return nullptr;
    exprs_.push_back(key);
    exprs_.push_back(value);
  }
  if (!expect(Tok::RBrace)) return nullptr;
  std::size_t count = pairs.size() / 2;
  auto keys = std::span<Expr*>(static_cast<Expr**>(arena_.allocate(sizeof(Expr*) * count, alignof(Expr*))), count);
  auto values = std::span<Expr*>(static_cast<Expr**>(arena_.allocate(sizeof(Expr*) * count, alignof(Expr*))), count);
  for (std::size_t i = 0; i < count; ++i) {
    keys[i] = exprs_[pairs.base + 2 * i];
    values[i] = exprs_[pairs.base + 2 * i + 1];
  }
  auto* dict = node<Dict>(start);
  dict->keys = keys;
  dict->values = values;
  return dict;
}

Expr* Parser::call(Expr* func, std::uint32_t start) {
  std::span<Expr*> args;
  std::span<Keyword> keywords;
  if (!call_arguments(/*allow_generator=*/true, args, keywords)) return nullptr;
  auto* c = node<Call>(start);
  c->func = func;
  c->args = args;
  c->keywords = keywords;
  return c;
}

// '(' [arguments] ')'. Positional arguments come first, then keywords and
// `*` unpackings, then keywords and `**` unpackings. A generator expression
// that is the sole argument needs no parentheses of its own; it then spans
// from its element to its last clause.
bool Parser::call_arguments(bool allow_generator, std::span<Expr*>& args, std::span<Keyword>& keywords) {
  DepthGuard guard(*this);
  if (!guard) return false;
  advance();  // (
  Scratch positional(exprs_);
  Scratch named(keywords_);
  bool seen_keyword = false;
  bool seen_double_star = false;
  while (!at(Tok::RPar)) {
    std::uint32_t start = tok().start;
    if (at(Tok::Star)) {
      if (seen_double_star) return reject();
      Expr* value = starred<&Parser::expression>();
      if (value == nullptr) return false;
      exprs_.push_back(value);
    } else if (at(Tok::DoubleStar)) {
      advance();
      Expr* value = expression();
      if (value == nullptr) return false;
      keywords_.push_back(Keyword{start, prev_end(), {}, value});
      seen_double_star = true;
    } else if (at(Tok::Name) && peek() == Tok::Equal) {
      std::string_view name = text(tok());
      advance();
      advance();
      Expr* value = expression();
      if (value == nullptr) return false;
      keywords_.push_back(Keyword{start, prev_end(), name, value});
      seen_keyword = true;
    } else {
      if (seen_keyword || seen_double_star) return reject();
      Expr* value = named_expression();
      if (value == nullptr) return false;
      if (at(Tok::Equal)) return reject();
      if (starts_comprehension(kind(), peek())) {
        if (!allow_generator || positional.size() != 0) return reject();
        std::span<Comprehension> generators;
        if (!comprehension_clauses(generators)) return false;
        if (!at(Tok::RPar)) return reject();
        auto* g = node<GeneratorExp>(value->start);
        g->elt = value;
        g->generators = generators;
        exprs_.push_back(g);
        advance();
        args = positional.copy(arena_);
        return true;
      }
      exprs_.push_back(value);
    }
    if (!accept(Tok::Comma)) break;
  }
  if (!expect(Tok::RPar)) return false;
  args = positional.copy(arena_);
  keywords = named.copy(arena_);
  return true;
}

Expr* Parser::subscript(Expr* value, std::uint32_t start) {
  DepthGuard guard(*this);
  if (!guard) return nullptr;
  advance();  // [
  std::uint32_t slice_start = tok().start;
  Expr* first = slice_item();
  if (first == nullptr) return nullptr;
  Expr* slice = first;
  if (at(Tok::Comma) || first->kind == ExprKind::Starred) {
    Scratch items(exprs_);
    exprs_.push_back(first);
    while (accept(Tok::Comma)) {
      if (at(Tok::RSqb)) break;
      Expr* e = slice_item();
      if (e == nullptr) return nullptr;
      exprs_.push_back(e);
    }
    auto* tuple = node<Tuple>(slice_start);
    tuple->elts = items.copy(arena_);
    slice = tuple;
  }
  if (!expect(Tok::RSqb)) return nullptr;
  auto* s = node<Subscript>(start);
  s->value = value;
  s->slice = slice;
  return s;
}

Expr* Parser::slice_item() {
  if (at(Tok::Star)) return starred<&Parser::expression>();
  std::uint32_t start = tok().start;
  Expr* lower = nullptr;
  if (!at(Tok::Colon)) {
    lower = named_expression();
    if (lower == nullptr || !at(Tok::Colon)) return lower;
    if (lower->kind == ExprKind::NamedExpr && is_unparenthesized(lower, start)) return fail();
  }
  advance();  // :
  Expr* upper = nullptr;
  Expr* step = nullptr;
  if (!at(Tok::Colon) && !at(Tok::Comma) && !at(Tok::RSqb)) {
    upper = expression();
    if (upper == nullptr) return nullptr;
  }
  if (accept(Tok::Colon) && !at(Tok::Comma) && !at(Tok::RSqb)) {
    step = expression();
    if (step == nullptr) return nullptr;
  }
  auto* s = node<Slice>(start);
  s->lower = lower;
  s->upper = upper;
  s->step = step;
  return s;
}

bool Parser::comprehension_clauses(std::span<Comprehension>& out) {
  Scratch clauses(comprehensions_);
  while (starts_comprehension(kind(), peek())) {
    Comprehension c;
    c.is_async = accept(Tok::KwAsync);
    advance();  // for
    c.target = star_targets();
    if (c.target == nullptr || !expect(Tok::KwIn)) return false;
    c.iter = disjunction();
    if (c.iter == nullptr) return false;
    Scratch ifs(exprs_);
    while (accept(Tok::KwIf)) {
      Expr* condition = disjunction();
      if (condition == nullptr) return false;
      exprs_.push_back(condition);
    }
    c.ifs = ifs.copy(arena_);
    comprehensions_.push_back(c);
  }
  out = clauses.copy(arena_);
  return true;
}

// star_targets of `for` loops and comprehensions: stops before `in`.
Expr* Parser::star_targets() {
  std::uint32_t start = tok().start;
  Expr* first = star_target();
  if (first == nullptr || !at(Tok::Comma)) return first;
  Scratch items(exprs_);
  exprs_.push_back(first);
  while (accept(Tok::Comma)) {
    if (!starts_target(kind())) break;
    Expr* e = star_target();
    if (e == nullptr) return nullptr;
    exprs_.push_back(e);
  }
  auto* tuple = node<Tuple>(start);
  tuple->elts = items.copy(arena_);
  tuple->ctx = ExprContext::Store;
  return tuple;
}

Expr* Parser::star_target() {
  std::uint32_t start = tok().start;
  bool starred = accept(Tok::Star);
  if (starred && at(Tok::Star)) return fail();
  Expr* target = primary();
  if (target == nullptr) return nullptr;
  if (!set_target_context(target, ExprContext::Store, false)) return fatal(target->start, "invalid assignment target");
  if (!starred) return target;
  auto* s = node<Starred>(start);
  s->value = target;
  s->ctx = ExprContext::Store;
  return s;
}

// Marks `e` as an assignment (Store) or deletion (Del) target, or says it
// cannot be one. Only assignment targets hold starred items: where
// `starred_allowed`, and inside tuples and lists.
bool Parser::set_target_context(Expr* e, ExprContext ctx, bool starred_allowed) {
  switch (e->kind) {
    case ExprKind::Name: e->as<Name>().ctx = ctx; return true;
    case ExprKind::Attribute: e->as<Attribute>().ctx = ctx; return true;
    case ExprKind::Subscript: e->as<Subscript>().ctx = ctx; return true;
    case ExprKind::Starred: {
      auto& s = e->as<Starred>();
      if (!starred_allowed) return false;
      s.ctx = ctx;
      return set_target_context(s.value, ctx, false);
    }
    case ExprKind::Tuple:
    case ExprKind::List: {
      auto elts = e->kind == ExprKind::Tuple ? e->as<Tuple>().elts : e->as<List>().elts;
      if (e->kind == ExprKind::Tuple) e->as<Tuple>().ctx = ctx;
      else e->as<List>().ctx = ctx;
      for (Expr* elt : elts) {
        if (!set_target_context(elt, ctx, ctx == ExprContext::Store)) return false;
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace quarn::py
