#include "run/informational.h"

namespace quarn {

const std::string_view STARTER_CONFIG_DEFAULT = R"toml(# Quarn example configuration (default profile)
# Copy to quarn.toml and adjust for your project.
# Run: quarn init
# Strict profile: quarn init --strict  or  quarn check . --profile strict

[profile]
name = "default"

# Custom profile inheritance (v0.3.0+)
# [profiles.team]
# extends = "default"
# [profiles.team.checks.QN001]
# max_lines = 60

# --- Readability (QN001–QN015) ---
# QN007/QN008 (docstrings) and QN011–015 (comment patterns) are off in default profile.

[checks.QN001]
enabled = true
max_lines = 50

[checks.QN002]
enabled = true
max_arguments = 5

[checks.QN003]
enabled = true
max_depth = 3

[checks.QN005]
enabled = true

[checks.QN006]
enabled = true

[checks.QN010]
enabled = true

# --- Consistency (QN101–QN110) ---
# Pattern heuristics QN102–104, QN107–110 disabled by default; QN101/105/106 are AST-precise.

[checks.QN105]
enabled = true

[checks.QN106]
enabled = true

# --- Design (QN201–QN210) ---

[checks.QN201]
enabled = true
max_methods = 15

[checks.QN205]
enabled = true

[checks.QN207]
enabled = true

[[checks.QN207.rules]]
from = "app.domain"
forbidden = "app.infrastructure"

# --- Refactor (QN301–QN315) ---

[checks.QN304]
enabled = true

[checks.QN307]
enabled = true
max_arguments = 7

# --- Warning (QN401–QN415) ---

[checks.QN401]
enabled = true
severity = "high"

[checks.QN402]
enabled = true

[checks.QN404]
enabled = true

[checks.QN406]
enabled = true

[checks.QN407]
enabled = true

[checks.QN414]
enabled = true

# --- AI slop (QN501–QN510), deterministic only ---
# QN503, QN505–506, QN509–510 disabled by default (pattern-heavy).

[checks.QN501]
enabled = true

[checks.QN504]
enabled = true

# --- External checkers (v0.4.0) ---
# Requires `ruff` on PATH: quarn check . --with-external ruff
# external_checkers = ["ruff"]
)toml";

const std::string_view STARTER_CONFIG_STRICT = R"toml(# Quarn strict profile — all catalog rules enabled
# Copy to quarn.toml for maximum coverage (expect more findings on small modules).

[profile]
name = "strict"

[checks.QN001]
max_lines = 50
[checks.QN401]
severity = "high"
)toml";

}  // namespace quarn
