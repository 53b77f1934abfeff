#include "cli/dispatcher.h"

#include <cstdio>

int talvo_main(int argc, char** argv) {
  (void)argc;
  std::printf("Usage: %s operation parameters\n", argv[0] ? argv[0] : "talvo");
  return -1;
}
