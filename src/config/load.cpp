#include <unordered_set>
#include <utility>

#include <fmt/format.h>
#include <toml++/toml.h>

#include "base/output.h"
#include "config/config.h"
#include "config/decode.h"
#include "config/toml_input.h"
#include "config/toml_report.h"
#include "config/toml_scan.h"

namespace quarn {

namespace {

bool is_builtin_profile(std::string_view name) { return name == "default" || name == "strict"; }

// Top-level check tables must look like catalog ids; `info` is too weak a
// severity to override with.
Result<void> validate_top_level_checks(const CheckConfigMap& checks) {
  for (const auto& [key, check] : checks) {
    if (key.size() != 5 || !key.starts_with("QN")) {
      return fail(fmt::format("unknown check key `{}` in quarn.toml: expected catalog id like QN001", key));
    }
    if (check.severity == Severity::Info) {
      return fail(fmt::format("invalid severity `{}` for {}: use low, medium, high, or critical",
                              severity_name(*check.severity), key));
    }
  }
  return {};
}

Result<void> validate_profiles(const ProfileMap& profiles) {
  for (const auto& [name, profile] : profiles) {
    if (profile.extends == name) return fail(fmt::format("profile `{}` cannot extend itself", name));
    for (const auto& [key, check] : profile.checks) {
      if (check.severity == Severity::Info) {
        return fail(
            fmt::format("invalid severity `{}` for profile `{}` check {}", severity_name(*check.severity), name, key));
      }
    }
  }
  return {};
}

Error render_parse_error(std::string_view text, const TomlInput& input, const toml::parse_error& error) {
  toml::source_region where = input.original(error.source());
  return render_toml_error(text, where, input.original_description(error.description(), where.begin));
}

// toml++ fixes up source regions and frees tables recursively, so a key
// nested deep enough would overflow the stack: the document never reaches
// it. A syntax error before the key is still the first fault of the file:
// the text up to the key, which nests no deeper than allowed, is parsed
// alone to look for one.
Error deep_key_error(std::string_view text, const TomlScan& scan) {
  const TextSpan key = *scan.too_deep;
  toml::source_region where{position_at(text, key.begin), position_at(text, key.end), nullptr};
  const TomlInput before(text.substr(0, key.begin), scan.unsafe);
  try {
    (void)toml::parse(before.text());
  } catch (const toml::parse_error& error) {
    if (before.original(error.source()).begin < where.begin) return render_parse_error(text, before, error);
  }
  return render_toml_error(text, where, fmt::format("key nested deeper than {} levels", MAX_KEY_DEPTH));
}

}  // namespace

Config default_config() { return Config{}; }

Result<Config> parse_config(std::string_view text) {
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  const TomlScan scan = scan_toml(text, MAX_KEY_DEPTH);
  if (scan.too_deep) return fail(deep_key_error(text, scan));
  const TomlInput input(text, scan.unsafe);
  toml::table document;
  try {
    document = toml::parse(input.text());
  } catch (const toml::parse_error& error) {
    return fail(render_parse_error(text, input, error));
  }
  auto config = decode_config(document);
  if (!config) return fail(render_toml_error(text, input.original(config.error().where), config.error().message));
  return std::move(*config);
}

Result<void> validate_profile_chain(const Config& config, std::string_view profile_name) {
  std::unordered_set<std::string_view> visited;
  std::string_view name = profile_name;
  for (;;) {
    if (!visited.insert(name).second) return fail(fmt::format("profile inheritance cycle detected at `{}`", name));
    auto profile = config.profiles.find(name);
    if (profile == config.profiles.end() || !profile->second.extends) return {};
    const std::string& parent = *profile->second.extends;
    if (!config.profiles.contains(parent) && !is_builtin_profile(parent)) {
      return fail(fmt::format("profile `{}` extends unknown profile `{}`", name, parent));
    }
    name = parent;
  }
}

Result<void> validate_config(const Config& config) {
  if (auto valid = validate_top_level_checks(config.checks); !valid) return valid;
  if (auto valid = validate_profiles(config.profiles); !valid) return valid;
  return validate_profile_chain(config, config.profile.name);
}

Result<Config> load_config(const std::filesystem::path& path) {
  const std::string shown = path_text(path);
  auto text = read_file(path);
  if (!text) return fail(std::move(text.error()).context(fmt::format("read config {}", shown)));
  if (!is_valid_utf8(*text)) {
    return fail(Error("stream did not contain valid UTF-8").context(fmt::format("read config {}", shown)));
  }
  auto config = parse_config(*text);
  if (!config) return fail(std::move(config.error()).context(fmt::format("parse config {}", shown)));
  if (auto valid = validate_config(*config); !valid) return fail(std::move(valid.error()));
  return config;
}

}  // namespace quarn
