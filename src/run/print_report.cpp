#include "run/print_report.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/streams.h"
#include "reporters/human.h"
#include "reporters/json.h"
#include "reporters/sarif.h"
#include "run/workers.h"

namespace quarn {

namespace {

// Findings per piece of the report that one worker renders at a time, and
// the 1.5 MiB of text reserved for one piece at once.
constexpr std::size_t kFindingsPerPiece = 2048;
constexpr std::size_t kPieceCapacity = 3 << 19;

// What finishing one finding alone takes besides its piece and the copy of
// its path: formatting, the catalog's texts escaped, and the copy that makes
// a path valid UTF-8 before it is escaped (such a path was opened, so it is
// short; the other texts are UTF-8 already).
constexpr std::size_t kRoomOnTheSide = std::size_t{1} << 20;

// The most findings rendered to learn the largest piece; past them their
// bounds stand in.
constexpr std::size_t kMeasuredAtMost = 16;

std::size_t piece_count(const FindingsView& findings) {
  return (findings.size() + kFindingsPerPiece - 1) / kFindingsPerPiece;
}

unsigned workers_for(std::size_t pieces, unsigned workers) {
  return static_cast<unsigned>(std::min<std::size_t>(workers, pieces));
}

// The JSON report's refusal of paths that are not UTF-8, checked piece by
// piece on the workers: a pass over every finding costs one thread more than
// the rendering does.
Result<void> check_json_paths_in_pieces(const FindingsView& findings, unsigned workers) {
  const std::size_t pieces = piece_count(findings);
  Result<void> checked;
  run_in_order(
      pieces, workers_for(pieces, workers), pieces,
      [&](std::size_t piece, Producer) {
        const std::size_t first = piece * kFindingsPerPiece;
        return check_json_paths(findings, first, first + kFindingsPerPiece);
      },
      [&](std::size_t, Result<void>& piece) {
        if (checked && !piece) checked = std::move(piece);
      });
  return checked;
}

Result<std::unique_ptr<Report>> make_report(OutputFormat format, const FindingsView& findings, unsigned workers) {
  switch (format) {
    case OutputFormat::Json:
      if (auto valid = check_json_paths_in_pieces(findings, workers); !valid) return fail(std::move(valid.error()));
      return std::make_unique<JsonReport>(findings);
    case OutputFormat::Sarif:
      return std::make_unique<SarifReport>(findings);
    case OutputFormat::Human:
      break;
  }
  return std::make_unique<HumanReport>(findings);
}

// The size of the largest piece of one finding alone, and of the longest
// path. A piece is no larger than its bound, so only findings bound above
// kRoomOnTheSide are rendered, the largest bound first, until a bound is no
// larger than a piece found.
std::size_t largest_piece(const Report& report, const FindingsView& findings, std::size_t& longest_path) {
  struct Candidate {
    std::size_t bound, index, text;
  };
  std::vector<Candidate> candidates;
  std::size_t largest = 0;
  std::size_t index = 0;
  findings.for_each([&](const Finding& finding) {
    const std::size_t bound = Report::text_bound(finding);
    if (bound > kRoomOnTheSide) {
      candidates.push_back({bound, index, Report::text_size(finding)});
    } else {
      largest = std::max(largest, bound);
    }
    longest_path = std::max(longest_path, finding.file.size());
    ++index;
  });
  const std::size_t sorted = std::min(candidates.size(), kMeasuredAtMost + 1);
  std::ranges::partial_sort(candidates, candidates.begin() + sorted, std::greater{}, &Candidate::bound);
  std::string piece;
  for (std::size_t k = 0; k < sorted && candidates[k].bound > largest; ++k) {
    if (k == kMeasuredAtMost) return candidates[k].bound;
    // Room for the texts unescaped and the layout: plain text never grows it.
    piece.reserve(candidates[k].text + Report::kLayout);
    piece.clear();
    report.pieces(piece, candidates[k].index, candidates[k].index + 1);
    largest = std::max(largest, piece.size());
  }
  return largest;
}

}  // namespace

Result<void> print_report(OutputFormat format, const FindingsView& findings, unsigned workers) {
  auto report = make_report(format, findings, workers);
  if (!report) return fail(std::move(report.error()));
  // Taken before the first byte: the head and the tail, and room enough to
  // finish the findings one at a time should memory run out on the way, so
  // that a report begun is a report finished.
  std::string head, tail;
  (*report)->head(head);
  (*report)->tail(tail);
  tail += '\n';
  // Finishing the rest one finding at a time takes one string of the largest
  // piece, reserved once, and beside it a reporter's copy of the path escaped
  // (six bytes a byte at most, and part of the piece too), which may hold
  // thrice its text while it grows.
  std::size_t longest_path = 0;
  const std::size_t largest = largest_piece(**report, findings, longest_path);
  const std::size_t path_copy = std::min(largest, Report::kEscaped * longest_path + 2);
  auto room = std::make_unique_for_overwrite<char[]>(largest + 3 * path_copy + kRoomOnTheSide);

  Result<void> written = write_stdout(head);
  std::atomic<bool> failed = !written;
  std::size_t next = 0;  // the first finding not written yet
  const std::size_t pieces = piece_count(findings);
  try {
    run_in_order(
        pieces, workers_for(pieces, workers), 2 * std::size_t{workers},
        [&](std::size_t piece, Producer) {
          std::string text;
          if (failed) return text;
          text.reserve(kPieceCapacity);
          const std::size_t first = piece * kFindingsPerPiece;
          (*report)->pieces(text, first, std::min(findings.size(), first + kFindingsPerPiece));
          return text;
        },
        [&](std::size_t piece, std::string& text) {
          if (!written) return;
          written = write_stdout(text);
          failed = !written;
          next = std::min(findings.size(), (piece + 1) * kFindingsPerPiece);
        });
  } catch (const std::bad_alloc&) {
    room.reset();
    std::string text;
    text.reserve(largest);  // no finding's piece makes it grow
    for (; written && next < findings.size(); ++next) {
      text.clear();
      (*report)->pieces(text, next, next + 1);
      written = write_stdout(text);
    }
  }
  if (!written) return written;
  return write_stdout(tail);
}

}  // namespace quarn
