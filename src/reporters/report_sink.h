#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quarn {

// Where a report's text goes. Renderers append to `text` and call `flush`
// between findings; with an `emit` callback the text leaves in large pieces
// (so a huge report never sits whole in memory), without one it all stays in
// `text`.
class ReportSink {
 public:
  using Emit = std::function<void(std::string_view)>;

  ReportSink() = default;
  explicit ReportSink(Emit emit) : emit_(std::move(emit)) {}

  std::string text;

  void flush() {
    if (emit_ && text.size() >= kChunk) finish();
  }
  void finish() {
    if (!emit_) return;
    emit_(text);
    text.clear();
  }

 private:
  static constexpr std::size_t kChunk = 1 << 20;
  Emit emit_;
};

}  // namespace quarn
