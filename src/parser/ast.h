#pragma once

// The Python syntax tree, shaped like the abstract grammar of Python 3.12
// (kinds and field names as Python's own `ast` module spells them).
//
// Nodes are plain structs allocated in the arena of the parse result: no
// virtual functions, no owning pointers. Child lists are spans into the same
// arena, identifiers and decoded literal values are views into the source or
// the arena. Every stmt, expr, pattern, except handler, arg, keyword, alias
// and type parameter carries its byte range [start, end) of the source
// (offsets from the start of the file, a BOM included). Definitions start
// at `def`, `async` or `class`, not at their decorators; compound statements
// end with the last token of their last block. Optional children are null
// pointers; optional identifiers are empty views.
//
// Downcasts: `dyn<If>(stmt)` gives an `If*` or nullptr (null-safe);
// `stmt->as<If>()` gives an `If&` and asserts the kind. `AnyFunctionDef`,
// `AnyFor`, `AnyWith` and `AnyTry` match both kinds of their pair (sync and
// async, try and try-star), whose fields are the same.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarn::py {

enum class StmtKind : std::uint8_t {
  FunctionDef, AsyncFunctionDef, ClassDef, Return, Delete, Assign, TypeAlias, AugAssign,
  AnnAssign, For, AsyncFor, While, If, With, AsyncWith, Match, Raise, Try, TryStar, Assert,
  Import, ImportFrom, Global, Nonlocal, Expr, Pass, Break, Continue,
};

enum class ExprKind : std::uint8_t {
  BoolOp, NamedExpr, BinOp, UnaryOp, Lambda, IfExp, Dict, Set, ListComp, SetComp, DictComp,
  GeneratorExp, Await, Yield, YieldFrom, Compare, Call, FormattedValue, JoinedStr, Constant,
  Attribute, Subscript, Starred, Name, List, Tuple, Slice,
};

constexpr std::size_t kStmtKindCount = static_cast<std::size_t>(StmtKind::Continue) + 1;
constexpr std::size_t kExprKindCount = static_cast<std::size_t>(ExprKind::Slice) + 1;

enum class PatternKind : std::uint8_t {
  MatchValue, MatchSingleton, MatchSequence, MatchMapping, MatchClass, MatchStar, MatchAs,
  MatchOr,
};

enum class TypeParamKind : std::uint8_t { TypeVar, ParamSpec, TypeVarTuple };

enum class ExprContext : std::uint8_t { Load, Store, Del };
enum class BoolOperator : std::uint8_t { And, Or };
enum class Operator : std::uint8_t {
  Add, Sub, Mult, MatMult, Div, Mod, Pow, LShift, RShift, BitOr, BitXor, BitAnd, FloorDiv,
};
enum class UnaryOperator : std::uint8_t { Invert, Not, UAdd, USub };
enum class CmpOperator : std::uint8_t { Eq, NotEq, Lt, LtE, Gt, GtE, Is, IsNot, In, NotIn };

// Names as Python's ast module prints them ("FunctionDef", "Add", "NotIn").
std::string_view kind_name(StmtKind kind);
std::string_view kind_name(ExprKind kind);
std::string_view kind_name(PatternKind kind);
std::string_view kind_name(TypeParamKind kind);
std::string_view kind_name(ExprContext ctx);
std::string_view kind_name(BoolOperator op);
std::string_view kind_name(Operator op);
std::string_view kind_name(UnaryOperator op);
std::string_view kind_name(CmpOperator op);

// Common head of the four node families. `T::matches(kind)` says whether a
// node of that kind may be viewed as a T.
template <class Kind>
struct NodeHead {
  Kind kind;
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  // Levels of statements, expressions, patterns and except handlers from
  // this node down, 1 for a leaf; the parser refuses deeper trees than it
  // can count.
  std::uint16_t height = 1;

  template <class T>
  bool is() const {
    return T::matches(kind);
  }
  template <class T>
  T& as() {
    assert(T::matches(kind));
    return static_cast<T&>(*this);
  }
  template <class T>
  const T& as() const {
    assert(T::matches(kind));
    return static_cast<const T&>(*this);
  }
};

struct Stmt : NodeHead<StmtKind> {};
struct Expr : NodeHead<ExprKind> {};
struct Pattern : NodeHead<PatternKind> {};
struct TypeParam : NodeHead<TypeParamKind> {
  std::string_view name;
};

// Checked downcast: the node as a T, or nullptr when it is null or of
// another kind.
template <class T, class N>
T* dyn(N* node) {
  return node != nullptr && T::matches(node->kind) ? static_cast<T*>(node) : nullptr;
}
template <class T, class N>
const T* dyn(const N* node) {
  return node != nullptr && T::matches(node->kind) ? static_cast<const T*>(node) : nullptr;
}

template <class Base, auto K>
struct Of : Base {
  static constexpr auto kKind = K;
  static constexpr bool matches(decltype(K) kind) { return kind == K; }
};

// ---------------------------------------------------------------------------
// Helper records

struct Arg {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::string_view arg;
  Expr* annotation = nullptr;
};

struct Arguments {
  std::span<Arg> posonlyargs;
  std::span<Arg> args;
  Arg* vararg = nullptr;
  std::span<Arg> kwonlyargs;
  std::span<Expr*> kw_defaults;  // one per kwonlyarg; nullptr where it has no default
  Arg* kwarg = nullptr;
  std::span<Expr*> defaults;     // for the last len(defaults) of posonlyargs + args
};

struct Keyword {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::string_view arg;  // empty for a `**mapping` argument
  Expr* value = nullptr;
};

struct Alias {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  std::string_view name;    // dotted name joined with "." (or "*"), spaces removed
  std::string_view asname;  // empty when absent
};

struct Comprehension {
  Expr* target = nullptr;
  Expr* iter = nullptr;
  std::span<Expr*> ifs;
  bool is_async = false;
};

struct WithItem {
  Expr* context_expr = nullptr;
  Expr* optional_vars = nullptr;
};

struct MatchCase {
  Pattern* pattern = nullptr;
  Expr* guard = nullptr;
  std::span<Stmt*> body;
};

struct ExceptHandler {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  Expr* type = nullptr;
  std::string_view name;  // empty when absent
  std::span<Stmt*> body;
};

struct TypeVar : Of<TypeParam, TypeParamKind::TypeVar> {
  Expr* bound = nullptr;  // the bound or constraint tuple after ':'
};
struct ParamSpec : Of<TypeParam, TypeParamKind::ParamSpec> {};
struct TypeVarTuple : Of<TypeParam, TypeParamKind::TypeVarTuple> {};

struct Module {
  std::span<Stmt*> body;
};

// ---------------------------------------------------------------------------
// Statements

// FunctionDef and AsyncFunctionDef share their fields.
struct AnyFunctionDef : Stmt {
  static constexpr bool matches(StmtKind k) {
    return k == StmtKind::FunctionDef || k == StmtKind::AsyncFunctionDef;
  }
  std::string_view name;
  Arguments* args = nullptr;  // never null
  std::span<Stmt*> body;
  std::span<Expr*> decorator_list;
  Expr* returns = nullptr;
  std::span<TypeParam*> type_params;
};
struct FunctionDef : AnyFunctionDef {
  static constexpr auto kKind = StmtKind::FunctionDef;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};
struct AsyncFunctionDef : AnyFunctionDef {
  static constexpr auto kKind = StmtKind::AsyncFunctionDef;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};

struct ClassDef : Of<Stmt, StmtKind::ClassDef> {
  std::string_view name;
  std::span<Expr*> bases;
  std::span<Keyword> keywords;
  std::span<Stmt*> body;
  std::span<Expr*> decorator_list;
  std::span<TypeParam*> type_params;
};

struct Return : Of<Stmt, StmtKind::Return> {
  Expr* value = nullptr;
};

struct Delete : Of<Stmt, StmtKind::Delete> {
  std::span<Expr*> targets;
};

struct Assign : Of<Stmt, StmtKind::Assign> {
  std::span<Expr*> targets;  // `a = b = v` has two
  Expr* value = nullptr;
};

struct TypeAlias : Of<Stmt, StmtKind::TypeAlias> {
  Expr* name = nullptr;  // a Name in Store context
  std::span<TypeParam*> type_params;
  Expr* value = nullptr;
};

struct AugAssign : Of<Stmt, StmtKind::AugAssign> {
  Expr* target = nullptr;
  Operator op = Operator::Add;
  Expr* value = nullptr;
};

struct AnnAssign : Of<Stmt, StmtKind::AnnAssign> {
  Expr* target = nullptr;
  Expr* annotation = nullptr;
  Expr* value = nullptr;
  bool simple = false;  // target is a bare, unparenthesized Name
};

// For and AsyncFor share their fields.
struct AnyFor : Stmt {
  static constexpr bool matches(StmtKind k) { return k == StmtKind::For || k == StmtKind::AsyncFor; }
  Expr* target = nullptr;
  Expr* iter = nullptr;
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;
};
struct For : AnyFor {
  static constexpr auto kKind = StmtKind::For;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};
struct AsyncFor : AnyFor {
  static constexpr auto kKind = StmtKind::AsyncFor;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};

struct While : Of<Stmt, StmtKind::While> {
  Expr* test = nullptr;
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;
};

struct If : Of<Stmt, StmtKind::If> {
  Expr* test = nullptr;
  std::span<Stmt*> body;
  std::span<Stmt*> orelse;  // an `elif` is a single If in here
};

// With and AsyncWith share their fields.
struct AnyWith : Stmt {
  static constexpr bool matches(StmtKind k) { return k == StmtKind::With || k == StmtKind::AsyncWith; }
  std::span<WithItem> items;
  std::span<Stmt*> body;
};
struct With : AnyWith {
  static constexpr auto kKind = StmtKind::With;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};
struct AsyncWith : AnyWith {
  static constexpr auto kKind = StmtKind::AsyncWith;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};

struct Match : Of<Stmt, StmtKind::Match> {
  Expr* subject = nullptr;
  std::span<MatchCase> cases;
};

struct Raise : Of<Stmt, StmtKind::Raise> {
  Expr* exc = nullptr;
  Expr* cause = nullptr;
};

// Try and TryStar share their fields.
struct AnyTry : Stmt {
  static constexpr bool matches(StmtKind k) { return k == StmtKind::Try || k == StmtKind::TryStar; }
  std::span<Stmt*> body;
  std::span<ExceptHandler> handlers;
  std::span<Stmt*> orelse;
  std::span<Stmt*> finalbody;
};
struct Try : AnyTry {
  static constexpr auto kKind = StmtKind::Try;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};
struct TryStar : AnyTry {
  static constexpr auto kKind = StmtKind::TryStar;
  static constexpr bool matches(StmtKind k) { return k == kKind; }
};

struct Assert : Of<Stmt, StmtKind::Assert> {
  Expr* test = nullptr;
  Expr* msg = nullptr;
};

struct Import : Of<Stmt, StmtKind::Import> {
  std::span<Alias> names;
};

struct ImportFrom : Of<Stmt, StmtKind::ImportFrom> {
  std::string_view module;  // dotted, joined with "."; empty for `from . import x`
  std::span<Alias> names;
  std::uint32_t level = 0;  // number of leading dots
};

struct Global : Of<Stmt, StmtKind::Global> {
  std::span<std::string_view> names;
};

struct Nonlocal : Of<Stmt, StmtKind::Nonlocal> {
  std::span<std::string_view> names;
};

// An expression statement (`Expr` the statement kind, not the family).
struct ExprStmt : Of<Stmt, StmtKind::Expr> {
  py::Expr* value = nullptr;
};

struct Pass : Of<Stmt, StmtKind::Pass> {};
struct Break : Of<Stmt, StmtKind::Break> {};
struct Continue : Of<Stmt, StmtKind::Continue> {};

// ---------------------------------------------------------------------------
// Expressions

struct BoolOp : Of<Expr, ExprKind::BoolOp> {
  BoolOperator op = BoolOperator::And;
  std::span<Expr*> values;  // `a or b or c` is one BoolOp of three
};

struct NamedExpr : Of<Expr, ExprKind::NamedExpr> {
  Expr* target = nullptr;
  Expr* value = nullptr;
};

struct BinOp : Of<Expr, ExprKind::BinOp> {
  Expr* left = nullptr;
  Operator op = Operator::Add;
  Expr* right = nullptr;
};

struct UnaryOp : Of<Expr, ExprKind::UnaryOp> {
  UnaryOperator op = UnaryOperator::Not;
  Expr* operand = nullptr;
};

struct Lambda : Of<Expr, ExprKind::Lambda> {
  Arguments* args = nullptr;  // never null
  Expr* body = nullptr;
};

struct IfExp : Of<Expr, ExprKind::IfExp> {
  Expr* test = nullptr;
  Expr* body = nullptr;
  Expr* orelse = nullptr;
};

struct Dict : Of<Expr, ExprKind::Dict> {
  std::span<Expr*> keys;  // nullptr for a `**mapping` entry
  std::span<Expr*> values;
};

struct Set : Of<Expr, ExprKind::Set> {
  std::span<Expr*> elts;
};

struct ListComp : Of<Expr, ExprKind::ListComp> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
};

struct SetComp : Of<Expr, ExprKind::SetComp> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
};

struct DictComp : Of<Expr, ExprKind::DictComp> {
  Expr* key = nullptr;
  Expr* value = nullptr;
  std::span<Comprehension> generators;
};

// The sole unparenthesized argument of a call, `f(x for x in y)`, spans
// from its element to its last clause, not the call's parentheses.
struct GeneratorExp : Of<Expr, ExprKind::GeneratorExp> {
  Expr* elt = nullptr;
  std::span<Comprehension> generators;
};

struct Await : Of<Expr, ExprKind::Await> {
  Expr* value = nullptr;
};

struct Yield : Of<Expr, ExprKind::Yield> {
  Expr* value = nullptr;
};

struct YieldFrom : Of<Expr, ExprKind::YieldFrom> {
  Expr* value = nullptr;
};

struct Compare : Of<Expr, ExprKind::Compare> {
  Expr* left = nullptr;
  std::span<CmpOperator> ops;
  std::span<Expr*> comparators;  // one per op
};

struct Call : Of<Expr, ExprKind::Call> {
  Expr* func = nullptr;
  std::span<Expr*> args;  // `*x` arguments are Starred
  std::span<Keyword> keywords;
};

// A replacement field of an f-string.
struct FormattedValue : Of<Expr, ExprKind::FormattedValue> {
  Expr* value = nullptr;
  int conversion = -1;          // -1, or 's', 'r', 'a'
  Expr* format_spec = nullptr;  // a JoinedStr, or nullptr
};

// An f-string (or implicitly concatenated strings of which one is an
// f-string): Constant string pieces and FormattedValues.
struct JoinedStr : Of<Expr, ExprKind::JoinedStr> {
  std::span<Expr*> values;
};

enum class ConstantKind : std::uint8_t { None, True, False, Ellipsis, Str, Bytes, Int, Float, Complex };

struct Constant : Of<Expr, ExprKind::Constant> {
  ConstantKind value_kind = ConstantKind::None;
  // Str: the decoded value (UTF-8); Bytes: the decoded bytes; Int: the
  // decimal digits of the value (no sign, any size). Empty otherwise.
  std::string_view text;
  double number = 0.0;  // Float: the value; Complex: the imaginary part
};

struct Attribute : Of<Expr, ExprKind::Attribute> {
  Expr* value = nullptr;
  std::string_view attr;
  ExprContext ctx = ExprContext::Load;
};

struct Subscript : Of<Expr, ExprKind::Subscript> {
  Expr* value = nullptr;
  Expr* slice = nullptr;  // a Slice, a Tuple (`a[1:2, 3]`), or any expression
  ExprContext ctx = ExprContext::Load;
};

struct Starred : Of<Expr, ExprKind::Starred> {
  Expr* value = nullptr;
  ExprContext ctx = ExprContext::Load;
};

struct Name : Of<Expr, ExprKind::Name> {
  std::string_view id;
  ExprContext ctx = ExprContext::Load;
};

struct List : Of<Expr, ExprKind::List> {
  std::span<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
};

struct Tuple : Of<Expr, ExprKind::Tuple> {
  std::span<Expr*> elts;
  ExprContext ctx = ExprContext::Load;
};

struct Slice : Of<Expr, ExprKind::Slice> {
  Expr* lower = nullptr;
  Expr* upper = nullptr;
  Expr* step = nullptr;
};

// ---------------------------------------------------------------------------
// Patterns

struct MatchValue : Of<Pattern, PatternKind::MatchValue> {
  Expr* value = nullptr;
};

struct MatchSingleton : Of<Pattern, PatternKind::MatchSingleton> {
  ConstantKind value = ConstantKind::None;  // None, True or False
};

struct MatchSequence : Of<Pattern, PatternKind::MatchSequence> {
  std::span<Pattern*> patterns;
};

struct MatchMapping : Of<Pattern, PatternKind::MatchMapping> {
  std::span<Expr*> keys;
  std::span<Pattern*> patterns;  // one per key
  std::string_view rest;         // the `**rest` name; empty when absent
};

struct MatchClass : Of<Pattern, PatternKind::MatchClass> {
  Expr* cls = nullptr;
  std::span<Pattern*> patterns;            // positional sub-patterns
  std::span<std::string_view> kwd_attrs;   // keyword names ...
  std::span<Pattern*> kwd_patterns;        // ... and their sub-patterns
};

struct MatchStar : Of<Pattern, PatternKind::MatchStar> {
  std::string_view name;  // empty for `*_`
};

// `case x`, `case p as x`, and the wildcard `case _` (both fields empty).
struct MatchAs : Of<Pattern, PatternKind::MatchAs> {
  Pattern* pattern = nullptr;
  std::string_view name;
};

struct MatchOr : Of<Pattern, PatternKind::MatchOr> {
  std::span<Pattern*> patterns;
};

}  // namespace quarn::py
