#pragma once

// Generic access to the printable nodes of the tree (statements,
// expressions, patterns and except handlers) for whole-tree passes.

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

#include "parser/ast.h"

namespace quarn::py {

struct NodeRef {
  enum class Family : std::uint8_t { Stmt, Expr, Pattern, Handler };
  Family family;
  const void* node;

  NodeRef(const Stmt* s) : family(Family::Stmt), node(s) {}
  NodeRef(const Expr* e) : family(Family::Expr), node(e) {}
  NodeRef(const Pattern* p) : family(Family::Pattern), node(p) {}
  NodeRef(const ExceptHandler* h) : family(Family::Handler), node(h) {}

  std::uint32_t start() const;
  std::uint32_t end() const;
  std::string_view kind_name() const;  // "ExceptHandler" for handlers
};

// Appends the printable children of `n` in the order of the fields of
// Python's ast classes, passing through the helper records (arguments, arg,
// keyword, alias, comprehension, withitem, match_case, type parameters).
// The parts of a JoinedStr are its children too.
void append_children(NodeRef n, std::vector<NodeRef>& out);

// The same children, handed one by one to `f(NodeRef)`.
template <class F>
void visit_children(NodeRef n, F&& f);

namespace detail {

template <class F>
struct ChildVisitor {
  F& out;

  void add(const Expr* e) {
    if (e != nullptr) out(e);
  }
  void add(const Pattern* p) {
    if (p != nullptr) out(p);
  }
  void add(std::span<Stmt* const> stmts) {
    for (const Stmt* s : stmts) out(s);
  }
  void add(std::span<Expr* const> exprs) {
    for (const Expr* e : exprs) add(e);
  }
  void add(std::span<Pattern* const> patterns) {
    for (const Pattern* p : patterns) add(p);
  }
  void add(std::span<const Arg> args) {
    for (const Arg& a : args) add(a.annotation);
  }
  void add(const Arguments* a) {
    if (a == nullptr) return;
    add(a->posonlyargs);
    add(a->args);
    if (a->vararg != nullptr) add(a->vararg->annotation);
    add(a->kwonlyargs);
    add(a->kw_defaults);
    if (a->kwarg != nullptr) add(a->kwarg->annotation);
    add(a->defaults);
  }
  void add(std::span<const Keyword> keywords) {
    for (const Keyword& k : keywords) add(k.value);
  }
  void add(std::span<const Comprehension> generators) {
    for (const Comprehension& c : generators) {
      add(c.target);
      add(c.iter);
      add(c.ifs);
    }
  }
  void add(std::span<TypeParam* const> params) {
    for (const TypeParam* p : params) {
      if (auto* v = dyn<TypeVar>(p)) add(v->bound);
    }
  }

  void stmt(const Stmt* s) {
    switch (s->kind) {
      case StmtKind::FunctionDef:
      case StmtKind::AsyncFunctionDef: {
        auto& f = s->as<AnyFunctionDef>();
        add(f.args);
        add(f.body);
        add(f.decorator_list);
        add(f.returns);
        add(f.type_params);
        break;
      }
      case StmtKind::ClassDef: {
        auto& c = s->as<ClassDef>();
        add(c.bases);
        add(c.keywords);
        add(c.body);
        add(c.decorator_list);
        add(c.type_params);
        break;
      }
      case StmtKind::Return: add(s->as<Return>().value); break;
      case StmtKind::Delete: add(s->as<Delete>().targets); break;
      case StmtKind::Assign:
        add(s->as<Assign>().targets);
        add(s->as<Assign>().value);
        break;
      case StmtKind::TypeAlias: {
        auto& t = s->as<TypeAlias>();
        add(t.name);
        add(t.type_params);
        add(t.value);
        break;
      }
      case StmtKind::AugAssign:
        add(s->as<AugAssign>().target);
        add(s->as<AugAssign>().value);
        break;
      case StmtKind::AnnAssign: {
        auto& a = s->as<AnnAssign>();
        add(a.target);
        add(a.annotation);
        add(a.value);
        break;
      }
      case StmtKind::For:
      case StmtKind::AsyncFor: {
        auto& f = s->as<AnyFor>();
        add(f.target);
        add(f.iter);
        add(f.body);
        add(f.orelse);
        break;
      }
      case StmtKind::While:
        add(s->as<While>().test);
        add(s->as<While>().body);
        add(s->as<While>().orelse);
        break;
      case StmtKind::If:
        add(s->as<If>().test);
        add(s->as<If>().body);
        add(s->as<If>().orelse);
        break;
      case StmtKind::With:
      case StmtKind::AsyncWith: {
        auto& w = s->as<AnyWith>();
        for (const WithItem& item : w.items) {
          add(item.context_expr);
          add(item.optional_vars);
        }
        add(w.body);
        break;
      }
      case StmtKind::Match: {
        auto& m = s->as<Match>();
        add(m.subject);
        for (const MatchCase& c : m.cases) {
          add(c.pattern);
          add(c.guard);
          add(c.body);
        }
        break;
      }
      case StmtKind::Raise:
        add(s->as<Raise>().exc);
        add(s->as<Raise>().cause);
        break;
      case StmtKind::Try:
      case StmtKind::TryStar: {
        auto& t = s->as<AnyTry>();
        add(t.body);
        for (const ExceptHandler& h : t.handlers) out(&h);
        add(t.orelse);
        add(t.finalbody);
        break;
      }
      case StmtKind::Assert:
        add(s->as<Assert>().test);
        add(s->as<Assert>().msg);
        break;
      case StmtKind::Expr: add(s->as<ExprStmt>().value); break;
      case StmtKind::Import: case StmtKind::ImportFrom: case StmtKind::Global:
      case StmtKind::Nonlocal: case StmtKind::Pass: case StmtKind::Break:
      case StmtKind::Continue:
        break;
    }
  }

  void expr(const Expr* e) {
    switch (e->kind) {
      case ExprKind::BoolOp: add(e->as<BoolOp>().values); break;
      case ExprKind::NamedExpr:
        add(e->as<NamedExpr>().target);
        add(e->as<NamedExpr>().value);
        break;
      case ExprKind::BinOp:
        add(e->as<BinOp>().left);
        add(e->as<BinOp>().right);
        break;
      case ExprKind::UnaryOp: add(e->as<UnaryOp>().operand); break;
      case ExprKind::Lambda:
        add(e->as<Lambda>().args);
        add(e->as<Lambda>().body);
        break;
      case ExprKind::IfExp:
        add(e->as<IfExp>().test);
        add(e->as<IfExp>().body);
        add(e->as<IfExp>().orelse);
        break;
      case ExprKind::Dict:
        add(e->as<Dict>().keys);
        add(e->as<Dict>().values);
        break;
      case ExprKind::Set: add(e->as<Set>().elts); break;
      case ExprKind::ListComp:
        add(e->as<ListComp>().elt);
        add(e->as<ListComp>().generators);
        break;
      case ExprKind::SetComp:
        add(e->as<SetComp>().elt);
        add(e->as<SetComp>().generators);
        break;
      case ExprKind::DictComp:
        add(e->as<DictComp>().key);
        add(e->as<DictComp>().value);
        add(e->as<DictComp>().generators);
        break;
      case ExprKind::GeneratorExp:
        add(e->as<GeneratorExp>().elt);
        add(e->as<GeneratorExp>().generators);
        break;
      case ExprKind::Await: add(e->as<Await>().value); break;
      case ExprKind::Yield: add(e->as<Yield>().value); break;
      case ExprKind::YieldFrom: add(e->as<YieldFrom>().value); break;
      case ExprKind::Compare:
        add(e->as<Compare>().left);
        add(e->as<Compare>().comparators);
        break;
      case ExprKind::Call:
        add(e->as<Call>().func);
        add(e->as<Call>().args);
        add(e->as<Call>().keywords);
        break;
      case ExprKind::FormattedValue:
        add(e->as<FormattedValue>().value);
        add(e->as<FormattedValue>().format_spec);
        break;
      case ExprKind::JoinedStr: add(e->as<JoinedStr>().values); break;
      case ExprKind::Attribute: add(e->as<Attribute>().value); break;
      case ExprKind::Subscript:
        add(e->as<Subscript>().value);
        add(e->as<Subscript>().slice);
        break;
      case ExprKind::Starred: add(e->as<Starred>().value); break;
      case ExprKind::List: add(e->as<List>().elts); break;
      case ExprKind::Tuple: add(e->as<Tuple>().elts); break;
      case ExprKind::Slice:
        add(e->as<Slice>().lower);
        add(e->as<Slice>().upper);
        add(e->as<Slice>().step);
        break;
      case ExprKind::Constant: case ExprKind::Name:
        break;
    }
  }

  void pattern(const Pattern* p) {
    switch (p->kind) {
      case PatternKind::MatchValue: add(p->as<MatchValue>().value); break;
      case PatternKind::MatchSequence: add(p->as<MatchSequence>().patterns); break;
      case PatternKind::MatchMapping:
        add(p->as<MatchMapping>().keys);
        add(p->as<MatchMapping>().patterns);
        break;
      case PatternKind::MatchClass:
        add(p->as<MatchClass>().cls);
        add(p->as<MatchClass>().patterns);
        add(p->as<MatchClass>().kwd_patterns);
        break;
      case PatternKind::MatchAs: add(p->as<MatchAs>().pattern); break;
      case PatternKind::MatchOr: add(p->as<MatchOr>().patterns); break;
      case PatternKind::MatchSingleton: case PatternKind::MatchStar:
        break;
    }
  }
};

}  // namespace detail

template <class F>
void visit_children(NodeRef n, F&& f) {
  detail::ChildVisitor<std::remove_reference_t<F>> c{f};
  switch (n.family) {
    case NodeRef::Family::Stmt: c.stmt(static_cast<const Stmt*>(n.node)); break;
    case NodeRef::Family::Expr: c.expr(static_cast<const Expr*>(n.node)); break;
    case NodeRef::Family::Pattern: c.pattern(static_cast<const Pattern*>(n.node)); break;
    case NodeRef::Family::Handler: {
      auto* h = static_cast<const ExceptHandler*>(n.node);
      c.add(h->type);
      c.add(h->body);
      break;
    }
  }
}

}  // namespace quarn::py
