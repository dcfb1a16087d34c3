#include "run/informational.h"

#include <filesystem>
#include <iterator>

#include <fmt/format.h>

#include "base/files.h"
#include "base/streams.h"
#include "checks/catalog.h"

namespace quarn {

RunResult explain_check(std::string_view id) {
  Catalog catalog = build_catalog();
  const CatalogRule* check = find_check(catalog, id);
  if (check == nullptr) return fail(fmt::format("unknown check id: {}", id));
  CheckMeta meta = check->meta();
  std::string text = fmt::format(
      "{} \u2014 {}\ncategory: {}\nseverity: {}\n\n{}\n\nFalse positives: {}\nTradeoffs: {}\nExamples: {}\n\n"
      "Remediation: {}\n",
      check->id(), check->slug(), check->category(), check->default_severity(), check->explanation(),
      check->false_positives(), check->tradeoffs(), meta.example, check->remediation());
  if (auto written = write_stdout(text); !written) return fail(std::move(written.error()));
  return 0;
}

RunResult list_checks() {
  Catalog catalog = build_catalog();
  std::string out;
  for (const auto& check : catalog)
    fmt::format_to(std::back_inserter(out), "{}  {}  [{}] {}\n", check->id(), check->slug(), check->category(),
                   check->default_severity());
  if (auto written = write_stdout(out); !written) return fail(std::move(written.error()));
  return 0;
}

RunResult write_starter_config(bool strict) {
  const std::filesystem::path target = "quarn.toml";
  std::string_view text = strict ? STARTER_CONFIG_STRICT : STARTER_CONFIG_DEFAULT;
  auto created = write_new_file(target, text);
  if (!created) return fail(std::move(created.error()));
  if (!*created) return fail(fmt::format("{} already exists", target.native()));
  if (auto written = write_stdout(fmt::format("Wrote {}\n", target.native())); !written)
    return fail(std::move(written.error()));
  return 0;
}

}  // namespace quarn
