#pragma once

// Generic access to the printable nodes of the tree (statements,
// expressions, patterns and except handlers) for whole-tree passes.

#include <cstdint>
#include <string_view>
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

}  // namespace quarn::py
