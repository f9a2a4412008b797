// pairtrack: intrinsic collision probabilities and impact speeds of a fixed orbit catalogue
// against every frame of an orbital integration's history. The run's configuration comes from
// ten records on standard input; the options (pairtrack --help) add outputs and choose how
// warnings are treated. The program is the public library's run_command_line().
#include <iostream>

#include "pairtrack/run.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return pairtrack::run_command_line(argc, argv);
}
