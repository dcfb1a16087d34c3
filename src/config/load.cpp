#include <algorithm>
#include <string>
#include <unordered_set>
#include <utility>

#include <fmt/format.h>
#include <toml++/toml.h>

#include "base/files.h"
#include "base/text.h"
#include "base/thread_stack.h"
#include "base/utf8.h"
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

// toml++ recurses once per array or inline table it reads, and once per
// level of the tree when it fixes up source regions and frees tables. On a
// work stack its own nesting limit and MAX_KEY_DEPTH bind first; on a smaller
// one (a run that could neither raise its stack limit nor start a thread)
// the stack left bounds both, half of it for each kind of recursion.
constexpr std::size_t kTomlStackReserve = std::size_t{16} << 10;
constexpr std::size_t kTomlStackPerNestedValue = 2048;  // measured: 1.2 KiB
constexpr std::size_t kTomlStackPerKeyLevel = 512;      // measured: 0.25 KiB
constexpr std::string_view kStackNote = " (the stack allows no more)";

struct TomlDepthLimits {
  std::size_t keys;    // levels a key may sit below the root table
  std::size_t values;  // arrays and inline tables open at once
};

TomlDepthLimits depth_limits_within_stack() {
  const std::size_t left = stack_left();
  const std::size_t half = left > kTomlStackReserve ? (left - kTomlStackReserve) / 2 : 0;
  return {std::min(MAX_KEY_DEPTH, half / kTomlStackPerKeyLevel), half / kTomlStackPerNestedValue};
}

// A key or a value nested too deep never reaches toml++ with the rest of the
// document. A syntax error before it is still the first fault of the file:
// the text up to it, which nests no deeper than allowed, is parsed alone to
// look for one.
Error too_deep_error(std::string_view text, const TomlScan& scan, TextSpan deep, std::string_view message) {
  toml::source_region where{position_at(text, deep.begin), position_at(text, deep.end), nullptr};
  const TomlInput before(text.substr(0, deep.begin), scan.unsafe);
  try {
    (void)toml::parse(before.text());
  } catch (const toml::parse_error& error) {
    if (before.original(error.source()).begin < where.begin) return render_parse_error(text, before, error);
  }
  return render_toml_error(text, where, message);
}

}  // namespace

Config default_config() { return Config{}; }

Result<Config> parse_config(std::string_view text) {
  if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
  const TomlDepthLimits limits = depth_limits_within_stack();
  const TomlScan scan = scan_toml(text, limits.keys, limits.values);
  if (scan.too_deep) {
    return fail(too_deep_error(text, scan, *scan.too_deep,
                               fmt::format("key nested deeper than {} levels{}", limits.keys,
                                           limits.keys < MAX_KEY_DEPTH ? kStackNote : "")));
  }
  if (scan.too_nested) {
    return fail(too_deep_error(text, scan, *scan.too_nested,
                               fmt::format("value nested deeper than {} levels{}", limits.values, kStackNote)));
  }
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
