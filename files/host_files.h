// Files on the host: read whole, written whole, copied, and the guard that
// keeps an operation from creating or truncating the disc image it works on.
#ifndef TALVO_FILES_HOST_FILES_H
#define TALVO_FILES_HOST_FILES_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdio>

#include "files/whole_file.h"

// Host copies (where the kernel cannot copy for us) and replace_file move
// data in blocks of this size: larger blocks were no faster here, only
// heavier, and showed long stalls while the page cache wrote back.
const size_t kCopyChunkSize = 256u * 1024;

// True when both paths name the same host file.
bool same_host_file(const char* a, const char* b);

// The length of a host file, leaving it positioned at its start; -1 when it
// cannot be measured.
off_t host_length(FILE* file);

// The whole host file at path; prints nothing (see WholeFile). Longer than
// max_length is kLength.
WholeFile read_host_file(const char* path, long long max_length = kMaxWholeFile);

// The whole contents of a host file, in a buffer the caller releases with
// free(); its length in *size. Null after printing why.
unsigned char* read_file(const char* path, int* size);

enum class HostWrite { kDone, kOpenFailed, kWriteFailed };

// Creates (or truncates) the host file path with size bytes of data, closed
// before returning so that a full disc shows up here. Prints nothing.
HostWrite write_host_file(const char* path, const void* data, size_t size);

// Copies a host file, creating or truncating the destination. Refuses a
// destination that is the source itself. Returns false after printing why.
bool copy_file(const char* source, const char* destination);

// True when output_path may be created or truncated by an operation working on
// iso_path; false, after printing "Error: output file is the disc image
// itself: ...", when it names the same host file as the image.
bool output_is_not_image(const char* output_path, const char* iso_path);

#endif
