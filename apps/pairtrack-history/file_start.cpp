// The check that dump and info make before any frame: the file can be opened and read, and its
// first bytes may start a history file.
#include <ostream>

#include "commands.h"
#include "pairtrack/history.h"

namespace pairtrack::history_tool {

bool history_start_usable(const std::string& path, std::ostream* out, std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  HistoryStart start;
  std::string why;
  if (!check_history_start(path, start, why)) {
    err << prefix << "cannot open " << path << ": " << why << '\n';
    return false;
  }
  if (!start.read_error.empty()) {
    err << prefix << "cannot read " << path << ": " << start.read_error << '\n';
    return false;
  }
  if (!start.not_history.empty()) {
    if (out != nullptr) {
      *out << "file: " << path << '\n';
      *out << "not a history file: " << start.not_history << '\n';
    }
    err << prefix << path << ": not a history file: " << start.not_history << '\n';
    return false;
  }
  return true;
}

}  // namespace pairtrack::history_tool
