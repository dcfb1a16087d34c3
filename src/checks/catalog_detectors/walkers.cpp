#include "checks/catalog_detectors/walkers.h"

namespace quarn {

void walk_stmts(std::span<py::Stmt* const>, ExprVisitor) {}
void walk_expr(const py::Expr&, ExprVisitor) {}
void walk_pattern(const py::Pattern&, ExprVisitor) {}

}  // namespace quarn
