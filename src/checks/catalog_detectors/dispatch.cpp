#include <algorithm>
#include <array>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "base/output.h"
#include "checks/catalog.h"
#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/shared_phrases.h"
#include "checks/catalog_detectors/text.h"
#include "config/config.h"

namespace quarn {

namespace {

using T = DetectorTag;
using Detector = void (*)(DetectorContext&);

// Indexed by detector number. Number 44 (QN206) deliberately has no entry.
constexpr std::array<Detector, 44> kNumberedDetectors = {
    detect_commented_out_code,               // 0  QN009
    detect_placeholder_generated_code,       // 1  QN501
    detect_generated_comment_pattern,        // 2  QN502
    detect_generated_dead_branch,            // 3  QN507
    detect_redundant_boolean_comparison,     // 4  QN304
    detect_dataclass_without_behavior,       // 5  QN205
    detect_global_mutable_state,             // 6  QN409
    detect_empty_except,                     // 7  QN402, QN408
    detect_mixed_quote_style,                // 8  QN105
    detect_unclear_variable_name,            // 9  QN005
    detect_inconsistent_test_naming,         // 10 QN106
    detect_defensive_overengineering,        // 11 QN508
    detect_service_object_explosion,         // 12 QN209
    detect_unnecessary_else_after_return,    // 13 QN303
    detect_identity_passthrough,             // 14 QN310
    detect_identity_map,                     // 15 QN311
    detect_blanket_except,                   // 16 QN411
    detect_silent_fallback,                  // 17 QN413
    detect_generic_exception_message,        // 18 QN504
    detect_collapsible_if,                   // 19 QN302
    detect_duplicate_branch_body,            // 20 QN301
    detect_manual_string_join,               // 21 QN314
    detect_sort_then_reverse,                // 22 QN315
    detect_sort_for_top_k,                   // 23 QN415
    detect_query_in_loop,                    // 24 QN412
    detect_simplifiable_if_expression,       // 25 QN305
    detect_extractable_condition,            // 26 QN308
    detect_repeated_try_except,              // 27 QN309
    detect_ambiguous_none_return,            // 28 QN410
    detect_reject_none,                      // 29 QN312
    detect_filter_none,                      // 30 QN313
    detect_inconsistent_function_naming,     // 31 QN101
    detect_repeated_literal,                 // 32 QN306
    detect_empty_wrapper_function,           // 33 QN506
    detect_inconsistent_class_naming,        // 34 QN102
    detect_inconsistent_import_style,        // 35 QN104
    detect_mixed_collection_style,           // 36 QN109
    detect_mixed_return_style,               // 37 QN110
    detect_too_many_instance_variables,      // 38 QN202
    detect_too_many_public_methods,          // 39 QN203
    detect_layer_violation,                  // 40 QN208
    detect_excessive_abstraction,            // 41 QN509
    detect_generic_utility_explosion,        // 42 QN510
    detect_boilerplate_parameter_docs,       // 43 QN505
};

constexpr std::uint8_t kFlagDetector = 7;
constexpr std::uint8_t kInstanceVariablesDetector = 38;
constexpr std::uint8_t kPublicMethodsDetector = 39;

// The syntax-tree walkers reached by a named tag; null for the other tags.
Detector walking_detector(DetectorTag tag) {
  switch (tag) {
    case T::MaxBooleanOperators: return detect_complex_boolean_expression;
    case T::MagicNumber: return detect_magic_number;
    case T::AssertStatement: return detect_assert_production;
    case T::DynamicExecution: return detect_dangerous_eval_exec;
    case T::LengthComparison: return detect_length_comparison;
    case T::BroadExcept: return detect_broad_except;
    case T::BareExcept: return detect_bare_except;
    case T::MutableDefault: return detect_mutable_default_argument;
    case T::PrintCall: return detect_print_debugging;
    default: return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Metric checks over the definition indexes

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

// A configured limit replaces the catalog default whole, 0 included.
void detect_metric(DetectorContext& ctx, const DetectorKind& kind) {
  const SourceIndex& index = ctx.model.index;
  const ResolvedCheckConfig& settings = ctx.settings;
  switch (kind.tag) {
    case T::MaxFunctionLines:
      report_over_limit(ctx, index.functions(), &FunctionInfo::line_count, settings.max_lines.value_or(kind.threshold),
                        "function `{}` spans ~{} lines (max {})");
      break;
    case T::MaxArguments:
      report_over_limit(ctx, index.functions(), &FunctionInfo::arg_count,
                        settings.max_arguments.value_or(kind.threshold), "function `{}` has {} arguments (max {})");
      break;
    case T::MaxNestingDepth:
      report_over_limit(ctx, index.functions(), &FunctionInfo::nesting_depth,
                        settings.max_depth.value_or(kind.threshold),
                        "function `{}` has conditional nesting depth {} (max {})");
      break;
    case T::MaxMethods:
      report_over_limit(ctx, index.classes(), &ClassInfo::method_count, settings.max_methods.value_or(kind.threshold),
                        "class `{}` defines {} methods (max {})");
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Text scans

void detect_phrases(DetectorContext& ctx, std::span<const std::string_view> phrases, PhraseScope scope) {
  for (const PhraseMatch& match : phrase_matches(ctx, {phrases, scope})) {
    ctx.report_at(fmt::format(FMT_COMPILE("matches pattern `{}`"), phrases[match.phrase]), match.line, match.column);
  }
}

void detect_todo_without_context(DetectorContext& ctx) {
  for (const PhraseMatch& match : phrase_matches(ctx, {kTodoForms, PhraseScope::Comments})) {
    if (kTodoForms[match.phrase] != "TODO") continue;
    ctx.report_at("TODO comment without owner/context (use TODO(owner): ...)", match.line, match.column);
  }
}

// ---------------------------------------------------------------------------
// Docstrings

void detect_module_docstring(DetectorContext& ctx) {
  const auto stmts = ctx.statements();
  if (!stmts.empty()) {
    const auto* first = py::dyn<py::ExprStmt>(stmts.front());
    const auto* value = first != nullptr ? py::dyn<py::Constant>(first->value) : nullptr;
    if (value != nullptr && value->value_kind == py::ConstantKind::Str) return;
  }
  ctx.report_at("module is missing a top-level docstring", 1, 1);
}

void detect_function_docstrings(DetectorContext& ctx) {
  for (const FunctionInfo& function : ctx.model.index.functions()) {
    if (!function.has_docstring) {
      ctx.report_at(fmt::format(FMT_COMPILE("function `{}` is missing a docstring"), function.name), function.line,
                    function.column);
    }
  }
}

// ---------------------------------------------------------------------------
// Forbidden imports

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

// Every piece between full stops, empty ones included.
std::vector<std::string_view> dotted_pieces(std::string_view dotted) {
  std::vector<std::string_view> pieces;
  std::size_t begin = 0;
  for (;;) {
    const std::size_t dot = dotted.find('.', begin);
    if (dot == std::string_view::npos) {
      pieces.push_back(dotted.substr(begin));
      return pieces;
    }
    pieces.push_back(dotted.substr(begin, dot - begin));
    begin = dot + 1;
  }
}

bool in_layer(const std::vector<std::string_view>& components, std::string_view layer) {
  const auto pieces = dotted_pieces(layer);
  return !std::ranges::search(components, pieces).empty();
}

bool names_module(std::string_view module, std::string_view forbidden) {
  return module.starts_with(forbidden) && (module.size() == forbidden.size() || module[forbidden.size()] == '.');
}

void detect_forbidden_imports(DetectorContext& ctx, const std::vector<ForbiddenImportRule>& rules) {
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

// ---------------------------------------------------------------------------

void detect_numbered(DetectorContext& ctx, const DetectorKind& kind) {
  if (kind.number >= kNumberedDetectors.size()) return;
  if (kind.number == kFlagDetector) ctx.flag = kind.flag;
  if (kind.number == kInstanceVariablesDetector || kind.number == kPublicMethodsDetector) ctx.limit = kind.threshold;
  kNumberedDetectors[kind.number](ctx);
}

void dispatch(DetectorContext& ctx, const DetectorKind& kind) {
  switch (kind.tag) {
    case T::MaxFunctionLines:
    case T::MaxArguments:
    case T::MaxNestingDepth:
    case T::MaxMethods:
      detect_metric(ctx, kind);
      return;
    case T::TodoWithoutContext:
      detect_todo_without_context(ctx);
      return;
    case T::LinePhrases:
      detect_phrases(ctx, kind.phrases, PhraseScope::Lines);
      return;
    case T::CommentPhrases:
      detect_phrases(ctx, kind.phrases, PhraseScope::Comments);
      return;
    case T::MissingModuleDocstring:
      detect_module_docstring(ctx);
      return;
    case T::MissingFunctionDocstring:
      detect_function_docstrings(ctx);
      return;
    case T::ForbiddenImport:
      detect_forbidden_imports(ctx, ctx.settings.rules);
      return;
    case T::Numbered:
      detect_numbered(ctx, kind);
      return;
    case T::MaxBooleanOperators:
      ctx.limit = kind.threshold;
      break;
    default:
      break;
  }
  if (Detector walker = walking_detector(kind.tag)) walker(ctx);
}

}  // namespace

std::vector<Finding> CatalogCheck::run(const SourceModel& model, const ResolvedCheckConfig& settings) const {
  if (!settings.enabled) return {};
  DetectorContext ctx{.model = model, .check = *this, .settings = settings, .findings = {}};
  dispatch(ctx, detector_);
  return std::move(ctx.findings);
}

}  // namespace quarn
