// The replace_file operation: a file inside the disc image becomes exactly a
// host file, whatever its length.
#ifndef TALVO_FILES_REPLACE_FILE_H
#define TALVO_FILES_REPLACE_FILE_H

// Replaces iso_file_path inside inout_iso with the contents of local_file.
// Returns true when the file was replaced.
bool replace_file(const char* inout_iso, const char* iso_file_path, const char* local_file);

#endif
