#pragma once

#include "checks/catalog_detectors/detector_context.h"

namespace quarn {

// Every detector appends its findings to ctx.findings in its walk order; the
// catalog row of each check names its detector.

// index_detectors.cpp: Metrics over the definition indexes, text scans,
// docstrings and forbidden imports.
void detect_long_function(DetectorContext& ctx);  // QN001 (ctx.limit())
void detect_too_many_arguments(DetectorContext& ctx);  // QN002, QN307 (ctx.limit())
void detect_deep_nesting(DetectorContext& ctx);  // QN003 (ctx.limit())
void detect_god_class(DetectorContext& ctx);  // QN201 (ctx.limit())
void detect_line_phrases(DetectorContext& ctx);  // the row's phrases anywhere on a line
void detect_comment_phrases(DetectorContext& ctx);  // the row's phrases in comments
void detect_todo_without_context(DetectorContext& ctx);  // QN010
void detect_missing_module_docstring(DetectorContext& ctx);  // QN007
void detect_missing_function_docstring(DetectorContext& ctx);  // QN008
void detect_forbidden_imports(DetectorContext& ctx);  // QN207 (the configured rules)

// expressions.cpp: Single-expression detectors plugged into the shared traversal.
void detect_complex_boolean_expression(DetectorContext& ctx);  // QN004 (ctx.limit())
void detect_magic_number(DetectorContext& ctx);  // QN006
void detect_dangerous_eval_exec(DetectorContext& ctx);  // QN407
void detect_length_comparison(DetectorContext& ctx);  // QN414
void detect_print_debugging(DetectorContext& ctx);  // QN405
void detect_redundant_boolean_comparison(DetectorContext& ctx);  // QN304
void detect_identity_map(DetectorContext& ctx);  // QN311
void detect_simplifiable_if_expression(DetectorContext& ctx);  // QN305

// exception_handlers.cpp: How a file handles and raises exceptions.
void detect_broad_except(DetectorContext& ctx);  // QN401
void detect_bare_except(DetectorContext& ctx);  // QN403
void detect_empty_except(DetectorContext& ctx);  // QN402
void detect_silent_exception_swallowing(DetectorContext& ctx);  // QN408
void detect_blanket_except(DetectorContext& ctx);  // QN411
void detect_silent_fallback(DetectorContext& ctx);  // QN413
void detect_generic_exception_message(DetectorContext& ctx);  // QN504
void detect_repeated_try_except(DetectorContext& ctx);  // QN309

// comment_markers.cpp: Markers found in comments.
void detect_commented_out_code(DetectorContext& ctx);  // QN009
void detect_placeholder_generated_code(DetectorContext& ctx);  // QN501
void detect_generated_comment_pattern(DetectorContext& ctx);  // QN502

// literals_collections.cpp: Literal and collection-style detectors.
void detect_repeated_literal(DetectorContext& ctx);  // QN306
void detect_mixed_collection_style(DetectorContext& ctx);  // QN109
void detect_mixed_quote_style(DetectorContext& ctx);  // QN105
void detect_filter_none(DetectorContext& ctx);  // QN313
void detect_sort_for_top_k(DetectorContext& ctx);  // QN415

// naming_design.cpp: Module-level naming and design detectors.
void detect_inconsistent_function_naming(DetectorContext& ctx);  // QN101
void detect_inconsistent_class_naming(DetectorContext& ctx);  // QN102
void detect_inconsistent_import_style(DetectorContext& ctx);  // QN104
void detect_inconsistent_test_naming(DetectorContext& ctx);  // QN106
void detect_service_object_explosion(DetectorContext& ctx);  // QN209
void detect_too_many_instance_variables(DetectorContext& ctx);  // QN202 (ctx.limit())
void detect_too_many_public_methods(DetectorContext& ctx);  // QN203 (ctx.limit())
void detect_layer_violation(DetectorContext& ctx);  // QN208
void detect_excessive_abstraction(DetectorContext& ctx);  // QN509
void detect_generic_utility_explosion(DetectorContext& ctx);  // QN510
void detect_boilerplate_parameter_docs(DetectorContext& ctx);  // QN505
void detect_defensive_overengineering(DetectorContext& ctx);  // QN508
void detect_dataclass_without_behavior(DetectorContext& ctx);  // QN205
void detect_unclear_variable_name(DetectorContext& ctx);  // QN005
void detect_mixed_return_style(DetectorContext& ctx);  // QN110

// function_bodies.cpp: Function-body and control-flow detectors.
void detect_assert_production(DetectorContext& ctx);  // QN406
void detect_mutable_default_argument(DetectorContext& ctx);  // QN404
void detect_generated_dead_branch(DetectorContext& ctx);  // QN507
void detect_global_mutable_state(DetectorContext& ctx);  // QN409
void detect_unnecessary_else_after_return(DetectorContext& ctx);  // QN303
void detect_identity_passthrough(DetectorContext& ctx);  // QN310
void detect_collapsible_if(DetectorContext& ctx);  // QN302
void detect_duplicate_branch_body(DetectorContext& ctx);  // QN301
void detect_manual_string_join(DetectorContext& ctx);  // QN314
void detect_sort_then_reverse(DetectorContext& ctx);  // QN315
void detect_query_in_loop(DetectorContext& ctx);  // QN412
void detect_extractable_condition(DetectorContext& ctx);  // QN308
void detect_ambiguous_none_return(DetectorContext& ctx);  // QN410
void detect_reject_none(DetectorContext& ctx);  // QN312
void detect_empty_wrapper_function(DetectorContext& ctx);  // QN506

}  // namespace quarn
