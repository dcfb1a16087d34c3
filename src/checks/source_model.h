#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "config/config.h"
#include "parser/ast.h"
#include "parser/parse.h"
#include "parser/reached_nodes.h"
#include "parser/source_index.h"

namespace quarn {

// A phrase list's match on one line: the list's and the phrase's numbers
// in the scan that found it, and where it is reported.
struct PhraseMatch {
  std::uint32_t list;
  std::uint32_t phrase;
  std::uint64_t line;
  std::uint64_t column;
};

// What a check's `run` receives for one file.
struct SourceModel {
  const std::filesystem::path& path;
  std::string_view source;
  const ParsedModule& module;
  const Config& config;
  SourceIndex index;
  // The path's bytes, shared by every finding of the file.
  SharedText file = SharedText(path.native());

  // The module's top-level statements.
  std::span<py::Stmt* const> statements() const { return module.module.body; }

  // Cache of the shared expression walk over the module body (filled by the
  // walkers).
  mutable std::optional<ReachedExpressions> expression_walk = {};
  // Cache of the one phrase scan of the text (filled by the phrase detectors).
  mutable std::optional<std::vector<PhraseMatch>> phrase_matches = {};
};

}  // namespace quarn
