#include <algorithm>
#include <array>
#include <string_view>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/number_literal.h"
#include "checks/catalog_detectors/walkers.h"

namespace quarn {
namespace {

using namespace py;

bool is_name(const Expr* expr, std::string_view id) {
  const auto* name = dyn<Name>(expr);
  return name != nullptr && name->id == id;
}

bool is_call_of(const Expr* expr, std::string_view callee) {
  const auto* call = dyn<Call>(expr);
  return call != nullptr && is_name(call->func, callee);
}

bool is_bool_constant(const Expr* expr) {
  const auto* constant = dyn<Constant>(expr);
  return constant != nullptr &&
         (constant->value_kind == ConstantKind::True || constant->value_kind == ConstantKind::False);
}

bool is_number_text(const Expr* expr, std::initializer_list<std::string_view> texts) {
  const auto* constant = dyn<Constant>(expr);
  if (constant == nullptr) return false;
  const auto text = number_literal_to_string(*constant);
  return text && std::find(texts.begin(), texts.end(), *text) != texts.end();
}

bool is_magic_number_text(std::string_view text) {
  constexpr std::array<std::string_view, 4> kAllowed = {"0", "1", "2", "10"};
  if (std::find(kAllowed.begin(), kAllowed.end(), text) != kAllowed.end()) return false;
  return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool is_ordering_or_equality(CmpOperator op) {
  switch (op) {
    case CmpOperator::Eq:
    case CmpOperator::Lt:
    case CmpOperator::LtE:
    case CmpOperator::Gt:
    case CmpOperator::GtE:
      return true;
    default:
      return false;
  }
}

bool is_length_comparison(const Compare& compare) {
  const auto& comparators = compare.comparators;
  return std::any_of(compare.ops.begin(), compare.ops.end(), is_ordering_or_equality) &&
         (is_call_of(compare.left, "len") ||
          std::any_of(comparators.begin(), comparators.end(), [](const Expr* e) { return is_call_of(e, "len"); })) &&
         std::any_of(comparators.begin(), comparators.end(), [](const Expr* e) { return is_number_text(e, {"0", "1"}); });
}

bool is_identity_lambda(const Expr* expr) {
  const auto* lambda = dyn<Lambda>(expr);
  if (lambda == nullptr || lambda->args == nullptr || lambda->args->args.size() != 1) return false;
  const auto* body = dyn<Name>(lambda->body);
  return body != nullptr && body->id == lambda->args->args.front().arg;
}

}  // namespace

void detect_complex_boolean_expression(DetectorContext& ctx) {
  const std::uint64_t limit = ctx.limit();
  for_each_reached<BoolOp>(ctx.model, [&](const BoolOp& node) {
    const std::uint64_t operators = node.values.empty() ? 0 : node.values.size() - 1;
    if (operators > limit) {
      ctx.report_at_offset(fmt::format("boolean expression has {} operators (max {})", operators, limit),
                           node.start);
    }
  });
}

void detect_magic_number(DetectorContext& ctx) {
  for_each_reached<Constant>(ctx.model, [&](const Constant& node) {
    const auto text = number_literal_to_string(node);
    if (text && is_magic_number_text(*text)) {
      ctx.report_at_offset(fmt::format(FMT_COMPILE("magic numeric literal `{}`"), *text), node.start);
    }
  });
}

void detect_dangerous_eval_exec(DetectorContext& ctx) {
  for_each_reached<Call>(ctx.model, [&](const Call& node) {
    for (std::string_view callee : {"eval", "exec"}) {
      if (is_name(node.func, callee)) {
        ctx.report_at_offset(fmt::format("dangerous dynamic execution via {}()", callee), node.start);
      }
    }
  });
}

void detect_length_comparison(DetectorContext& ctx) {
  for_each_reached<Compare>(ctx.model, [&](const Compare& node) {
    if (is_length_comparison(node)) {
      ctx.report_at_offset("len(...) comparison can often be simplified to truthiness check", node.start);
    }
  });
}

void detect_print_debugging(DetectorContext& ctx) {
  for_each_reached<Call>(ctx.model, [&](const Call& node) {
    if (is_name(node.func, "print")) ctx.report_at_offset("print() used for debugging", node.start);
  });
}

void detect_redundant_boolean_comparison(DetectorContext& ctx) {
  for_each_reached<Compare>(ctx.model, [&](const Compare& node) {
    if (is_bool_constant(node.left) ||
        std::any_of(node.comparators.begin(), node.comparators.end(), is_bool_constant)) {
      ctx.report_at_offset("redundant comparison to True/False constant", node.start);
    }
  });
}

void detect_identity_map(DetectorContext& ctx) {
  for_each_reached<Call>(ctx.model, [&](const Call& node) {
    if (is_name(node.func, "map") && !node.args.empty() && is_identity_lambda(node.args.front())) {
      ctx.report_at_offset("map(lambda x: x, ...) is an identity; use list(...) or copy directly", node.start);
    }
  });
}

void detect_simplifiable_if_expression(DetectorContext& ctx) {
  for_each_reached<IfExp>(ctx.model, [&](const IfExp& node) {
    if (is_bool_constant(node.body) && is_bool_constant(node.orelse) &&
        node.body->as<Constant>().value_kind != node.orelse->as<Constant>().value_kind) {
      ctx.report_at_offset("if-expression with True/False branches can simplify to the condition", node.start);
    }
  });
}

}  // namespace quarn
