// The talvo executable: one operation per run, chosen by the command line.
#include "cli/dispatcher.h"

int main(int argc, char** argv) { return talvo_main(argc, argv); }
