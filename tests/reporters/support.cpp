#include "reporters/support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "checks/catalog.h"

namespace quarn::test {

namespace {

const Catalog& catalog() {
  static const Catalog instance = build_catalog();
  return instance;
}

std::filesystem::path golden_path(std::string_view name) {
  return std::filesystem::path(QUARN_FIXTURES_DIR) / "reporters" / "golden" / name;
}

bool updating_goldens() {
  const char* flag = std::getenv("QUARN_UPDATE_GOLDEN");
  return flag != nullptr && std::string_view(flag) == "1";
}

}  // namespace

Finding builtin(std::string_view id, std::string message, std::filesystem::path file, std::uint64_t line,
                std::uint64_t column) {
  const CatalogRule* check = find_check(catalog(), id);
  if (check == nullptr) throw std::invalid_argument("no catalog check " + std::string(id));
  return finding_new(*check, std::move(message), SharedText(file.native()), line, column);
}

Finding external(std::string_view code, std::string message, std::filesystem::path file, std::uint64_t line,
                 std::uint64_t column, Severity severity) {
  return Finding{
      .id = "EXT-RUFF-" + std::string(code),
      .title = "ruff:" + std::string(code),
      .message = std::move(message),
      .explanation = std::nullopt,
      .remediation = std::nullopt,
      .file = file.native(),
      .line = line,
      .column = column,
      .severity = severity,
      .category = Category::Warning,
      .source = "ruff",
      .confidence = Confidence::ToolReported,
  };
}

std::filesystem::path golden_tree() { return std::filesystem::path(QUARN_FIXTURES_DIR) / "reporters" / "tree"; }

std::vector<Finding> golden_findings() {
  std::vector<Finding> findings;
  findings.push_back(builtin("QN001", "Function `process_orders` has 62 lines (max 50)", "app/service.py", 3, 1));
  findings.push_back(builtin("QN001", "Function `summarize` has 55 lines (max 50)", "app/service.py", 20, 1));
  findings.push_back(builtin("QN001", "Function `refund` has 51 lines (max 50)", "app/models.py", 9, 5));
  findings.push_back(builtin("QN403", "Bare `except:` also catches \"SystemExit\" \u2192 use `except Exception`",
                             "app/service.py", 16, 5));
  findings.push_back(builtin("QN406", "`assert` is removed under python -O", "app/models.py", 10, 9));
  findings.push_back(builtin("QN003", "Nesting depth 4 exceeds 3", "app/service.py", 40, 13));
  findings.push_back(builtin("QN007", "Module has no docstring", "gone/removed.py", 1, 1));
  findings.push_back(external("F401", "`os` imported but unused", "app/models.py", 1, 8, Severity::High));
  sort_findings(findings);
  return findings;
}

void expect_golden(std::string_view name, std::string_view actual) {
  auto path = golden_path(name);
  if (updating_goldens()) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden " << path << "; run the tests with QUARN_UPDATE_GOLDEN=1 to create it";
  std::ostringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(expected.str(), actual) << "golden " << path
                                    << " differs; after an intended change rerun with QUARN_UPDATE_GOLDEN=1";
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quarn-reporters-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::write(const std::filesystem::path& relative, std::string_view bytes) const {
  auto target = path_ / relative;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << bytes;
  return target;
}

ScopedCurrentDir::ScopedCurrentDir(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

ScopedCurrentDir::~ScopedCurrentDir() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

}  // namespace quarn::test
