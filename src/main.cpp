// pairtrack: intrinsic collision probabilities and impact speeds of a fixed
// orbit catalogue against every frame of an orbital integration's history.
// The whole configuration comes from ten records on standard input.
#include <iostream>

#include "run/program.h"

int main() {
  std::ios::sync_with_stdio(false);
  return pairtrack::run_program(std::cin, std::cout);
}
