// Style of literals, collections and filters, judged over the shared
// expression traversal.

#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <fmt/format.h>

#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/walkers.h"
#include "parser/parse.h"

namespace quarn {
namespace {

using py::ConstantKind;

bool is_call_of_name(const py::Expr* expr, std::string_view name) {
  const auto* call = py::dyn<py::Call>(expr);
  if (call == nullptr) return false;
  const auto* callee = py::dyn<py::Name>(call->func);
  return callee != nullptr && callee->id == name;
}

// `NAME is not None`, judged by the first operator and comparator only.
bool is_none_filter(const py::Expr* test) {
  const auto* compare = py::dyn<py::Compare>(test);
  if (compare == nullptr || compare->ops.empty() || compare->comparators.empty()) return false;
  const auto* right = py::dyn<py::Constant>(compare->comparators.front());
  return compare->ops.front() == py::CmpOperator::IsNot && right != nullptr &&
         right->value_kind == ConstantKind::None && py::dyn<py::Name>(compare->left) != nullptr;
}

bool filters_none(std::span<const py::Comprehension> generators) {
  for (const auto& generator : generators) {
    for (const py::Expr* condition : generator.ifs) {
      if (is_none_filter(condition)) return true;
    }
  }
  return false;
}

bool loop_filters_none(const py::For& loop) {
  for (const py::Stmt* stmt : loop.body) {
    const auto* branch = py::dyn<py::If>(stmt);
    if (branch != nullptr && is_none_filter(branch->test)) return true;
  }
  return false;
}

void detect_filter_none_loop(DetectorContext& ctx) {
  for_each_reached<py::For>(ctx.model, [&](const py::For& loop) {
    if (loop_filters_none(loop)) {
      ctx.report_at_offset("loop filters with `is not None`; consider filter(None, ...)", loop.start);
    }
  });
}

}  // namespace

void detect_repeated_literal(DetectorContext& ctx) {
  struct Occurrences {
    std::uint64_t count;
    std::uint32_t first_offset;
  };
  // Keys are views of the decoded values, which live as long as the tree.
  std::unordered_map<std::string_view, std::size_t> slot_of;
  std::vector<std::pair<std::string_view, Occurrences>> texts;
  for_each_reached<py::Constant>(ctx.model, [&](const py::Constant& constant) {
    if (constant.value_kind != ConstantKind::Str || constant.text.size() < 4) return;
    auto [it, inserted] = slot_of.try_emplace(constant.text, texts.size());
    if (inserted) {
      texts.push_back({constant.text, {1, constant.start}});
    } else {
      ++texts[it->second].second.count;
    }
  });
  for (const auto& [text, seen] : texts) {
    if (seen.count < 3) continue;
    ctx.report_at(fmt::format("string literal `{}` appears {} times; extract a named constant", text, seen.count),
                  ctx.model.index.position(seen.first_offset).line, 1);
  }
}

void detect_mixed_collection_style(DetectorContext& ctx) {
  bool empty_list = false;
  bool empty_dict = false;
  for_each_reached<py::List>(ctx.model, [&](const py::List& list) { empty_list |= list.elts.empty(); });
  for_each_reached<py::Dict>(ctx.model, [&](const py::Dict& dict) {
    empty_dict |= dict.keys.empty() && dict.values.empty();
  });
  // Calls are many; they matter only next to an empty literal.
  if (!empty_list && !empty_dict) return;
  bool list_call = false;
  bool dict_call = false;
  for_each_reached<py::Call>(ctx.model, [&](const py::Call& call) {
    if (call.args.empty() && is_call_of_name(&call, "list")) list_call = true;
    if (call.args.empty() && call.keywords.empty() && is_call_of_name(&call, "dict")) dict_call = true;
  });
  if (empty_list && list_call) ctx.report_at("module mixes `[]` and `list()` empty-list constructors", 1, 1);
  if (empty_dict && dict_call) ctx.report_at("module mixes `{}` and `dict()` empty-dict constructors", 1, 1);
}

void detect_mixed_quote_style(DetectorContext& ctx) {
  const std::string_view source = ctx.model.module.source;
  bool single_quoted = false;
  bool double_quoted = false;
  for_each_reached<py::Constant>(ctx.model, [&](const py::Constant& constant) {
    if (constant.value_kind != ConstantKind::Str || constant.start >= constant.end || constant.end > source.size()) {
      return;
    }
    const char first = source[constant.start];
    single_quoted |= first == '\'';
    double_quoted |= first == '"';
  });
  if (single_quoted && double_quoted) ctx.report_at("module mixes single- and double-quoted string literals", 1, 1);
}

void detect_filter_none(DetectorContext& ctx) {
  for_each_reached<py::ListComp, py::GeneratorExp>(ctx.model, [&](const py::Expr& expr) {
    if (const auto* comp = py::dyn<py::ListComp>(&expr); comp != nullptr && filters_none(comp->generators)) {
      ctx.report_at_offset("list comprehension filters `is not None`; consider filter(None, ...)", expr.start);
    } else if (const auto* gen = py::dyn<py::GeneratorExp>(&expr); gen != nullptr && filters_none(gen->generators)) {
      ctx.report_at_offset("generator filters `is not None`; consider filter(None, ...)", expr.start);
    }
  });
  detect_filter_none_loop(ctx);
}

void detect_sort_for_top_k(DetectorContext& ctx) {
  for_each_reached<py::Subscript>(ctx.model, [&](const py::Subscript& subscript) {
    if (!is_call_of_name(subscript.value, "sorted")) return;
    const auto* slice = py::dyn<py::Slice>(subscript.slice);
    if (slice != nullptr && slice->upper != nullptr) {
      ctx.report_at_offset("full sort then slice for top-k; consider `heapq.nlargest` or partial selection",
                           subscript.start);
    }
  });
}

}  // namespace quarn
