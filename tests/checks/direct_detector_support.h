#pragma once

// Runs one detector entry directly, without the dispatch, so that a family's
// tests need only the parser, the source model and the catalog.

#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "checks/catalog.h"
#include "checks/catalog_detectors/detectors.h"
#include "config/config.h"
#include "parser/parse.h"
#include "checks/source_model.h"

namespace quarn::test {

using DetectorEntry = void (*)(DetectorContext&);

struct DetectorOptions {
  bool flag = false;
  std::uint64_t limit = 0;
};

// "LINE:COL MESSAGE" per finding of `detect` on `source`, in the order the
// detector appended them; the findings are built for check `id`.
inline std::vector<std::string> detector_findings(std::string_view id, DetectorEntry detect, std::string_view source,
                                                  DetectorOptions options = {}) {
  static const Catalog catalog = build_catalog();
  static const Config config = default_config();
  const CatalogRule* check = find_check(catalog, id);
  EXPECT_NE(check, nullptr) << id;
  if (check == nullptr) return {};
  const std::filesystem::path path = "snippet.py";
  auto parsed = parse_module(path, source);
  EXPECT_TRUE(parsed.has_value()) << (parsed ? "" : parsed.error().render()) << "\n" << source;
  if (!parsed) return {};
  SourceModel model{path, parsed->source, *parsed, config, SourceIndex(*parsed)};
  const ResolvedCheckConfig settings = resolve_check_config(config, id);
  DetectorContext ctx{model, *check, settings, {}, options.flag, options.limit};
  detect(ctx);
  std::vector<std::string> out;
  for (const Finding& f : ctx.findings) {
    EXPECT_EQ(f.id, id);
    EXPECT_EQ(f.file, path.native());
    out.push_back(fmt::format("{}:{} {}", f.line, f.column, f.message));
  }
  return out;
}

}  // namespace quarn::test
