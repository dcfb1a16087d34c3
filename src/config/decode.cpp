#include "config/decode.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "base/text.h"

namespace quarn {

namespace {

using Status = Decoded<void>;

std::unexpected<DecodeError> decode_error(std::string message, const toml::source_region& where) {
  return std::unexpected(DecodeError{std::move(message), where});
}

// ---------------------------------------------------------------------------
// Describing a value that was not what a decoder wanted

// A string as a double-quoted literal with quotes, backslashes and control
// characters escaped, so the message shows exactly what the file holds.
std::string string_literal(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    switch (byte) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '\0': out += "\\0"; continue;
      default: break;
    }
    if (byte < 0x20 || byte == 0x7F) {
      out += fmt::format("\\u{{{:x}}}", byte);
    } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      // U+0080..U+009F, the C1 controls
      out += fmt::format("\\u{{{:x}}}", static_cast<unsigned char>(text[++i]));
    } else {
      out += static_cast<char>(byte);
    }
  }
  out += '"';
  return out;
}

std::string date_time_text(const toml::node& node) {
  std::ostringstream out;
  if (auto date = node.as_date()) out << date->get();
  if (auto time = node.as_time()) out << time->get();
  if (auto date_time = node.as_date_time()) out << date_time->get();
  return out.str();
}

std::string describe(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "string " + string_literal(node.as_string()->get());
    case toml::node_type::integer: return fmt::format("integer `{}`", node.as_integer()->get());
    case toml::node_type::floating_point:
      return fmt::format("floating point `{}`", float_text(node.as_floating_point()->get()));
    case toml::node_type::boolean: return fmt::format("boolean `{}`", node.as_boolean()->get());
    case toml::node_type::date:
    case toml::node_type::time:
    case toml::node_type::date_time: return fmt::format("datetime `{}`", date_time_text(node));
    case toml::node_type::array: return "sequence";
    case toml::node_type::table: return "map";
    case toml::node_type::none: break;
  }
  return "unit value";
}

// The kind of a scalar in one word, for the severity's "expected table, found".
std::string_view kind_word(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string: return "string";
    case toml::node_type::integer: return "integer";
    case toml::node_type::floating_point: return "float";
    case toml::node_type::boolean: return "boolean";
    case toml::node_type::array: return "array";
    case toml::node_type::table: return "table";
    default: return "datetime";
  }
}

std::unexpected<DecodeError> invalid_type(const toml::node& node, std::string_view expected) {
  return decode_error(fmt::format("invalid type: {}, expected {}", describe(node), expected), node.source());
}

template <class Target, class Value>
Status assign_to(Target& target, Decoded<Value> decoded) {
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  target = std::move(*decoded);
  return {};
}

// For a key that must hold a valid value although nothing reads it.
template <class Value>
Status validate_only(Decoded<Value> decoded) {
  if (!decoded) return std::unexpected(std::move(decoded.error()));
  return {};
}

// Entries of a table sorted by where their keys first appear: the table
// itself keeps them in key order, but the first error must be the first
// one in the file.
std::vector<std::pair<const toml::key*, const toml::node*>> entries_in_file_order(const toml::table& table) {
  std::vector<std::pair<const toml::key*, const toml::node*>> entries;
  entries.reserve(table.size());
  for (auto&& [key, value] : table) entries.emplace_back(&key, &value);
  std::ranges::sort(entries, {}, [](const auto& entry) {
    const auto& begin = entry.first->source().begin;
    return std::pair(begin.line, begin.column);
  });
  return entries;
}

// ---------------------------------------------------------------------------
// Scalars

Decoded<std::string> deserialize_string(const toml::node& node) {
  if (auto text = node.as_string()) return text->get();
  return invalid_type(node, "a string");
}

Decoded<bool> deserialize_bool(const toml::node& node) {
  if (auto flag = node.as_boolean()) return flag->get();
  return invalid_type(node, "a boolean");
}

Decoded<std::uint64_t> deserialize_u64(const toml::node& node) {
  auto integer = node.as_integer();
  if (!integer) return invalid_type(node, "usize");
  std::int64_t value = integer->get();
  if (value < 0) return decode_error(fmt::format("invalid value: integer `{}`, expected usize", value), node.source());
  return static_cast<std::uint64_t>(value);
}

Decoded<Severity> severity_variant(std::string_view name, const toml::source_region& where) {
  if (auto severity = severity_from_name(name)) return *severity;
  return decode_error(
      fmt::format("unknown variant `{}`, expected one of `info`, `low`, `medium`, `high`, `critical`", name), where);
}

// A one-entry table is the enum form `{ high = {} }`: the key names the
// severity and the value must be empty.
Decoded<Severity> severity_from_table(const toml::table& table) {
  if (table.empty()) return decode_error("wanted exactly 1 element, found 0 elements", table.source());
  if (table.size() > 1) return decode_error("wanted exactly 1 element, more than 1 element", table.source());
  // The iterator owns the pair it yields, so it must outlive the bindings.
  const auto entry = table.begin();
  const auto& [key, value] = *entry;
  auto severity = severity_variant(key.str(), key.source());
  if (!severity) return severity;
  if (auto inner = value.as_table()) {
    if (!inner->empty()) return decode_error("expected empty table", value.source());
  } else if (auto inner_array = value.as_array()) {
    if (!inner_array->empty()) return decode_error("expected empty array", value.source());
  } else {
    return decode_error(fmt::format("expected table, found {}", kind_word(value)), value.source());
  }
  return severity;
}

Decoded<Severity> deserialize_severity(const toml::node& node) {
  if (auto text = node.as_string()) return severity_variant(text->get(), node.source());
  if (auto table = node.as_table()) return severity_from_table(*table);
  return decode_error("wanted string or table", node.source());
}

// ---------------------------------------------------------------------------
// Records: each is a table read by key or an array read by position, both
// driven by one field list in declared order.

template <class Record>
struct Field {
  std::string_view key;
  Status (*decode)(const toml::node& value, Record& record);
};

// Returns a bit per field that occurred. Unknown keys are skipped unseen.
template <class Record, std::size_t N>
Decoded<unsigned> visit_fields_by_key(const toml::table& table, const Field<Record> (&fields)[N], Record& record) {
  unsigned seen = 0;
  for (auto [key, value] : entries_in_file_order(table)) {
    for (std::size_t i = 0; i < N; ++i) {
      if (key->str() != fields[i].key) continue;
      if (auto status = fields[i].decode(*value, record); !status) return std::unexpected(std::move(status.error()));
      seen |= 1u << i;
      break;
    }
  }
  return seen;
}

// Returns how many fields the array supplied; extra elements are ignored.
template <class Record, std::size_t N>
Decoded<std::size_t> visit_fields_by_position(const toml::array& array, const Field<Record> (&fields)[N],
                                              Record& record) {
  std::size_t count = std::min(array.size(), N);
  for (std::size_t i = 0; i < count; ++i) {
    if (auto status = fields[i].decode(*array.get(i), record); !status) {
      return std::unexpected(std::move(status.error()));
    }
  }
  return count;
}

// Whether a record may leave fields out: a table by not naming them, an
// array by ending early.
enum class Fields : bool { Optional, Required };

template <class Record, std::size_t N>
Decoded<Record> record_by_key(const toml::table& table, const Field<Record> (&fields)[N],
                              Fields presence = Fields::Optional) {
  Record record;
  auto seen = visit_fields_by_key(table, fields, record);
  if (!seen) return std::unexpected(std::move(seen.error()));
  for (std::size_t i = 0; presence == Fields::Required && i < N; ++i) {
    if (!(*seen & (1u << i))) return decode_error(fmt::format("missing field `{}`", fields[i].key), table.source());
  }
  return record;
}

template <class Record, std::size_t N>
Decoded<Record> record_by_position(const toml::array& array, std::string_view expected,
                                   const Field<Record> (&fields)[N], Fields presence) {
  Record record;
  auto taken = visit_fields_by_position(array, fields, record);
  if (!taken) return std::unexpected(std::move(taken.error()));
  if (presence == Fields::Required && *taken < N) {
    return decode_error(fmt::format("invalid length {}, expected {} with {} elements", *taken, expected, N),
                        array.source());
  }
  return record;
}

// A record read by key from a table or by position from an array;
// `expected` names it in messages.
template <class Record, std::size_t N>
Decoded<Record> deserialize_record(const toml::node& node, std::string_view expected,
                                   const Field<Record> (&fields)[N], Fields presence = Fields::Optional) {
  if (auto table = node.as_table()) return record_by_key(*table, fields, presence);
  if (auto array = node.as_array()) return record_by_position(*array, expected, fields, presence);
  return invalid_type(node, expected);
}

template <class Element>
using NamedMap = std::map<std::string, Element, std::less<>>;

template <class Element>
Decoded<NamedMap<Element>> deserialize_map(const toml::node& node, Decoded<Element> (*element)(const toml::node&)) {
  auto table = node.as_table();
  if (!table) return invalid_type(node, "a map");
  NamedMap<Element> map;
  for (auto [key, value] : entries_in_file_order(*table)) {
    auto decoded = element(*value);
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    map.emplace(std::string(key->str()), std::move(*decoded));
  }
  return map;
}

template <class Element>
Decoded<std::vector<Element>> deserialize_list(const toml::node& node,
                                               Decoded<Element> (*element)(const toml::node&)) {
  auto array = node.as_array();
  if (!array) return invalid_type(node, "a sequence");
  std::vector<Element> list;
  list.reserve(array->size());
  for (const toml::node& item : *array) {
    auto decoded = element(item);
    if (!decoded) return std::unexpected(std::move(decoded.error()));
    list.push_back(std::move(*decoded));
  }
  return list;
}

// ForbiddenImportRule ---------------------------------------------------------

constexpr Field<ForbiddenImportRule> kForbiddenImportRuleFields[] = {
    {"from", [](const toml::node& v, ForbiddenImportRule& r) { return assign_to(r.from, deserialize_string(v)); }},
    {"forbidden",
     [](const toml::node& v, ForbiddenImportRule& r) { return assign_to(r.forbidden, deserialize_string(v)); }},
};

Decoded<ForbiddenImportRule> deserialize_forbidden_import_rule(const toml::node& node) {
  return deserialize_record(node, "struct ForbiddenImportRule", kForbiddenImportRuleFields, Fields::Required);
}

Decoded<std::vector<ForbiddenImportRule>> deserialize_rules(const toml::node& node) {
  return deserialize_list(node, deserialize_forbidden_import_rule);
}

// CheckConfig ---------------------------------------------------------------

constexpr Field<CheckConfig> kCheckConfigFields[] = {
    {"enabled", [](const toml::node& v, CheckConfig& r) { return assign_to(r.enabled, deserialize_bool(v)); }},
    {"max_branches", [](const toml::node& v, CheckConfig&) { return validate_only(deserialize_u64(v)); }},
    {"max_arguments",
     [](const toml::node& v, CheckConfig& r) { return assign_to(r.max_arguments, deserialize_u64(v)); }},
    {"max_lines", [](const toml::node& v, CheckConfig& r) { return assign_to(r.max_lines, deserialize_u64(v)); }},
    {"max_depth", [](const toml::node& v, CheckConfig& r) { return assign_to(r.max_depth, deserialize_u64(v)); }},
    {"max_methods",
     [](const toml::node& v, CheckConfig& r) { return assign_to(r.max_methods, deserialize_u64(v)); }},
    {"rules", [](const toml::node& v, CheckConfig& r) { return assign_to(r.rules, deserialize_rules(v)); }},
    {"severity", [](const toml::node& v, CheckConfig& r) { return assign_to(r.severity, deserialize_severity(v)); }},
};

Decoded<CheckConfig> deserialize_check_config(const toml::node& node) {
  return deserialize_record(node, "struct CheckConfig", kCheckConfigFields);
}

Decoded<CheckConfigMap> deserialize_checks_map(const toml::node& node) {
  return deserialize_map(node, deserialize_check_config);
}

// ProfileDefinition -----------------------------------------------------------

constexpr Field<ProfileDefinition> kProfileDefinitionFields[] = {
    {"extends",
     [](const toml::node& v, ProfileDefinition& r) { return assign_to(r.extends, deserialize_string(v)); }},
    {"checks",
     [](const toml::node& v, ProfileDefinition& r) { return assign_to(r.checks, deserialize_checks_map(v)); }},
};

Decoded<ProfileDefinition> deserialize_profile_definition(const toml::node& node) {
  return deserialize_record(node, "struct ProfileDefinition", kProfileDefinitionFields);
}

Decoded<ProfileMap> deserialize_profiles_map(const toml::node& node) {
  return deserialize_map(node, deserialize_profile_definition);
}

// ActiveProfile ---------------------------------------------------------------

constexpr Field<ActiveProfile> kActiveProfileFields[] = {
    {"name", [](const toml::node& v, ActiveProfile& r) { return assign_to(r.name, deserialize_string(v)); }},
};

Decoded<ActiveProfile> deserialize_active_profile(const toml::node& node) {
  return deserialize_record(node, "struct ActiveProfile", kActiveProfileFields);
}

// Config ------------------------------------------------------------------------

Decoded<std::vector<std::string>> deserialize_string_list(const toml::node& node) {
  return deserialize_list(node, deserialize_string);
}

constexpr Field<Config> kConfigFields[] = {
    {"profile", [](const toml::node& v, Config& r) { return assign_to(r.profile, deserialize_active_profile(v)); }},
    {"profiles", [](const toml::node& v, Config& r) { return assign_to(r.profiles, deserialize_profiles_map(v)); }},
    {"checks", [](const toml::node& v, Config& r) { return assign_to(r.checks, deserialize_checks_map(v)); }},
    {"external_checkers",
     [](const toml::node& v, Config& r) { return assign_to(r.external_checkers, deserialize_string_list(v)); }},
};

}  // namespace

Decoded<Config> decode_config(const toml::table& root) { return record_by_key(root, kConfigFields); }

}  // namespace quarn
