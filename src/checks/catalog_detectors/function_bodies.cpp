// Detectors over statements in function bodies and the shape of if, for and
// return.

#include <cstdint>
#include <string>
#include <string_view>

#include <fmt/format.h>

#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/text.h"
#include "parser/statement_walk.h"
#include "checks/catalog_detectors/walkers.h"
#include "parser/parse.h"

namespace quarn {
namespace {

using py::CmpOperator;
using py::ConstantKind;
using py::ExprKind;
using py::StmtKind;

// ---------------------------------------------------------------------------
// Shapes

bool is_pass(const py::Stmt* stmt) { return stmt->kind == StmtKind::Pass; }

const py::Stmt* last_effective(StmtList body) {
  for (auto it = body.rbegin(); it != body.rend(); ++it) {
    if (!is_pass(*it)) return *it;
  }
  return nullptr;
}

// The only statement of `body` other than pass, or null when there are none
// or several.
const py::Stmt* sole_effective(StmtList body) {
  const py::Stmt* found = nullptr;
  for (const py::Stmt* stmt : body) {
    if (is_pass(stmt)) continue;
    if (found != nullptr) return nullptr;
    found = stmt;
  }
  return found;
}

bool is_constant(const py::Expr* expr, ConstantKind kind) {
  const auto* constant = py::dyn<py::Constant>(expr);
  return constant != nullptr && constant->value_kind == kind;
}

bool is_mutable_literal(const py::Expr* expr) {
  if (expr == nullptr) return false;
  switch (expr->kind) {
    case ExprKind::List:
    case ExprKind::Dict:
    case ExprKind::Set:
    case ExprKind::ListComp:
    case ExprKind::SetComp:
    case ExprKind::DictComp:
      return true;
    default:
      return false;
  }
}

// The receiver of a call of the attribute `name`, or null.
const py::Expr* attribute_call_receiver(const py::Expr* expr, std::string_view name) {
  const auto* call = py::dyn<py::Call>(expr);
  if (call == nullptr) return nullptr;
  const auto* attribute = py::dyn<py::Attribute>(call->func);
  if (attribute == nullptr || attribute->attr != name) return nullptr;
  return attribute->value;
}

const py::Expr* expression_of(const py::Stmt* stmt) {
  const auto* expr_stmt = py::dyn<py::ExprStmt>(stmt);
  return expr_stmt != nullptr ? expr_stmt->value : nullptr;
}

// Bare names with equal identifiers, or attribute chains with equal
// attribute names ending in such names. Iterative: chains can be long.
bool same_receiver(const py::Expr* a, const py::Expr* b) {
  while (a != nullptr && b != nullptr) {
    if (const auto* name_a = py::dyn<py::Name>(a)) {
      const auto* name_b = py::dyn<py::Name>(b);
      return name_b != nullptr && name_a->id == name_b->id;
    }
    const auto* attr_a = py::dyn<py::Attribute>(a);
    const auto* attr_b = py::dyn<py::Attribute>(b);
    if (attr_a == nullptr || attr_b == nullptr || attr_a->attr != attr_b->attr) return false;
    a = attr_a->value;
    b = attr_b->value;
  }
  return false;
}

// `NAME is not None ...` judged by its first operator and comparator only.
const py::Name* none_checked_name(const py::Expr* test) {
  const auto* compare = py::dyn<py::Compare>(test);
  if (compare == nullptr || compare->ops.empty() || compare->comparators.empty()) return nullptr;
  if (compare->ops.front() != CmpOperator::IsNot) return nullptr;
  if (!is_constant(compare->comparators.front(), ConstantKind::None)) return nullptr;
  return py::dyn<py::Name>(compare->left);
}

// Call nesting is bounded by the parser's bracket limit, so recursion is safe.
bool holds_query_call(const py::Expr* expr) {
  const auto* call = py::dyn<py::Call>(expr);
  if (call == nullptr) return false;
  if (attribute_call_receiver(expr, "execute") != nullptr || attribute_call_receiver(expr, "query") != nullptr) {
    return true;
  }
  for (const py::Expr* arg : call->args) {
    if (holds_query_call(arg)) return true;
  }
  return false;
}

// The one expression of a statement that the query scan looks at.
const py::Expr* scanned_expression(const py::Stmt& stmt) {
  switch (stmt.kind) {
    case StmtKind::Return:
      return stmt.as<py::Return>().value;
    case StmtKind::Assign:
      return stmt.as<py::Assign>().value;
    case StmtKind::AugAssign:
      return stmt.as<py::AugAssign>().value;
    case StmtKind::Expr:
      return stmt.as<py::ExprStmt>().value;
    default:
      return nullptr;
  }
}

int condition_score(const py::Expr* test) {
  while (const auto* unary = py::dyn<py::UnaryOp>(test)) test = unary->operand;
  if (const auto* bool_op = py::dyn<py::BoolOp>(test)) return static_cast<int>(bool_op->values.size());
  if (const auto* compare = py::dyn<py::Compare>(test)) {
    int score = static_cast<int>(compare->ops.size());
    if (!compare->ops.empty() && (compare->ops.front() == CmpOperator::Is || compare->ops.front() == CmpOperator::IsNot)) {
      ++score;
    }
    return score;
  }
  return 0;
}

// The statement's source text, trimmed; empty when its range is not inside
// the text.
std::string_view statement_text(std::string_view source, const py::Stmt& stmt) {
  if (stmt.end > source.size() || stmt.start > stmt.end) return {};
  return trim_white_space(source.substr(stmt.start, stmt.end - stmt.start));
}

bool same_statement_texts(std::string_view source, StmtList a, StmtList b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (statement_text(source, *a[i]) != statement_text(source, *b[i])) return false;
  }
  return true;
}

// The descent of the bare-return / return-None scan: for and while bodies,
// both branches of if, try body, handlers and else; nothing else.
struct ReturnScanDescent {
  template <class Push>
  void operator()(const py::Stmt& stmt, Push&& push) const {
    switch (stmt.kind) {
      case StmtKind::For:
        push(stmt.as<py::For>().body);
        break;
      case StmtKind::While:
        push(stmt.as<py::While>().body);
        break;
      case StmtKind::If:
        push(stmt.as<py::If>().body);
        push(stmt.as<py::If>().orelse);
        break;
      case StmtKind::Try: {
        const auto& node = stmt.as<py::Try>();
        push(node.body);
        for (const auto& handler : node.handlers) push(handler.body);
        push(node.orelse);
        break;
      }
      default:
        break;
    }
  }
};

// ---------------------------------------------------------------------------
// Per-statement tests of the standard walk. Each reports at most once.

bool has_mutable_default(const py::Arguments& args) {
  for (const py::Expr* value : args.defaults) {
    if (is_mutable_literal(value)) return true;
  }
  for (const py::Expr* value : args.kw_defaults) {
    if (is_mutable_literal(value)) return true;
  }
  return false;
}

bool is_identity_passthrough(const py::AnyFunctionDef& def) {
  const py::Arguments& args = *def.args;
  if (args.posonlyargs.size() + args.args.size() != 1) return false;
  const std::string_view parameter = args.posonlyargs.empty() ? args.args.front().arg : args.posonlyargs.front().arg;
  const auto* ret = py::dyn<py::Return>(sole_effective(def.body));
  if (ret == nullptr) return false;
  const auto* name = py::dyn<py::Name>(ret->value);
  return name != nullptr && name->id == parameter;
}

bool is_collapsible(const py::If& outer) {
  if (!outer.orelse.empty() || outer.body.size() != 1) return false;
  const auto* inner = py::dyn<py::If>(outer.body.front());
  return inner != nullptr && inner->orelse.empty();
}

bool duplicates_elif_body(std::string_view source, const py::If& outer) {
  if (outer.orelse.size() != 1) return false;
  const auto* elif = py::dyn<py::If>(outer.orelse.front());
  if (elif == nullptr || !elif->orelse.empty()) return false;
  return same_statement_texts(source, outer.body, elif->body);
}

bool mixes_bare_return_and_none(const py::AnyFunctionDef& def, StatementWalk& walk) {
  bool bare = false;
  bool none = false;
  return walk.statements(def.body, ReturnScanDescent{}, [&](const py::Stmt& stmt) {
    if (const auto* ret = py::dyn<py::Return>(&stmt)) {
      if (ret->value == nullptr) bare = true;
      if (is_constant(ret->value, ConstantKind::None)) none = true;
    }
    return bare && none;
  });
}

bool is_thin_wrapper(const py::AnyFunctionDef& def) {
  if (def.name.starts_with("_") || def.name.starts_with("test_")) return false;
  const py::Stmt* only = sole_effective(def.body);
  if (only == nullptr) return false;
  if (const auto* ret = py::dyn<py::Return>(only)) return py::dyn<py::Call>(ret->value) != nullptr;
  return py::dyn<py::Call>(expression_of(only)) != nullptr;
}

}  // namespace

void detect_assert_production(DetectorContext& ctx) {
  for_each_reached<py::Assert>(ctx.model, [&](const py::Assert& stmt) {
    ctx.report_at_offset("assert statement may be stripped in optimized mode", stmt.start);
  });
}

void detect_mutable_default_argument(DetectorContext& ctx) {
  for_each_reached<py::AnyFunctionDef>(ctx.model, [&](const py::AnyFunctionDef& def) {
    if (has_mutable_default(*def.args)) {
      ctx.report_at_offset(fmt::format("function `{}` uses a mutable default argument", def.name), def.start);
    }
  });
}

void detect_generated_dead_branch(DetectorContext& ctx) {
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    if (is_constant(node.test, ConstantKind::True) || is_constant(node.test, ConstantKind::False)) {
      ctx.report_at_offset("constant boolean condition suggests generated or placeholder branch", node.start);
    }
  });
}

void detect_global_mutable_state(DetectorContext& ctx) {
  for (const py::Stmt* stmt : ctx.statements()) {
    const auto* assign = py::dyn<py::Assign>(stmt);
    if (assign != nullptr && is_mutable_literal(assign->value)) {
      ctx.report_at_offset("module-level assignment to mutable literal", stmt->start);
    }
  }
}

void detect_unnecessary_else_after_return(DetectorContext& ctx) {
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    if (node.orelse.empty()) return;
    if (py::dyn<py::Return>(last_effective(node.body)) != nullptr) {
      ctx.report_at_offset("if branch returns but is followed by else; else may be unnecessary", node.start);
    }
  });
}

void detect_identity_passthrough(DetectorContext& ctx) {
  for_each_reached<py::AnyFunctionDef>(ctx.model, [&](const py::AnyFunctionDef& def) {
    if (is_identity_passthrough(def)) {
      ctx.report_at_offset(fmt::format("function `{}` only returns its single argument", def.name), def.start);
    }
  });
}

void detect_collapsible_if(DetectorContext& ctx) {
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    if (is_collapsible(node)) ctx.report_at_offset("nested if without else can be collapsed with `and`", node.start);
  });
}

void detect_duplicate_branch_body(DetectorContext& ctx) {
  const std::string_view source = ctx.model.module.source;
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    if (duplicates_elif_body(source, node)) {
      ctx.report_at_offset("if and elif branches have identical bodies", node.start);
    }
  });
}

void detect_manual_string_join(DetectorContext& ctx) {
  for_each_reached<py::For>(ctx.model, [&](const py::For& loop) {
    for (const py::Stmt* inner : loop.body) {
      const auto* aug = py::dyn<py::AugAssign>(inner);
      if (aug != nullptr && aug->op == py::Operator::Add) {
        ctx.report_at_offset("string concatenation with += in a loop; prefer `str.join`", inner->start);
      }
    }
  });
}

void detect_sort_then_reverse(DetectorContext& ctx) {
  // Most files have no reverse() statement anywhere: then no list has the pair.
  bool reverses = false;
  for_each_reached<py::ExprStmt>(ctx.model, [&](const py::ExprStmt& stmt) {
    reverses = reverses || attribute_call_receiver(stmt.value, "reverse") != nullptr;
  });
  if (!reverses) return;
  StatementWalk walk;
  walk.lists(ctx.statements(), ReducedDescent{}, [&](StmtList list) {
    for (std::size_t i = 1; i < list.size(); ++i) {
      const py::Expr* sorted = attribute_call_receiver(expression_of(list[i - 1]), "sort");
      const py::Expr* reversed = attribute_call_receiver(expression_of(list[i]), "reverse");
      if (sorted != nullptr && reversed != nullptr && same_receiver(sorted, reversed)) {
        ctx.report_at_offset("sort() followed by reverse(); use `sorted(..., reverse=True)`", list[i - 1]->start);
      }
    }
  });
}

void detect_query_in_loop(DetectorContext& ctx) {
  StatementWalk body_scan;
  for_each_reached<py::For>(ctx.model, [&](const py::For& loop) {
    const bool found = body_scan.statements(loop.body, ReducedDescent{},
                                            [](const py::Stmt& inner) { return holds_query_call(scanned_expression(inner)); });
    if (found) ctx.report_at_offset("database query or execute inside a loop may cause N+1 access", loop.start);
  });
}

void detect_extractable_condition(DetectorContext& ctx) {
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    if (condition_score(node.test) >= 3) {
      ctx.report_at_offset("complex if condition may be clearer as a named boolean variable", node.start);
    }
  });
}

void detect_ambiguous_none_return(DetectorContext& ctx) {
  // A function mixes only if the file holds both kinds of return.
  bool bare = false;
  bool none = false;
  for_each_reached<py::Return>(ctx.model, [&](const py::Return& ret) {
    bare = bare || ret.value == nullptr;
    none = none || is_constant(ret.value, ConstantKind::None);
  });
  if (!bare || !none) return;
  StatementWalk return_scan;
  for_each_reached<py::AnyFunctionDef>(ctx.model, [&](const py::AnyFunctionDef& def) {
    if (mixes_bare_return_and_none(def, return_scan)) {
      ctx.report_at_offset("function mixes bare `return` and `return None`", def.start);
    }
  });
}

void detect_reject_none(DetectorContext& ctx) {
  for_each_reached<py::If>(ctx.model, [&](const py::If& node) {
    const py::Name* checked = none_checked_name(node.test);
    if (checked == nullptr) return;
    const auto* ret = py::dyn<py::Return>(last_effective(node.body));
    const auto* returned = ret != nullptr ? py::dyn<py::Name>(ret->value) : nullptr;
    if (returned != nullptr && returned->id == checked->id) {
      ctx.report_at_offset(fmt::format("`if {0} is not None: return {0}` can often be simplified", checked->id),
                           node.start);
    }
  });
}

void detect_empty_wrapper_function(DetectorContext& ctx) {
  for_each_reached<py::AnyFunctionDef>(ctx.model, [&](const py::AnyFunctionDef& def) {
    if (is_thin_wrapper(def)) {
      ctx.report_at_offset(fmt::format("function `{}` is a thin wrapper with no added behavior", def.name), def.start);
    }
  });
}

}  // namespace quarn
