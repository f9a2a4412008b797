// The command line of pairtrack-history, parsed by CLI11: the command (a subcommand), its options
// (each as "--name value" or "--name=value", the last of a repeated one counts) and its file
// arguments; usage and version on standard output, each refusal as one line on standard error.
#include <CLI/CLI.hpp>

#include <istream>
#include <optional>
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

std::optional<HistoryFormat> parse_format(const std::string& text) {
  if (text == "0") return HistoryFormat::scaled_int16;
  if (text == "1") return HistoryFormat::float32;
  if (text == "2") return HistoryFormat::float64;
  return std::nullopt;
}

// The option values as given (empty optional: not given) and the file arguments.
constexpr const char* kVersionLine = "pairtrack-history " PAIRTRACK_VERSION "\n";

struct Args {
  std::string command;
  std::vector<std::string> files;
  std::optional<std::string> format, frames, ids, positions;
};

}  // namespace

int history_tool_main(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                      std::ostream& err) {
  const std::string prefix = "pairtrack-history: ";
  const std::string see_help = " (see pairtrack-history --help)";

  // The parser knows the three commands and their options; the usage text above stays the one
  // help for all of them, and the refusals keep their own wording (one line, with the command).
  CLI::App app("Inspects and writes pairtrack history files", "pairtrack-history");
  app.set_help_flag();
  app.allow_extras();  // an unknown command is reported below, by name
  // A repeated option keeps its last value.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  bool help = false;
  bool version = false;
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  Args a;
  std::string format_text, frames_text, ids_text, positions_text;
  for (const char* name : {"dump", "convert", "info"}) {
    CLI::App* command = app.add_subcommand(name);
    command->set_help_flag();
    command->allow_extras();  // unknown options are reported below, naming the command
    command->add_flag("-h,--help", help);
    command->add_flag("--version", version);
    command->add_option("--format", format_text);
    if (command->get_name() == "dump") {
      command->add_option("--frames", frames_text);
      command->add_option("--ids", ids_text);
      command->add_option("--positions", positions_text);
    }
    command->add_option("files", a.files);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    // The only options are single values: one given last with nothing after it.
    std::string name = argc > 1 ? argv[argc - 1] : "";
    err << prefix << "option " << name << " needs a value" << see_help << '\n';
    return 1;
  } catch (const CLI::ParseError& e) {
    err << prefix << e.what() << see_help << '\n';
    return 1;
  }
  // --help and --version answer wherever they stand (after a command too), unless an unknown
  // command or option asks for a correction first.
  const std::vector<CLI::App*> chosen = app.get_subcommands();
  if (chosen.empty()) {
    if (!app.remaining().empty()) {
      const std::string word = app.remaining().front();
      if (word.rfind('-', 0) == 0) {
        err << prefix << "unknown option '" << word.substr(0, word.find('='))
            << "': give a command first, dump, convert or info" << see_help << '\n';
      } else {
        err << prefix << "unknown command '" << word << "': dump, convert or info" << see_help
            << '\n';
      }
      return 1;
    }
    if (help || version) return (out << (help ? std::string(kUsage) : kVersionLine), 0);
    err << prefix << "no command given: dump, convert or info" << see_help << '\n';
    return 1;
  }
  CLI::App& command = *chosen.front();
  a.command = command.get_name();
  if (!command.remaining().empty()) {
    const std::string word = command.remaining().front();
    err << prefix << "unknown option '" << word.substr(0, word.find('=')) << "' for " << a.command
        << see_help << '\n';
    return 1;
  }
  if (help || version) return (out << (help ? std::string(kUsage) : kVersionLine), 0);
  const auto given = [&](const char* name, const std::string& value) {
    return command.count(name) > 0 ? std::optional<std::string>(value) : std::nullopt;
  };
  a.format = given("--format", format_text);
  if (a.command == "dump") {
    a.frames = given("--frames", frames_text);
    a.ids = given("--ids", ids_text);
    a.positions = given("--positions", positions_text);
  }

  std::optional<HistoryFormat> format;
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
      err << prefix << "--ids takes identifiers separated by commas (e.g. 1,7,9), not '" << *a.ids
          << "'\n";
      return 1;
    }
    d.bodies.kind = BodySelection::Kind::ids;
    d.bodies.ids = *ids;
  }
  if (a.positions) {
    const std::optional<IndexRange> r = parse_range(*a.positions);
    if (!r) {
      err << prefix << "--positions takes A:B, A, A: or :B with 1 <= A <= B, not '" << *a.positions
          << "'\n";
      return 1;
    }
    d.bodies.kind = BodySelection::Kind::positions;
    d.bodies.positions = *r;
  }
  return dump_history(d, out, err);
}

}  // namespace pairtrack::history_tool
