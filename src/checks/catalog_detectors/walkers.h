#pragma once

#include <span>
#include <type_traits>
#include <utility>

#include "parser/ast.h"

namespace quarn {

// A non-owning reference to a callable `void(const py::Expr&)`: the visitor a
// walking detector plugs into the traversal.
class ExprVisitor {
 public:
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, ExprVisitor>>>
  ExprVisitor(F&& f)  // NOLINT: implicit by design
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* object, const py::Expr& expr) { (*static_cast<std::remove_reference_t<F>*>(object))(expr); }) {}

  void operator()(const py::Expr& expr) const { call_(object_, expr); }

 private:
  void* object_;
  void (*call_)(void*, const py::Expr&);
};

// The shared depth-first traversal: statements in list order, each
// statement's own expressions before its nested statement lists, and every
// reached expression given to the visitor before its children.
void walk_stmts(std::span<py::Stmt* const> stmts, ExprVisitor visit);
void walk_expr(const py::Expr& expr, ExprVisitor visit);
void walk_pattern(const py::Pattern& pattern, ExprVisitor visit);

}  // namespace quarn
