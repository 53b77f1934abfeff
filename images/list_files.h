// The list operation: every file below a folder of a disc image with its
// size, its extent and what it holds, so that a translator can name the file
// an insert operation needs. The walk reads each directory once, as the bulk
// extraction's does.
#ifndef TALVO_IMAGES_LIST_FILES_H
#define TALVO_IMAGES_LIST_FILES_H

// Prints one line per file below folder of input_iso ("/" or null for the
// whole disc; with or without its leading and trailing "/"), in the order of
// the directory records, depth first: path, size in bytes, first sector and
// file_kind_name, separated by tabs. Returns true when every directory and
// file could be read; false after printing why (the walk goes on past a
// damaged directory or file).
bool list_files(const char* input_iso, const char* folder);

#endif
