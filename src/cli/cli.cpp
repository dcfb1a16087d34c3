#include "cli/cli.h"

#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "base/streams.h"
#include "base/text.h"
#include "base/utf8.h"

namespace quarn {

namespace {

constexpr const char* kVersion = "0.5.0";
constexpr const char* kDefaultPromptPath = "quarn-remediation-prompt.md";

// Rejects text arguments that are not UTF-8; paths skip this check.
const CLI::Validator kUtf8Text(
    [](std::string& value) { return is_valid_utf8(value) ? std::string() : std::string("invalid UTF-8"); },
    "", "UTF-8");

// CLI11's default formatter, except that `required` shows as a required
// positional (in the usage line and with REQUIRED) although CLI11 takes it as
// optional: check's PATH, which is checked after the parse.
struct HelpFormatter : CLI::Formatter {
  const CLI::Option* required = nullptr;

  std::string make_option_usage(const CLI::Option* opt) const override {
    return opt == required ? make_option_name(opt, true) : CLI::Formatter::make_option_usage(opt);
  }
  std::string make_option_opts(const CLI::Option* opt) const override {
    return CLI::Formatter::make_option_opts(opt) + (opt == required ? " " + get_label("REQUIRED") : "");
  }
};

// Prints a usage error the way the parser reports one; the status is 2. The
// message may quote arguments: escaped for the terminal.
std::uint8_t usage_error(std::string_view message, const HelpFormatter& formatter, const CLI::App* app,
                         const std::string& name) {
  write_stderr(fmt::format("error: {}\n\n{}\nFor more information, try '--help'.\n", terminal_text(message),
                           formatter.make_usage(app, name)));
  return 2;
}

// The last subcommand named on the command line, or the app itself.
const CLI::App* innermost_named(const CLI::App& app) {
  const CLI::App* target = &app;
  for (const CLI::App* sub : app.get_subcommands()) target = sub;
  return target;
}

// Help and version text end the command here, so a failed write is reported
// here too, the way main reports a run error.
std::uint8_t print_text(std::string_view text) {
  if (auto written = write_stdout(text); !written) {
    write_stderr("error: " + written.error().render() + "\n");
    return 2;
  }
  return 0;
}

// Every part between commas, empty ones included.
std::vector<std::string> split_at_commas(const std::vector<std::string>& values) {
  std::vector<std::string> parts;
  for (const std::string& value : values)
    for (std::string_view part : split_text(value, ',')) parts.emplace_back(part);
  return parts;
}

}  // namespace

struct CliDefinition::Values {
  std::shared_ptr<HelpFormatter> formatter = std::make_shared<HelpFormatter>();
  CLI::App* check = nullptr;
  CLI::App* explain = nullptr;
  CLI::App* init = nullptr;
  CLI::App* list_checks = nullptr;
  CLI::App* list_checkers = nullptr;
  CLI::App* help = nullptr;
  CLI::Option* remediation_prompt_option = nullptr;
  CLI::Option* path_option = nullptr;

  std::string path;
  std::string format;
  std::string profile;
  CLI::Option* profile_option = nullptr;
  std::vector<std::string> with_external;
  std::vector<std::string> remediation_prompt;
  std::string id;
  bool strict = false;
  std::vector<std::string> help_topic;
};

CliDefinition::CliDefinition() : app_(std::make_unique<CLI::App>("Deterministic code governance for Python", "quarn")),
                                 values_(std::make_unique<Values>()) {
  CLI::App& app = *app_;
  Values& v = *values_;
  app.set_version_flag("-V,--version", fmt::format("quarn {}", kVersion), "Print version");
  app.set_help_flag("-h,--help", "Print help");
  app.require_subcommand(1);
  app.formatter(v.formatter);  // before the subcommands, which share it

  v.check = app.add_subcommand("check", "Run deterministic checks on a path (exits 1 when issues are found)");
  // PATH is checked after the parse rather than marked required, so that
  // `--remediation-prompt PATH_LIKE` keeps its value as the prompt path.
  v.path_option = v.check->add_option("PATH", v.path)->type_name("");
  v.formatter->required = v.path_option;
  v.check->add_option("--format", v.format)
      ->type_name("FORMAT")
      ->check(kUtf8Text)
      ->check(CLI::IsMember({"human", "json", "sarif"}))
      ->default_val("human")
      ->capture_default_str();
  v.profile_option = v.check->add_option("--profile", v.profile,
                                         "Config profile name (`default`, `strict`, or custom from quarn.toml)")
                         ->type_name("PROFILE")
                         ->check(kUtf8Text);
  // Split at commas after the parse: CLI11's delimiter drops empty names.
  v.check->add_option("--with-external", v.with_external, "Run external checker(s), comma-separated (e.g. `ruff`)")
      ->type_name("WITH_EXTERNAL")
      ->check(kUtf8Text)
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  // The default string is what a missing value becomes, so that an empty
  // value stays empty; the option text keeps that default out of the help.
  v.remediation_prompt_option =
      v.check
          ->add_option("--remediation-prompt", v.remediation_prompt,
                       "Write a deterministic remediation prompt for an LLM/editor (no model call). Optional path; "
                       "default: `quarn-remediation-prompt.md`")
          ->type_name("FILE")
          ->option_text("FILE")
          ->default_str(kDefaultPromptPath)
          ->expected(0, 1)
          ->allow_extra_args(false);

  v.explain = app.add_subcommand("explain", "Explain a check by id (e.g. QN001)");
  v.explain->add_option("ID", v.id)->required()->type_name("")->check(kUtf8Text);

  v.init = app.add_subcommand("init", "Write a starter quarn.toml in the current directory");
  v.init->add_flag("--strict", v.strict, "Write strict profile example (`quarn.toml.strict.example`) instead of default")
      ->multi_option_policy(CLI::MultiOptionPolicy::Throw);

  v.list_checks = app.add_subcommand("list-checks", "List built-in deterministic checks");
  v.list_checkers = app.add_subcommand("list-checkers", "List configured and available external checkers");

  v.help = app.add_subcommand("help", "Print this message or the help of the given subcommand(s)");
  v.help->add_option("COMMAND", v.help_topic)->type_name("")->expected(0, 1);

  for (CLI::App* sub : app.get_subcommands({})) sub->set_help_flag("-h,--help", "Print help");
}

CliDefinition::~CliDefinition() = default;

std::variant<Command, std::uint8_t> CliDefinition::parse(int argc, const char* const* argv) {
  CLI::App& app = *app_;
  Values& v = *values_;
  if (argc <= 1) {
    write_stderr(app.help());
    return std::uint8_t{2};
  }
  try {
    app.parse(argc, argv);
    if (v.check->parsed() && v.path_option->count() == 0) throw CLI::RequiredError("PATH");
  } catch (const CLI::CallForHelp&) {
    const CLI::App* target = innermost_named(app);
    return print_text(target == &app ? app.help() : target->help("quarn"));
  } catch (const CLI::CallForVersion& e) {
    return print_text(std::string(e.what()) + "\n");
  } catch (const CLI::ParseError& e) {
    const CLI::App* target = innermost_named(app);
    return usage_error(e.what(), *v.formatter, target, target == &app ? "quarn" : "quarn " + target->get_name());
  }

  if (v.help->parsed()) {
    if (v.help_topic.empty()) {
      return print_text(app.help());
    }
    for (const CLI::App* sub : app.get_subcommands({})) {
      if (sub->get_name() == v.help_topic.front() && sub != v.help) {
        return print_text(sub->help("quarn"));
      }
    }
    return usage_error(fmt::format("unrecognized subcommand '{}'", v.help_topic.front()), *v.formatter, &app,
                         "quarn");
  }
  if (v.check->parsed()) {
    CheckCommand check;
    check.path = std::filesystem::path(v.path);
    check.format = v.format == "json" ? OutputFormat::Json : v.format == "sarif" ? OutputFormat::Sarif : OutputFormat::Human;
    if (v.profile_option->count() > 0) check.profile = v.profile;
    check.with_external = split_at_commas(v.with_external);
    if (v.remediation_prompt_option->count() > 0) check.remediation_prompt = v.remediation_prompt.front();
    return Command{std::move(check)};
  }
  if (v.explain->parsed()) return Command{ExplainCommand{v.id}};
  if (v.init->parsed()) return Command{InitCommand{v.strict}};
  if (v.list_checks->parsed()) return Command{ListChecksCommand{}};
  return Command{ListCheckersCommand{}};
}

}  // namespace quarn
