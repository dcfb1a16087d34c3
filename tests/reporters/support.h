#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "findings/finding.h"

namespace quarn::test {

// A built-in finding of the catalog check `id`, built as the detectors build it.
Finding builtin(std::string_view id, std::string message, std::filesystem::path file, std::uint64_t line,
                std::uint64_t column);

// A finding of the external checker, shaped as its diagnostics are.
Finding external(std::string_view code, std::string message, std::filesystem::path file, std::uint64_t line,
                 std::uint64_t column, Severity severity);

// The fixed, sorted list behind the whole-output goldens. Its paths are
// relative to `golden_tree()`.
std::vector<Finding> golden_findings();
std::filesystem::path golden_tree();

// Compares `actual` with the golden file `name`. With QUARN_UPDATE_GOLDEN=1 in
// the environment the golden is rewritten from `actual` instead.
void expect_golden(std::string_view name, std::string_view actual);

// A fresh directory under the system's temporary directory, removed at scope end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path write(const std::filesystem::path& relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

// Makes `dir` the current directory for the scope, since findings hold
// paths relative to it.
class ScopedCurrentDir {
 public:
  explicit ScopedCurrentDir(const std::filesystem::path& dir);
  ~ScopedCurrentDir();
  ScopedCurrentDir(const ScopedCurrentDir&) = delete;
  ScopedCurrentDir& operator=(const ScopedCurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace quarn::test
