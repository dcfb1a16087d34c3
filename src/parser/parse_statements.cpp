// Statements, blocks, definitions and their parameters.

#include "parser/parser.h"

namespace quarn::py {

namespace {

bool augmented_operator(Tok k, Operator& op) {
  switch (k) {
    case Tok::PlusEqual: op = Operator::Add; return true;
    case Tok::MinEqual: op = Operator::Sub; return true;
    case Tok::StarEqual: op = Operator::Mult; return true;
    case Tok::AtEqual: op = Operator::MatMult; return true;
    case Tok::SlashEqual: op = Operator::Div; return true;
    case Tok::PercentEqual: op = Operator::Mod; return true;
    case Tok::AmperEqual: op = Operator::BitAnd; return true;
    case Tok::VBarEqual: op = Operator::BitOr; return true;
    case Tok::CircumflexEqual: op = Operator::BitXor; return true;
    case Tok::LeftShiftEqual: op = Operator::LShift; return true;
    case Tok::RightShiftEqual: op = Operator::RShift; return true;
    case Tok::DoubleStarEqual: op = Operator::Pow; return true;
    case Tok::DoubleSlashEqual: op = Operator::FloorDiv; return true;
    default: return false;
  }
}

bool is_single_target(const Expr* e) {
  return e->kind == ExprKind::Name || e->kind == ExprKind::Attribute || e->kind == ExprKind::Subscript;
}

}  // namespace

bool Parser::statement() {
  switch (kind()) {
    case Tok::KwDef: case Tok::KwClass: case Tok::At: case Tok::KwIf: case Tok::KwWith:
    case Tok::KwFor: case Tok::KwTry: case Tok::KwWhile: case Tok::KwAsync:
      return compound_statement();
    default:
      break;
  }
  if (at_soft_keyword("match")) {
    // A match statement when it parses as one, otherwise `match` is a name.
    std::size_t save = pos_;
    if (Stmt* s = match_statement()) {
      stmts_.push_back(s);
      return true;
    }
    if (fatal_) return false;
    restore(save);
  }
  return simple_statements();
}

bool Parser::simple_statements() {
  for (;;) {
    Stmt* s = simple_statement();
    if (s == nullptr) return false;
    stmts_.push_back(s);
    if (!accept(Tok::Semi) || at(Tok::Newline)) break;
  }
  return expect(Tok::Newline);
}

Stmt* Parser::simple_statement() {
  std::uint32_t start = tok().start;
  switch (kind()) {
    case Tok::KwReturn: return return_statement();
    case Tok::KwImport: return import_statement();
    case Tok::KwFrom: return import_from_statement();
    case Tok::KwRaise: return raise_statement();
    case Tok::KwDel: return delete_statement();
    case Tok::KwAssert: return assert_statement();
    case Tok::KwGlobal: return global_statement(false);
    case Tok::KwNonlocal: return global_statement(true);
    case Tok::KwPass: advance(); return node<Pass>(start);
    case Tok::KwBreak: advance(); return node<Break>(start);
    case Tok::KwContinue: advance(); return node<Continue>(start);
    case Tok::KwYield: {
      Expr* value = yield_expression();
      if (value == nullptr) return nullptr;
      auto* s = node<ExprStmt>(start);
      s->value = value;
      return s;
    }
    default:
      if (at_soft_keyword("type") && peek() == Tok::Name) return type_alias_statement();
      return expression_statement();
  }
}

// Expression statements and the three kinds of assignment, told apart by
// what follows the first expression list.
Stmt* Parser::expression_statement() {
  std::uint32_t start = tok().start;
  Expr* first = star_expressions();
  if (first == nullptr) return nullptr;

  if (at(Tok::Equal)) {
    Scratch chain(exprs_);
    exprs_.push_back(first);
    while (accept(Tok::Equal)) {
      Expr* e = at(Tok::KwYield) ? yield_expression() : star_expressions();
      if (e == nullptr) return nullptr;
      exprs_.push_back(e);
    }
    Expr* value = exprs_.back();
    exprs_.pop_back();
    for (std::size_t i = chain.base; i < exprs_.size(); ++i) {
      if (!set_target_context(exprs_[i], ExprContext::Store, true))
        return fatal(exprs_[i]->start, "invalid assignment target");
    }
    auto* s = node<Assign>(start);
    s->targets = chain.copy(arena_);
    s->value = value;
    return s;
  }

  if (at(Tok::Colon)) {
    if (!is_single_target(first)) return fatal(first->start, "invalid target for an annotation");
    set_target_context(first, ExprContext::Store, false);
    advance();
    Expr* annotation = expression();
    if (annotation == nullptr) return nullptr;
    Expr* value = nullptr;
    if (accept(Tok::Equal)) {
      value = at(Tok::KwYield) ? yield_expression() : star_expressions();
      if (value == nullptr) return nullptr;
    }
    auto* s = node<AnnAssign>(start);
    s->target = first;
    s->annotation = annotation;
    s->value = value;
    s->simple = first->kind == ExprKind::Name && is_unparenthesized(first, start);
    return s;
  }

  Operator op;
  if (augmented_operator(kind(), op)) {
    if (!is_single_target(first)) return fatal(first->start, "invalid target for augmented assignment");
    set_target_context(first, ExprContext::Store, false);
    advance();
    Expr* value = at(Tok::KwYield) ? yield_expression() : star_expressions();
    if (value == nullptr) return nullptr;
    auto* s = node<AugAssign>(start);
    s->target = first;
    s->op = op;
    s->value = value;
    return s;
  }

  auto* s = node<ExprStmt>(start);
  s->value = first;
  return s;
}

Stmt* Parser::return_statement() {
  std::uint32_t start = tok().start;
  advance();
  Expr* value = nullptr;
  if (at(Tok::Star) || starts_expression(kind())) {
    value = star_expressions();
    if (value == nullptr) return nullptr;
  }
  auto* s = node<Return>(start);
  s->value = value;
  return s;
}

Stmt* Parser::raise_statement() {
  std::uint32_t start = tok().start;
  advance();
  Expr* exc = nullptr;
  Expr* cause = nullptr;
  if (starts_expression(kind())) {
    exc = expression();
    if (exc == nullptr) return nullptr;
    if (accept(Tok::KwFrom)) {
      cause = expression();
      if (cause == nullptr) return nullptr;
    }
  }
  auto* s = node<Raise>(start);
  s->exc = exc;
  s->cause = cause;
  return s;
}

Stmt* Parser::delete_statement() {
  std::uint32_t start = tok().start;
  advance();
  Scratch targets(exprs_);
  for (;;) {
    Expr* target = primary();
    if (target == nullptr) return nullptr;
    if (!set_target_context(target, ExprContext::Del, false)) return fatal(target->start, "invalid deletion target");
    exprs_.push_back(target);
    if (!accept(Tok::Comma) || at(Tok::Semi) || at(Tok::Newline)) break;
  }
  if (!at(Tok::Semi) && !at(Tok::Newline)) return fail();
  auto* s = node<Delete>(start);
  s->targets = targets.copy(arena_);
  return s;
}

Stmt* Parser::assert_statement() {
  std::uint32_t start = tok().start;
  advance();
  Expr* test = expression();
  if (test == nullptr) return nullptr;
  Expr* msg = nullptr;
  if (accept(Tok::Comma)) {
    msg = expression();
    if (msg == nullptr) return nullptr;
  }
  auto* s = node<Assert>(start);
  s->test = test;
  s->msg = msg;
  return s;
}

// A dotted module name joined with "."; empty on failure.
std::string_view Parser::dotted_name() {
  if (!at(Tok::Name)) {
    fail();
    return {};
  }
  std::size_t first = pos_;
  bool contiguous = true;
  advance();
  while (at(Tok::Dot)) {
    if (tok().start != prev_end()) contiguous = false;
    advance();
    if (!at(Tok::Name)) {
      fail();
      return {};
    }
    if (tok().start != prev_end()) contiguous = false;
    advance();
  }
  if (contiguous) return src_.substr(toks_[first].start, prev_end() - toks_[first].start);
  std::size_t size = 0;
  for (std::size_t i = first; i < pos_; ++i) size += toks_[i].end - toks_[i].start;
  char* joined = static_cast<char*>(arena_.allocate(size, 1));
  std::size_t at_byte = 0;
  for (std::size_t i = first; i < pos_; ++i) {
    std::string_view part = text(toks_[i]);
    part.copy(joined + at_byte, part.size());
    at_byte += part.size();
  }
  return {joined, size};
}

bool Parser::alias(bool dotted) {
  std::uint32_t start = tok().start;
  std::string_view name;
  if (dotted) {
    name = dotted_name();
    if (name.empty()) return false;
  } else {
    if (!at(Tok::Name)) return reject();
    name = text(tok());
    advance();
  }
  std::string_view asname;
  if (accept(Tok::KwAs)) {
    if (!at(Tok::Name)) return reject();
    asname = text(tok());
    advance();
  }
  aliases_.push_back(Alias{start, prev_end(), name, asname});
  return true;
}

Stmt* Parser::import_statement() {
  std::uint32_t start = tok().start;
  advance();
  Scratch names(aliases_);
  do {
    if (!alias(/*dotted=*/true)) return nullptr;
  } while (accept(Tok::Comma));
  auto* s = node<Import>(start);
  s->names = names.copy(arena_);
  return s;
}

Stmt* Parser::import_from_statement() {
  std::uint32_t start = tok().start;
  advance();
  std::uint32_t level = 0;
  while (at(Tok::Dot) || at(Tok::Ellipsis)) {
    level += at(Tok::Dot) ? 1 : 3;
    advance();
  }
  std::string_view module;
  if (at(Tok::Name) || level == 0) {
    module = dotted_name();
    if (module.empty()) return nullptr;
  }
  if (!expect(Tok::KwImport)) return nullptr;
  Scratch names(aliases_);
  if (at(Tok::Star)) {
    std::uint32_t star = tok().start;
    advance();
    aliases_.push_back(Alias{star, prev_end(), "*", {}});
  } else if (accept(Tok::LPar)) {
    do {
      if (at(Tok::RPar) && names.size() != 0) break;
      if (!alias(/*dotted=*/false)) return nullptr;
    } while (accept(Tok::Comma));
    if (!expect(Tok::RPar)) return nullptr;
  } else {
    do {
      if (!alias(/*dotted=*/false)) return nullptr;
    } while (accept(Tok::Comma));
  }
  auto* s = node<ImportFrom>(start);
  s->module = module;
  s->names = names.copy(arena_);
  s->level = level;
  return s;
}

Stmt* Parser::global_statement(bool nonlocal) {
  std::uint32_t start = tok().start;
  advance();
  Scratch names(names_);
  do {
    if (!at(Tok::Name)) return fail();
    names_.push_back(text(tok()));
    advance();
  } while (accept(Tok::Comma));
  if (nonlocal) {
    auto* s = node<Nonlocal>(start);
    s->names = names.copy(arena_);
    return s;
  }
  auto* s = node<Global>(start);
  s->names = names.copy(arena_);
  return s;
}

Stmt* Parser::type_alias_statement() {
  std::uint32_t start = tok().start;
  advance();  // type
  Expr* name = name_expr();
  name->as<Name>().ctx = ExprContext::Store;
  std::span<TypeParam*> params;
  if (at(Tok::LSqb)) {
    bool ok = true;
    params = type_params(ok);
    if (!ok) return nullptr;
  }
  if (!expect(Tok::Equal)) return nullptr;
  Expr* value = expression();
  if (value == nullptr) return nullptr;
  auto* s = node<TypeAlias>(start);
  s->name = name;
  s->type_params = params;
  s->value = value;
  return s;
}

std::span<TypeParam*> Parser::type_params(bool& ok) {
  advance();  // [
  Scratch params(type_params_);
  do {
    if (at(Tok::RSqb) && params.size() != 0) break;
    TypeParam* param = type_param();
    if (param == nullptr) {
      ok = false;
      return {};
    }
    type_params_.push_back(param);
  } while (accept(Tok::Comma));
  if (!expect(Tok::RSqb)) {
    ok = false;
    return {};
  }
  return params.copy(arena_);
}

TypeParam* Parser::type_param() {
  std::uint32_t start = tok().start;
  Tok lead = kind();
  if (lead == Tok::Star || lead == Tok::DoubleStar) advance();
  if (!at(Tok::Name)) return fail();
  std::string_view name = text(tok());
  advance();
  if (lead == Tok::Name) {
    Expr* bound = nullptr;
    if (accept(Tok::Colon)) {
      bound = expression();
      if (bound == nullptr) return nullptr;
    }
    auto* p = node<TypeVar>(start);
    p->name = name;
    p->bound = bound;
    return p;
  }
  if (at(Tok::Colon)) {
    return fatal(tok().start, lead == Tok::Star ? "cannot use constraints with TypeVarTuple"
                                                : "cannot use bound with ParamSpec");
  }
  if (lead == Tok::Star) {
    auto* p = node<TypeVarTuple>(start);
    p->name = name;
    return p;
  }
  if (lead != Tok::DoubleStar) return fail();
  auto* p = node<ParamSpec>(start);
  p->name = name;
  return p;
}

bool Parser::compound_statement() {
  Stmt* s = nullptr;
  switch (kind()) {
    case Tok::KwDef: s = function_definition({}); break;
    case Tok::KwClass: s = class_definition({}); break;
    case Tok::At: s = decorated_definition(); break;
    case Tok::KwIf: s = if_statement(); break;
    case Tok::KwWhile: s = while_statement(); break;
    case Tok::KwFor: s = for_statement(); break;
    case Tok::KwWith: s = with_statement(); break;
    case Tok::KwTry: s = try_statement(); break;
    case Tok::KwAsync:
      switch (peek()) {
        case Tok::KwDef: s = function_definition({}); break;
        case Tok::KwFor: s = for_statement(); break;
        case Tok::KwWith: s = with_statement(); break;
        default: advance(); return reject();
      }
      break;
    default:
      return reject();
  }
  if (s == nullptr) return false;
  stmts_.push_back(s);
  return true;
}

Stmt* Parser::decorated_definition() {
  Scratch decorators(exprs_);
  while (accept(Tok::At)) {
    Expr* e = named_expression();
    if (e == nullptr || !expect(Tok::Newline)) return nullptr;
    exprs_.push_back(e);
  }
  std::span<Expr*> list = decorators.copy(arena_);
  if (at(Tok::KwDef) || (at(Tok::KwAsync) && peek() == Tok::KwDef)) return function_definition(list);
  if (at(Tok::KwClass)) return class_definition(list);
  return fail();
}

// Definitions start at `def`, `async` or `class`, not at their decorators.
Stmt* Parser::function_definition(std::span<Expr*> decorators) {
  std::uint32_t start = tok().start;
  bool is_async = accept(Tok::KwAsync);
  advance();  // def
  if (!at(Tok::Name)) return fail();
  std::string_view name = text(tok());
  advance();
  std::span<TypeParam*> params;
  if (at(Tok::LSqb)) {
    bool ok = true;
    params = type_params(ok);
    if (!ok) return nullptr;
  }
  if (!expect(Tok::LPar)) return nullptr;
  Arguments* args = parameters(/*lambda=*/false);
  if (args == nullptr || !expect(Tok::RPar)) return nullptr;
  Expr* returns = nullptr;
  if (accept(Tok::RArrow)) {
    returns = expression();
    if (returns == nullptr) return nullptr;
  }
  std::span<Stmt*> body;
  if (!expect(Tok::Colon) || !block(body)) return nullptr;
  AnyFunctionDef* f = is_async ? static_cast<AnyFunctionDef*>(node<AsyncFunctionDef>(start))
                               : static_cast<AnyFunctionDef*>(node<FunctionDef>(start));
  f->end = block_end();
  f->name = name;
  f->args = args;
  f->body = body;
  f->decorator_list = decorators;
  f->returns = returns;
  f->type_params = params;
  return f;
}

Stmt* Parser::class_definition(std::span<Expr*> decorators) {
  std::uint32_t start = tok().start;
  advance();  // class
  if (!at(Tok::Name)) return fail();
  std::string_view name = text(tok());
  advance();
  std::span<TypeParam*> params;
  if (at(Tok::LSqb)) {
    bool ok = true;
    params = type_params(ok);
    if (!ok) return nullptr;
  }
  std::span<Expr*> bases;
  std::span<Keyword> keywords;
  if (at(Tok::LPar) && !call_arguments(/*allow_generator=*/false, bases, keywords)) return nullptr;
  std::span<Stmt*> body;
  if (!expect(Tok::Colon) || !block(body)) return nullptr;
  auto* c = node<ClassDef>(start);
  c->end = block_end();
  c->name = name;
  c->bases = bases;
  c->keywords = keywords;
  c->body = body;
  c->decorator_list = decorators;
  c->type_params = params;
  return c;
}

// Parameters of a def (up to ')') or a lambda (up to ':'): positional ones,
// '/' after the positional-only ones, '*' or '*args' before the keyword-only
// ones, '**kwargs' last. Defaults, once started, continue to the '*'.
Arguments* Parser::parameters(bool lambda) {
  const Tok terminator = lambda ? Tok::Colon : Tok::RPar;
  enum class Section { Positional, KeywordOnly, Done } section = Section::Positional;
  Scratch params(args_);
  Scratch defaults(exprs_);
  std::size_t positional = 0;
  std::size_t positional_only = 0;
  std::size_t positional_defaults = 0;
  std::size_t keyword_only = 0;
  bool seen_default = false;
  bool seen_slash = false;
  bool bare_star = false;
  Arg* vararg = nullptr;
  Arg* kwarg = nullptr;

  while (!at(terminator)) {
    if (at(Tok::Slash)) {
      if (section != Section::Positional || seen_slash || positional == 0) return fail();
      advance();
      seen_slash = true;
      positional_only = positional;
    } else if (at(Tok::Star)) {
      if (section != Section::Positional) return fail();
      advance();
      section = Section::KeywordOnly;
      if (at(Tok::Comma)) {
        bare_star = true;
      } else {
        vararg = arena_.make<Arg>();
        if (!parameter(*vararg, !lambda, /*star_annotation=*/!lambda)) return nullptr;
      }
    } else if (at(Tok::DoubleStar)) {
      if (section == Section::Done || (bare_star && keyword_only == 0)) return fail();
      advance();
      kwarg = arena_.make<Arg>();
      if (!parameter(*kwarg, !lambda, false)) return nullptr;
      section = Section::Done;
    } else {
      if (section == Section::Done) return fail();
      Arg arg;
      if (!parameter(arg, !lambda, false)) return nullptr;
      Expr* value = nullptr;
      if (accept(Tok::Equal)) {
        value = expression();
        if (value == nullptr) return nullptr;
      }
      if (section == Section::Positional) {
        if (value != nullptr) {
          exprs_.push_back(value);
          ++positional_defaults;
          seen_default = true;
        } else if (seen_default) {
          return fatal(arg.start, "parameter without a default follows parameter with a default");
        }
        ++positional;
      } else {
        exprs_.push_back(value);
        ++keyword_only;
      }
      args_.push_back(arg);
    }
    if (at(terminator)) break;
    if (!expect(Tok::Comma)) return nullptr;
  }
  if (bare_star && keyword_only == 0) return fatal(tok().start, "named arguments must follow bare *");

  auto* a = arena_.make<Arguments>();
  std::span<Arg> all = params.copy(arena_);
  a->posonlyargs = all.first(positional_only);
  a->args = all.subspan(positional_only, positional - positional_only);
  a->kwonlyargs = all.subspan(positional);
  std::span<Expr*> all_defaults = defaults.copy(arena_);
  a->defaults = all_defaults.first(positional_defaults);
  a->kw_defaults = all_defaults.subspan(positional_defaults);
  a->vararg = vararg;
  a->kwarg = kwarg;
  return a;
}

// NAME [':' annotation]; the annotation of *args may be starred.
bool Parser::parameter(Arg& arg, bool annotated, bool star_annotation) {
  if (!at(Tok::Name)) return reject();
  arg.start = tok().start;
  arg.arg = text(tok());
  advance();
  if (annotated && accept(Tok::Colon)) {
    arg.annotation = star_annotation ? star_expression() : expression();
    if (arg.annotation == nullptr) return false;
  }
  arg.end = prev_end();
  return true;
}

// Compound statements end with the last token of their last block, a
// trailing ';' included.
std::uint32_t Parser::block_end() const {
  std::size_t i = pos_;
  while (i > 0) {
    const Token& t = toks_[--i];
    if (t.kind != Tok::Newline && t.kind != Tok::Indent && t.kind != Tok::Dedent) return t.end;
  }
  return 0;
}

bool Parser::block(std::span<Stmt*>& out) {
  DepthGuard guard(*this);
  if (!guard) return false;
  Scratch body(stmts_);
  if (accept(Tok::Newline)) {
    if (!expect(Tok::Indent)) return false;
    while (!at(Tok::Dedent)) {
      if (at(Tok::EndMarker)) return reject();
      if (!statement()) return false;
    }
    advance();
  } else if (!simple_statements()) {
    return false;
  }
  out = body.copy(arena_);
  return true;
}

bool Parser::else_block(std::span<Stmt*>& out) {
  advance();  // else
  return expect(Tok::Colon) && block(out);
}

// An elif chain becomes nested If nodes in orelse, built bottom-up without
// recursion; each spans from its keyword to the end of the whole chain.
Stmt* Parser::if_statement() {
  std::uint32_t start = tok().start;
  advance();
  Expr* test = named_expression();
  std::span<Stmt*> body;
  if (test == nullptr || !expect(Tok::Colon) || !block(body)) return nullptr;
  Scratch elifs(elifs_);
  while (at(Tok::KwElif)) {
    ElifClause clause{tok().start, nullptr, {}};
    advance();
    clause.test = named_expression();
    if (clause.test == nullptr || !expect(Tok::Colon) || !block(clause.body)) return nullptr;
    elifs_.push_back(clause);
  }
  std::span<Stmt*> orelse;
  if (at(Tok::KwElse) && !else_block(orelse)) return nullptr;
  std::uint32_t end = block_end();
  for (std::size_t i = elifs_.size(); i-- > elifs.base;) {
    auto* elif = node_at<If>(elifs_[i].start, end);
    elif->test = elifs_[i].test;
    elif->body = elifs_[i].body;
    elif->orelse = orelse;
    Stmt* as_stmt = elif;
    orelse = arena_.copy(std::span<Stmt* const>(&as_stmt, 1));
  }
  auto* s = node<If>(start);
  s->end = end;
  s->test = test;
  s->body = body;
  s->orelse = orelse;
  return s;
}

Stmt* Parser::while_statement() {
  std::uint32_t start = tok().start;
  advance();
  Expr* test = named_expression();
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;
  if (test == nullptr || !expect(Tok::Colon) || !block(body)) return nullptr;
  if (at(Tok::KwElse) && !else_block(orelse)) return nullptr;
  auto* s = node<While>(start);
  s->end = block_end();
  s->test = test;
  s->body = body;
  s->orelse = orelse;
  return s;
}

Stmt* Parser::for_statement() {
  std::uint32_t start = tok().start;
  bool is_async = accept(Tok::KwAsync);
  advance();  // for
  Expr* target = star_targets();
  if (target == nullptr || !expect(Tok::KwIn)) return nullptr;
  Expr* iter = star_expressions();
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;
  if (iter == nullptr || !expect(Tok::Colon) || !block(body)) return nullptr;
  if (at(Tok::KwElse) && !else_block(orelse)) return nullptr;
  AnyFor* s = is_async ? static_cast<AnyFor*>(node<AsyncFor>(start)) : static_cast<AnyFor*>(node<For>(start));
  s->end = block_end();
  s->target = target;
  s->iter = iter;
  s->body = body;
  s->orelse = orelse;
  return s;
}

// `with (a, b):` holds two items, `with (a, b) as c:` one tuple: the
// parenthesized form is tried first and abandoned when no ':' follows.
Stmt* Parser::with_statement() {
  std::uint32_t start = tok().start;
  bool is_async = accept(Tok::KwAsync);
  advance();  // with
  Scratch items(with_items_);
  bool parsed = false;
  if (at(Tok::LPar)) {
    std::size_t save = pos_;
    parsed = with_items_parenthesized();
    if (!parsed) {
      if (fatal_) return nullptr;
      restore(save);
      with_items_.resize(items.base);
    }
  }
  if (!parsed && !with_items()) return nullptr;
  std::span<Stmt*> body;
  if (!expect(Tok::Colon) || !block(body)) return nullptr;
  AnyWith* s = is_async ? static_cast<AnyWith*>(node<AsyncWith>(start)) : static_cast<AnyWith*>(node<With>(start));
  s->end = block_end();
  s->items = items.copy(arena_);
  s->body = body;
  return s;
}

bool Parser::with_items_parenthesized() {
  advance();  // (
  do {
    if (at(Tok::RPar) && with_items_.size() != 0) break;
    if (!with_item()) return false;
  } while (accept(Tok::Comma));
  return expect(Tok::RPar) && at(Tok::Colon);
}

bool Parser::with_items() {
  do {
    if (!with_item()) return false;
  } while (accept(Tok::Comma));
  return true;
}

bool Parser::with_item() {
  Expr* context = expression();
  if (context == nullptr) return false;
  Expr* vars = nullptr;
  if (accept(Tok::KwAs)) {
    vars = star_target();
    if (vars == nullptr) return false;
    if (!at(Tok::Comma) && !at(Tok::RPar) && !at(Tok::Colon)) return reject();
  }
  with_items_.push_back(WithItem{context, vars});
  return true;
}

Stmt* Parser::try_statement() {
  std::uint32_t start = tok().start;
  advance();
  std::span<Stmt*> body;
  if (!expect(Tok::Colon) || !block(body)) return nullptr;
  Scratch handlers(handlers_);
  bool star = at(Tok::KwExcept) && peek() == Tok::Star;
  std::span<Stmt*> orelse;
  std::span<Stmt*> finalbody;
  while (at(Tok::KwExcept)) {
    std::uint32_t handler_start = tok().start;
    advance();
    if (star != accept(Tok::Star)) return fail();
    Expr* type = nullptr;
    std::string_view name;
    if (star || !at(Tok::Colon)) {
      type = expression();
      if (type == nullptr) return nullptr;
      if (accept(Tok::KwAs)) {
        if (!at(Tok::Name)) return fail();
        name = text(tok());
        advance();
      }
    }
    std::span<Stmt*> handler_body;
    if (!expect(Tok::Colon) || !block(handler_body)) return nullptr;
    handlers_.push_back(ExceptHandler{handler_start, block_end(), type, name, handler_body});
  }
  if (handlers.size() != 0 && at(Tok::KwElse) && !else_block(orelse)) return nullptr;
  if (at(Tok::KwFinally)) {
    advance();
    if (!expect(Tok::Colon) || !block(finalbody)) return nullptr;
  }
  if (handlers.size() == 0 && finalbody.empty()) return fail();
  AnyTry* s = star ? static_cast<AnyTry*>(node<TryStar>(start)) : static_cast<AnyTry*>(node<Try>(start));
  s->end = block_end();
  s->body = body;
  s->handlers = handlers.copy(arena_);
  s->orelse = orelse;
  s->finalbody = finalbody;
  return s;
}

Stmt* Parser::match_statement() {
  std::uint32_t start = tok().start;
  advance();  // match
  std::uint32_t subject_start = tok().start;
  bool starred = at(Tok::Star);
  Expr* subject = star_named_expression();
  if (subject == nullptr) return nullptr;
  if (at(Tok::Comma)) {
    Scratch items(exprs_);
    exprs_.push_back(subject);
    while (accept(Tok::Comma)) {
      if (!at(Tok::Star) && !starts_expression(kind())) break;
      Expr* e = star_named_expression();
      if (e == nullptr) return nullptr;
      exprs_.push_back(e);
    }
    auto* tuple = node<Tuple>(subject_start);
    tuple->elts = items.copy(arena_);
    subject = tuple;
  } else if (starred) {
    return fail();
  }
  if (!expect(Tok::Colon) || !expect(Tok::Newline) || !expect(Tok::Indent)) return nullptr;
  Scratch cases(cases_);
  while (at_soft_keyword("case")) {
    if (!case_block()) return nullptr;
  }
  if (cases.size() == 0 || !expect(Tok::Dedent)) return fail();
  auto* s = node<Match>(start);
  s->end = block_end();
  s->subject = subject;
  s->cases = cases.copy(arena_);
  return s;
}

bool Parser::case_block() {
  advance();  // case
  Pattern* p = patterns();
  if (p == nullptr) return false;
  Expr* guard = nullptr;
  if (accept(Tok::KwIf)) {
    guard = named_expression();
    if (guard == nullptr) return false;
  }
  std::span<Stmt*> body;
  if (!expect(Tok::Colon) || !block(body)) return false;
  cases_.push_back(MatchCase{p, guard, body});
  return true;
}

}  // namespace quarn::py
