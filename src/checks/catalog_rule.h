#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "findings/finding.h"

namespace quarn {

struct SourceModel;
struct ResolvedCheckConfig;

enum class DetectorTag : std::uint8_t {
  MaxFunctionLines,
  MaxArguments,
  MaxNestingDepth,
  MaxMethods,
  MaxBooleanOperators,
  MagicNumber,
  TodoWithoutContext,
  AssertStatement,
  DynamicExecution,
  LengthComparison,
  LinePhrases,
  CommentPhrases,
  MissingModuleDocstring,
  MissingFunctionDocstring,
  BroadExcept,
  BareExcept,
  MutableDefault,
  PrintCall,
  ForbiddenImport,
  Numbered,
};

// Selects and parameterises a check's detector. Only the payload fields of
// the tag are meaningful: threshold for the Max* tags and numbers 38 and 39,
// phrases for the two phrase tags, number (and flag, for number 7) for
// Numbered.
struct DetectorKind {
  DetectorTag tag;
  std::uint64_t threshold = 0;
  std::span<const std::string_view> phrases = {};
  std::uint8_t number = 0;
  bool flag = false;
};

struct CheckMeta {
  std::string_view id;
  std::string_view slug;
  std::string_view example;
  Category category;
  Severity default_severity;
};

class CatalogRule;

// A finding of a catalog check: id, title, texts, category and default
// severity come from the check.
Finding finding_new(const CatalogRule& check, std::string message, const std::filesystem::path& file,
                    std::uint64_t line, std::uint64_t column);

class CatalogRule {
 public:
  virtual ~CatalogRule() = default;
  virtual CheckMeta meta() const = 0;
  virtual std::string_view id() const = 0;
  virtual std::string_view slug() const = 0;
  virtual Category category() const = 0;
  virtual Severity default_severity() const = 0;
  virtual std::string_view explanation() const = 0;
  virtual std::string_view remediation() const = 0;
  virtual std::string_view false_positives() const = 0;
  virtual std::string_view tradeoffs() const = 0;
  // The check's findings on one file under its resolved settings.
  virtual std::vector<Finding> run(const SourceModel& model, const ResolvedCheckConfig& settings) const = 0;
};

}  // namespace quarn
