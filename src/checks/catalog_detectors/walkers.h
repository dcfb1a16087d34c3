#pragma once

#include <span>
#include <type_traits>
#include <utility>

#include "parser/ast.h"
#include "parser/source_model.h"

namespace quarn {

// A non-owning reference to a callable `void(const Node&)`: the visitor a
// detector plugs into a traversal. The callable must outlive the call.
template <class Node>
class NodeVisitor {
 public:
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, NodeVisitor>>>
  NodeVisitor(F&& f)  // NOLINT: implicit by design
      : object_(const_cast<void*>(static_cast<const void*>(&f))),
        call_([](void* object, const Node& node) { (*static_cast<std::remove_reference_t<F>*>(object))(node); }) {}

  void operator()(const Node& node) const { call_(object_, node); }

 private:
  void* object_;
  void (*call_)(void*, const Node&);
};

using ExprVisitor = NodeVisitor<py::Expr>;
using StmtVisitor = NodeVisitor<py::Stmt>;

// The shared depth-first traversal: statements in list order, each
// statement's own expressions before its nested statement lists, and every
// reached expression given to the visitor before its children. Parameters,
// loop and comprehension targets, f-string parts, type aliases, class bases
// and the positional and alternative sub-patterns of a match are not reached.
// The walk keeps its own stack, so any depth of nesting is safe.
void walk_stmts(std::span<py::Stmt* const> stmts, ExprVisitor visit);
void walk_expr(const py::Expr& expr, ExprVisitor visit);
void walk_pattern(const py::Pattern& pattern, ExprVisitor visit);

// Block descent: every statement at any depth, parents before children, in
// the order walk_stmts enters statement lists (definition and class bodies;
// loop and if bodies, then else; with bodies; case bodies; try body, handler
// bodies, else, finally). Expressions are never entered.
void walk_statement_blocks(std::span<py::Stmt* const> stmts, StmtVisitor visit);

// walk_stmts and walk_statement_blocks over a file's statement list. The
// first call of each for a file records the visited nodes in its index; later
// calls replay the record, so a file's tree is walked once whatever the
// number of walking detectors.
void walk_module(const SourceModel& model, ExprVisitor visit);
void walk_module_blocks(const SourceModel& model, StmtVisitor visit);

}  // namespace quarn
