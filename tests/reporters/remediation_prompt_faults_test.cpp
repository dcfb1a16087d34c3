// A signal while the prompt's directories are made: mkdir is replaced for
// this whole program.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "reporters/remediation_prompt.h"
#include "reporters/support.h"

namespace {
// Set by a test: the directory that mkdir makes only after raising SIGTERM,
// so that the signal comes while a write registers what it created.
const char* sigterm_before_mkdir = nullptr;
}  // namespace

// Stands in for the C library's mkdir in this program: the same system call,
// with SIGTERM raised first for the one directory a test names.
extern "C" int mkdir(const char* path, mode_t mode) noexcept {
  if (sigterm_before_mkdir != nullptr && std::strcmp(path, sigterm_before_mkdir) == 0) ::raise(SIGTERM);
  return static_cast<int>(::syscall(SYS_mkdirat, AT_FDCWD, path, mode));
}

namespace quarn {
namespace {

// SIGTERM while the write registers a directory it made: what it made goes
// again, and the process ends by the signal.
TEST(WriteRemediationPrompt, SignalWhileADirectoryIsMadeLeavesNothing) {
  test::TempDir dir;
  const auto deep = dir.path() / "new" / "deep";
  EXPECT_EXIT(
      {
        sigterm_before_mkdir = deep.c_str();
        (void)write_remediation_prompt(deep / "p.md", {}, "src");
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "new"));
}

}  // namespace
}  // namespace quarn
