#include "checks/catalog.h"

#include <array>

#include "checks/texts.h"

namespace quarn {

namespace {

using enum Category;
using S = Severity;
using T = DetectorTag;

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

constexpr DetectorKind limit(T tag, std::uint64_t threshold) { return {.tag = tag, .threshold = threshold}; }
constexpr DetectorKind plain(T tag) { return {.tag = tag}; }
constexpr DetectorKind lines(std::span<const std::string_view> phrases) {
  return {.tag = T::LinePhrases, .phrases = phrases};
}
constexpr DetectorKind comments(std::span<const std::string_view> phrases) {
  return {.tag = T::CommentPhrases, .phrases = phrases};
}
constexpr DetectorKind numbered(std::uint8_t number) { return {.tag = T::Numbered, .number = number}; }
constexpr DetectorKind numbered_flag(std::uint8_t number, bool flag) {
  return {.tag = T::Numbered, .number = number, .flag = flag};
}
constexpr DetectorKind numbered_limit(std::uint8_t number, std::uint64_t threshold) {
  return {.tag = T::Numbered, .threshold = threshold, .number = number};
}

struct Entry {
  std::string_view id;
  std::string_view slug;
  Category category;
  Severity severity;
  DetectorKind detector;
};

const std::array<Entry, 75> kCatalog = {{
    {"QN001", "long-function", Readability, S::Low, limit(T::MaxFunctionLines, 50)},
    {"QN002", "too-many-arguments", Readability, S::Low, limit(T::MaxArguments, 5)},
    {"QN003", "deep-nesting", Readability, S::Medium, limit(T::MaxNestingDepth, 3)},
    {"QN004", "complex-boolean-expression", Readability, S::Low, limit(T::MaxBooleanOperators, 3)},
    {"QN005", "unclear-variable-name", Readability, S::Low, numbered(9)},
    {"QN006", "magic-number", Readability, S::Low, plain(T::MagicNumber)},
    {"QN007", "missing-module-docstring", Readability, S::Low, plain(T::MissingModuleDocstring)},
    {"QN008", "missing-function-docstring", Readability, S::Low, plain(T::MissingFunctionDocstring)},
    {"QN009", "commented-out-code", Readability, S::Low, numbered(0)},
    {"QN010", "todo-without-context", Readability, S::Low, plain(T::TodoWithoutContext)},
    {"QN011", "narrator-docstring", Readability, S::Low, lines(kQN011)},
    {"QN012", "boilerplate-docstring", Readability, S::Low, lines(kQN012)},
    {"QN013", "step-comment", Readability, S::Low, comments(kQN013)},
    {"QN014", "narrator-comment", Readability, S::Low, comments(kQN014)},
    {"QN015", "obvious-comment", Readability, S::Low, comments(kQN015)},
    {"QN101", "inconsistent-function-naming", Consistency, S::Low, numbered(31)},
    {"QN102", "inconsistent-class-naming", Consistency, S::Low, numbered(34)},
    {"QN103", "inconsistent-constant-naming", Consistency, S::Low, lines(kQN103)},
    {"QN104", "inconsistent-import-style", Consistency, S::Low, numbered(35)},
    {"QN105", "mixed-quote-style", Consistency, S::Low, numbered(8)},
    {"QN106", "inconsistent-test-naming", Consistency, S::Low, numbered(10)},
    {"QN107", "inconsistent-private-prefix", Consistency, S::Low, lines(kQN107)},
    {"QN108", "duplicate-naming-pattern", Consistency, S::Low, lines(kQN108)},
    {"QN109", "mixed-collection-style", Consistency, S::Low, numbered(36)},
    {"QN110", "mixed-return-style", Consistency, S::Low, numbered(37)},
    {"QN201", "god-class", Design, S::Medium, limit(T::MaxMethods, 15)},
    {"QN202", "too-many-instance-variables", Design, S::Medium, numbered_limit(38, 8)},
    {"QN203", "too-many-public-methods", Design, S::Medium, numbered_limit(39, 10)},
    {"QN204", "feature-envy", Design, S::Medium, lines(kQN204)},
    {"QN205", "dataclass-without-behavior", Design, S::Low, numbered(5)},
    {"QN206", "circular-import", Design, S::High, numbered(44)},
    {"QN207", "forbidden-architecture-import", Architecture, S::High, plain(T::ForbiddenImport)},
    {"QN208", "layer-violation", Architecture, S::High, numbered(40)},
    {"QN209", "service-object-explosion", Design, S::Low, numbered(12)},
    {"QN210", "excessive-indirection", Design, S::Low, lines(kQN210)},
    {"QN301", "duplicate-branch-body", Refactor, S::Low, numbered(20)},
    {"QN302", "collapsible-if", Refactor, S::Low, numbered(19)},
    {"QN303", "unnecessary-else-after-return", Refactor, S::Low, numbered(13)},
    {"QN304", "redundant-boolean-comparison", Refactor, S::Low, numbered(4)},
    {"QN305", "simplifiable-if-expression", Refactor, S::Low, numbered(25)},
    {"QN306", "repeated-literal", Refactor, S::Low, numbered(32)},
    {"QN307", "long-parameter-list", Refactor, S::Low, limit(T::MaxArguments, 7)},
    {"QN308", "extractable-condition", Refactor, S::Low, numbered(26)},
    {"QN309", "repeated-try-except", Refactor, S::Low, numbered(27)},
    {"QN310", "identity-passthrough", Refactor, S::Low, numbered(14)},
    {"QN311", "identity-map", Refactor, S::Low, numbered(15)},
    {"QN312", "reject-none", Refactor, S::Low, numbered(29)},
    {"QN313", "filter-none", Refactor, S::Low, numbered(30)},
    {"QN314", "manual-string-join", Refactor, S::Low, numbered(21)},
    {"QN315", "sort-then-reverse", Refactor, S::Low, numbered(22)},
    {"QN401", "broad-except", Warning, S::High, plain(T::BroadExcept)},
    {"QN402", "empty-except", Warning, S::High, numbered_flag(7, true)},
    {"QN403", "bare-except", Warning, S::High, plain(T::BareExcept)},
    {"QN404", "mutable-default-argument", Warning, S::High, plain(T::MutableDefault)},
    {"QN405", "print-debugging", Warning, S::Low, plain(T::PrintCall)},
    {"QN406", "assert-production", Warning, S::Medium, plain(T::AssertStatement)},
    {"QN407", "dangerous-eval-exec", Security, S::High, plain(T::DynamicExecution)},
    {"QN408", "silent-exception-swallowing", Warning, S::High, numbered_flag(7, false)},
    {"QN409", "global-mutable-state", Warning, S::Medium, numbered(6)},
    {"QN410", "ambiguous-none-return", Warning, S::Medium, numbered(28)},
    {"QN411", "blanket-except", Warning, S::High, numbered(16)},
    {"QN412", "query-in-loop", Warning, S::Medium, numbered(24)},
    {"QN413", "silent-fallback", Warning, S::Medium, numbered(17)},
    {"QN414", "length-comparison", Warning, S::Low, plain(T::LengthComparison)},
    {"QN415", "sort-for-top-k", Warning, S::Low, numbered(23)},
    {"QN501", "placeholder-generated-code", Ai, S::Medium, numbered(1)},
    {"QN502", "generated-comment-pattern", Ai, S::Medium, numbered(2)},
    {"QN503", "excessive-narration", Ai, S::Low, comments(kQN503)},
    {"QN504", "generic-exception-message", Ai, S::Low, numbered(18)},
    {"QN505", "boilerplate-parameter-docs", Ai, S::Low, numbered(43)},
    {"QN506", "empty-wrapper-function", Ai, S::Low, numbered(33)},
    {"QN507", "generated-dead-branch", Ai, S::Low, numbered(3)},
    {"QN508", "defensive-overengineering", Ai, S::Low, numbered(11)},
    {"QN509", "excessive-abstraction", Ai, S::Low, numbered(41)},
    {"QN510", "generic-utility-explosion", Ai, S::Low, numbered(42)},
}};

}  // namespace

Finding finding_new(const CatalogRule& check, std::string message, const std::filesystem::path& file,
                    std::uint64_t line, std::uint64_t column) {
  return Finding{
      .id = std::string(check.id()),
      .title = std::string(check.slug()),
      .message = std::move(message),
      .explanation = check.explanation(),
      .remediation = check.remediation(),
      .file = file.native(),
      .line = line,
      .column = column,
      .severity = check.default_severity(),
      .category = check.category(),
      .source = "quarn",
      .confidence = Confidence::Deterministic,
  };
}

CatalogCheck::CatalogCheck(std::string_view id, std::string_view slug, Category category,
                           Severity default_severity, DetectorKind detector)
    : detector_(detector), id_(id.substr(0, 5)), slug_(slug), category_(category),
      default_severity_(default_severity) {
  bool phrases = detector.tag == T::LinePhrases || detector.tag == T::CommentPhrases;
  const TextSet& texts = text_set_for(id_, phrases);
  example_ = texts.example;
  explanation_ = texts.explanation;
  remediation_ = texts.remediation;
  false_positives_ = texts.false_positives;
  tradeoffs_ = texts.tradeoffs;
}

CheckMeta CatalogCheck::meta() const {
  return CheckMeta{id_, slug_, example_, category_, default_severity_};
}

Catalog build_catalog() {
  Catalog catalog;
  catalog.reserve(kCatalog.size());
  for (const Entry& e : kCatalog)
    catalog.push_back(std::make_unique<CatalogCheck>(e.id, e.slug, e.category, e.severity, e.detector));
  return catalog;
}

std::vector<ResolvedCheckConfig> resolve_catalog_settings(const Catalog& catalog, const Config& config) {
  std::vector<ResolvedCheckConfig> settings;
  settings.reserve(catalog.size());
  for (const auto& check : catalog) settings.push_back(resolve_check_config(config, check->id()));
  return settings;
}

std::span<const PhraseList> catalog_phrase_lists() {
  static const std::vector<PhraseList> lists = [] {
    std::vector<PhraseList> found;
    for (const Entry& e : kCatalog) {
      if (e.detector.tag == T::LinePhrases) found.push_back({e.detector.phrases, PhraseScope::Lines});
      if (e.detector.tag == T::CommentPhrases) found.push_back({e.detector.phrases, PhraseScope::Comments});
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
