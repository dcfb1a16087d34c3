#include "checks/catalog_detectors/shared_phrases.h"

#include <algorithm>
#include <cstdint>

#include "checks/catalog.h"

namespace quarn {

namespace {

const PhraseScanner& shared_phrase_scanner() {
  static const PhraseScanner scanner(shared_phrase_lists());
  return scanner;
}

}  // namespace

std::span<const PhraseList> shared_phrase_lists() {
  static const std::vector<PhraseList> lists = [] {
    const std::span<const PhraseList> catalog = catalog_phrase_lists();
    std::vector<PhraseList> all(catalog.begin(), catalog.end());
    all.push_back({kPlaceholderMarkers, PhraseScope::Comments});
    all.push_back({kGeneratedMarkers, PhraseScope::Comments});
    all.push_back({kTodoForms, PhraseScope::Comments});
    all.push_back({kParamDocs, PhraseScope::Lines});
    return all;
  }();
  return lists;
}

std::vector<PhraseMatch> phrase_matches(const DetectorContext& ctx, PhraseList list) {
  const SourceIndex& index = ctx.model.index;
  const std::string_view text = ctx.model.module.source;
  const std::span<const PhraseList> lists = shared_phrase_lists();
  const auto shared = std::ranges::find_if(lists, [&](const PhraseList& candidate) {
    return candidate.scope == list.scope && candidate.phrases.data() == list.phrases.data() &&
           candidate.phrases.size() == list.phrases.size();
  });
  if (shared == lists.end()) return PhraseScanner(std::span(&list, 1)).scan(text, index.line_starts());
  auto& cached = ctx.model.phrase_matches;
  if (!cached) cached = shared_phrase_scanner().scan(text, index.line_starts());
  const auto number = static_cast<std::uint32_t>(shared - lists.begin());
  std::vector<PhraseMatch> matches;
  for (const PhraseMatch& match : *cached) {
    if (match.list == number) matches.push_back(match);
  }
  return matches;
}

}  // namespace quarn
