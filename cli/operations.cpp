// Runs the operation a command line chose, mapping each operation's result
// to the process status.
#include "cli/dispatcher.h"

#include <cstdio>

namespace {

int not_available(const Command& command) {
  std::fprintf(stderr, "Error: operation %s is not available in this build.\n", command.name);
  return 1;
}

}  // namespace

int run_command(const Command& command) {
  switch (command.operation) {
    default:
      return not_available(command);
  }
}
