// pairtrack: intrinsic collision probabilities and impact speeds of a fixed orbit catalogue
// against every frame of an orbital integration's history. The run's configuration comes from
// ten records on standard input; the options (pairtrack --help) add outputs and choose how
// warnings are treated.
#include <iostream>

#include "command_line.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return pairtrack::detail::command_line_main(argc, argv);
}
