// The command line: which operation a run performs, with its parameters
// converted, and the usage text. Parsing is a pure function so that every
// rule of the operation table can be tested without running an operation.
#ifndef TALVO_CLI_DISPATCHER_H
#define TALVO_CLI_DISPATCHER_H

#include <cstdint>
#include <cstdio>

struct Command;

// Runs one operation with its converted parameters and returns the process
// status: 0 when it did its job, 1 when it stopped on an error, and
// translate's own result (0 or -1). `params` are the command's words.
using OperationFunction = int (*)(const char* const* params, const Command& command);

// One run's operation with its words and the optional parameters converted.
// Word pointers point into argv.
struct Command {
  const char* name = nullptr;  // the row's name, as the table spells it
  OperationFunction run = nullptr;
  const char* const* params = nullptr;
  int param_count = 0;
  uint32_t offset = 0;          // hexadecimal offset word; 0 when absent or not hexadecimal
  bool fix_transparent = true;  // from color_fix_mode, or insert_lzss_pp4's flag
  bool fix_palette = false;
  bool ignore_missing_files = false;
  const char* n_text = nullptr;  // translate's "%N" replacement; null for "default" or absent
  const char* f_text = nullptr;  // translate's "%F" replacement
};

// Matches argv against the operation table (names and keywords ignore ASCII
// case). Returns false when no row matches: no operation word, an unknown one,
// or a known one with a parameter count out of range.
bool parse_command_line(int argc, const char* const* argv, Command* command);

// Writes the usage text to out, the program name in place of %s.
void usage(const char* program, FILE* out = stdout);

// Runs the operation the command line chose; the status as OperationFunction.
int run_command(const Command& command);

// The program's main(): runs one operation and returns the process status;
// the usage text and -1 when the command line matches no row. "--help" and
// "-h" print the usage text, "--version" the program's version, status 0.
int talvo_main(int argc, char** argv);

#endif
