// The command line of pairtrack-history: the command, its options (each as "--name value" or
// "--name=value") and its file arguments; usage and version on standard output.
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"

#ifndef PAIRTRACK_VERSION
#define PAIRTRACK_VERSION "unknown"
#endif

namespace pairtrack::history_tool {

namespace {

constexpr std::string_view kUsage =
    "Usage: pairtrack-history dump [--format N] [--frames A:B] [--ids LIST | --positions A:B] "
    "FILE\n"
    "       pairtrack-history convert --format N TEXT OUTPUT\n"
    "       pairtrack-history info [--format N] FILE\n"
    "       pairtrack-history --help | --version\n"
    "\n"
    "Inspects and writes pairtrack history files (binary records framed by 4-byte length\n"
    "markers; format 0 = 16-bit scaled, 1 = float32, 2 = float64).\n"
    "\n"
    "  dump     prints the file as text: 'frame <time> <nrec1> <nrec2>' per header and\n"
    "           'body <id> <a> <e> <inc> <angle5> <angle6> <angle7>' per body record\n"
    "           (AU, radians), reals with 17 significant digits.\n"
    "           --frames A:B   frames A to B (1-based; also A, A: and :B)\n"
    "           --ids LIST     only the bodies with these identifiers (e.g. 1,7,9)\n"
    "           --positions A:B  only the bodies at these positions within a frame\n"
    "           The header counts of a selection are those of the bodies shown.\n"
    "  convert  writes OUTPUT in format N from that text (TEXT '-' reads standard input);\n"
    "           exact for formats 1 and 2 (format 1 rounds values that float32 cannot hold);\n"
    "           format 0 quantises every value to its grid and says so.\n"
    "  info     frames, time span, bodies per frame, how the file ends, and its encoding.\n"
    "\n"
    "Without --format, dump and info tell the encoding from the record lengths (header\n"
    "payload 10, 8 or 12 bytes, body payload 14, 26 or 50 bytes).\n"
    "Exit status 0 on success, 1 on bad input; messages go to standard error.\n";

struct Args {
  std::string command;
  std::vector<std::string> files;
  std::optional<std::string> format, frames, ids, positions;
};

std::optional<HistoryEncoding> parse_format(const std::string& text) {
  if (text == "0") return HistoryEncoding::i2;
  if (text == "1") return HistoryEncoding::f4;
  if (text == "2") return HistoryEncoding::f8;
  return std::nullopt;
}

}  // namespace

int history_tool_main(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                      std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  const std::string see_help = " (see pairtrack-history --help)";
  std::vector<std::string> words(argv + std::min(argc, 1), argv + argc);
  for (const std::string& w : words) {
    if (w == "--help" || w == "-h") {
      out << kUsage;
      return 0;
    }
  }
  if (words.size() == 1 && words[0] == "--version") {
    out << "pairtrack-history " PAIRTRACK_VERSION "\n";
    return 0;
  }
  if (words.empty()) {
    err << prefix << "no command given: dump, convert or info" << see_help << '\n';
    return 1;
  }

  Args a;
  a.command = words[0];
  if (a.command != "dump" && a.command != "convert" && a.command != "info") {
    err << prefix << "unknown command '" << a.command << "': dump, convert or info" << see_help
        << '\n';
    return 1;
  }
  for (std::size_t i = 1; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w.size() < 2 || w.compare(0, 2, "--") != 0) {
      a.files.push_back(w);
      continue;
    }
    const std::size_t eq = w.find('=');
    const std::string name = w.substr(0, eq);
    std::optional<std::string>* slot = name == "--format"      ? &a.format
                                       : name == "--frames"    ? &a.frames
                                       : name == "--ids"       ? &a.ids
                                       : name == "--positions" ? &a.positions
                                                               : nullptr;
    const bool allowed = slot != nullptr && (a.command == "dump" || name == "--format");
    if (!allowed) {
      err << prefix << "unknown option '" << name << "' for " << a.command << see_help << '\n';
      return 1;
    }
    if (eq != std::string::npos) {
      *slot = w.substr(eq + 1);
    } else if (i + 1 < words.size()) {
      *slot = words[++i];
    } else {
      err << prefix << "option " << name << " needs a value" << see_help << '\n';
      return 1;
    }
  }

  std::optional<HistoryEncoding> format;
  if (a.format) {
    format = parse_format(*a.format);
    if (!format) {
      err << prefix << "--format must be 0, 1 or 2, not '" << *a.format << "'\n";
      return 1;
    }
  }
  const std::size_t files_needed = a.command == "convert" ? 2 : 1;
  if (a.files.size() != files_needed) {
    err << prefix << a.command << " takes "
        << (files_needed == 2 ? "a text file and an output file" : "one history file") << ", "
        << a.files.size() << " given" << see_help << '\n';
    return 1;
  }

  if (a.command == "info") return info_history({a.files[0], format}, out, err);
  if (a.command == "convert") {
    if (!format) {
      err << prefix << "convert needs --format 0, 1 or 2" << see_help << '\n';
      return 1;
    }
    return convert_history({a.files[0], a.files[1], *format}, in, err);
  }

  DumpOptions d;
  d.path = a.files[0];
  d.format = format;
  if (a.frames) {
    const std::optional<IndexRange> r = parse_range(*a.frames);
    if (!r) {
      err << prefix << "--frames takes A:B, A, A: or :B with 1 <= A <= B, not '" << *a.frames
          << "'\n";
      return 1;
    }
    d.frames = *r;
  }
  if (a.ids && a.positions) {
    err << prefix << "--ids and --positions exclude each other\n";
    return 1;
  }
  if (a.ids) {
    const auto ids = parse_id_list(*a.ids);
    if (!ids) {
      err << prefix << "--ids takes identifiers separated by commas (e.g. 1,7,9), not '"
          << *a.ids << "'\n";
      return 1;
    }
    d.bodies.kind = BodySelection::Kind::ids;
    d.bodies.ids = *ids;
  }
  if (a.positions) {
    const std::optional<IndexRange> r = parse_range(*a.positions);
    if (!r) {
      err << prefix << "--positions takes A:B, A, A: or :B with 1 <= A <= B, not '"
          << *a.positions << "'\n";
      return 1;
    }
    d.bodies.kind = BodySelection::Kind::positions;
    d.bodies.positions = *r;
  }
  return dump_history(d, out, err);
}

}  // namespace pairtrack::history_tool
