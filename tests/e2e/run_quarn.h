#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fmt/format.h>

#include "run/process.h"

namespace quarn::test {

struct QuarnRun {
  std::string out;
  std::string err;
  int status = -1;
};

#ifdef QUARN_BIN
// Runs the built quarn binary with `args` in `cwd`.
inline QuarnRun run_quarn(const std::vector<std::string>& args, const std::filesystem::path& cwd = {}) {
  auto result = run_process(QUARN_BIN, args, cwd.native());
  EXPECT_TRUE(result.has_value());
  if (!result) return {};
  return {result->standard_output, result->standard_error, result->exit_status.value_or(-1)};
}
#endif

inline std::string read_text(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

inline std::filesystem::path fixture(const std::string& relative) {
  return std::filesystem::path(QUARN_FIXTURES_DIR) / relative;
}

// A fresh empty directory under the system's temporary directory, removed
// when the object goes away.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quarn-test-XXXXXX").native();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace quarn::test
