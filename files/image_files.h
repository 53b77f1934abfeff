// Whole files inside a mounted disc image: read into memory, written over
// from their first byte, and written back after a change (shortened first
// when the new version is smaller, moved when it outgrows its sectors).
#ifndef TALVO_FILES_IMAGE_FILES_H
#define TALVO_FILES_IMAGE_FILES_H

#include "files/whole_file.h"

class Iso9660Filesystem;
struct Iso9660DirectoryRecord;

// The file behind fd from byte `offset` to its end (length: what remains,
// negative when offset passes the end). Prints nothing (see WholeFile).
// REQUIRES: fd was opened for reading.
WholeFile read_image_file(Iso9660Filesystem* fs, int fd, unsigned int offset = 0);

// The whole file `record` describes (a record of a directory walk: no lookup
// by path). Prints nothing (see WholeFile).
WholeFile read_image_record(Iso9660Filesystem* fs, const Iso9660DirectoryRecord* record);

// The whole contents of a file in the image, in a buffer the caller releases
// with free(); its length in *size. Null after printing why.
unsigned char* read_iso_file(Iso9660Filesystem* fs, const char* path, int* size);

// Overwrites the image file from its first byte with size bytes, growing it
// when needed. A longer file keeps its tail and length (shorten it with
// Truncate). Returns false after printing why.
bool write_iso_file(Iso9660Filesystem* fs, const char* path, const void* data, int size);

enum class WriteBack { kDone, kTruncateFailed, kWriteFailed };

// Replaces the contents of the file behind fd (old_size bytes long) with size
// bytes of data: when the file shrinks, it is truncated first (saying "Info:
// file \"%s\" got reduced from %u to %u bytes.\n" with path); when it grows,
// the one write from position 0 relocates it inside the image (saying so
// when announce_growth). Prints no failure and no success: those are the
// caller's.
// REQUIRES: fd was opened for writing.
WriteBack write_back_iso_file(Iso9660Filesystem* fs, int fd, const char* path, unsigned int old_size,
                              const unsigned char* data, unsigned int size, bool announce_growth);

#endif
