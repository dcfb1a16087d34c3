#pragma once

// Finds the phrases of several lists in one pass over a text, ignoring the
// case of ASCII letters.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checks/source_model.h"

namespace quarn {

// Where a list's phrases count: anywhere on a line, or only in the line's
// comment (from its first "#" to its end), which is then where they are
// reported.
enum class PhraseScope : std::uint8_t { Lines, Comments };

struct PhraseList {
  std::span<const std::string_view> phrases;  // each of four bytes or more, none holding a line break
  PhraseScope scope;
};

class PhraseScanner {
 public:
  explicit PhraseScanner(std::span<const PhraseList> lists);

  // Whether the scanner takes every phrase of a list: a window's bytes or
  // more, none holding a line break. Phrase tables assert it at compile time.
  static constexpr bool accepts(std::span<const std::string_view> phrases) {
    for (std::string_view phrase : phrases)
      if (phrase.size() < kWindow || phrase.contains('\n')) return false;
    return true;
  }

  // At most one match per list and line, in line order: the first phrase of
  // the list (in list order) found on the line or in its comment, at that
  // phrase's first occurrence on the line or at the comment. `line_starts`
  // are the text's line starts: 0, then the offset after each "\n".
  std::vector<PhraseMatch> scan(std::string_view text, std::span<const std::uint32_t> line_starts) const;

 private:
  struct Entry {
    std::string folded;  // upper-cased
    std::uint32_t list;
    std::uint32_t phrase;
    std::uint32_t slot;
  };
  static constexpr int kSlotBits = 12;

  // Candidates are found by their first four bytes, loosely case-folded (some
  // other bytes fold together too, so candidates are verified), the first
  // byte in the lowest bits of a window.
  static constexpr std::size_t kWindow = 4;
  static std::uint32_t slot_of(std::uint32_t window);

  // Where the processor has the instructions, a first filter tests 32
  // positions at once: each distinct four-byte start is put in one of eight
  // buckets, and a byte may stand at place k of a start only if its low and
  // its high half both allow the start's bucket there (either letter case).
  // The offset where the filter stopped, having called `candidate(offset)`
  // for every earlier offset that passed it, in order.
  template <class Candidate>
  std::size_t filter_wide(const unsigned char* bytes, std::size_t size, Candidate&& candidate) const;
  void allow_in_bucket(std::string_view start, unsigned bucket);

  std::vector<PhraseScope> scopes_;
  std::vector<Entry> entries_;  // ordered by slot
  std::array<std::uint16_t, (1 << kSlotBits) + 1> slot_first_{};  // entries of slot s: [first[s], first[s + 1])
  std::array<bool, 1 << kSlotBits> slot_used_{};
  // Per place k of a start and per value of a byte's low (high) half, the
  // buckets allowed.
  std::array<std::array<std::uint8_t, 16>, kWindow> low_half_buckets_{};
  std::array<std::array<std::uint8_t, 16>, kWindow> high_half_buckets_{};
};

}  // namespace quarn
