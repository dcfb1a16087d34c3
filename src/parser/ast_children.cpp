#include "parser/ast_children.h"

namespace quarn::py {

std::uint32_t NodeRef::start() const {
  switch (family) {
    case Family::Stmt: return static_cast<const Stmt*>(node)->start;
    case Family::Expr: return static_cast<const Expr*>(node)->start;
    case Family::Pattern: return static_cast<const Pattern*>(node)->start;
    case Family::Handler: return static_cast<const ExceptHandler*>(node)->start;
  }
  return 0;
}

std::uint32_t NodeRef::end() const {
  switch (family) {
    case Family::Stmt: return static_cast<const Stmt*>(node)->end;
    case Family::Expr: return static_cast<const Expr*>(node)->end;
    case Family::Pattern: return static_cast<const Pattern*>(node)->end;
    case Family::Handler: return static_cast<const ExceptHandler*>(node)->end;
  }
  return 0;
}

std::string_view NodeRef::kind_name() const {
  switch (family) {
    case Family::Stmt: return py::kind_name(static_cast<const Stmt*>(node)->kind);
    case Family::Expr: return py::kind_name(static_cast<const Expr*>(node)->kind);
    case Family::Pattern: return py::kind_name(static_cast<const Pattern*>(node)->kind);
    case Family::Handler: return "ExceptHandler";
  }
  return "?";
}

void append_children(NodeRef n, std::vector<NodeRef>& out) {
  visit_children(n, [&out](NodeRef child) { out.push_back(child); });
}

}  // namespace quarn::py
