// pairtrack-history: inspect, dump and write the binary history files that pairtrack reads.
// All the work is in the command functions (commands.h); this is the process entry.
#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
  return pairtrack::history_tool::history_tool_main(argc, argv, std::cin, std::cout, std::cerr);
}
