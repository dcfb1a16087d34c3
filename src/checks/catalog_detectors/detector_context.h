#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checks/catalog.h"
#include "checks/source_model.h"
#include "config/config.h"
#include "findings/finding.h"
#include "parser/ast.h"

namespace quarn {

// What an entered detector works with: the file's model, the calling check
// with its row and resolved settings, and the file's findings it appends to.
struct DetectorContext {
  const SourceModel& model;
  const CatalogCheck& check;
  const ResolvedCheckConfig& settings;
  std::vector<Finding>& findings;

  // The check's limit: the configured value of the setting its row names
  // (a configured 0 included), else the row's threshold.
  std::uint64_t limit() const;
  // The phrases the check's row lists.
  std::span<const std::string_view> phrases() const { return check.row().params.phrases; }

  // The file's statement list (the module body).
  std::span<py::Stmt* const> statements() const { return model.statements(); }

  // A finding at the position of a byte offset of the source.
  void report_at_offset(std::string message, std::uint32_t offset);
  // A finding at a known line and column (index records, whole-file findings).
  void report_at(std::string message, std::uint64_t line, std::uint64_t column);
};

}  // namespace quarn
