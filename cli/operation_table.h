// The operation table: one row per operation with its name, its parameter
// counts, what its optional words set and the function it calls. Adding an
// operation is a row here, its function, and its lines in the usage text.
#ifndef TALVO_CLI_OPERATION_TABLE_H
#define TALVO_CLI_OPERATION_TABLE_H

#include <cstddef>
#include <cstdint>

#include "cli/dispatcher.h"

// What one optional word, after the required parameters, sets in a Command.
enum class OptionalWord : uint8_t {
  kNone,
  kOffset,           // hexadecimal offset
  kColourFixMode,    // false / true / fix_palette
  kTransparentFlag,  // fix_transparent alone
  kIgnoreMissing,    // ignore_missing_files
  kNText,            // translate's "%N" text, "default" for none
  kFText,            // translate's "%F" text
};

struct OperationRow {
  const char* name;
  int min_params;
  int max_params;
  // The words at positions min_params, min_params + 1 of the parameters.
  OptionalWord optional[2];
  OperationFunction run;
};

// Tested in this order; the first row whose name matches and whose parameter
// count is in range runs.
extern const OperationRow kOperationRows[];
extern const size_t kOperationRowCount;

#endif
