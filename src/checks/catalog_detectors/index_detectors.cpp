// Detectors over the file's indexes and text: metrics of definitions, phrase
// scans, TODO comments, docstrings and forbidden imports.

#include <algorithm>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "base/text.h"
#include "base/utf8.h"
#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/shared_phrases.h"
#include "config/config.h"

namespace quarn {

namespace {

using MetricMessage = fmt::format_string<const std::string_view&, std::uint64_t, std::uint64_t>;

template <class Record>
void report_over_limit(DetectorContext& ctx, const std::vector<Record>& records, std::uint64_t Record::*value,
                       std::uint64_t limit, MetricMessage message) {
  for (const Record& record : records) {
    if (record.*value > limit) {
      ctx.report_at(fmt::format(message, record.name, std::uint64_t{record.*value}, std::uint64_t{limit}), record.line,
                    record.column);
    }
  }
}

void report_phrases(DetectorContext& ctx, PhraseScope scope) {
  const std::span<const std::string_view> phrases = ctx.phrases();
  for (const PhraseMatch& match : phrase_matches(ctx, {phrases, scope})) {
    ctx.report_at(fmt::format(FMT_COMPILE("matches pattern `{}`"), phrases[match.phrase]), match.line, match.column);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Metrics over the definition indexes: the check's limit is its row's
// threshold or the setting its row names.

void detect_long_function(DetectorContext& ctx) {
  report_over_limit(ctx, ctx.model.index.functions(), &FunctionInfo::line_count, ctx.limit(),
                    "function `{}` spans ~{} lines (max {})");
}

void detect_too_many_arguments(DetectorContext& ctx) {
  report_over_limit(ctx, ctx.model.index.functions(), &FunctionInfo::arg_count, ctx.limit(),
                    "function `{}` has {} arguments (max {})");
}

void detect_deep_nesting(DetectorContext& ctx) {
  report_over_limit(ctx, ctx.model.index.functions(), &FunctionInfo::nesting_depth, ctx.limit(),
                    "function `{}` has conditional nesting depth {} (max {})");
}

void detect_god_class(DetectorContext& ctx) {
  report_over_limit(ctx, ctx.model.index.classes(), &ClassInfo::method_count, ctx.limit(),
                    "class `{}` defines {} methods (max {})");
}

// ---------------------------------------------------------------------------
// Text scans

void detect_line_phrases(DetectorContext& ctx) { report_phrases(ctx, PhraseScope::Lines); }

void detect_comment_phrases(DetectorContext& ctx) { report_phrases(ctx, PhraseScope::Comments); }

void detect_todo_without_context(DetectorContext& ctx) {
  for (const PhraseMatch& match : phrase_matches(ctx, {kTodoForms, PhraseScope::Comments})) {
    if (kTodoForms[match.phrase] != "TODO") continue;
    ctx.report_at("TODO comment without owner/context (use TODO(owner): ...)", match.line, match.column);
  }
}

// ---------------------------------------------------------------------------
// Docstrings

void detect_missing_module_docstring(DetectorContext& ctx) {
  const auto stmts = ctx.statements();
  if (!stmts.empty()) {
    const auto* first = py::dyn<py::ExprStmt>(stmts.front());
    const auto* value = first != nullptr ? py::dyn<py::Constant>(first->value) : nullptr;
    if (value != nullptr && value->value_kind == py::ConstantKind::Str) return;
  }
  ctx.report_at("module is missing a top-level docstring", 1, 1);
}

void detect_missing_function_docstring(DetectorContext& ctx) {
  for (const FunctionInfo& function : ctx.model.index.functions()) {
    if (!function.has_docstring) {
      ctx.report_at(fmt::format(FMT_COMPILE("function `{}` is missing a docstring"), function.name), function.line,
                    function.column);
    }
  }
}

// ---------------------------------------------------------------------------
// Forbidden imports

namespace {

// The path's components as the platform's path library yields them: "/" for
// a leading slash, empty pieces dropped, "." kept only at the very start.
// Components that are not valid UTF-8 cannot name a layer and are skipped.
std::vector<std::string_view> path_components(std::string_view path) {
  std::vector<std::string_view> components;
  if (path.starts_with('/')) components.push_back("/");
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t slash = path.find('/', begin);
    if (slash == std::string_view::npos) slash = path.size();
    const std::string_view piece = path.substr(begin, slash - begin);
    const bool at_start = begin == 0;
    begin = slash + 1;
    if (piece.empty() || (piece == "." && !at_start) || !is_valid_utf8(piece)) continue;
    components.push_back(piece);
  }
  return components;
}

bool in_layer(const std::vector<std::string_view>& components, std::string_view layer) {
  const auto pieces = split_text(layer, '.');
  return !std::ranges::search(components, pieces).empty();
}

bool names_module(std::string_view module, std::string_view forbidden) {
  return module.starts_with(forbidden) && (module.size() == forbidden.size() || module[forbidden.size()] == '.');
}

}  // namespace

void detect_forbidden_imports(DetectorContext& ctx) {
  const std::vector<ForbiddenImportRule>& rules = ctx.settings.rules;
  if (rules.empty()) return;
  const auto components = path_components(ctx.model.path.native());
  std::vector<bool> applies;
  applies.reserve(rules.size());
  for (const auto& rule : rules) applies.push_back(in_layer(components, rule.from));
  for (const ImportInfo& import : ctx.model.index.imports()) {
    for (std::size_t i = 0; i < rules.size(); ++i) {
      if (!applies[i] || !names_module(import.module, rules[i].forbidden)) continue;
      ctx.report_at(fmt::format("module `{}` must not be imported from `{}` layer", import.module, rules[i].from),
                    import.line, import.column);
    }
  }
}

}  // namespace quarn
