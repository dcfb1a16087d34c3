#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

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

#ifdef QUARN_BIN
// The quarn binary as an unprivileged user can run it: a copy in a fresh
// directory of mode 0755 under the system's temporary directory, since the
// build tree may lie where only its owner can enter (a checkout under /root).
class ReachableQuarn {
 public:
  ReachableQuarn() : path_(dir_.path() / "quarn") {
    std::filesystem::permissions(dir_.path(), std::filesystem::perms(0755));
    std::filesystem::copy_file(QUARN_BIN, path_);
    std::filesystem::permissions(path_, std::filesystem::perms(0755));
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  TempDir dir_;
  std::filesystem::path path_;
};

// What runs a program as the user `uid`, as root: setpriv and these, then the
// program.
inline std::vector<std::string> as_user(int uid) {
  return {"setpriv", fmt::format("--reuid={}", uid), fmt::format("--regid={}", uid), "--clear-groups"};
}
inline const std::vector<std::string> kAsNobody = as_user(65534);
// A process limit counts every process of its user, those of tests running
// meanwhile too: each test that sets one runs as a user of its own.
enum ProcessLimitedUser : int { kLimitsUser = 65501, kExternalCheckerUser = 65502, kStackLimitsUser = 65503 };

// A run directory holding a .git marker, so that the configuration search
// ends there, with files written into it and quarn run inside it.
class ProjectTest : public ::testing::Test {
 protected:
  TempDir dir;

  void SetUp() override { std::filesystem::create_directory(dir.path() / ".git"); }
  void TearDown() override { ::setenv("PATH", saved_path_.c_str(), 1); }

  std::filesystem::path at(const std::string& relative) const { return dir.path() / relative; }

  void write(const std::string& relative, std::string_view text) {
    std::filesystem::create_directories(at(relative).parent_path());
    std::ofstream(at(relative), std::ios::binary) << text;
  }

  QuarnRun check(std::vector<std::string> args) {
    args.insert(args.begin(), "check");
    return run_quarn(args, dir.path());
  }

  // A `ruff` first on PATH that answers --version and runs `check_script`
  // otherwise.
  void fake_ruff(std::string_view check_script) {
    write("bin/ruff",
          fmt::format("#!/bin/sh\nif [ \"$1\" = --version ]; then echo 'ruff 0.0.0'; exit 0; fi\n{}\n", check_script));
    ::chmod(at("bin/ruff").c_str(), 0755);
    ::setenv("PATH", (at("bin").native() + ":" + saved_path_).c_str(), 1);
  }

 private:
  std::string saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
};
#endif

}  // namespace quarn::test
