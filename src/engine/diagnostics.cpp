// The run's diagnostics: one report per kind of warning, counts of the repeats at the end.
#include "engine/diagnostics.h"

namespace pairtrack::detail {

void StreamDiagnosticSink::diagnostic(DiagnosticLevel level, const std::string& text) {
  err_ << (level == DiagnosticLevel::warning ? "pairtrack: warning: "
           : level == DiagnosticLevel::error ? "pairtrack: error: "
                                             : "pairtrack: ")
       << text << '\n';
  err_.flush();
}

void Diagnostics::emit(DiagnosticLevel level, const std::string& text) {
  if (sink_ != nullptr) sink_->diagnostic(level, text);
}

bool Diagnostics::warn(const std::string& kind, const std::string& text) {
  return warn_counted(kind, text, std::string());
}

bool Diagnostics::warn_counted(const std::string& kind, const std::string& text,
                               const std::string& summary) {
  ++warnings_;
  Counted& c = seen_[kind];
  if (c.count++ > 0) return false;
  c.summary = summary;
  order_.push_back(kind);
  if (policy_.strict) {
    emit(DiagnosticLevel::error, text + " (--strict)");
    return true;
  }
  if (!policy_.quiet) emit(DiagnosticLevel::warning, text);
  return false;
}

void Diagnostics::error(const std::string& text) {
  ++errors_;
  emit(DiagnosticLevel::error, text);
}

void Diagnostics::notice(const std::string& text) { emit(DiagnosticLevel::notice, text); }

void Diagnostics::finish(const std::string& scope) {
  if (finished_) return;
  finished_ = true;
  if (policy_.quiet || policy_.strict) return;
  for (const std::string& kind : order_) {
    const Counted& c = seen_[kind];
    if (c.count > 1 && !c.summary.empty()) {
      emit(DiagnosticLevel::warning, c.summary + ": " + std::to_string(c.count) + " " + scope +
                                         " (the first is reported above)");
    }
  }
}

}  // namespace pairtrack::detail
