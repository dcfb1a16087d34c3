#include "run/print_report.h"

#include <algorithm>
#include <atomic>
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

// What rendering one finding may take besides its text: the escaped forms of
// a path and of the catalog's texts, formatting.
constexpr std::size_t kRoomOnTheSide = std::size_t{1} << 20;

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
  std::size_t largest = 0;
  findings.for_each([&](const Finding& finding) { largest = std::max(largest, Report::text_bound(finding)); });
  auto room = std::make_unique_for_overwrite<char[]>(2 * largest + kRoomOnTheSide);

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
    for (; written && next < findings.size(); ++next) {
      std::string text;
      (*report)->pieces(text, next, next + 1);
      written = write_stdout(text);
    }
  }
  if (!written) return written;
  return write_stdout(tail);
}

}  // namespace quarn
