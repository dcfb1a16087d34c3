#pragma once

#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "parser/ast.h"
#include "parser/reached_nodes.h"
#include "checks/source_model.h"

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

// The shared depth-first traversal: statements in list order, each
// statement's own expressions before its nested statement lists, and every
// reached expression given to the visitor before its children. Parameters,
// loop and comprehension targets, f-string parts, type aliases, class bases
// and the positional and alternative sub-patterns of a match are not reached.
// The walk keeps its own stack, so any depth of nesting is safe.
void walk_stmts(std::span<py::Stmt* const> stmts, ExprVisitor visit);
void walk_expr(const py::Expr& expr, ExprVisitor visit);
void walk_pattern(const py::Pattern& pattern, ExprVisitor visit);

// The expressions walk_stmts reaches from a file's statement list, walked
// on first request and then kept in the file's index.
const ReachedExpressions& reached_expressions(const SourceModel& model);

// Replays a shared walk of the file: the expressions walk_stmts reaches or
// the statements of SourceIndex::statements_reached (block descent, in the
// order walk_stmts enters statement lists), whichever family the Ts
// belong to. Calls `visit` on each node that is one of the Ts, in walk
// order, as a `const T&` for a single T, else as the family's node.
template <class... Ts, class Visit>
void for_each_reached(const SourceModel& model, Visit&& visit);

// The number of nodes for_each_reached<Ts...> would visit.
template <class... Ts>
std::size_t count_reached(const SourceModel& model) {
  using First = std::tuple_element_t<0, std::tuple<Ts...>>;
  if constexpr (std::is_base_of_v<py::Expr, First>) {
    return reached_expressions(model).count((kinds_of<Ts, py::kExprKindCount>() | ...));
  } else {
    return model.index.statements_reached().count((kinds_of<Ts, py::kStmtKindCount>() | ...));
  }
}

template <class... Ts, class Visit>
void for_each_reached(const SourceModel& model, Visit&& visit) {
  using First = std::tuple_element_t<0, std::tuple<Ts...>>;
  constexpr bool kExpression = std::is_base_of_v<py::Expr, First>;
  using Node = std::conditional_t<kExpression, py::Expr, py::Stmt>;
  const auto each = [&](const Node& node) {
    if constexpr (sizeof...(Ts) == 1) {
      visit(static_cast<const First&>(node));
    } else {
      visit(node);
    }
  };
  if constexpr (kExpression) {
    reached_expressions(model).for_each((kinds_of<Ts, py::kExprKindCount>() | ...), each);
  } else {
    model.index.statements_reached().for_each((kinds_of<Ts, py::kStmtKindCount>() | ...), each);
  }
}

}  // namespace quarn
