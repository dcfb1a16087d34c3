#include <gtest/gtest.h>

#include <fstream>

#include "base/files.h"
#include "e2e/run_quarn.h"
#include "run/check.h"
#include "run/discovery.h"
#include "run/discovery_detail.h"
#include "run/informational.h"

namespace quarn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void touch(const fs::path& path, std::string_view text = "") {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(LexicalParent, ClimbsAsWritten) {
  struct Case {
    const char* path;
    const char* parent;  // nullptr: none
  };
  const Case cases[] = {{"src/pkg", "src"}, {"src", ""},  {"", nullptr},     {"/", nullptr},  {"/a", "/"},
                        {"src/pkg/", "src"}, {"a//b", "a"}, {"//a", "/"},      {".", ""},       {"../x", ".."}};
  for (const auto& c : cases) {
    auto parent = detail::lexical_parent(c.path);
    if (c.parent == nullptr) {
      EXPECT_FALSE(parent.has_value()) << c.path;
    } else {
      ASSERT_TRUE(parent.has_value()) << c.path;
      EXPECT_EQ(parent->native(), c.parent) << c.path;
    }
  }
}

TEST(PyExtension, ExactLastExtension) {
  for (const char* yes : {"a.py", "a.b.py", "dir/x.py", "dir.d/x.py", "x.py/"})
    EXPECT_TRUE(detail::has_py_extension(yes)) << yes;
  for (const char* no : {".py", "a.PY", "a.py.bak", "a.", "py", "..", "dir.py/..", "a.pyc", "a.py~"})
    EXPECT_FALSE(detail::has_py_extension(no)) << no;
}

TEST(Discovery, WalksSortsAndSkips) {
  TempDir dir;
  const fs::path& root = dir.path();
  for (const char* file : {"pkg/mod.py", "pkg-extra/a.py", "pkg/sub/a.py", "pkg/zz.py", ".py", "notes.txt",
                           "venv/x.py", "Venv/y.py", "deep/__pycache__/c.py", "node_modules/m.py", "a.PY",
                           ".hidden/h.py", "target"})
    touch(root / file);
  fs::create_directories(root / "linkdir-target");
  touch(root / "outside/o.py");
  fs::create_directory_symlink(root / "outside", root / "pkg/link_to_dir");
  fs::create_symlink(root / "pkg/zz.py", root / "pkg/link.py");
  fs::create_symlink(root / "missing.py", root / "pkg/broken.py");

  auto files = discover_python_files(root / "pkg");
  ASSERT_TRUE(files.has_value()) << files.error().render();
  std::vector<std::string> names;
  for (const auto& f : *files) names.push_back(f.lexically_relative(root).native());
  EXPECT_EQ(names, (std::vector<std::string>{"pkg/broken.py", "pkg/link.py", "pkg/mod.py", "pkg/sub/a.py",
                                             "pkg/zz.py"}));

  files = discover_python_files(root);
  ASSERT_TRUE(files.has_value());
  names.clear();
  for (const auto& f : *files) names.push_back(f.lexically_relative(root).native());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden/h.py", "Venv/y.py", "outside/o.py", "pkg/broken.py",
                                             "pkg/link.py", "pkg/mod.py", "pkg/sub/a.py", "pkg/zz.py",
                                             "pkg-extra/a.py"}));

  // A root written with a slash gets none added; a root that is neither a
  // file nor a directory is its own only entry.
  files = discover_python_files(root / "pkg/sub/");
  ASSERT_TRUE(files.has_value());
  ASSERT_EQ(files->size(), 1u);
  EXPECT_EQ(files->front().native(), root.native() + "/pkg/sub/a.py");  // paths compare "//" equal to "/"
  fs::create_symlink("/dev/null", root / "null.py");
  files = discover_python_files(root / "null.py");
  ASSERT_TRUE(files.has_value());
  EXPECT_EQ(*files, std::vector<fs::path>{root / "null.py"});
}

TEST(Discovery, Errors) {
  TempDir dir;
  const fs::path& root = dir.path();
  touch(root / "notes.txt");
  touch(root / "script.PY");
  touch(root / "venv/x.py");
  struct Case {
    fs::path path;
    std::string message;
  };
  const Case cases[] = {
      {root / "notes.txt", "no Python files found under " + (root / "notes.txt").native()},
      {root / "script.PY", "no Python files found under " + (root / "script.PY").native()},
      {root / "venv", "no Python files found under " + (root / "venv").native()},
  };
  for (const auto& c : cases) {
    auto files = discover_python_files(c.path);
    ASSERT_FALSE(files.has_value()) << c.path;
    EXPECT_EQ(files.error().render(), c.message);
  }
  auto missing = discover_python_files(root / "nothing");
  ASSERT_FALSE(missing.has_value());
  EXPECT_TRUE(missing.error().render().starts_with("walk directory " + (root / "nothing").native() + ": "))
      << missing.error().render();
}

TEST(ConfigSearch, StopsAtMarkersAndLoadsTheFirstFile) {
  TempDir dir;
  const fs::path& root = dir.path();
  touch(root / "quarn.toml", "[profile]\nname = \"strict\"\n");
  touch(root / "a/b/c.py");
  auto config = discover_config(root / "a/b");
  ASSERT_TRUE(config.has_value());
  EXPECT_EQ(config->profile.name, "strict");

  touch(root / "a/pyproject.toml");
  EXPECT_EQ(discover_config(root / "a/b")->profile.name, "default");
  fs::remove(root / "a/pyproject.toml");
  fs::create_directories(root / "a/.git");
  EXPECT_EQ(discover_config(root / "a/b")->profile.name, "default");
  fs::remove(root / "a/.git");
  fs::create_directories(root / "a/pyproject.toml");  // a directory is no marker
  EXPECT_EQ(discover_config(root / "a/b")->profile.name, "strict");
  // Nor is a quarn.toml that is no regular file a configuration.
  const auto profile_below = [&] {
    auto found = discover_config(root / "a/b");
    return found ? found->profile.name : found.error().render();
  };
  fs::create_directories(root / "a/b/quarn.toml");
  EXPECT_EQ(profile_below(), "strict");
  fs::remove(root / "a/b/quarn.toml");
  fs::create_symlink("/dev/null", root / "a/b/quarn.toml");
  EXPECT_EQ(profile_below(), "strict");
  fs::remove(root / "a/b/quarn.toml");

  touch(root / "a/b/quarn.toml", "[profile\n");
  auto broken = discover_config(root / "a/b");
  ASSERT_FALSE(broken.has_value());
  EXPECT_TRUE(broken.error().render().starts_with("parse config " + (root / "a/b/quarn.toml").native()))
      << broken.error().render();
}

// What a worker may read itself: regular files below the limit only.
TEST(ReadFileIfSmall, RegularFilesBelowTheLimit) {
  TempDir dir;
  touch(dir.path() / "five", "12345");
  EXPECT_EQ(read_file_if_small(dir.path() / "five", 6).value(), "12345");
  EXPECT_EQ(read_file_if_small(dir.path() / "five", 5).value(), std::nullopt);
  EXPECT_EQ(read_file_if_small(dir.path(), 1 << 20).value(), std::nullopt);
  EXPECT_FALSE(read_file_if_small(dir.path() / "none", 6).has_value());
  // A file of /proc shows a size of 0 and then grows as it is read.
  const std::string status = read_file("/proc/self/status").value();
  ASSERT_GT(status.size(), 64u);
  EXPECT_EQ(read_file_if_small("/proc/self/status", 64).value(), std::nullopt);
  EXPECT_TRUE(read_file_if_small("/proc/self/status", 1 << 20).value()->starts_with("Name:"));
}

}  // namespace
}  // namespace quarn

namespace quarn {
namespace {

TEST(StarterConfig, BothTextsLoad) {
  auto plain = parse_config(STARTER_CONFIG_DEFAULT);
  ASSERT_TRUE(plain.has_value()) << plain.error().render();
  EXPECT_TRUE(validate_config(*plain).has_value());
  EXPECT_EQ(plain->profile.name, "default");
  EXPECT_EQ(plain->checks.at("QN207").rules,
            (std::vector<ForbiddenImportRule>{{"app.domain", "app.infrastructure"}}));
  auto strict = parse_config(STARTER_CONFIG_STRICT);
  ASSERT_TRUE(strict.has_value()) << strict.error().render();
  EXPECT_EQ(strict->profile.name, "strict");
}

}  // namespace
}  // namespace quarn
