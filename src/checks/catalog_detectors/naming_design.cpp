// Module-level naming and design detectors: name shapes over the source
// indexes, a few statement walks, and one scan of the raw source lines.

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "base/text.h"
#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/shared_phrases.h"
#include "checks/catalog_detectors/text.h"
#include "checks/catalog_detectors/walkers.h"
#include "parser/statement_walk.h"
#include "config/config.h"
#include "parser/ast.h"
#include "checks/source_model.h"

namespace quarn {
namespace {

// ---------------------------------------------------------------------------
// Text helpers (ASCII-only case rules; any byte >= 0x80 fails every class)

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool contains_any(std::string_view text, std::span<const std::string_view> parts) {
  return std::ranges::any_of(parts, [&](std::string_view part) { return contains(text, part); });
}

bool ends_with_any(std::string_view text, std::span<const std::string_view> suffixes) {
  return std::ranges::any_of(suffixes, [&](std::string_view suffix) { return text.ends_with(suffix); });
}

std::string_view drop_leading(std::string_view text, std::string_view chars) {
  const auto first = text.find_first_not_of(chars);
  return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

std::string_view drop_trailing(std::string_view text, std::string_view chars) {
  const auto last = text.find_last_not_of(chars);
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// ---------------------------------------------------------------------------
// Statement walks

// The narrower descent of the return/yield scan of one function body: plain
// loops without their else, both branches of if, try without else/finally.
struct FunctionScanDescent {
  template <class Push>
  void operator()(const py::Stmt& stmt, Push&& push) const {
    if (const auto* for_loop = py::dyn<py::For>(&stmt)) {
      push(for_loop->body);
    } else if (const auto* while_loop = py::dyn<py::While>(&stmt)) {
      push(while_loop->body);
    } else if (const auto* branch = py::dyn<py::If>(&stmt)) {
      push(branch->body);
      push(branch->orelse);
    } else if (const auto* attempt = py::dyn<py::Try>(&stmt)) {
      push(attempt->body);
      for (const py::ExceptHandler& handler : attempt->handlers) push(handler.body);
    }
  }
};

// ---------------------------------------------------------------------------
// Name shapes

bool is_snake_case(std::string_view name) {
  return !name.empty() &&
         std::ranges::all_of(name, [](char c) { return is_ascii_lower(c) || is_ascii_digit(c) || c == '_'; });
}

bool is_pascal_case(std::string_view name) {
  if (name.empty() || !is_ascii_upper(name.front())) return false;
  const std::string_view rest = name.substr(1);
  return std::ranges::all_of(rest, [](char c) { return is_ascii_upper(c) || is_ascii_lower(c) || is_ascii_digit(c); }) &&
         std::ranges::any_of(rest, is_ascii_lower);
}

bool is_abstraction_named(std::string_view name) {
  if (name.starts_with("Abstract") && name.size() > 8) return true;
  if (name.size() >= 5 && name.starts_with("Base") && is_ascii_upper(name[4])) return true;
  return name.ends_with("Interface");
}

// The first dotted piece of an imported name.
std::string_view import_head(std::string_view module) { return module.substr(0, module.find('.')); }

std::vector<std::string_view> sorted_unique(std::vector<std::string_view> names) {
  std::ranges::sort(names);
  const auto [first, last] = std::ranges::unique(names);
  names.erase(first, last);
  return names;
}

constexpr std::array<std::string_view, 3> kServiceSuffixes = {"Service", "Manager", "Handler"};
constexpr std::array<std::string_view, 3> kDefensiveSuffixes = {"Factory", "Builder", "Strategy"};
constexpr std::array<std::string_view, 3> kUtilityWords = {"util", "helper", "common"};
constexpr std::array<std::string_view, 5> kUtilityModulePieces = {"util", "utils", "helper", "helpers", "common"};

bool has_utility_piece(std::string_view lowered_module) {
  while (true) {
    const auto dot = lowered_module.find('.');
    const std::string_view piece = lowered_module.substr(0, dot);
    if (std::ranges::find(kUtilityModulePieces, piece) != kUtilityModulePieces.end()) return true;
    if (dot == std::string_view::npos) return false;
    lowered_module.remove_prefix(dot + 1);
  }
}

bool has_bare_dataclass_decorator(const py::ClassDef& cls) {
  return std::ranges::any_of(cls.decorator_list, [](const py::Expr* decorator) {
    const auto* name = py::dyn<py::Name>(decorator);
    return name != nullptr && name->id == "dataclass";
  });
}

bool is_only_pass(std::span<py::Stmt* const> body) {
  return std::ranges::all_of(body, [](const py::Stmt* stmt) { return stmt->is<py::Pass>(); });
}

bool is_yield_statement(const py::Stmt& stmt) {
  const auto* expr = py::dyn<py::ExprStmt>(&stmt);
  return expr != nullptr && (py::dyn<py::Yield>(expr->value) != nullptr || py::dyn<py::YieldFrom>(expr->value) != nullptr);
}

bool mixes_return_and_yield(const py::AnyFunctionDef& def, StatementWalk& scan) {
  bool returns = false;
  bool yields = false;
  scan.statements(def.body, FunctionScanDescent{}, [&](const py::Stmt& stmt) {
    returns = returns || stmt.is<py::Return>();
    yields = yields || is_yield_statement(stmt);
  });
  return returns && yields;
}

constexpr std::string_view kParam = kParamDocs.front();

// The :param name of a boilerplate parameter line; nothing when the line
// says something about its parameter or is no :param line at all.
std::optional<std::string_view> boilerplate_param_name(std::string_view line) {
  std::string_view text = trim_white_space(line);
  text = trim_white_space(drop_leading(text, "#"));
  text = drop_leading(text, "'\"");
  if (!text.starts_with(kParam)) return std::nullopt;
  text.remove_prefix(kParam.size());
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view name = trim_white_space(text.substr(0, colon));
  const std::string description = ascii_lower(drop_trailing(trim_white_space(text.substr(colon + 1)), "."));
  const std::string lowered = ascii_lower(name);
  const bool boilerplate = description.empty() || description == lowered || description == "the " + lowered ||
                           description == "a " + lowered || description == "an " + lowered;
  if (!boilerplate) return std::nullopt;
  return name;
}

}  // namespace

// ---------------------------------------------------------------------------
// Index detectors

void detect_inconsistent_function_naming(DetectorContext& ctx) {
  const auto& functions = ctx.model.index.functions();
  std::size_t candidates = 0;
  std::size_t snake = 0;
  for (const FunctionInfo& function : functions) {
    if (function.name.starts_with('_')) continue;
    ++candidates;
    if (is_snake_case(function.name)) ++snake;
  }
  if (candidates < 2 || snake == 0 || snake == candidates) return;
  ctx.report_at("module mixes snake_case and non-snake_case function names", functions.front().line,
                functions.front().column);
}

void detect_inconsistent_class_naming(DetectorContext& ctx) {
  const auto& classes = ctx.model.index.classes();
  if (classes.size() < 2) return;
  const auto pascal = std::ranges::count_if(classes, [](const ClassInfo& cls) { return is_pascal_case(cls.name); });
  if (pascal == 0 || static_cast<std::size_t>(pascal) == classes.size()) return;
  ctx.report_at("module mixes PascalCase and non-PascalCase class names", classes.front().line,
                classes.front().column);
}

void detect_inconsistent_import_style(DetectorContext& ctx) {
  const auto& imports = ctx.model.index.imports();
  std::vector<std::string_view> from_heads;
  std::vector<std::string_view> plain_heads;
  for (const ImportInfo& import : imports) {
    (import.is_from ? from_heads : plain_heads).push_back(import_head(import.module));
  }
  if (from_heads.empty() || plain_heads.empty()) return;
  from_heads = sorted_unique(std::move(from_heads));
  plain_heads = sorted_unique(std::move(plain_heads));
  std::vector<std::string_view> mixed;
  std::ranges::set_intersection(from_heads, plain_heads, std::back_inserter(mixed));
  if (mixed.empty()) return;
  const auto first = std::ranges::find_if(imports, [&](const ImportInfo& import) {
    return std::ranges::binary_search(mixed, import_head(import.module));
  });
  ctx.report_at(fmt::format("module imports `{}` with both `import` and `from ... import` styles",
                            fmt::join(mixed, ", ")),
                first->line, first->column);
}

void detect_inconsistent_test_naming(DetectorContext& ctx) {
  const auto& functions = ctx.model.index.functions();
  const auto named = [&](std::string_view prefix) {
    return std::ranges::any_of(functions, [&](const FunctionInfo& f) { return f.name.starts_with(prefix); });
  };
  if (named("test_") && named("should_")) ctx.report_at("module mixes test_* and should_* function naming styles", 1, 1);
}

void detect_service_object_explosion(DetectorContext& ctx) {
  const auto count = std::ranges::count_if(ctx.model.index.classes(), [](const ClassInfo& cls) {
    return ends_with_any(cls.name, kServiceSuffixes);
  });
  if (count < 2) return;
  ctx.report_at(fmt::format("module defines {} service-style classes (Service/Manager/Handler)", count), 1, 1);
}

void detect_too_many_instance_variables(DetectorContext& ctx) {
  const std::uint64_t limit = ctx.limit();
  for (const ClassInfo& cls : ctx.model.index.classes()) {
    if (cls.init_attribute_count <= limit) continue;
    ctx.report_at(fmt::format("class `{}` assigns {} instance variables in `__init__` (max {})", cls.name,
                              cls.init_attribute_count, limit),
                  cls.line, cls.column);
  }
}

void detect_too_many_public_methods(DetectorContext& ctx) {
  const std::uint64_t limit = ctx.limit();
  for (const ClassInfo& cls : ctx.model.index.classes()) {
    if (cls.public_method_count <= limit) continue;
    ctx.report_at(fmt::format("class `{}` defines {} public methods (max {})", cls.name, cls.public_method_count, limit),
                  cls.line, cls.column);
  }
}

void detect_layer_violation(DetectorContext& ctx) {
  const std::string path = ascii_lower(path_text(ctx.model.path));
  const bool in_domain = contains(path, "/domain/") || contains(path, "\\domain\\");
  const bool in_infrastructure = contains(path, "/infrastructure/") || contains(path, "\\infrastructure\\");
  if (!in_domain && !in_infrastructure) return;
  for (const ImportInfo& import : ctx.model.index.imports()) {
    const std::string module = ascii_lower(import.module);
    if (in_domain && contains(module, "infrastructure")) {
      ctx.report_at(fmt::format("domain module imports infrastructure module `{}`", import.module), import.line,
                    import.column);
    }
    if (in_infrastructure && contains(module, "domain")) {
      ctx.report_at(fmt::format("infrastructure module imports domain module `{}`", import.module), import.line,
                    import.column);
    }
  }
}

void detect_excessive_abstraction(DetectorContext& ctx) {
  const auto& classes = ctx.model.index.classes();
  const auto count = std::ranges::count_if(classes, [](const ClassInfo& cls) { return is_abstraction_named(cls.name); });
  if (count < 2) return;
  for (const ClassInfo& cls : classes) {
    if (!is_abstraction_named(cls.name)) continue;
    ctx.report_at(fmt::format("class `{}` uses Abstract/Base/Interface naming; consider concrete names", cls.name),
                  cls.line, cls.column);
  }
}

void detect_generic_utility_explosion(DetectorContext& ctx) {
  std::size_t total = 0;
  for (const FunctionInfo& function : ctx.model.index.functions()) {
    if (contains_any(ascii_lower(function.name), kUtilityWords)) ++total;
  }
  for (const ClassInfo& cls : ctx.model.index.classes()) {
    if (contains_any(ascii_lower(cls.name), kUtilityWords)) ++total;
  }
  for (const ImportInfo& import : ctx.model.index.imports()) {
    if (has_utility_piece(ascii_lower(import.module))) ++total;
  }
  if (total < 3) return;
  ctx.report_at(fmt::format("module has {} util/helper/common names or imports; consider consolidating", total), 1, 1);
}

// ---------------------------------------------------------------------------
// Source-line detector

void detect_boilerplate_parameter_docs(DetectorContext& ctx) {
  // A line without ":param " cannot begin with it once trimmed.
  for (const PhraseMatch& match : phrase_matches(ctx, {kParamDocs, PhraseScope::Lines})) {
    if (const auto name = boilerplate_param_name(ctx.model.index.line_text(match.line))) {
      ctx.report_at(fmt::format("boilerplate :param docs for `{}`", *name), match.line, 1);
    }
  }
}

// ---------------------------------------------------------------------------
// Walking detectors

void detect_defensive_overengineering(DetectorContext& ctx) {
  for_each_reached<py::ClassDef>(ctx.model, [&](const py::ClassDef& cls) {
    for (std::string_view suffix : kDefensiveSuffixes) {
      if (!cls.name.ends_with(suffix)) continue;
      ctx.report_at_offset(fmt::format("class `{}` uses defensive suffix `{}`", cls.name, suffix), cls.start);
    }
  });
}

void detect_dataclass_without_behavior(DetectorContext& ctx) {
  for_each_reached<py::ClassDef>(ctx.model, [&](const py::ClassDef& cls) {
    if (!has_bare_dataclass_decorator(cls) || !is_only_pass(cls.body)) return;
    ctx.report_at_offset(fmt::format("dataclass `{}` has no behavior beyond pass", cls.name), cls.start);
  });
}

void detect_unclear_variable_name(DetectorContext& ctx) {
  for_each_reached<py::Assign>(ctx.model, [&](const py::Assign& assign) {
    for (const py::Expr* target : assign.targets) {
      const auto* name = py::dyn<py::Name>(target);
      if (name == nullptr || name->id.size() >= 3) continue;
      ctx.report_at_offset(fmt::format(FMT_COMPILE("very short variable name `{}`"), name->id), assign.start);
    }
  });
}

void detect_mixed_return_style(DetectorContext& ctx) {
  // Without a yield statement anywhere no function mixes.
  bool yields = false;
  for_each_reached<py::ExprStmt>(ctx.model,
                                 [&](const py::ExprStmt& stmt) { yields = yields || is_yield_statement(stmt); });
  if (!yields) return;
  StatementWalk scan;  // reused for every function body
  for_each_reached<py::AnyFunctionDef>(ctx.model, [&](const py::AnyFunctionDef& def) {
    if (!mixes_return_and_yield(def, scan)) return;
    ctx.report_at_offset(fmt::format("function `{}` mixes `return` and `yield`", def.name), def.start);
  });
}

}  // namespace quarn
