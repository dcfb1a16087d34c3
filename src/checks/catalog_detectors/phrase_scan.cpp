#include "checks/catalog_detectors/phrase_scan.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "checks/catalog_detectors/text.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace quarn {

namespace {

constexpr std::uint32_t kNone = UINT32_MAX;

// Eight bytes, the first in the lowest bits, with case folded loosely:
// setting bit 5 maps 'A'-'Z' onto 'a'-'z' (and some other bytes onto others).
std::uint64_t loose_word(const unsigned char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = std::byteswap(word);
  return word | 0x2020202020202020u;
}

bool equals_folded(const unsigned char* text, std::string_view folded) {
  for (std::size_t k = 0; k < folded.size(); ++k) {
    if (ascii_upper(static_cast<char>(text[k])) != folded[k]) return false;
  }
  return true;
}

// Turns the phrase occurrences, met in text order, into per-line matches.
class LineMatches {
 public:
  LineMatches(std::string_view text, std::span<const std::uint32_t> line_starts,
              std::span<const PhraseScope> scopes)
      : text_(text), line_starts_(line_starts), scopes_(scopes), pending_(scopes.size()) {}

  void add(std::uint32_t list, std::uint32_t phrase, std::size_t at) {
    if (line_ < line_starts_.size() && line_starts_[line_] <= at) {
      flush();
      while (line_ < line_starts_.size() && line_starts_[line_] <= at) ++line_;
    }
    if (scopes_[list] == PhraseScope::Comments && !in_comment(at)) return;
    Pending& slot = pending_[list];
    if (phrase < slot.phrase) slot = {phrase, static_cast<std::uint32_t>(at)};
  }

  std::vector<PhraseMatch> finish() {
    flush();
    return std::move(matches_);
  }

 private:
  struct Pending {
    std::uint32_t phrase = kNone;
    std::uint32_t at = 0;
  };

  std::size_t line_start() const { return line_starts_[line_ - 1]; }

  // Whether `at` lies at or after the first "#" of the current line.
  bool in_comment(std::size_t at) {
    if (hash_line_ != line_) {
      hash_line_ = line_;
      const std::size_t end = line_ < line_starts_.size() ? line_starts_[line_] : text_.size();
      const void* hash = std::memchr(text_.data() + line_start(), '#', end - line_start());
      hash_ = hash == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(hash) - text_.data());
    }
    return hash_ <= at;
  }

  void flush() {
    for (std::uint32_t list = 0; list < pending_.size(); ++list) {
      Pending& slot = pending_[list];
      if (slot.phrase == kNone) continue;
      const std::size_t at = scopes_[list] == PhraseScope::Comments ? hash_ : slot.at;
      matches_.push_back({list, slot.phrase, line_, at - line_start() + 1});
      slot = {};
    }
  }

  std::string_view text_;
  std::span<const std::uint32_t> line_starts_;
  std::span<const PhraseScope> scopes_;
  std::vector<Pending> pending_;
  std::vector<PhraseMatch> matches_;
  std::size_t line_ = 1;  // 1-based: line_starts_[line_ - 1] <= offsets seen so far
  std::size_t hash_line_ = 0;
  std::size_t hash_ = kNone;
};

}  // namespace

PhraseScanner::PhraseScanner(std::span<const PhraseList> lists) {
  for (std::uint32_t list = 0; list < lists.size(); ++list) {
    scopes_.push_back(lists[list].scope);
    for (std::uint32_t phrase = 0; phrase < lists[list].phrases.size(); ++phrase) {
      const std::string_view text = lists[list].phrases[phrase];
      std::string folded(text);
      for (char& c : folded) c = ascii_upper(c);
      unsigned char prefix[8] = {};
      std::memcpy(prefix, folded.data(), kWindow);
      const std::uint32_t slot = slot_of(static_cast<std::uint32_t>(loose_word(prefix)));
      entries_.push_back({std::move(folded), list, phrase, slot});
    }
  }
  std::ranges::stable_sort(entries_, {}, &Entry::slot);
  for (const Entry& entry : entries_) ++slot_first_[entry.slot + 1];
  for (std::size_t s = 1; s < slot_first_.size(); ++s) slot_first_[s] += slot_first_[s - 1];
  for (std::size_t s = 0; s < slot_used_.size(); ++s) slot_used_[s] = slot_first_[s] != slot_first_[s + 1];

  // Neighbouring starts share a bucket, so that a bucket allows few others.
  std::vector<std::string_view> starts;
  for (const Entry& entry : entries_) starts.push_back(std::string_view(entry.folded).substr(0, kWindow));
  std::ranges::sort(starts);
  const auto [first, last] = std::ranges::unique(starts);
  starts.erase(first, last);
  constexpr unsigned kBuckets = 8;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    allow_in_bucket(starts[i], static_cast<unsigned>(i * kBuckets / starts.size()));
  }
}

void PhraseScanner::allow_in_bucket(std::string_view start, unsigned bucket) {
  for (std::size_t k = 0; k < kWindow; ++k) {
    const auto upper = static_cast<unsigned char>(start[k]);
    const bool letter = upper >= 'A' && upper <= 'Z';
    for (const unsigned char byte : {upper, static_cast<unsigned char>(letter ? upper + 0x20 : upper)}) {
      low_half_buckets_[k][byte & 0x0F] |= static_cast<std::uint8_t>(1u << bucket);
      high_half_buckets_[k][byte >> 4] |= static_cast<std::uint8_t>(1u << bucket);
    }
  }
}

#if defined(__x86_64__)

template <class Candidate>
__attribute__((target("avx2"))) std::size_t PhraseScanner::filter_wide(const unsigned char* bytes, std::size_t size,
                                                                         Candidate&& candidate) const {
  static_assert(kWindow == 4);
  __m256i low_tables[kWindow];
  __m256i high_tables[kWindow];
  for (std::size_t k = 0; k < kWindow; ++k) {
    const auto* low = reinterpret_cast<const __m128i*>(low_half_buckets_[k].data());
    const auto* high = reinterpret_cast<const __m128i*>(high_half_buckets_[k].data());
    low_tables[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(low));
    high_tables[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(high));
  }
  const __m256i low_half = _mm256_set1_epi8(0x0F);
  std::size_t at = 0;
  // A step reads 32 + 3 bytes, and a candidate's window is read as a word.
  for (; at + 32 + 7 <= size; at += 32) {
    __m256i buckets = _mm256_set1_epi8(-1);
    for (std::size_t k = 0; k < kWindow; ++k) {
      const __m256i data = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + k));
      const __m256i low = _mm256_shuffle_epi8(low_tables[k], _mm256_and_si256(data, low_half));
      const __m256i high = _mm256_shuffle_epi8(high_tables[k], _mm256_and_si256(_mm256_srli_epi16(data, 4), low_half));
      buckets = _mm256_and_si256(buckets, _mm256_and_si256(low, high));
    }
    auto passed = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(buckets, _mm256_setzero_si256())));
    for (; passed != 0; passed &= passed - 1) candidate(at + static_cast<std::size_t>(std::countr_zero(passed)));
  }
  return at;
}

#endif

std::uint32_t PhraseScanner::slot_of(std::uint32_t window) { return (window * 0x9E3779B1u) >> (32 - kSlotBits); }

std::vector<PhraseMatch> PhraseScanner::scan(std::string_view text, std::span<const std::uint32_t> line_starts) const {
  LineMatches matches(text, line_starts, scopes_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  const auto visit = [&](std::uint32_t window, std::size_t at) {
    const std::uint32_t slot = slot_of(window);
    for (std::uint32_t e = slot_first_[slot]; e < slot_first_[slot + 1]; ++e) {
      const Entry& entry = entries_[e];
      if (entry.folded.size() <= size - at && equals_folded(bytes + at, entry.folded)) {
        matches.add(entry.list, entry.phrase, at);
      }
    }
  };
  std::size_t at = 0;
#if defined(__x86_64__)
  if (__builtin_cpu_supports("avx2")) {
    at = filter_wide(bytes, size, [&](std::size_t offset) {
      visit(static_cast<std::uint32_t>(loose_word(bytes + offset)), offset);
    });
  }
#endif
  // Eight windows per step from two overlapping words; most steps find no
  // slot in use and branch once.
  for (; at + 12 <= size; at += 8) {
    const std::uint64_t low = loose_word(bytes + at);
    const std::uint64_t high = loose_word(bytes + at + 4);
    const auto window = [&](int k) {
      return static_cast<std::uint32_t>(k < 4 ? low >> (8 * k) : high >> (8 * (k - 4)));
    };
    bool any = false;
    for (int k = 0; k < 8; ++k) any |= slot_used_[slot_of(window(k))];
    if (!any) continue;
    for (int k = 0; k < 8; ++k) visit(window(k), at + k);
  }
  // The last windows reach past the end: read them from a zero-padded copy
  // (at most 11 bytes, each read as the first of a word).
  unsigned char tail[11 + 8] = {};
  if (at < size) std::memcpy(tail, bytes + at, size - at);
  for (std::size_t k = 0; at + k < size; ++k) visit(static_cast<std::uint32_t>(loose_word(tail + k)), at + k);
  return matches.finish();
}

}  // namespace quarn
