#include <gtest/gtest.h>

#include "cli/cli.h"

namespace quarn {
namespace {

std::variant<Command, std::uint8_t> parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quarn");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  CliDefinition cli;
  return cli.parse(static_cast<int>(argv.size()), argv.data());
}

CheckCommand parse_check(std::vector<std::string> args) {
  auto parsed = parse(std::move(args));
  EXPECT_TRUE(std::holds_alternative<Command>(parsed));
  if (!std::holds_alternative<Command>(parsed)) return {};
  return std::get<CheckCommand>(std::get<Command>(parsed));
}

TEST(Cli, CheckDefaults) {
  CheckCommand c = parse_check({"check", "src"});
  EXPECT_EQ(c.path, "src");
  EXPECT_EQ(c.format, OutputFormat::Human);
  EXPECT_FALSE(c.profile);
  EXPECT_TRUE(c.with_external.empty());
  EXPECT_FALSE(c.remediation_prompt);
}

TEST(Cli, CheckOptions) {
  CheckCommand c = parse_check({"check", "--format", "sarif", "--profile", "team", "--with-external", "ruff,ruff",
                                "--with-external", "mypy", "src", "--remediation-prompt"});
  EXPECT_EQ(c.format, OutputFormat::Sarif);
  EXPECT_EQ(c.profile, "team");
  EXPECT_EQ(c.with_external, (std::vector<std::string>{"ruff", "ruff", "mypy"}));
  EXPECT_EQ(c.remediation_prompt, std::filesystem::path("quarn-remediation-prompt.md"));
  EXPECT_EQ(parse_check({"check", "--remediation-prompt", "out.md", "src"}).remediation_prompt,
            std::filesystem::path("out.md"));
  EXPECT_EQ(parse_check({"check", "--remediation-prompt=x/p.md", "src"}).remediation_prompt,
            std::filesystem::path("x/p.md"));
  EXPECT_EQ(parse_check({"check", "src", "--format=json"}).format, OutputFormat::Json);
  // Empty values stay empty.
  EXPECT_EQ(parse_check({"check", "src", "--with-external", ",ruff,"}).with_external,
            (std::vector<std::string>{"", "ruff", ""}));
  EXPECT_EQ(parse_check({"check", "src", "--remediation-prompt", ""}).remediation_prompt, std::filesystem::path());
  EXPECT_EQ(parse_check({"check", "src", "--profile", ""}).profile, "");
}

TEST(Cli, PathsKeepTheirBytes) {
  std::string odd = "dir\xff\xfe";
  CheckCommand c = parse_check({"check", odd, "--remediation-prompt", odd + ".md"});
  EXPECT_EQ(c.path.native(), odd);
  EXPECT_EQ(c.remediation_prompt->native(), odd + ".md");
}

TEST(Cli, OtherSubcommands) {
  EXPECT_EQ(std::get<ExplainCommand>(std::get<Command>(parse({"explain", "QN001"}))).id, "QN001");
  EXPECT_TRUE(std::get<InitCommand>(std::get<Command>(parse({"init", "--strict"}))).strict);
  EXPECT_FALSE(std::get<InitCommand>(std::get<Command>(parse({"init"}))).strict);
  EXPECT_TRUE(std::holds_alternative<ListChecksCommand>(std::get<Command>(parse({"list-checks"}))));
  EXPECT_TRUE(std::holds_alternative<ListCheckersCommand>(std::get<Command>(parse({"list-checkers"}))));
}

TEST(Cli, UsageErrorsEndWithStatusTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {"check"},
      {"check", "src", "--format", "JSON"},
      {"check", "src", "--format", "Human"},
      {"check", "src", "--format", "json", "--format", "human"},
      {"check", "src", "--profile", "a", "--profile", "b"},
      {"check", "src", "--profile", "bad\xff"},
      {"check", "src", "--with-external", "ru\xc3"},
      {"check", "--remediation-prompt", "src"},
      {"check", "--version"},
      {"check", "src", "extra"},
      {"check", "src", "-x"},
      {"explain"},
      {"explain", "QN\xff"},
      {"init", "--strict", "--strict"},
      {"list-checks", "more"},
      {"frobnicate"},
      {"help", "frobnicate"},
      {"help", "help"},
  };
  for (const auto& args : cases) {
    auto parsed = parse(args);
    ASSERT_TRUE(std::holds_alternative<std::uint8_t>(parsed)) << args.front();
    EXPECT_EQ(std::get<std::uint8_t>(parsed), 2) << args.front() << " " << (args.size() > 1 ? args[1] : "");
  }
}

TEST(Cli, HelpAndVersionEndWithStatusZero) {
  const std::vector<std::vector<std::string>> cases = {
      {"--help"}, {"-h"}, {"-V"}, {"--version"}, {"help"}, {"help", "check"}, {"check", "--help"}, {"init", "-h"}};
  for (const auto& args : cases) {
    auto parsed = parse(args);
    ASSERT_TRUE(std::holds_alternative<std::uint8_t>(parsed)) << args.front();
    EXPECT_EQ(std::get<std::uint8_t>(parsed), 0) << args.front();
  }
}

}  // namespace
}  // namespace quarn
