#pragma once

// Runs catalog checks and single detectors over Python snippets, for the
// table-driven detector tests.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "checks/catalog_detectors/detectors.h"
#include "checks/source_model.h"
#include "config/config.h"
#include "parser/parse.h"

namespace quarn::test {

using Lines = std::vector<std::string>;
using DetectorEntry = void (*)(DetectorContext&);

inline constexpr std::string_view kStrictProfile = "[profile]\nname = \"strict\"\n";

// "LINE:COL MESSAGE" per finding, in the order the check returned them.
inline Lines describe(const std::vector<Finding>& findings) {
  Lines out;
  for (const auto& f : findings) out.push_back(fmt::format("{}:{} {}", f.line, f.column, f.message));
  return out;
}

inline const CatalogCheck* catalog_check(std::string_view id) {
  static const Catalog catalog = build_catalog();
  const auto* check = dynamic_cast<const CatalogCheck*>(find_check(catalog, id));
  EXPECT_NE(check, nullptr) << id;
  return check;
}

// Runs `run` with the file's model and check `id`'s resolved settings under
// `toml` (the strict profile when empty, so that every check runs).
template <class Run>
std::vector<Finding> with_model(std::string_view id, std::string_view source, std::string_view toml,
                                const std::filesystem::path& path, Run run) {
  const CatalogCheck* check = catalog_check(id);
  if (check == nullptr) return {};
  auto config = parse_config(toml.empty() ? kStrictProfile : toml);
  EXPECT_TRUE(config.has_value()) << (config ? "" : config.error().render());
  if (!config) return {};
  auto parsed = parse_module(path, std::string(source));
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().render()) << "\n" << source;
  if (!parsed) return {};
  const SourceModel model{path, parsed->source, *parsed, *config, SourceIndex(*parsed)};
  const ResolvedCheckConfig settings = resolve_check_config(*config, id, check->row().enabled_by_default);
  std::vector<Finding> findings;
  run(model, *check, settings, findings);
  return findings;
}

// Check `id` run the way the run driver runs it.
inline std::vector<Finding> run_check(std::string_view id, std::string_view source, std::string_view toml = {},
                                      const std::filesystem::path& path = "snippet.py") {
  return with_model(id, source, toml, path, [](const SourceModel& model, const CatalogCheck& check,
                                               const ResolvedCheckConfig& settings, std::vector<Finding>& findings) {
    check.run(model, settings, findings);
  });
}

inline Lines findings_of(std::string_view id, std::string_view source, std::string_view toml = {},
                         const std::filesystem::path& path = "snippet.py") {
  return describe(run_check(id, source, toml, path));
}

// `detect` entered directly, as check `id`'s detector, whatever the settings
// say about running it.
inline Lines detector_findings(std::string_view id, DetectorEntry detect, std::string_view source,
                               std::string_view toml = {}, const std::filesystem::path& path = "snippet.py") {
  return describe(with_model(id, source, toml, path,
                             [&](const SourceModel& model, const CatalogCheck& check,
                                 const ResolvedCheckConfig& settings, std::vector<Finding>& findings) {
                               DetectorContext ctx{model, check, settings, findings};
                               detect(ctx);
                             }));
}

// A snippet and what a detector finds in it.
struct Case {
  std::string source;
  Lines expected;
};

// Each snippet gives what it expects from `detect` entered directly, and
// from check `id` run as the driver runs it, so that a catalog row wired to
// another detector fails too.
inline void expect_cases(std::string_view id, DetectorEntry detect, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(detector_findings(id, detect, c.source), c.expected) << id << " on:\n" << c.source;
    EXPECT_EQ(findings_of(id, c.source), c.expected) << id << " run on:\n" << c.source;
  }
}

// A row of the parameterised detector tables: a named snippet and what the
// detector of check `id` finds in it.
struct DetectorCase {
  const char* name;
  const char* id;
  DetectorEntry detect;
  std::string_view source;
  Lines expected;
};

// Names a parameterised test after its row's `name`.
struct CaseName {
  template <class Row>
  std::string operator()(const testing::TestParamInfo<Row>& row) const {
    return std::string(row.param.name);
  }
};

}  // namespace quarn::test
