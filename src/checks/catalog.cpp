#include "checks/catalog.h"

#include <algorithm>
#include <array>

#include "checks/catalog_detectors/detectors.h"
#include "checks/texts.h"

namespace quarn {

namespace {

using enum Category;
using S = Severity;
using L = LimitSetting;

constexpr std::array<std::string_view, 2> kQN011 = {"this function", "this module"};
constexpr std::array<std::string_view, 2> kQN012 = {"auto-generated", "boilerplate"};
constexpr std::array<std::string_view, 3> kQN013 = {"step 1", "step 2", "step 3"};
constexpr std::array<std::string_view, 2> kQN014 = {"now we", "then we"};
constexpr std::array<std::string_view, 2> kQN015 = {"increment x", "set value"};
constexpr std::array<std::string_view, 2> kQN103 = {" = \"", " = '"};
constexpr std::array<std::string_view, 2> kQN107 = {"def _", "def __"};
constexpr std::array<std::string_view, 3> kQN108 = {"manager", "service", "helper"};
constexpr std::array<std::string_view, 3> kQN204 = {"other.", ".get_", ".set_"};
constexpr std::array<std::string_view, 2> kQN210 = {"delegate(", "wrapper("};
constexpr std::array<std::string_view, 2> kQN503 = {"this function does", "in this step"};

constexpr bool on = true;
constexpr bool off = false;

constexpr DetectorParams limit(std::uint64_t threshold, LimitSetting configured = L::None) {
  return {.threshold = threshold, .limit = configured};
}
constexpr DetectorParams phrases(std::span<const std::string_view> list) { return {.phrases = list}; }

// id, slug, category, default severity, enabled under the base profile
// "default", detector, and what tunes it.
constexpr std::array<CheckRow, 75> kCatalog = {{
    {"QN001", "long-function", Readability, S::Low, on, detect_long_function, limit(50, L::MaxLines)},
    {"QN002", "too-many-arguments", Readability, S::Low, on, detect_too_many_arguments, limit(5, L::MaxArguments)},
    {"QN003", "deep-nesting", Readability, S::Medium, on, detect_deep_nesting, limit(3, L::MaxDepth)},
    {"QN004", "complex-boolean-expression", Readability, S::Low, on, detect_complex_boolean_expression, limit(3)},
    {"QN005", "unclear-variable-name", Readability, S::Low, on, detect_unclear_variable_name},
    {"QN006", "magic-number", Readability, S::Low, on, detect_magic_number},
    {"QN007", "missing-module-docstring", Readability, S::Low, off, detect_missing_module_docstring},
    {"QN008", "missing-function-docstring", Readability, S::Low, off, detect_missing_function_docstring},
    {"QN009", "commented-out-code", Readability, S::Low, on, detect_commented_out_code},
    {"QN010", "todo-without-context", Readability, S::Low, on, detect_todo_without_context},
    {"QN011", "narrator-docstring", Readability, S::Low, off, detect_line_phrases, phrases(kQN011)},
    {"QN012", "boilerplate-docstring", Readability, S::Low, off, detect_line_phrases, phrases(kQN012)},
    {"QN013", "step-comment", Readability, S::Low, off, detect_comment_phrases, phrases(kQN013)},
    {"QN014", "narrator-comment", Readability, S::Low, off, detect_comment_phrases, phrases(kQN014)},
    {"QN015", "obvious-comment", Readability, S::Low, off, detect_comment_phrases, phrases(kQN015)},
    {"QN101", "inconsistent-function-naming", Consistency, S::Low, on, detect_inconsistent_function_naming},
    {"QN102", "inconsistent-class-naming", Consistency, S::Low, off, detect_inconsistent_class_naming},
    {"QN103", "inconsistent-constant-naming", Consistency, S::Low, off, detect_line_phrases, phrases(kQN103)},
    {"QN104", "inconsistent-import-style", Consistency, S::Low, off, detect_inconsistent_import_style},
    {"QN105", "mixed-quote-style", Consistency, S::Low, on, detect_mixed_quote_style},
    {"QN106", "inconsistent-test-naming", Consistency, S::Low, on, detect_inconsistent_test_naming},
    {"QN107", "inconsistent-private-prefix", Consistency, S::Low, off, detect_line_phrases, phrases(kQN107)},
    {"QN108", "duplicate-naming-pattern", Consistency, S::Low, off, detect_line_phrases, phrases(kQN108)},
    {"QN109", "mixed-collection-style", Consistency, S::Low, off, detect_mixed_collection_style},
    {"QN110", "mixed-return-style", Consistency, S::Low, off, detect_mixed_return_style},
    {"QN201", "god-class", Design, S::Medium, on, detect_god_class, limit(15, L::MaxMethods)},
    {"QN202", "too-many-instance-variables", Design, S::Medium, off, detect_too_many_instance_variables, limit(8)},
    {"QN203", "too-many-public-methods", Design, S::Medium, off, detect_too_many_public_methods,
     limit(10, L::MaxMethods)},
    {"QN204", "feature-envy", Design, S::Medium, off, detect_line_phrases, phrases(kQN204)},
    {"QN205", "dataclass-without-behavior", Design, S::Low, on, detect_dataclass_without_behavior},
    {"QN206", "circular-import", Design, S::High, off, nullptr},
    {"QN207", "forbidden-architecture-import", Architecture, S::High, on, detect_forbidden_imports},
    {"QN208", "layer-violation", Architecture, S::High, off, detect_layer_violation},
    {"QN209", "service-object-explosion", Design, S::Low, on, detect_service_object_explosion},
    {"QN210", "excessive-indirection", Design, S::Low, off, detect_line_phrases, phrases(kQN210)},
    {"QN301", "duplicate-branch-body", Refactor, S::Low, on, detect_duplicate_branch_body},
    {"QN302", "collapsible-if", Refactor, S::Low, on, detect_collapsible_if},
    {"QN303", "unnecessary-else-after-return", Refactor, S::Low, on, detect_unnecessary_else_after_return},
    {"QN304", "redundant-boolean-comparison", Refactor, S::Low, on, detect_redundant_boolean_comparison},
    {"QN305", "simplifiable-if-expression", Refactor, S::Low, on, detect_simplifiable_if_expression},
    {"QN306", "repeated-literal", Refactor, S::Low, on, detect_repeated_literal},
    {"QN307", "long-parameter-list", Refactor, S::Low, on, detect_too_many_arguments, limit(7, L::MaxArguments)},
    {"QN308", "extractable-condition", Refactor, S::Low, on, detect_extractable_condition},
    {"QN309", "repeated-try-except", Refactor, S::Low, on, detect_repeated_try_except},
    {"QN310", "identity-passthrough", Refactor, S::Low, on, detect_identity_passthrough},
    {"QN311", "identity-map", Refactor, S::Low, on, detect_identity_map},
    {"QN312", "reject-none", Refactor, S::Low, on, detect_reject_none},
    {"QN313", "filter-none", Refactor, S::Low, on, detect_filter_none},
    {"QN314", "manual-string-join", Refactor, S::Low, on, detect_manual_string_join},
    {"QN315", "sort-then-reverse", Refactor, S::Low, on, detect_sort_then_reverse},
    {"QN401", "broad-except", Warning, S::High, on, detect_broad_except},
    {"QN402", "empty-except", Warning, S::High, on, detect_empty_except},
    {"QN403", "bare-except", Warning, S::High, on, detect_bare_except},
    {"QN404", "mutable-default-argument", Warning, S::High, on, detect_mutable_default_argument},
    {"QN405", "print-debugging", Warning, S::Low, on, detect_print_debugging},
    {"QN406", "assert-production", Warning, S::Medium, on, detect_assert_production},
    {"QN407", "dangerous-eval-exec", Security, S::High, on, detect_dangerous_eval_exec},
    {"QN408", "silent-exception-swallowing", Warning, S::High, on, detect_silent_exception_swallowing},
    {"QN409", "global-mutable-state", Warning, S::Medium, on, detect_global_mutable_state},
    {"QN410", "ambiguous-none-return", Warning, S::Medium, on, detect_ambiguous_none_return},
    {"QN411", "blanket-except", Warning, S::High, on, detect_blanket_except},
    {"QN412", "query-in-loop", Warning, S::Medium, on, detect_query_in_loop},
    {"QN413", "silent-fallback", Warning, S::Medium, on, detect_silent_fallback},
    {"QN414", "length-comparison", Warning, S::Low, on, detect_length_comparison},
    {"QN415", "sort-for-top-k", Warning, S::Low, on, detect_sort_for_top_k},
    {"QN501", "placeholder-generated-code", Ai, S::Medium, on, detect_placeholder_generated_code},
    {"QN502", "generated-comment-pattern", Ai, S::Medium, on, detect_generated_comment_pattern},
    {"QN503", "excessive-narration", Ai, S::Low, off, detect_comment_phrases, phrases(kQN503)},
    {"QN504", "generic-exception-message", Ai, S::Low, on, detect_generic_exception_message},
    {"QN505", "boilerplate-parameter-docs", Ai, S::Low, off, detect_boilerplate_parameter_docs},
    {"QN506", "empty-wrapper-function", Ai, S::Low, off, detect_empty_wrapper_function},
    {"QN507", "generated-dead-branch", Ai, S::Low, on, detect_generated_dead_branch},
    {"QN508", "defensive-overengineering", Ai, S::Low, on, detect_defensive_overengineering},
    {"QN509", "excessive-abstraction", Ai, S::Low, off, detect_excessive_abstraction},
    {"QN510", "generic-utility-explosion", Ai, S::Low, off, detect_generic_utility_explosion},
}};
static_assert(std::ranges::all_of(kCatalog, [](const CheckRow& row) {
  return PhraseScanner::accepts(row.params.phrases);
}));

}  // namespace

Finding finding_new(const CatalogRule& check, std::string message, const SharedText& file, std::uint64_t line,
                    std::uint64_t column) {
  return Finding{
      .id = SharedText::of_static(check.id()),
      .title = SharedText::of_static(check.slug()),
      .message = std::move(message),
      .explanation = check.explanation(),
      .remediation = check.remediation(),
      .file = file,
      .line = line,
      .column = column,
      .severity = check.default_severity(),
      .category = check.category(),
      .source = SharedText::of_static("quarn"),
      .confidence = Confidence::Deterministic,
  };
}

CatalogCheck::CatalogCheck(const CheckRow& row) : row_(row), texts_(*find_check_texts(row.id)) {}

CheckMeta CatalogCheck::meta() const {
  return CheckMeta{row_.id, row_.slug, texts_.example, row_.category, row_.severity};
}

void CatalogCheck::run(const SourceModel& model, const ResolvedCheckConfig& settings,
                       std::vector<Finding>& findings) const {
  if (!settings.enabled || row_.detect == nullptr) return;
  DetectorContext ctx{.model = model, .check = *this, .settings = settings, .findings = findings};
  row_.detect(ctx);
}

std::span<const CheckRow> catalog_rows() { return kCatalog; }

Catalog build_catalog() {
  Catalog catalog;
  catalog.reserve(kCatalog.size());
  for (const CheckRow& row : kCatalog) catalog.push_back(std::make_unique<CatalogCheck>(row));
  return catalog;
}

std::vector<ResolvedCheckConfig> resolve_catalog_settings(const Config& config) {
  std::vector<ResolvedCheckConfig> settings;
  settings.reserve(kCatalog.size());
  for (const CheckRow& row : kCatalog)
    settings.push_back(resolve_check_config(config, row.id, row.enabled_by_default));
  return settings;
}

std::span<const PhraseList> catalog_phrase_lists() {
  static const std::vector<PhraseList> lists = [] {
    std::vector<PhraseList> found;
    for (const CheckRow& row : kCatalog) {
      if (row.detect == detect_line_phrases) found.push_back({row.params.phrases, PhraseScope::Lines});
      if (row.detect == detect_comment_phrases) found.push_back({row.params.phrases, PhraseScope::Comments});
    }
    return found;
  }();
  return lists;
}

const CatalogRule* find_check(const Catalog& catalog, std::string_view id) {
  for (const auto& check : catalog)
    if (check->id() == id) return check.get();
  return nullptr;
}

}  // namespace quarn
