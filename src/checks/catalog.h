#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "checks/catalog_detectors/phrase_scan.h"
#include "checks/catalog_rule.h"
#include "checks/texts.h"
#include "config/config.h"

namespace quarn {

struct DetectorContext;

// A check's detector: appends the check's findings on one file to the
// context.
using Detector = void (*)(DetectorContext&);

// The configured limit, if any, that replaces a check's threshold.
enum class LimitSetting : std::uint8_t { None, MaxLines, MaxArguments, MaxDepth, MaxMethods };

// What tunes a detector: a threshold and the setting that may replace it,
// or the phrases it looks for.
struct DetectorParams {
  std::uint64_t threshold = 0;
  LimitSetting limit = LimitSetting::None;
  std::span<const std::string_view> phrases = {};
};

// Everything about one check but its texts, which texts.cpp keys by id.
struct CheckRow {
  std::string_view id;
  std::string_view slug;
  Category category;
  Severity severity;
  bool enabled_by_default;  // under the built-in base profile "default"
  Detector detect;          // null: listed, explained and configurable, never reports
  DetectorParams params = {};
};

// The rows of the 75 checks in catalog (id) order.
std::span<const CheckRow> catalog_rows();

class CatalogCheck final : public CatalogRule {
 public:
  explicit CatalogCheck(const CheckRow& row);

  CheckMeta meta() const override;
  std::string_view id() const override { return row_.id; }
  std::string_view slug() const override { return row_.slug; }
  Category category() const override { return row_.category; }
  Severity default_severity() const override { return row_.severity; }
  std::string_view explanation() const override { return texts_.explanation; }
  std::string_view remediation() const override { return texts_.remediation; }
  std::string_view false_positives() const override { return texts_.false_positives; }
  std::string_view tradeoffs() const override { return texts_.tradeoffs; }
  void run(const SourceModel& model, const ResolvedCheckConfig& settings,
           std::vector<Finding>& findings) const override;

  const CheckRow& row() const { return row_; }

 private:
  const CheckRow& row_;
  const TextSet& texts_;
};

using Catalog = std::vector<std::unique_ptr<CatalogRule>>;

// The 75 checks in catalog order.
Catalog build_catalog();

// The effective settings of every check under `config`, in catalog order:
// resolved once per run and shared by every file.
std::vector<ResolvedCheckConfig> resolve_catalog_settings(const Config& config);

// The phrase lists of the catalog's phrase checks, in catalog order.
std::span<const PhraseList> catalog_phrase_lists();

// First entry whose id equals `id` exactly, or null.
const CatalogRule* find_check(const Catalog& catalog, std::string_view id);

}  // namespace quarn
