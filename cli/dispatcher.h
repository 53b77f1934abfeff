// The command line: which operation a run performs, with its converted
// parameters, and the usage text.
#ifndef TALVO_CLI_DISPATCHER_H
#define TALVO_CLI_DISPATCHER_H

// The program's main(): runs one operation and returns the process status.
int talvo_main(int argc, char** argv);

#endif
