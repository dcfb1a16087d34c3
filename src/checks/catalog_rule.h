#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "findings/finding.h"

namespace quarn {

struct SourceModel;
struct ResolvedCheckConfig;

struct CheckMeta {
  std::string_view id;
  std::string_view slug;
  std::string_view example;
  Category category;
  Severity default_severity;
};

class CatalogRule;

// A finding of a catalog check: id, title, texts, category and default
// severity come from the check (static text, held without a copy).
Finding finding_new(const CatalogRule& check, std::string message, const SharedText& file, std::uint64_t line,
                    std::uint64_t column);

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
  // Appends the check's findings on one file, in its detector's order, under
  // its resolved settings (nothing when they disable it).
  virtual void run(const SourceModel& model, const ResolvedCheckConfig& settings,
                   std::vector<Finding>& findings) const = 0;
};

}  // namespace quarn
