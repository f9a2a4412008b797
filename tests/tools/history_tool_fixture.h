// Support for the history tool's tests: the tool's command line run in-process with captured
// streams, the text form without its comment lines, and small history files written directly.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "commands.h"
#include "engine/run_fixture.h"

namespace pairtrack::detail::testing_support {

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `pairtrack-history args...` with `input` on its standard input.
inline ToolResult run_tool(const std::vector<std::string>& args, const std::string& input = "") {
  std::vector<const char*> argv{"pairtrack-history"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::istringstream in(input);
  std::ostringstream out, err;
  ToolResult r;
  r.status =
      history_tool::history_tool_main(static_cast<int>(argv.size()), argv.data(), in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// The record lines of a text form (the comment lines, which name the source, dropped).
inline std::string records_only(const std::string& text) {
  std::istringstream in(text);
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line[0] != '#') kept += line + "\n";
  }
  return kept;
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

}  // namespace pairtrack::detail::testing_support
