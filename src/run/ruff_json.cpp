#include "run/ruff_json.h"

#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "base/text.h"
#include "base/utf8.h"

namespace quarn {

namespace {

// A JSON value that keeps repeated object keys, so that duplicates can be
// refused instead of silently overwritten.
struct Value {
  enum class Kind { Null, Boolean, Integer, Unsigned, Float, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  std::int64_t integer = 0;
  std::uint64_t unsigned_integer = 0;
  double floating = 0;
  std::string text = {};
  std::vector<Value> items = {};
  std::vector<std::pair<std::string, Value>> members = {};
};

constexpr std::size_t kMaxDepth = 128;

class Builder : public nlohmann::json_sax<nlohmann::json> {
 public:
  bool null() override { return add(Value{}); }
  bool boolean(bool v) override { return add(Value{.kind = Value::Kind::Boolean, .boolean = v}); }
  bool number_integer(number_integer_t v) override { return add(Value{.kind = Value::Kind::Integer, .integer = v}); }
  bool number_unsigned(number_unsigned_t v) override {
    return add(Value{.kind = Value::Kind::Unsigned, .unsigned_integer = v});
  }
  bool number_float(number_float_t v, const string_t&) override {
    return add(Value{.kind = Value::Kind::Float, .floating = v});
  }
  bool string(string_t& v) override { return add(Value{.kind = Value::Kind::String, .text = std::move(v)}); }
  bool binary(binary_t&) override { return fail_with("unexpected binary value"); }
  bool start_object(std::size_t) override { return open(Value::Kind::Object); }
  bool key(string_t& k) override {
    pending_key_ = std::move(k);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Value::Kind::Array); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    return fail_with(ex.what());
  }

  std::optional<std::string> error;
  std::optional<Value> root;

 private:
  bool fail_with(std::string message) {
    if (!error) error = std::move(message);
    return false;
  }
  bool add(Value v) {
    if (stack_.empty()) {
      root = std::move(v);
      return true;
    }
    Value& parent = *stack_.back();
    if (parent.kind == Value::Kind::Array)
      parent.items.push_back(std::move(v));
    else
      parent.members.emplace_back(std::move(pending_key_), std::move(v));
    return true;
  }
  bool open(Value::Kind kind) {
    if (stack_.size() >= kMaxDepth) return fail_with("recursion limit exceeded");
    Value v{.kind = kind};
    if (stack_.empty()) {
      root = std::move(v);
      stack_.push_back(&*root);
      return true;
    }
    Value& parent = *stack_.back();
    if (parent.kind == Value::Kind::Array) {
      parent.items.push_back(std::move(v));
      stack_.push_back(&parent.items.back());
    } else {
      parent.members.emplace_back(std::move(pending_key_), std::move(v));
      stack_.push_back(&parent.members.back().second);
    }
    return true;
  }
  bool close() {
    stack_.pop_back();
    return true;
  }

  std::vector<Value*> stack_;
  std::string pending_key_;
};

// How a value is named in "invalid type" messages.
std::string describe(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null: return "null";
    case Value::Kind::Boolean: return fmt::format("boolean `{}`", v.boolean);
    case Value::Kind::Integer: return fmt::format("integer `{}`", v.integer);
    case Value::Kind::Unsigned: return fmt::format("integer `{}`", v.unsigned_integer);
    case Value::Kind::Float: return fmt::format("floating point `{}`", float_text(v.floating));
    case Value::Kind::String: return fmt::format("string {}", nlohmann::json(v.text).dump());
    case Value::Kind::Array: return "sequence";
    case Value::Kind::Object: return "map";
  }
  return "value";
}

std::unexpected<Error> invalid_type(const Value& v, std::string_view expected) {
  return fail(fmt::format("invalid type: {}, expected {}", describe(v), expected));
}

Result<std::string> read_string(const Value& v) {
  if (v.kind != Value::Kind::String) return invalid_type(v, "a string");
  return v.text;
}

Result<std::uint64_t> read_u64(const Value& v) {
  if (v.kind == Value::Kind::Unsigned) return v.unsigned_integer;
  if (v.kind == Value::Kind::Integer) {
    if (v.integer >= 0) return static_cast<std::uint64_t>(v.integer);
    return fail(fmt::format("invalid value: integer `{}`, expected u64", v.integer));
  }
  return invalid_type(v, "u64");
}

// A record read by field name or by position: `fields` names the fields in
// declared order; `read` stores the value of field i.
template <class Read>
Result<void> read_record(const Value& v, std::string_view name, std::span<const std::string_view> fields, Read read) {
  const std::size_t count = fields.size();
  if (v.kind == Value::Kind::Array) {
    for (std::size_t i = 0; i < count; ++i) {
      if (i >= v.items.size())
        return fail(fmt::format("invalid length {}, expected struct {} with {} elements", v.items.size(), name, count));
      if (auto r = read(i, v.items[i]); !r) return r;
    }
    if (v.items.size() > count)
      return fail(fmt::format("invalid length {}, expected fewer elements in array", v.items.size()));
    return {};
  }
  if (v.kind != Value::Kind::Object) return invalid_type(v, fmt::format("struct {}", name));
  std::vector<bool> seen(count, false);
  for (const auto& [key, value] : v.members) {
    auto it = std::find(fields.begin(), fields.end(), key);
    if (it == fields.end()) continue;
    std::size_t i = static_cast<std::size_t>(it - fields.begin());
    if (seen[i]) return fail(fmt::format("duplicate field `{}`", key));
    seen[i] = true;
    if (auto r = read(i, value); !r) return r;
  }
  for (std::size_t i = 0; i < count; ++i)
    if (!seen[i]) return fail(fmt::format("missing field `{}`", fields[i]));
  return {};
}

constexpr std::string_view kLocationFields[] = {"row", "column"};
constexpr std::string_view kDiagnosticFields[] = {"code", "message", "filename", "location"};

Result<RuffLocation> read_location(const Value& v) {
  RuffLocation location;
  auto done = read_record(v, "RuffLocation", kLocationFields, [&](std::size_t i, const Value& field) -> Result<void> {
    auto number = read_u64(field);
    if (!number) return fail(std::move(number.error()));
    (i == 0 ? location.row : location.column) = *number;
    return {};
  });
  if (!done) return fail(std::move(done.error()));
  return location;
}

Result<RuffDiagnostic> read_diagnostic(const Value& v) {
  RuffDiagnostic d;
  auto done = read_record(v, "RuffDiagnostic", kDiagnosticFields, [&](std::size_t i, const Value& field) -> Result<void> {
    if (i == 3) {
      auto location = read_location(field);
      if (!location) return fail(std::move(location.error()));
      d.location = *location;
      return {};
    }
    auto text = read_string(field);
    if (!text) return fail(std::move(text.error()));
    (i == 0 ? d.code : i == 1 ? d.message : d.filename) = std::move(*text);
    return {};
  });
  if (!done) return fail(std::move(done.error()));
  return d;
}

}  // namespace

Result<std::vector<RuffDiagnostic>> parse_ruff_json(std::string_view text) {
  // nlohmann skips a leading byte-order mark, which JSON does not allow.
  if (text.starts_with(kUtf8ByteOrderMark)) return fail("unexpected byte-order mark at line 1, column 1");
  Builder builder;
  bool ok = nlohmann::json::sax_parse(text, &builder, nlohmann::json::input_format_t::json, true);
  if (!ok || !builder.root) return fail(builder.error.value_or("invalid JSON"));
  const Value& root = *builder.root;
  if (root.kind != Value::Kind::Array) return invalid_type(root, "a sequence");
  std::vector<RuffDiagnostic> diagnostics;
  diagnostics.reserve(root.items.size());
  for (const Value& item : root.items) {
    auto d = read_diagnostic(item);
    if (!d) return fail(std::move(d.error()));
    diagnostics.push_back(std::move(*d));
  }
  return diagnostics;
}

}  // namespace quarn
