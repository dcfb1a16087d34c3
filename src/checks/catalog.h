#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "checks/catalog_detectors/phrase_scan.h"
#include "checks/catalog_rule.h"
#include "config/config.h"

namespace quarn {

class CatalogCheck final : public CatalogRule {
 public:
  CatalogCheck(std::string_view id, std::string_view slug, Category category, Severity default_severity,
               DetectorKind detector);

  CheckMeta meta() const override;
  std::string_view id() const override { return id_; }
  std::string_view slug() const override { return slug_; }
  Category category() const override { return category_; }
  Severity default_severity() const override { return default_severity_; }
  std::string_view explanation() const override { return explanation_; }
  std::string_view remediation() const override { return remediation_; }
  std::string_view false_positives() const override { return false_positives_; }
  std::string_view tradeoffs() const override { return tradeoffs_; }
  std::vector<Finding> run(const SourceModel& model, const ResolvedCheckConfig& settings) const override;

  const DetectorKind& detector() const { return detector_; }

 private:
  DetectorKind detector_;
  std::string_view id_;
  std::string_view slug_;
  std::string_view example_;
  Category category_;
  Severity default_severity_;
  std::string_view explanation_;
  std::string_view remediation_;
  std::string_view false_positives_;
  std::string_view tradeoffs_;
};

using Catalog = std::vector<std::unique_ptr<CatalogRule>>;

// The 75 checks in catalog order.
Catalog build_catalog();

// The effective settings of every entry under `config`, in catalog order:
// resolved once per run and shared by every file.
std::vector<ResolvedCheckConfig> resolve_catalog_settings(const Catalog& catalog, const Config& config);

// The phrase lists of the catalog's phrase checks, in catalog order.
std::span<const PhraseList> catalog_phrase_lists();

// First entry whose id equals `id` exactly, or null.
const CatalogRule* find_check(const Catalog& catalog, std::string_view id);

}  // namespace quarn
