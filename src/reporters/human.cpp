#include "reporters/human.h"

#include <iterator>

#include "base/text.h"

namespace quarn {

void HumanReport::head(std::string& out) const {
  if (findings_.empty()) out += "No issues found.\n";
}

void HumanReport::pieces(std::string& out, std::size_t first, std::size_t last) const {
  auto sink = std::back_inserter(out);
  // Consecutive findings usually share their file: its text is made once.
  const SharedText* shown_for = nullptr;
  std::string shown;
  // Paths and messages come from the checked tree: escaped for the terminal.
  findings_.for_each(first, last, [&](const Finding& finding) {
    if (shown_for == nullptr || *shown_for != finding.file) {
      shown = terminal_text(finding.file);
      shown_for = &finding.file;
    }
    fmt::format_to(sink, "[{}] ", finding.severity);
    append_terminal_text(out, finding.id);  // an external checker's code is in it
    fmt::format_to(sink, " {}:{}:{} \u2014 ", shown, finding.line, finding.column);
    append_terminal_text(out, finding.message);
    out += '\n';
    if (finding.explanation) {
      out += "  explanation: ";
      append_terminal_text(out, *finding.explanation);
      out += '\n';
    }
    if (finding.remediation) {
      out += "  remediation: ";
      append_terminal_text(out, *finding.remediation);
      out += '\n';
    }
  });
}

std::string render_human(const FindingsView& findings) { return HumanReport(findings).render(); }

}  // namespace quarn
