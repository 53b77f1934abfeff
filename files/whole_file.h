// A whole file read into memory, from the host or from inside a disc image.
// One routine reads both; it prints nothing and says what failed, so that
// every operation prints its own fixed message.
#ifndef TALVO_FILES_WHOLE_FILE_H
#define TALVO_FILES_WHOLE_FILE_H

#include <climits>
#include <functional>

#include "util/guards.h"

enum class ReadFailure {
  kNone,
  kOpen,    // the file could not be opened
  kLength,  // its length is unknown, negative or above the caller's limit
  kMemory,  // no buffer of its length
  kRead,    // positioning or reading failed, or the file ended early
};

struct WholeFile {
  talvo::MallocBuffer data;  // size bytes; null on failure
  unsigned int size = 0;
  // The length measured, also when reading failed; -1 while unknown.
  long long length = -1;
  ReadFailure failure = ReadFailure::kNone;
  explicit operator bool() const { return failure == ReadFailure::kNone; }
};

// Sizes are counted in signed 32-bit integers further on: no file longer
// than this is handed over whole.
const long long kMaxWholeFile = INT_MAX;

// A file of `length` bytes read by read(buffer, length), which returns false
// when the bytes could not all be read. Refuses a negative length or one above
// max_length (kLength, with length kept).
WholeFile read_whole(long long length, long long max_length,
                     const std::function<bool(unsigned char* buffer, long long length)>& read);

#endif
