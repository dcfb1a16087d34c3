#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "checks/catalog_detectors/detectors.h"
#include "checks/catalog_detectors/shared_phrases.h"
#include "checks/catalog_detectors/text.h"

namespace quarn {
namespace {

// Comments that open like one of these statements read as disabled code.
constexpr std::array<std::string_view, 5> kCodeOpenings = {"def ", "class ", "return ", "import ", "raise "};

bool looks_like_code(std::string_view comment) {
  const auto hashes = comment.find_first_not_of('#');
  const std::string_view rest = trim_white_space(hashes == std::string_view::npos ? "" : comment.substr(hashes));
  return std::any_of(kCodeOpenings.begin(), kCodeOpenings.end(),
                     [&](std::string_view opening) { return starts_with_ignoring_ascii_case(rest, opening); });
}

// One finding per comment that holds any of `markers`, at the comment.
void report_marked_comments(DetectorContext& ctx, std::string_view message, std::span<const std::string_view> markers) {
  for (const PhraseMatch& match : phrase_matches(ctx, {markers, PhraseScope::Comments})) {
    ctx.report_at(std::string(message), match.line, match.column);
  }
}

}  // namespace

void detect_commented_out_code(DetectorContext& ctx) {
  for (const Comment& comment : ctx.model.index.comments()) {
    if (looks_like_code(comment.text)) {
      ctx.report_at("comment appears to contain commented-out executable code", comment.line, comment.column);
    }
  }
}

void detect_placeholder_generated_code(DetectorContext& ctx) {
  report_marked_comments(ctx, "AI placeholder marker found in comment", kPlaceholderMarkers);
}

void detect_generated_comment_pattern(DetectorContext& ctx) {
  report_marked_comments(ctx, "generated-code marker in comment", kGeneratedMarkers);
}

}  // namespace quarn
