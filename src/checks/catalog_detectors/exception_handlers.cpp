#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>

#include <fmt/format.h>

#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/walkers.h"

namespace quarn {
namespace {

using namespace py;

// Messages too vague to tell one failure from another.
constexpr std::array<std::string_view, 4> kGenericMessages = {
    "error",
    "failed",
    "something went wrong",
    "an error occurred",
};

bool is_name(const Expr* expr, std::string_view id) {
  const auto* name = dyn<Name>(expr);
  return name != nullptr && name->id == id;
}

bool is_pass(const Stmt* stmt) { return dyn<Pass>(stmt) != nullptr; }

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_ascii_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

// Calls `judge` on every handler of every try and try* statement at any depth.
template <class Judge>
void for_each_handler(DetectorContext& ctx, Judge&& judge) {
  for_each_reached<AnyTry>(ctx.model, [&](const AnyTry& attempt) {
    for (const ExceptHandler& handler : attempt.handlers) judge(handler);
  });
}

bool only_passes(const ExceptHandler& handler) {
  return !handler.body.empty() && std::all_of(handler.body.begin(), handler.body.end(), is_pass);
}

std::string_view pass_only_message(const ExceptHandler& handler) {
  if (handler.type == nullptr) return "bare except handler only contains pass";
  if (is_name(handler.type, "BaseException") || is_name(handler.type, "Exception")) {
    return "broad except handler only contains pass";
  }
  return "except handler only contains pass";
}

bool returns_none(const Stmt* stmt) {
  const auto* ret = dyn<Return>(stmt);
  if (ret == nullptr) return false;
  const auto* value = dyn<Constant>(ret->value);
  return ret->value == nullptr || (value != nullptr && value->value_kind == ConstantKind::None);
}

bool falls_back_to_none(const ExceptHandler& handler) {
  const auto last = std::find_if_not(handler.body.rbegin(), handler.body.rend(), is_pass);
  return last != handler.body.rend() && returns_none(*last);
}

// The message of `raise Exception("...")` when it is one of the generic ones.
const Constant* generic_exception_message(const Raise& raise) {
  const auto* call = dyn<Call>(raise.exc);
  if (call == nullptr || !is_name(call->func, "Exception") || call->args.empty()) return nullptr;
  const auto* message = dyn<Constant>(call->args.front());
  if (message == nullptr || message->value_kind != ConstantKind::Str) return nullptr;
  const bool generic = std::any_of(kGenericMessages.begin(), kGenericMessages.end(),
                                   [&](std::string_view g) { return equals_ignoring_ascii_case(message->text, g); });
  return generic ? message : nullptr;
}

// Try statements of a function body, counted through plain loops, ifs and
// withs only; async blocks, try*, match and nested definitions add nothing.
std::uint64_t count_try_statements(std::span<Stmt* const> stmts) {
  std::uint64_t count = 0;
  for (const Stmt* stmt : stmts) {
    if (stmt == nullptr) continue;
    switch (stmt->kind) {
      case StmtKind::Try: {
        const auto& attempt = stmt->as<Try>();
        count += 1 + count_try_statements(attempt.body);
        for (const ExceptHandler& handler : attempt.handlers) count += count_try_statements(handler.body);
        count += count_try_statements(attempt.orelse) + count_try_statements(attempt.finalbody);
        break;
      }
      case StmtKind::For:
        count += count_try_statements(stmt->as<For>().body);
        break;
      case StmtKind::While:
        count += count_try_statements(stmt->as<While>().body);
        break;
      case StmtKind::If:
        count += count_try_statements(stmt->as<If>().body) + count_try_statements(stmt->as<If>().orelse);
        break;
      case StmtKind::With:
        count += count_try_statements(stmt->as<With>().body);
        break;
      default:
        break;
    }
  }
  return count;
}

// Handlers whose body is only `pass`: the bare ones, or the typed ones.
void report_pass_only_handlers(DetectorContext& ctx, bool bare) {
  for_each_handler(ctx, [&](const ExceptHandler& handler) {
    if ((handler.type == nullptr) == bare && only_passes(handler)) {
      ctx.report_at_offset(std::string(pass_only_message(handler)), handler.start);
    }
  });
}

}  // namespace

void detect_broad_except(DetectorContext& ctx) {
  for_each_handler(ctx, [&](const ExceptHandler& handler) {
    if (is_name(handler.type, "BaseException")) {
      ctx.report_at_offset("except BaseException catches system-exiting exceptions", handler.start);
    }
  });
}

void detect_bare_except(DetectorContext& ctx) {
  for_each_handler(ctx, [&](const ExceptHandler& handler) {
    if (handler.type == nullptr) ctx.report_at_offset("bare except handler swallows all exceptions", handler.start);
  });
}

void detect_empty_except(DetectorContext& ctx) { report_pass_only_handlers(ctx, true); }

void detect_silent_exception_swallowing(DetectorContext& ctx) { report_pass_only_handlers(ctx, false); }

void detect_blanket_except(DetectorContext& ctx) {
  for_each_handler(ctx, [&](const ExceptHandler& handler) {
    if (is_name(handler.type, "Exception")) {
      ctx.report_at_offset("except Exception catches nearly all errors; prefer specific exceptions", handler.start);
    }
  });
}

void detect_silent_fallback(DetectorContext& ctx) {
  for_each_handler(ctx, [&](const ExceptHandler& handler) {
    if (falls_back_to_none(handler)) {
      ctx.report_at_offset("except handler returns None without logging or re-raising", handler.start);
    }
  });
}

void detect_generic_exception_message(DetectorContext& ctx) {
  for_each_reached<Raise>(ctx.model, [&](const Raise& raise) {
    if (const Constant* message = generic_exception_message(raise)) {
      ctx.report_at_offset(fmt::format("generic exception message `{}`", message->text), raise.start);
    }
  });
}

void detect_repeated_try_except(DetectorContext& ctx) {
  // A function's count never exceeds the file's.
  if (count_reached<Try>(ctx.model) < 2) return;
  for_each_reached<AnyFunctionDef>(ctx.model, [&](const AnyFunctionDef& def) {
    const std::uint64_t count = count_try_statements(def.body);
    if (count > 1) {
      ctx.report_at_offset(fmt::format("function contains {} try/except blocks; consider consolidating", count),
                           def.start);
    }
  });
}

}  // namespace quarn
