#include "checks/catalog_detectors/walkers.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarn {
namespace {

using namespace py;

// A stack that lives on the machine stack while the tree is shallow and
// spills to the heap only for deep nesting (long operator chains and the
// like), so ordinary walks allocate nothing.
template <class Item, std::size_t InlineCapacity = 128>
class WorkStack {
 public:
  bool empty() const { return size_ == 0; }

  void push(const Item& item) {
    if (size_ < InlineCapacity) {
      inline_[size_] = item;
    } else {
      spill_.push_back(item);
    }
    ++size_;
  }

  Item pop() {
    --size_;
    if (size_ < InlineCapacity) return inline_[size_];
    Item item = spill_.back();
    spill_.pop_back();
    return item;
  }

 private:
  std::array<Item, InlineCapacity> inline_{};
  std::vector<Item> spill_;
  std::size_t size_ = 0;
};

// What is left to walk. The list items hold the not yet walked rest of a
// list; popping one walks its first element and keeps the rest for later.
enum class Work : std::uint8_t {
  Stmts,           // span of Stmt*
  Exprs,           // span of Expr*
  Expr,            // one Expr
  Patterns,        // span of Pattern*
  Pattern,         // one Pattern
  DictEntries,     // a Dict, from entry `count` on
  Comprehensions,  // span of Comprehension
  Keywords,        // span of Keyword (their values)
  WithItems,       // span of WithItem
  CaseHeads,       // span of MatchCase: patterns and guards
  CaseBodies,      // span of MatchCase: bodies
  HandlerTypes,    // span of ExceptHandler: exception types
  HandlerBodies,   // span of ExceptHandler: bodies
};

struct Item {
  Work work = Work::Stmts;
  std::uint32_t count = 0;
  const void* data = nullptr;
};

template <class Visit>
class Walker {
 public:
  explicit Walker(Visit visit) : visit_(visit) {}

  void run() {
    while (!stack_.empty()) step(stack_.pop());
  }

  template <class T>
  void push_span(Work work, std::span<T> items) {
    if (!items.empty()) stack_.push({work, static_cast<std::uint32_t>(items.size()), items.data()});
  }
  void push_stmts(std::span<Stmt* const> stmts) { push_span(Work::Stmts, stmts); }
  void push_exprs(std::span<Expr* const> exprs) { push_span(Work::Exprs, exprs); }
  void push_patterns(std::span<Pattern* const> patterns) { push_span(Work::Patterns, patterns); }
  void push_expr(const Expr* expr) {
    if (expr != nullptr) stack_.push({Work::Expr, 0, expr});
  }
  void push_pattern(const Pattern* pattern) {
    if (pattern != nullptr) stack_.push({Work::Pattern, 0, pattern});
  }

 private:
  template <class T>
  static std::span<const T> span_of(const Item& item) {
    return {static_cast<const T*>(item.data), item.count};
  }

  // Keeps the rest of a list item on the stack and returns its first element.
  template <class T>
  const T& take_first(const Item& item) {
    auto items = span_of<T>(item);
    push_span(item.work, items.subspan(1));
    return items.front();
  }

  void step(const Item& item) {
    switch (item.work) {
      case Work::Stmts:
        if (const Stmt* stmt = take_first<Stmt*>(item)) push_stmt_parts(*stmt);
        break;
      case Work::Exprs:
        if (const Expr* expr = take_first<Expr*>(item)) enter(*expr);
        break;
      case Work::Expr:
        enter(*static_cast<const Expr*>(item.data));
        break;
      case Work::Patterns:
        push_pattern(take_first<Pattern*>(item));
        break;
      case Work::Pattern:
        push_pattern_parts(*static_cast<const Pattern*>(item.data));
        break;
      case Work::DictEntries:
        push_dict_entry(*static_cast<const Dict*>(item.data), item.count);
        break;
      case Work::Comprehensions: {
        const auto& comprehension = take_first<Comprehension>(item);
        push_exprs(comprehension.ifs);
        push_expr(comprehension.iter);
        break;
      }
      case Work::Keywords:
        push_expr(take_first<Keyword>(item).value);
        break;
      case Work::WithItems: {
        const auto& with_item = take_first<WithItem>(item);
        push_expr(with_item.optional_vars);
        push_expr(with_item.context_expr);
        break;
      }
      case Work::CaseHeads: {
        const auto& match_case = take_first<MatchCase>(item);
        push_expr(match_case.guard);
        push_pattern(match_case.pattern);
        break;
      }
      case Work::CaseBodies:
        push_stmts(take_first<MatchCase>(item).body);
        break;
      case Work::HandlerTypes:
        push_expr(take_first<ExceptHandler>(item).type);
        break;
      case Work::HandlerBodies:
        push_stmts(take_first<ExceptHandler>(item).body);
        break;
    }
  }

  void enter(const Expr& expr) {
    visit_(expr);
    push_children(expr);
  }

  void push_dict_entry(const Dict& dict, std::uint32_t index) {
    if (index >= dict.values.size()) return;
    stack_.push({Work::DictEntries, index + 1, &dict});
    push_expr(dict.values[index]);
    if (index < dict.keys.size()) push_expr(dict.keys[index]);
  }

  // Everything below pushes in reverse, so that the first part is walked first.

  void push_stmt_parts(const Stmt& stmt) {
    switch (stmt.kind) {
      case StmtKind::FunctionDef:
      case StmtKind::AsyncFunctionDef: {
        const auto& def = stmt.as<AnyFunctionDef>();
        push_stmts(def.body);
        push_exprs(def.decorator_list);
        break;
      }
      case StmtKind::ClassDef: {
        const auto& def = stmt.as<ClassDef>();
        push_stmts(def.body);
        push_exprs(def.decorator_list);
        break;
      }
      case StmtKind::Return:
        push_expr(stmt.as<Return>().value);
        break;
      case StmtKind::Delete:
        push_exprs(stmt.as<Delete>().targets);
        break;
      case StmtKind::Assign: {
        const auto& assign = stmt.as<Assign>();
        push_expr(assign.value);
        push_exprs(assign.targets);
        break;
      }
      case StmtKind::AugAssign: {
        const auto& assign = stmt.as<AugAssign>();
        push_expr(assign.value);
        push_expr(assign.target);
        break;
      }
      case StmtKind::AnnAssign: {
        const auto& assign = stmt.as<AnnAssign>();
        push_expr(assign.value);
        push_expr(assign.annotation);
        push_expr(assign.target);
        break;
      }
      case StmtKind::For:
      case StmtKind::AsyncFor: {
        const auto& loop = stmt.as<AnyFor>();
        push_stmts(loop.orelse);
        push_stmts(loop.body);
        push_expr(loop.iter);
        break;
      }
      case StmtKind::While: {
        const auto& loop = stmt.as<While>();
        push_stmts(loop.orelse);
        push_stmts(loop.body);
        push_expr(loop.test);
        break;
      }
      case StmtKind::If: {
        const auto& branch = stmt.as<If>();
        push_stmts(branch.orelse);
        push_stmts(branch.body);
        push_expr(branch.test);
        break;
      }
      case StmtKind::With:
      case StmtKind::AsyncWith: {
        const auto& with = stmt.as<AnyWith>();
        push_stmts(with.body);
        push_span(Work::WithItems, with.items);
        break;
      }
      case StmtKind::Match: {
        const auto& match = stmt.as<Match>();
        push_span(Work::CaseBodies, match.cases);
        push_span(Work::CaseHeads, match.cases);
        push_expr(match.subject);
        break;
      }
      case StmtKind::Raise: {
        const auto& raise = stmt.as<Raise>();
        push_expr(raise.cause);
        push_expr(raise.exc);
        break;
      }
      case StmtKind::Try:
      case StmtKind::TryStar: {
        // Handler types come before the try body.
        const auto& attempt = stmt.as<AnyTry>();
        push_stmts(attempt.finalbody);
        push_stmts(attempt.orelse);
        push_span(Work::HandlerBodies, attempt.handlers);
        push_stmts(attempt.body);
        push_span(Work::HandlerTypes, attempt.handlers);
        break;
      }
      case StmtKind::Assert: {
        const auto& assertion = stmt.as<Assert>();
        push_expr(assertion.msg);
        push_expr(assertion.test);
        break;
      }
      case StmtKind::Expr:
        push_expr(stmt.as<ExprStmt>().value);
        break;
      case StmtKind::TypeAlias:
      case StmtKind::Import:
      case StmtKind::ImportFrom:
      case StmtKind::Global:
      case StmtKind::Nonlocal:
      case StmtKind::Pass:
      case StmtKind::Break:
      case StmtKind::Continue:
        break;
    }
  }

  void push_children(const Expr& expr) {
    switch (expr.kind) {
      case ExprKind::BoolOp:
        push_exprs(expr.as<BoolOp>().values);
        break;
      case ExprKind::NamedExpr: {
        const auto& named = expr.as<NamedExpr>();
        push_expr(named.value);
        push_expr(named.target);
        break;
      }
      case ExprKind::BinOp: {
        const auto& binary = expr.as<BinOp>();
        push_expr(binary.right);
        push_expr(binary.left);
        break;
      }
      case ExprKind::UnaryOp:
        push_expr(expr.as<UnaryOp>().operand);
        break;
      case ExprKind::Lambda:
        push_expr(expr.as<Lambda>().body);
        break;
      case ExprKind::IfExp: {
        const auto& conditional = expr.as<IfExp>();
        push_expr(conditional.orelse);
        push_expr(conditional.body);
        push_expr(conditional.test);
        break;
      }
      case ExprKind::Dict:
        push_dict_entry(expr.as<Dict>(), 0);
        break;
      case ExprKind::Set:
        push_exprs(expr.as<Set>().elts);
        break;
      case ExprKind::List:
        push_exprs(expr.as<List>().elts);
        break;
      case ExprKind::Tuple:
        push_exprs(expr.as<Tuple>().elts);
        break;
      case ExprKind::ListComp: {
        const auto& comp = expr.as<ListComp>();
        push_span(Work::Comprehensions, comp.generators);
        push_expr(comp.elt);
        break;
      }
      case ExprKind::SetComp: {
        const auto& comp = expr.as<SetComp>();
        push_span(Work::Comprehensions, comp.generators);
        push_expr(comp.elt);
        break;
      }
      case ExprKind::GeneratorExp: {
        const auto& comp = expr.as<GeneratorExp>();
        push_span(Work::Comprehensions, comp.generators);
        push_expr(comp.elt);
        break;
      }
      case ExprKind::DictComp: {
        const auto& comp = expr.as<DictComp>();
        push_span(Work::Comprehensions, comp.generators);
        push_expr(comp.value);
        push_expr(comp.key);
        break;
      }
      case ExprKind::Await:
        push_expr(expr.as<Await>().value);
        break;
      case ExprKind::Yield:
        push_expr(expr.as<Yield>().value);
        break;
      case ExprKind::YieldFrom:
        push_expr(expr.as<YieldFrom>().value);
        break;
      case ExprKind::Starred:
        push_expr(expr.as<Starred>().value);
        break;
      case ExprKind::FormattedValue:
        push_expr(expr.as<FormattedValue>().value);
        break;
      case ExprKind::Compare: {
        const auto& compare = expr.as<Compare>();
        push_exprs(compare.comparators);
        push_expr(compare.left);
        break;
      }
      case ExprKind::Call: {
        const auto& call = expr.as<Call>();
        push_span(Work::Keywords, call.keywords);
        push_exprs(call.args);
        push_expr(call.func);
        break;
      }
      case ExprKind::Attribute:
        push_expr(expr.as<Attribute>().value);
        break;
      case ExprKind::Subscript: {
        const auto& subscript = expr.as<Subscript>();
        push_expr(subscript.slice);
        push_expr(subscript.value);
        break;
      }
      case ExprKind::Slice: {
        const auto& slice = expr.as<Slice>();
        push_expr(slice.step);
        push_expr(slice.upper);
        push_expr(slice.lower);
        break;
      }
      case ExprKind::JoinedStr:  // the parts of an f-string stay unseen
      case ExprKind::Constant:
      case ExprKind::Name:
        break;
    }
  }

  void push_pattern_parts(const Pattern& pattern) {
    switch (pattern.kind) {
      case PatternKind::MatchValue:
        push_expr(pattern.as<MatchValue>().value);
        break;
      case PatternKind::MatchSequence:
        push_patterns(pattern.as<MatchSequence>().patterns);
        break;
      case PatternKind::MatchMapping:
        push_exprs(pattern.as<MatchMapping>().keys);
        break;
      case PatternKind::MatchClass: {
        // Positional sub-patterns are deliberately not walked.
        const auto& match_class = pattern.as<MatchClass>();
        push_patterns(match_class.kwd_patterns);
        push_expr(match_class.cls);
        break;
      }
      case PatternKind::MatchSingleton:
      case PatternKind::MatchStar:
      case PatternKind::MatchAs:
      case PatternKind::MatchOr:
        break;
    }
  }

  Visit visit_;
  WorkStack<Item> stack_;
};

}  // namespace

void walk_stmts(std::span<Stmt* const> stmts, ExprVisitor visit) {
  Walker<ExprVisitor> walker(visit);
  walker.push_stmts(stmts);
  walker.run();
}

void walk_expr(const Expr& expr, ExprVisitor visit) {
  Walker<ExprVisitor> walker(visit);
  walker.push_expr(&expr);
  walker.run();
}

void walk_pattern(const Pattern& pattern, ExprVisitor visit) {
  Walker<ExprVisitor> walker(visit);
  walker.push_pattern(&pattern);
  walker.run();
}

const ReachedExpressions& reached_expressions(const SourceModel& model) {
  auto& reached = model.expression_walk;
  if (!reached) {
    reached.emplace();
    Walker walker([&](const Expr& expr) { reached->add(expr); });
    walker.push_stmts(model.statements());
    walker.run();
    reached->group();
  }
  return *reached;
}

}  // namespace quarn
