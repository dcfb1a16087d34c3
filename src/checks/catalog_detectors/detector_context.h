#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checks/catalog_rule.h"
#include "config/config.h"
#include "findings/finding.h"
#include "parser/ast.h"
#include "checks/source_model.h"

namespace quarn {

// What an entered detector works with: the file's model, the findings it
// fills, the calling check with its resolved settings, and the two payload
// values a few detectors read.
struct DetectorContext {
  const SourceModel& model;
  const CatalogRule& check;
  const ResolvedCheckConfig& settings;
  std::vector<Finding> findings;
  bool flag = false;         // detector number 7: true for QN402, false for QN408
  std::uint64_t limit = 0;   // tag 4 and detector numbers 38 and 39

  // The file's statement list (the module body).
  std::span<py::Stmt* const> statements() const { return model.statements(); }

  // A finding at the position of a byte offset of the source.
  void report_at_offset(std::string message, std::uint32_t offset);
  // A finding at a known line and column (index records, whole-file findings).
  void report_at(std::string message, std::uint64_t line, std::uint64_t column);
};

}  // namespace quarn
