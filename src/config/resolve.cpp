#include <algorithm>
#include <utility>
#include <vector>

#include "config/config.h"

namespace quarn {

namespace {

// The built-in profile a chain of extends links ends at. Profile tables named
// "strict" or "default" are never consulted; anything that does not end at a
// built-in name (undefined name, missing extends, cycle) counts as "default".
bool base_profile_is_strict(const Config& config) {
  std::vector<std::string_view> met;
  std::string_view name = config.profile.name;
  for (;;) {
    if (name == "strict") return true;
    if (name == "default") return false;
    if (std::ranges::find(met, name) != met.end()) return false;
    met.push_back(name);
    auto profile = config.profiles.find(name);
    if (profile == config.profiles.end() || !profile->second.extends) return false;
    name = *profile->second.extends;
  }
}

struct ChainLink {
  std::string_view name;
  const ProfileDefinition* profile;
};

// The custom profiles reached from the active one, farthest ancestor first.
std::vector<ChainLink> profile_chain(const Config& config) {
  std::vector<ChainLink> chain;
  std::string_view name = config.profile.name;
  for (;;) {
    if (std::ranges::any_of(chain, [&](const ChainLink& link) { return link.name == name; })) break;
    if (name == "default" || name == "strict") break;
    auto profile = config.profiles.find(name);
    if (profile == config.profiles.end()) break;
    chain.push_back({profile->first, &profile->second});
    if (!profile->second.extends) break;
    name = *profile->second.extends;
  }
  std::ranges::reverse(chain);
  return chain;
}

bool is_default_off(std::string_view check_id) {
  return std::ranges::find(DEFAULT_OFF_CHECKS, check_id) != DEFAULT_OFF_CHECKS.end();
}

void apply_check_table(ResolvedCheckConfig& resolved, const CheckConfigMap& checks, std::string_view check_id) {
  auto entry = checks.find(check_id);
  if (entry == checks.end()) return;
  merge_check_overlay(resolved, entry->second);
  if (entry->second.enabled) resolved.enabled = *entry->second.enabled;
}

}  // namespace

void merge_check_overlay(ResolvedCheckConfig& resolved, const CheckConfig& overlay) {
  if (overlay.max_arguments) resolved.max_arguments = overlay.max_arguments;
  if (overlay.max_lines) resolved.max_lines = overlay.max_lines;
  if (overlay.max_depth) resolved.max_depth = overlay.max_depth;
  if (overlay.max_methods) resolved.max_methods = overlay.max_methods;
  if (overlay.severity) resolved.severity = overlay.severity;
  // An empty list is also what an absent key gives, so it cannot clear
  // inherited rules.
  if (!overlay.rules.empty()) resolved.rules = overlay.rules;
}

ResolvedCheckConfig resolve_check_config(const Config& config, std::string_view check_id) {
  ResolvedCheckConfig resolved;
  resolved.enabled = base_profile_is_strict(config) || !is_default_off(check_id);
  for (const ChainLink& link : profile_chain(config)) apply_check_table(resolved, link.profile->checks, check_id);
  apply_check_table(resolved, config.checks, check_id);
  return resolved;
}

}  // namespace quarn
