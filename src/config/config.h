#pragma once

// The quarn.toml configuration: its records, loading with validation, and
// the effective settings of one check under the active profile.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "findings/finding.h"

namespace quarn {

// One `rules` entry of the forbidden-import check: files of the layer `from`
// must not import `forbidden`.
struct ForbiddenImportRule {
  std::string from;
  std::string forbidden;

  bool operator==(const ForbiddenImportRule&) const = default;
};

// One [checks.KEY] or [profiles.NAME.checks.KEY] table. Unset fields leave
// the decision to the next source down the chain (see resolve_check_config).
// The key `max_branches` is validated but not kept: no check reads it.
struct CheckConfig {
  std::optional<bool> enabled{};
  std::optional<std::uint64_t> max_arguments{};
  std::optional<std::uint64_t> max_lines{};
  std::optional<std::uint64_t> max_depth{};
  std::optional<std::uint64_t> max_methods{};
  std::vector<ForbiddenImportRule> rules{};
  std::optional<Severity> severity{};

  bool operator==(const CheckConfig&) const = default;
};

// Keyed by the TOML key as written (after unquoting). Iteration order carries
// no meaning; lookups take string_views.
using CheckConfigMap = std::map<std::string, CheckConfig, std::less<>>;

struct ProfileDefinition {
  std::optional<std::string> extends{};
  CheckConfigMap checks{};

  bool operator==(const ProfileDefinition&) const = default;
};

using ProfileMap = std::map<std::string, ProfileDefinition, std::less<>>;

// The [profile] table: which profile the run uses.
struct ActiveProfile {
  std::string name = "default";

  bool operator==(const ActiveProfile&) const = default;
};

struct Config {
  ActiveProfile profile;
  ProfileMap profiles{};
  CheckConfigMap checks{};
  std::vector<std::string> external_checkers{};  // file order, duplicates kept

  bool operator==(const Config&) const = default;
};

// The configuration used when no quarn.toml is found: profile "default" and
// nothing else. Never validated.
Config default_config();

// How many levels below the root table a key of quarn.toml may sit (see
// TomlScan::too_deep). toml++ walks and frees its tree recursively, so a
// deeper document would overflow the stack.
inline constexpr std::size_t MAX_KEY_DEPTH = 512;

// Reads, parses, decodes and validates a quarn.toml. Errors:
//   "read config PATH" over the system's error (or "stream did not contain
//     valid UTF-8"),
//   "parse config PATH" over a TOML syntax or decoding error, or a key
//     deeper than MAX_KEY_DEPTH or a key or value nested deeper than the
//     stack left allows, that shows the line, column and source line of the
//     fault,
//   or one plain validation message (see validate_config).
// Nothing of a rejected file is returned.
Result<Config> load_config(const std::filesystem::path& path);

// The text half of load_config, without the "parse config" context: skips a
// leading byte-order mark, parses the whole document, then decodes it.
Result<Config> parse_config(std::string_view text);

// The checks decoding cannot make: top-level check keys and severities,
// profile severities, self-extending profiles, then the extends chain of the
// active profile. The first failure is returned as a plain message.
Result<void> validate_config(const Config& config);

// Walks the extends links from `profile_name`, failing on a name reached twice
// or on a parent that is neither defined nor a built-in profile.
Result<void> validate_profile_chain(const Config& config, std::string_view profile_name);

// The effective settings of one check. Unset limits and severity mean the
// detector's default and the catalog severity.
struct ResolvedCheckConfig {
  std::optional<std::uint64_t> max_arguments{};
  std::optional<std::uint64_t> max_lines{};
  std::optional<std::uint64_t> max_depth{};
  std::optional<std::uint64_t> max_methods{};
  std::vector<ForbiddenImportRule> rules{};
  bool enabled = false;
  std::optional<Severity> severity{};

  bool operator==(const ResolvedCheckConfig&) const = default;
};

// What `config` says about `check_id` under its active profile: the base
// profile ("strict" or "default", reached through extends) sets only the
// starting enabled flag (always on for "strict"; the check's own
// `enabled_by_default` for "default"); the custom profiles of the chain apply from the
// farthest ancestor inwards; the top-level check tables apply last. Never
// fails: undefined names and cycles just end the walks.
ResolvedCheckConfig resolve_check_config(const Config& config, std::string_view check_id, bool enabled_by_default);

// Applies one check table to the accumulated settings. `enabled` is left to
// the caller; an empty rules list keeps the inherited one.
void merge_check_overlay(ResolvedCheckConfig& resolved, const CheckConfig& overlay);

}  // namespace quarn
