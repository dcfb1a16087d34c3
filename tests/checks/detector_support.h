#pragma once

// Runs one catalog check over a Python snippet, the way the run driver does,
// for table-driven detector tests.

#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "config/config.h"
#include "parser/parse.h"
#include "checks/source_model.h"

namespace quarn::test {

// "LINE:COL MESSAGE" per finding, in the order the check returned them.
inline std::vector<std::string> describe(const std::vector<Finding>& findings) {
  std::vector<std::string> out;
  for (const auto& f : findings) out.push_back(fmt::format("{}:{} {}", f.line, f.column, f.message));
  return out;
}

// Runs check `id` on `source`. The configuration is `toml` when given,
// otherwise the strict profile so that every check runs.
inline std::vector<Finding> run_check(std::string_view id, std::string_view source, std::string_view toml = {},
                                      const std::filesystem::path& path = "snippet.py") {
  static const Catalog catalog = build_catalog();
  const CatalogRule* check = find_check(catalog, id);
  EXPECT_NE(check, nullptr) << id;
  if (check == nullptr) return {};
  auto config = parse_config(toml.empty() ? std::string_view("[profile]\nname = \"strict\"\n") : toml);
  EXPECT_TRUE(config.has_value()) << (config ? "" : config.error().render());
  if (!config) return {};
  auto parsed = parse_module(path, source);
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().render());
  if (!parsed) return {};
  SourceModel model{path, parsed->source, *parsed, *config, SourceIndex(*parsed)};
  return check->run(model, resolve_check_config(*config, id));
}

// Shorthand: the described findings of check `id` on `source`.
inline std::vector<std::string> findings_of(std::string_view id, std::string_view source, std::string_view toml = {},
                                            const std::filesystem::path& path = "snippet.py") {
  return describe(run_check(id, source, toml, path));
}

}  // namespace quarn::test
