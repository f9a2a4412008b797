// The validation pairs: one line per pair of orbits,
//   id  class  a1 e1 i1  a2 e2 i2  rho
// (AU, -, degrees; rho the Monte Carlo window radius in AU); '#' starts a comment.
// Read by both the Monte Carlo tool and the kernel runner.
#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mcval {

struct PairEntry {
  std::string id;
  std::string pair_class;
  double a1, e1, i1, a2, e2, i2;
  double rho_au;
};

inline std::vector<PairEntry> read_pair_table(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<PairEntry> pairs;
  std::string line;
  int line_no = 0;
  while (std::getline(in, line)) {
    ++line_no;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    PairEntry p;
    if (!(ls >> p.id)) continue;  // blank or comment line
    if (!(ls >> p.pair_class >> p.a1 >> p.e1 >> p.i1 >> p.a2 >> p.e2 >> p.i2 >> p.rho_au)) {
      throw std::runtime_error(path + ":" + std::to_string(line_no) + ": expected 9 fields");
    }
    pairs.push_back(p);
  }
  return pairs;
}

}  // namespace mcval
