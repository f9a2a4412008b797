// Diagnostics of a run: warnings about input that is probably a mistake, and the reason behind
// an error end. They are events, not prints: the run reports them to a sink that the front end
// provides (standard error for the command line, Python warnings for the module). Standard
// output, the report, never carries them.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace pairtrack::detail {

// A notice is neither a mistake nor a failure: the run tells what it did ("stopped by signal
// 15 after frame 12"); --strict does not act on it, --quiet does not silence it.
enum class DiagnosticLevel { warning, error, notice };

// Receives one diagnostic at a time: a single line of text without prefix or line end.
class DiagnosticSink {
 public:
  virtual ~DiagnosticSink() = default;
  virtual void diagnostic(DiagnosticLevel level, const std::string& text) = 0;
};

// Writes "pairtrack: warning: <text>" and "pairtrack: error: <text>" lines to a stream
// (standard error in the program), flushed line by line.
class StreamDiagnosticSink : public DiagnosticSink {
 public:
  explicit StreamDiagnosticSink(std::ostream& err) : err_(err) {}
  void diagnostic(DiagnosticLevel level, const std::string& text) override;

 private:
  std::ostream& err_;
};

// Keeps every diagnostic in memory, in order (the Python module, the MPI layer and tests).
class CollectingDiagnosticSink : public DiagnosticSink {
 public:
  struct Entry {
    DiagnosticLevel level;
    std::string text;
  };
  void diagnostic(DiagnosticLevel level, const std::string& text) override {
    entries.push_back({level, text});
  }
  std::vector<Entry> entries;
};

// How a run treats its warnings.
struct DiagnosticPolicy {
  bool strict = false;  // the first warning ends the run as an error (exit status 1)
  bool quiet = false;   // warnings are not reported (errors still are)
};

// The run's diagnostics: each kind of warning is reported once, at its first occurrence; a kind
// that occurs again is counted, and finish() reports the count. Errors are always reported.
class Diagnostics {
 public:
  Diagnostics(DiagnosticSink* sink, DiagnosticPolicy policy) : sink_(sink), policy_(policy) {}

  // A warning of kind `kind` (a short key; `text` is what the user reads). Returns true when
  // the run must end now because of --strict (the warning has then been reported as an error).
  bool warn(const std::string& kind, const std::string& text);
  // Like warn(), for a kind that repeats: `summary` names what is counted ("history body
  // records with e outside [0, 1)"), used in the closing count line.
  bool warn_counted(const std::string& kind, const std::string& text, const std::string& summary);

  // The reason behind an error end.
  void error(const std::string& text);
  // A notice (see DiagnosticLevel).
  void notice(const std::string& text);

  // Reports the counts of repeated warnings: "<summary>: <n> <scope> (the first is reported
  // above)". Called once at every end of the run; a reader that checks one file on its own
  // names that file's scope ("in this catalogue").
  void finish(const std::string& scope = "in this run");

  bool strict() const { return policy_.strict; }
  // Number of warnings raised so far, repeats included, and of error reasons reported.
  std::int64_t warnings() const { return warnings_; }
  std::int64_t errors() const { return errors_; }

 private:
  struct Counted {
    std::int64_t count = 0;
    std::string summary;
  };
  void emit(DiagnosticLevel level, const std::string& text);

  DiagnosticSink* sink_;
  DiagnosticPolicy policy_;
  std::map<std::string, Counted> seen_;
  std::vector<std::string> order_;  // kinds in the order of their first occurrence
  std::int64_t warnings_ = 0;
  std::int64_t errors_ = 0;
  bool finished_ = false;
};

}  // namespace pairtrack::detail
