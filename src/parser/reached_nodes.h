#pragma once

// The nodes one walk of a file reaches, kept so that the walk is replayed
// rather than repeated, each replay visiting only the kinds it asks for.

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "parser/ast.h"

namespace quarn {

// A set of node kinds: bit k stands for the kind numbered k.
using KindSet = std::uint64_t;

// The kinds, among the first `Count`, that a node viewed as a T may have.
template <class T, std::size_t Count>
constexpr KindSet kinds_of() {
  static_assert(Count <= 64);
  KindSet kinds = 0;
  for (std::size_t k = 0; k < Count; ++k) {
    if (T::matches(static_cast<decltype(std::declval<T>().kind)>(k))) kinds |= KindSet{1} << k;
  }
  return kinds;
}

template <class Node, std::size_t KindCount>
class ReachedNodes {
 public:
  void add(const Node& node) { nodes_.push_back(&node); }

  // Groups the walk positions by kind; called once, after the last add.
  void group() {
    first_.fill(0);
    for (const Node* node : nodes_) ++first_[static_cast<std::size_t>(node->kind) + 1];
    for (std::size_t k = 1; k <= KindCount; ++k) first_[k] += first_[k - 1];
    grouped_.resize(nodes_.size());
    std::array<std::uint32_t, KindCount> next;
    std::copy(first_.begin(), first_.end() - 1, next.begin());
    for (std::uint32_t at = 0; at < nodes_.size(); ++at) {
      grouped_[next[static_cast<std::size_t>(nodes_[at]->kind)]++] = at;
    }
  }

  // The number of reached nodes whose kind is in `kinds`.
  std::size_t count(KindSet kinds) const {
    std::size_t total = 0;
    for (KindSet rest = kinds; rest != 0; rest &= rest - 1) {
      const auto k = static_cast<std::size_t>(std::countr_zero(rest));
      total += first_[k + 1] - first_[k];
    }
    return total;
  }

  // Calls `visit` on every reached node whose kind is in `kinds`, in walk order.
  template <class Visit>
  void for_each(KindSet kinds, Visit&& visit) const {
    // One run of ascending walk positions per kind, merged.
    std::array<std::span<const std::uint32_t>, KindCount> runs;
    std::size_t live = 0;
    for (KindSet rest = kinds; rest != 0; rest &= rest - 1) {
      const auto k = static_cast<std::size_t>(std::countr_zero(rest));
      if (first_[k] != first_[k + 1]) runs[live++] = std::span(grouped_).subspan(first_[k], first_[k + 1] - first_[k]);
    }
    while (live > 0) {
      std::size_t lowest = 0;
      for (std::size_t i = 1; i < live; ++i) {
        if (runs[i].front() < runs[lowest].front()) lowest = i;
      }
      visit(*nodes_[runs[lowest].front()]);
      runs[lowest] = runs[lowest].subspan(1);
      if (runs[lowest].empty()) runs[lowest] = runs[--live];
    }
  }

 private:
  std::vector<const Node*> nodes_;       // walk order
  std::vector<std::uint32_t> grouped_;   // positions in nodes_, by kind, each kind ascending
  std::array<std::uint32_t, KindCount + 1> first_{};  // kind k: grouped_[first_[k], first_[k + 1])
};

using ReachedStatements = ReachedNodes<py::Stmt, py::kStmtKindCount>;
using ReachedExpressions = ReachedNodes<py::Expr, py::kExprKindCount>;

}  // namespace quarn
