#include "checks/texts.h"

#include <algorithm>
#include <array>

namespace quarn {

namespace {

constexpr std::string_view kGenericRemediation = "Refactor for clarity and consistency with project conventions.";
constexpr std::string_view kGenericExample = "See `quarn explain <ID>` for examples.";

constexpr TextSet kPatternSet = {
    "This finding highlights a stylistic or pattern-based signal.",
    kGenericRemediation,
    "Heuristic rule: validate in project context before enforcing strictly.",
    "Stricter thresholds can improve consistency but may increase review churn.",
    kGenericExample,
};

constexpr TextSet kSyntaxTreeSet = {
    "This finding was produced by an AST-precise deterministic check.",
    kGenericRemediation,
    "Rare on idiomatic code; confirm intent before suppressing.",
    "Enforcing this rule improves consistency with little false-positive risk.",
    kGenericExample,
};

constexpr TextSet kQN001 = {
    "Long functions are harder to test, review, and reuse.",
    "Extract helpers or split responsibilities into smaller functions.",
    "Generated code, DSL builders, or single-purpose scripts.",
    "Lower thresholds catch sprawl early but may conflict with local cohesion.",
    "A 120-line handler doing validation, IO, and formatting in one block.",
};

constexpr TextSet kQN003 = {
    "Deep nesting obscures control flow and error handling paths.",
    "Use guard clauses, early returns, or extract nested blocks into functions.",
    "State machines or parser combinator style code with intentional depth.",
    "Flattening can scatter related logic if over-applied.",
    "Four levels of if/for inside one function.",
};

constexpr TextSet kQN005 = {
    "Very short names reduce readability for maintainers.",
    "Rename to descriptive snake_case identifiers.",
    "Loop indices, math conventions (x, y), or well-known abbreviations in scope.",
    "Verbose names help newcomers but can clutter tight algorithms.",
    "`def f(a, b):` where names do not convey intent.",
};

constexpr TextSet kQN010 = {
    "TODOs without owner or context tend to linger indefinitely.",
    "Add owner, ticket id, or concrete next step; remove stale TODOs.",
    "Template files or internal scratch scripts.",
    "Strict TODO hygiene improves tracking but adds friction for spikes.",
    "`# TODO fix this` with no ticket or owner.",
};

constexpr TextSet kQN207 = {
    "Layer violations let infrastructure concerns leak into domain code.",
    "Move imports behind interfaces or invert dependencies per your architecture rules.",
    "Monorepos with unconventional folder layouts; adjust `[[checks.QN207.rules]]`.",
    "Strict layering improves testability but requires upfront boundary design.",
    "Domain module importing `app.infrastructure.db`.",
};

constexpr TextSet kQN401 = {
    "`except BaseException` catches KeyboardInterrupt and SystemExit.",
    "Catch specific exception types; avoid BaseException in application code.",
    "Top-level CLI entrypoints that must report any failure including exits.",
    "Narrow exceptions improve signal but need maintenance when APIs change.",
    "`except BaseException:` around business logic.",
};

constexpr TextSet kQN402 = {
    "Empty except blocks swallow errors silently.",
    "Log, handle, or re-raise; remove no-op handlers.",
    "Intentional suppression with documented rationale in comments.",
    "Explicit handling adds noise if every rare edge case is logged.",
    "`except ValueError: pass`",
};

constexpr TextSet kQN403 = {
    "Bare except catches system exits and keyboard interrupts.",
    "Specify `except Exception` at minimum, preferably concrete types.",
    "Legacy compatibility shims (still discouraged).",
    "Bare except is convenient for quick scripts but unsafe in libraries.",
    "`except:` with no exception type.",
};

constexpr TextSet kQN404 = {
    "Mutable defaults are shared across calls and cause subtle bugs.",
    "Use `None` as default and assign a new list/dict inside the function.",
    "Immutable defaults (None, int, str, tuple) are fine.",
    "The None-sentinel pattern is idiomatic but slightly more verbose.",
    "`def f(items=[]):`",
};

constexpr TextSet kQN406 = {
    "Assert statements are stripped when Python runs with `-O`.",
    "Use explicit validation and raise proper exceptions in production paths.",
    "Test modules and type-checking-only blocks.",
    "Asserts are concise for invariants but unsafe as production guards.",
    "`assert user.is_active` in application code.",
};

constexpr TextSet kQN407 = {
    "`eval` and `exec` execute arbitrary code and are major security risks.",
    "Use safe parsers, AST literals, or restricted DSLs instead.",
    "Controlled REPL tooling with explicit operator approval.",
    "Dynamic execution is flexible but almost never worth the risk in apps.",
    "`eval(user_input)`",
};

constexpr TextSet kQN414 = {
    "Comparing `len(x) > 0` is less idiomatic than truthiness for collections.",
    "Use `if xs:` or `if not xs:` when semantics match.",
    "Cases where falsy values differ from empty (custom containers).",
    "Truthiness is shorter; length checks can be clearer for non-bool emptiness.",
    "`if len(items) > 0:`",
};

constexpr TextSet kQN501 = {
    "AI-generated placeholders often ship without real implementation.",
    "Replace placeholders with real logic or remove dead scaffolding.",
    "Legitimate docs mentioning AI tooling in comments.",
    "Catching slop early reduces review load; patterns may miss subtle cases.",
    "`# TODO: AI generated` in production modules.",
};

constexpr TextSet kQN504 = {
    "Generic exception messages make production debugging harder.",
    "Include actionable context while avoiding sensitive data in messages.",
    "User-facing messages intentionally generic for security.",
    "Detailed errors help engineers but may leak internals if exposed raw.",
    "`raise Exception(\"Something went wrong\")`",
};

// Every check's texts: its own set, the pattern set (phrase checks) or the
// syntax-tree set.
constexpr std::array<CheckTexts, 75> kCheckTexts = {{
    {"QN001", &kQN001}, {"QN002", &kSyntaxTreeSet}, {"QN003", &kQN003},
    {"QN004", &kSyntaxTreeSet}, {"QN005", &kQN005}, {"QN006", &kSyntaxTreeSet},
    {"QN007", &kSyntaxTreeSet}, {"QN008", &kSyntaxTreeSet}, {"QN009", &kSyntaxTreeSet},
    {"QN010", &kQN010}, {"QN011", &kPatternSet}, {"QN012", &kPatternSet},
    {"QN013", &kPatternSet}, {"QN014", &kPatternSet}, {"QN015", &kPatternSet},
    {"QN101", &kSyntaxTreeSet}, {"QN102", &kSyntaxTreeSet}, {"QN103", &kPatternSet},
    {"QN104", &kSyntaxTreeSet}, {"QN105", &kSyntaxTreeSet}, {"QN106", &kSyntaxTreeSet},
    {"QN107", &kPatternSet}, {"QN108", &kPatternSet}, {"QN109", &kSyntaxTreeSet},
    {"QN110", &kSyntaxTreeSet}, {"QN201", &kSyntaxTreeSet}, {"QN202", &kSyntaxTreeSet},
    {"QN203", &kSyntaxTreeSet}, {"QN204", &kPatternSet}, {"QN205", &kSyntaxTreeSet},
    {"QN206", &kSyntaxTreeSet}, {"QN207", &kQN207}, {"QN208", &kSyntaxTreeSet},
    {"QN209", &kSyntaxTreeSet}, {"QN210", &kPatternSet}, {"QN301", &kSyntaxTreeSet},
    {"QN302", &kSyntaxTreeSet}, {"QN303", &kSyntaxTreeSet}, {"QN304", &kSyntaxTreeSet},
    {"QN305", &kSyntaxTreeSet}, {"QN306", &kSyntaxTreeSet}, {"QN307", &kSyntaxTreeSet},
    {"QN308", &kSyntaxTreeSet}, {"QN309", &kSyntaxTreeSet}, {"QN310", &kSyntaxTreeSet},
    {"QN311", &kSyntaxTreeSet}, {"QN312", &kSyntaxTreeSet}, {"QN313", &kSyntaxTreeSet},
    {"QN314", &kSyntaxTreeSet}, {"QN315", &kSyntaxTreeSet}, {"QN401", &kQN401},
    {"QN402", &kQN402}, {"QN403", &kQN403}, {"QN404", &kQN404},
    {"QN405", &kSyntaxTreeSet}, {"QN406", &kQN406}, {"QN407", &kQN407},
    {"QN408", &kSyntaxTreeSet}, {"QN409", &kSyntaxTreeSet}, {"QN410", &kSyntaxTreeSet},
    {"QN411", &kSyntaxTreeSet}, {"QN412", &kSyntaxTreeSet}, {"QN413", &kSyntaxTreeSet},
    {"QN414", &kQN414}, {"QN415", &kSyntaxTreeSet}, {"QN501", &kQN501},
    {"QN502", &kSyntaxTreeSet}, {"QN503", &kPatternSet}, {"QN504", &kQN504},
    {"QN505", &kSyntaxTreeSet}, {"QN506", &kSyntaxTreeSet}, {"QN507", &kSyntaxTreeSet},
    {"QN508", &kSyntaxTreeSet}, {"QN509", &kSyntaxTreeSet}, {"QN510", &kSyntaxTreeSet},
}};

}  // namespace

std::span<const CheckTexts> all_check_texts() { return kCheckTexts; }

const TextSet* find_check_texts(std::string_view id) {
  const auto found = std::ranges::find(kCheckTexts, id, &CheckTexts::id);
  return found == kCheckTexts.end() ? nullptr : found->texts;
}

}  // namespace quarn
