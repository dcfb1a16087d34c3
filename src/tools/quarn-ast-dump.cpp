// quarn-ast-dump FILE...: prints the syntax tree of each Python file for
// comparison with Python's own ast module. Per file a line "== FILE", then
// "ERROR <byte offset>" or one line "Kind start end" per statement,
// expression, pattern and except handler, in pre-order with children in
// the order of the ast fields; JoinedStr is printed but not entered.
//
// quarn-ast-dump --stats FILE...: parses only and reports the throughput on
// standard error.

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "parser/arena.h"
#include "parser/ast_children.h"
#include "parser/parse.h"

namespace {

using quarn::py::NodeRef;

bool read_file(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

void dump_tree(const quarn::py::Module& module, std::string& out) {
  std::vector<NodeRef> stack;
  std::vector<NodeRef> children;
  for (auto it = module.body.rbegin(); it != module.body.rend(); ++it) stack.emplace_back(*it);
  while (!stack.empty()) {
    NodeRef n = stack.back();
    stack.pop_back();
    fmt::format_to(std::back_inserter(out), "{} {} {}\n", n.kind_name(), n.start(), n.end());
    if (n.family == NodeRef::Family::Expr &&
        static_cast<const quarn::py::Expr*>(n.node)->kind == quarn::py::ExprKind::JoinedStr) {
      continue;
    }
    children.clear();
    quarn::py::append_children(n, children);
    stack.insert(stack.end(), children.rbegin(), children.rend());
  }
}

int run_stats(int argc, char** argv) {
  std::string source;
  std::size_t bytes = 0;
  std::size_t files = 0;
  std::size_t failed = 0;
  std::chrono::duration<double> elapsed{};
  for (int i = 2; i < argc; ++i) {
    if (!read_file(argv[i], source)) continue;
    auto begin = std::chrono::steady_clock::now();
    quarn::py::Arena arena;
    bool ok = quarn::py::parse_python(source, arena).has_value();
    elapsed += std::chrono::steady_clock::now() - begin;
    bytes += source.size();
    ++files;
    failed += ok ? 0 : 1;
  }
  double seconds = elapsed.count();
  fmt::print(stderr, "{} files ({} rejected), {} bytes in {:.3f} s: {:.1f} MB/s\n", files, failed, bytes, seconds,
             seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--stats") return run_stats(argc, argv);
  std::string source;
  std::string out;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    out.clear();
    fmt::format_to(std::back_inserter(out), "== {}\n", argv[i]);
    if (!read_file(argv[i], source)) {
      fmt::print(stderr, "quarn-ast-dump: cannot read {}\n", argv[i]);
      status = 1;
      continue;
    }
    quarn::py::Arena arena;
    auto module = quarn::py::parse_python(source, arena);
    if (module) {
      dump_tree(*module, out);
    } else {
      fmt::format_to(std::back_inserter(out), "ERROR {}\n", module.error().offset);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
  }
  return status;
}
