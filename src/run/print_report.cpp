#include "run/print_report.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/output.h"
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
  // The whole text is made before its first byte is written, so that running
  // out of memory on the way leaves standard output untouched.
  const std::size_t pieces = piece_count(findings);
  std::vector<std::string> texts(pieces + 2);
  (*report)->head(texts.front());
  run_in_order(
      pieces, workers_for(pieces, workers), pieces,
      [&](std::size_t piece, Producer) {
        std::string text;
        text.reserve(kPieceCapacity);
        const std::size_t first = piece * kFindingsPerPiece;
        (*report)->pieces(text, first, std::min(findings.size(), first + kFindingsPerPiece));
        return text;
      },
      [&](std::size_t piece, std::string& text) { texts[piece + 1] = std::move(text); });
  (*report)->tail(texts.back());
  texts.back() += '\n';
  for (const std::string& text : texts)
    if (auto written = write_stdout(text); !written) return written;
  return {};
}

}  // namespace quarn
