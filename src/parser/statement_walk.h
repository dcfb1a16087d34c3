#pragma once

// Hand-written statement walks: which nested statement lists a walk enters,
// and pre-order visits over them. An explicit stack keeps long elif chains
// (each elif nests one level deeper in the tree) off the call stack.

#include <algorithm>
#include <cstddef>
#include <span>
#include <type_traits>
#include <vector>

#include "parser/ast.h"

namespace quarn {

using StmtList = std::span<py::Stmt* const>;

// Block descent shared by the indexes and most detectors: definition and
// class bodies; loop and if bodies, then else; with bodies; case bodies; try
// body, handler bodies, else, finally.
template <class Push>
void standard_nested_lists(const py::Stmt& stmt, Push&& push) {
  using K = py::StmtKind;
  switch (stmt.kind) {
    case K::FunctionDef:
    case K::AsyncFunctionDef:
      push(stmt.as<py::AnyFunctionDef>().body);
      break;
    case K::ClassDef:
      push(stmt.as<py::ClassDef>().body);
      break;
    case K::For:
    case K::AsyncFor:
      push(stmt.as<py::AnyFor>().body);
      push(stmt.as<py::AnyFor>().orelse);
      break;
    case K::While:
      push(stmt.as<py::While>().body);
      push(stmt.as<py::While>().orelse);
      break;
    case K::If:
      push(stmt.as<py::If>().body);
      push(stmt.as<py::If>().orelse);
      break;
    case K::With:
    case K::AsyncWith:
      push(stmt.as<py::AnyWith>().body);
      break;
    case K::Match:
      for (const auto& match_case : stmt.as<py::Match>().cases) push(match_case.body);
      break;
    case K::Try:
    case K::TryStar: {
      const auto& node = stmt.as<py::AnyTry>();
      push(node.body);
      for (const auto& handler : node.handlers) push(handler.body);
      push(node.orelse);
      push(node.finalbody);
      break;
    }
    default:
      break;
  }
}

// The narrower descent of the loop scans: no async for, async with, match or
// try-star; loops give their body only.
template <class Push>
void reduced_nested_lists(const py::Stmt& stmt, Push&& push) {
  using K = py::StmtKind;
  switch (stmt.kind) {
    case K::FunctionDef:
    case K::AsyncFunctionDef:
      push(stmt.as<py::AnyFunctionDef>().body);
      break;
    case K::ClassDef:
      push(stmt.as<py::ClassDef>().body);
      break;
    case K::For:
      push(stmt.as<py::For>().body);
      break;
    case K::While:
      push(stmt.as<py::While>().body);
      break;
    case K::If:
      push(stmt.as<py::If>().body);
      push(stmt.as<py::If>().orelse);
      break;
    case K::With:
      push(stmt.as<py::With>().body);
      break;
    case K::Try: {
      const auto& node = stmt.as<py::Try>();
      push(node.body);
      for (const auto& handler : node.handlers) push(handler.body);
      push(node.orelse);
      push(node.finalbody);
      break;
    }
    default:
      break;
  }
}

struct StandardDescent {
  template <class Push>
  void operator()(const py::Stmt& stmt, Push&& push) const {
    standard_nested_lists(stmt, push);
  }
};

struct ReducedDescent {
  template <class Push>
  void operator()(const py::Stmt& stmt, Push&& push) const {
    reduced_nested_lists(stmt, push);
  }
};

// Reusable walk state; one per concurrently running walk, so that repeated
// scans do not allocate.
class StatementWalk {
 public:
  // Visits every statement the descent reaches, parents before children,
  // each statement's nested lists before its next sibling. `examine` returns
  // void, or bool where true stops the walk; the result says whether it did.
  template <class Descent, class Examine>
  bool statements(StmtList stmts, Descent&& descent, Examine&& examine) {
    stack_.clear();
    stack_.push_back(stmts);
    while (!stack_.empty()) {
      StmtList& top = stack_.back();
      if (top.empty()) {
        stack_.pop_back();
        continue;
      }
      const py::Stmt& stmt = *top.front();
      top = top.subspan(1);
      if constexpr (std::is_same_v<decltype(examine(stmt)), bool>) {
        if (examine(stmt)) return true;
      } else {
        examine(stmt);
      }
      push_nested(stmt, descent);
    }
    return false;
  }

  // Visits every statement list the descent reaches (the given one first),
  // each whole list before the lists nested in its statements.
  template <class Descent, class Examine>
  void lists(StmtList stmts, Descent&& descent, Examine&& examine) {
    stack_.clear();
    stack_.push_back(stmts);
    while (!stack_.empty()) {
      StmtList list = stack_.back();
      stack_.pop_back();
      examine(list);
      const std::size_t first = stack_.size();
      for (const py::Stmt* stmt : list) {
        descent(*stmt, [this](StmtList nested) {
          if (!nested.empty()) stack_.push_back(nested);
        });
      }
      std::reverse(stack_.begin() + static_cast<std::ptrdiff_t>(first), stack_.end());
    }
  }

 private:
  template <class Descent>
  void push_nested(const py::Stmt& stmt, Descent&& descent) {
    const std::size_t first = stack_.size();
    descent(stmt, [this](StmtList nested) {
      if (!nested.empty()) stack_.push_back(nested);
    });
    std::reverse(stack_.begin() + static_cast<std::ptrdiff_t>(first), stack_.end());
  }

  std::vector<StmtList> stack_;
};

}  // namespace quarn
