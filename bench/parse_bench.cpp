// Throughput of the tokenizer and of the full parse over every .py file of a
// directory (default: python3's standard library), single-threaded.
//   parse_bench [DIR] [RUNS]
// Prints the number of files, their size and the best of RUNS timings.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "parser/arena.h"
#include "parser/lexer.h"
#include "parser/parse.h"

namespace {

namespace fs = std::filesystem;

std::string python_stdlib() {
  std::string path;
  if (FILE* pipe = popen("python3 -c 'import sysconfig; print(sysconfig.get_paths()[\"stdlib\"])'", "r")) {
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe)) path += buffer;
    pclose(pipe);
  }
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return path;
}

std::vector<std::string> read_sources(const fs::path& root) {
  std::vector<fs::path> paths;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (it->is_regular_file(ec) && it->path().extension() == ".py") paths.push_back(it->path());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> sources;
  for (const auto& p : paths) {
    std::ifstream in(p, std::ios::binary);
    sources.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return sources;
}

// Best wall time of `runs` passes of `pass` over all sources, in seconds.
template <class Pass>
double best_of(int runs, const std::vector<std::string>& sources, Pass pass) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    auto start = std::chrono::steady_clock::now();
    for (const auto& src : sources) pass(src);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    best = std::min(best, elapsed.count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : python_stdlib();
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (dir.empty() || !fs::is_directory(dir)) {
    std::fprintf(stderr, "parse_bench: no directory to read (pass one as the first argument)\n");
    return 2;
  }
  std::vector<std::string> sources = read_sources(dir);
  double megabytes = 0;
  for (const auto& s : sources) megabytes += static_cast<double>(s.size()) / 1e6;

  std::size_t token_count = 0, lex_errors = 0, parse_errors = 0;
  for (const auto& src : sources) {
    auto tokens = quarn::py::tokenize(src);
    tokens ? token_count += tokens->size() : ++lex_errors;
    quarn::py::Arena arena;
    if (!quarn::py::parse_python(src, arena)) ++parse_errors;
  }

  double lex_seconds = best_of(runs, sources, [](const std::string& src) { (void)quarn::py::tokenize(src); });
  double parse_seconds = best_of(runs, sources, [](const std::string& src) {
    quarn::py::Arena arena;
    (void)quarn::py::parse_python(src, arena);
  });

  std::printf("directory: %s\n", dir.c_str());
  std::printf("files: %zu (%zu rejected by the tokenizer, %zu by the parser), %.1f MB, %zu tokens\n", sources.size(),
              lex_errors, parse_errors, megabytes, token_count);
  std::printf("tokenize: %.3f s, %.0f MB/s (best of %d)\n", lex_seconds, megabytes / lex_seconds, runs);
  std::printf("parse:    %.3f s, %.0f MB/s (best of %d)\n", parse_seconds, megabytes / parse_seconds, runs);
  return 0;
}
