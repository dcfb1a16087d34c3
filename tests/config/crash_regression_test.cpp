// Configurations the fuzzer (scripts/fuzz config) found crashing, kept once
// fixed: each must load or fail with a message, and the text handed to
// toml++ must hold nothing it cannot take.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "config/config.h"
#include "config/toml_input.h"
#include "config/toml_scan.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;

TEST(ConfigCrashRegression, KeptFuzzerFindings) {
  fs::path dir = fs::path(QUARN_FIXTURES_DIR) / "config" / "crashes";
  ASSERT_TRUE(fs::is_directory(dir));
  for (const auto& entry : fs::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (auto config = parse_config(text)) (void)validate_config(*config);
    const TomlScan scan = scan_toml(text, MAX_KEY_DEPTH);
    EXPECT_TRUE(scan_toml(TomlInput(text, scan.unsafe).text(), MAX_KEY_DEPTH).unsafe.empty());
  }
}

}  // namespace
}  // namespace quarn
