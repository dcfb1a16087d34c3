#include "parser/source_index.h"

#include <algorithm>
#include <cstdint>

#include "parser/parse.h"
#include "parser/statement_walk.h"

namespace quarn {

namespace {

bool is_definition(const py::Stmt& stmt) {
  return stmt.is<py::AnyFunctionDef>() || stmt.is<py::ClassDef>();
}

bool is_string_constant(const py::Expr* expr) {
  const auto* constant = py::dyn<py::Constant>(expr);
  return constant != nullptr && constant->value_kind == py::ConstantKind::Str;
}

bool starts_with_docstring(StmtList body) {
  if (body.empty()) return false;
  const auto* first = py::dyn<py::ExprStmt>(body.front());
  return first != nullptr && is_string_constant(first->value);
}

struct DepthItem {
  StmtList list;
  std::uint64_t depth;
};

// The deepest level of any statement list reached from `body`: loops, ifs,
// match cases and try parts open a level, with bodies stay at theirs, and
// nested definitions are not entered. An empty list still counts its level.
std::uint64_t nesting_depth(StmtList body, std::vector<DepthItem>& pending) {
  std::uint64_t deepest = 0;
  pending.assign(1, DepthItem{body, 0});
  while (!pending.empty()) {
    auto [list, depth] = pending.back();
    pending.pop_back();
    deepest = std::max(deepest, depth);
    for (const py::Stmt* stmt : list) {
      const std::uint64_t inner = depth + 1;
      if (const auto* for_loop = py::dyn<py::AnyFor>(stmt)) {
        pending.push_back({for_loop->body, inner});
      } else if (const auto* while_loop = py::dyn<py::While>(stmt)) {
        pending.push_back({while_loop->body, inner});
      } else if (const auto* branch = py::dyn<py::If>(stmt)) {
        pending.push_back({branch->body, inner});
        pending.push_back({branch->orelse, inner});
      } else if (const auto* with = py::dyn<py::AnyWith>(stmt)) {
        pending.push_back({with->body, depth});
      } else if (const auto* match = py::dyn<py::Match>(stmt)) {
        for (const auto& arm : match->cases) pending.push_back({arm.body, inner});
      } else if (const auto* attempt = py::dyn<py::AnyTry>(stmt)) {
        pending.push_back({attempt->body, inner});
        for (const auto& handler : attempt->handlers) pending.push_back({handler.body, inner});
        pending.push_back({attempt->orelse, inner});
        pending.push_back({attempt->finalbody, inner});
      }
    }
  }
  return deepest;
}

// Lines from the first start to the last end of the body's statements,
// nested definitions left out. Lines grow with offsets, so the extreme
// offsets give the extreme lines.
std::uint64_t body_line_count(StmtList body, const LineIndex& lines) {
  std::uint32_t first_start = UINT32_MAX;
  std::uint32_t last_end = 0;
  bool any = false;
  for (const py::Stmt* stmt : body) {
    if (is_definition(*stmt)) continue;
    any = true;
    first_start = std::min(first_start, stmt->start);
    last_end = std::max(last_end, stmt->end);
  }
  if (!any) return 0;
  return lines.line_col(last_end).line - lines.line_col(first_start).line + 1;
}

std::uint64_t parameter_count(const py::Arguments& args) {
  return args.posonlyargs.size() + args.args.size() + args.kwonlyargs.size() + (args.vararg != nullptr ? 1 : 0) +
         (args.kwarg != nullptr ? 1 : 0);
}

bool is_self_name(const py::Expr* expr) {
  const auto* name = py::dyn<py::Name>(expr);
  return name != nullptr && name->id == "self";
}

// Distinct attribute names assigned as `self.NAME = ...` directly in the
// bodies of the class's plain `def __init__`.
std::uint64_t init_attribute_count(StmtList class_body) {
  std::vector<std::string_view> names;
  for (const py::Stmt* member : class_body) {
    const auto* init = py::dyn<py::FunctionDef>(member);
    if (init == nullptr || init->name != "__init__") continue;
    for (const py::Stmt* stmt : init->body) {
      const auto* assign = py::dyn<py::Assign>(stmt);
      if (assign == nullptr) continue;
      for (const py::Expr* target : assign->targets) {
        const auto* attribute = py::dyn<py::Attribute>(target);
        if (attribute != nullptr && is_self_name(attribute->value)) names.push_back(attribute->attr);
      }
    }
  }
  std::ranges::sort(names);
  return static_cast<std::uint64_t>(std::ranges::unique(names).begin() - names.begin());
}

// The index builders: records in the order of the statement walk.

void collect_functions(const ReachedStatements& reached, const LineIndex& lines, std::vector<FunctionInfo>& out) {
  std::vector<DepthItem> depth_scratch;
  reached.for_each(kinds_of<py::AnyFunctionDef, py::kStmtKindCount>(), [&](const py::Stmt& stmt) {
    const auto& def = stmt.as<py::AnyFunctionDef>();
    const LineColumn at = lines.line_col(def.start);
    out.push_back(FunctionInfo{
        .name = def.name,
        .line = at.line,
        .column = at.column,
        .arg_count = parameter_count(*def.args),
        .line_count = body_line_count(def.body, lines),
        .nesting_depth = nesting_depth(def.body, depth_scratch),
        .has_docstring = starts_with_docstring(def.body),
    });
  });
}

void collect_classes(const ReachedStatements& reached, const LineIndex& lines, std::vector<ClassInfo>& out) {
  reached.for_each(kinds_of<py::ClassDef, py::kStmtKindCount>(), [&](const py::Stmt& stmt) {
    const auto& cls = stmt.as<py::ClassDef>();
    const LineColumn at = lines.line_col(cls.start);
    ClassInfo info{.name = cls.name, .line = at.line, .column = at.column};
    for (const py::Stmt* member : cls.body) {
      const auto* method = py::dyn<py::AnyFunctionDef>(member);
      if (method == nullptr) continue;
      ++info.method_count;
      if (!method->name.starts_with('_')) ++info.public_method_count;
    }
    info.init_attribute_count = init_attribute_count(cls.body);
    out.push_back(std::move(info));
  });
}

void collect_imports(const ReachedStatements& reached, const LineIndex& lines, std::vector<ImportInfo>& out) {
  auto add = [&](const py::Alias& alias, std::string module, bool is_from) {
    const LineColumn at = lines.line_col(alias.start);
    out.push_back(ImportInfo{.module = std::move(module), .line = at.line, .column = at.column, .is_from = is_from});
  };
  constexpr KindSet kImports =
      kinds_of<py::Import, py::kStmtKindCount>() | kinds_of<py::ImportFrom, py::kStmtKindCount>();
  reached.for_each(kImports, [&](const py::Stmt& stmt) {
    if (const auto* plain = py::dyn<py::Import>(&stmt)) {
      for (const auto& alias : plain->names) add(alias, std::string(alias.name), false);
    } else if (const auto* from = py::dyn<py::ImportFrom>(&stmt)) {
      for (const auto& alias : from->names) {
        std::string module = from->module.empty() ? std::string(alias.name)
                                                  : std::string(from->module) + "." + std::string(alias.name);
        add(alias, std::move(module), true);
      }
    }
  });
}

}  // namespace

const ReachedStatements& SourceIndex::statements_reached() const {
  if (!statements_reached_) {
    ReachedStatements& reached = statements_reached_.emplace();
    StatementWalk walk;
    walk.statements(parsed_.module.body, StandardDescent{}, [&](const py::Stmt& stmt) { reached.add(stmt); });
    reached.group();
  }
  return *statements_reached_;
}

const std::vector<FunctionInfo>& SourceIndex::functions() const {
  if (!functions_) {
    functions_.emplace();
    collect_functions(statements_reached(), lines(), *functions_);
  }
  return *functions_;
}

const std::vector<ClassInfo>& SourceIndex::classes() const {
  if (!classes_) {
    classes_.emplace();
    collect_classes(statements_reached(), lines(), *classes_);
  }
  return *classes_;
}

const std::vector<ImportInfo>& SourceIndex::imports() const {
  if (!imports_) {
    imports_.emplace();
    collect_imports(statements_reached(), lines(), *imports_);
  }
  return *imports_;
}

const std::vector<Comment>& SourceIndex::comments() const {
  if (!comments_) {
    comments_.emplace();
    // From hash to hash: a comment runs from the first "#" of a line to the
    // line's end, so the search goes on at the next line.
    const std::string_view source = parsed_.source;
    for (std::size_t hash = source.find('#'); hash != std::string_view::npos;) {
      const LineColumn at = lines().line_col(static_cast<std::uint32_t>(hash));
      const std::size_t feed = source.find('\n', hash);
      std::string_view text = source.substr(hash, feed == std::string_view::npos ? std::string_view::npos : feed - hash);
      if (feed != std::string_view::npos && text.ends_with('\r')) text.remove_suffix(1);
      comments_->push_back(Comment{.text = text, .line = at.line, .column = at.column});
      hash = feed == std::string_view::npos ? feed : source.find('#', feed + 1);
    }
  }
  return *comments_;
}

const LineIndex& SourceIndex::lines() const {
  if (!lines_) lines_.emplace(parsed_.source);
  return *lines_;
}

LineColumn SourceIndex::position(std::uint32_t offset) const { return lines().line_col(offset); }

std::span<const std::uint32_t> SourceIndex::line_starts() const { return lines().line_starts(); }

std::string_view SourceIndex::line_text(std::uint64_t line) const {
  const std::span<const std::uint32_t> starts = line_starts();
  const std::string_view source = parsed_.source;
  const std::size_t start = starts[line - 1];
  if (line == starts.size()) return source.substr(start);
  std::string_view text = source.substr(start, starts[line] - 1 - start);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text;
}

}  // namespace quarn
