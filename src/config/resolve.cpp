#include <algorithm>
#include <unordered_set>
#include <vector>

#include "config/config.h"

namespace quarn {

namespace {

// One walk along the extends links from the active profile. It collects the
// custom profiles to apply and ends at a built-in name, at a name no table
// defines, at a profile without extends, or on a cycle; only an end at
// "strict" makes the base strict. Tables named "strict" or "default" are
// never consulted.
struct ProfileWalk {
  std::vector<const ProfileDefinition*> chain;  // farthest ancestor first
  bool base_is_strict = false;
};

ProfileWalk walk_profiles(const Config& config) {
  ProfileWalk walk;
  std::unordered_set<const ProfileDefinition*> met;
  std::string_view name = config.profile.name;
  for (;;) {
    if (name == "strict" || name == "default") {
      walk.base_is_strict = name == "strict";
      break;
    }
    auto profile = config.profiles.find(name);
    if (profile == config.profiles.end()) break;
    // A defined name was met before exactly when its table is in the chain.
    if (!met.insert(&profile->second).second) break;
    walk.chain.push_back(&profile->second);
    if (!profile->second.extends) break;
    name = *profile->second.extends;
  }
  std::ranges::reverse(walk.chain);
  return walk;
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

ResolvedCheckConfig resolve_check_config(const Config& config, std::string_view check_id, bool enabled_by_default) {
  ProfileWalk walk = walk_profiles(config);
  ResolvedCheckConfig resolved;
  resolved.enabled = walk.base_is_strict || enabled_by_default;
  for (const ProfileDefinition* profile : walk.chain) apply_check_table(resolved, profile->checks, check_id);
  apply_check_table(resolved, config.checks, check_id);
  return resolved;
}

}  // namespace quarn
