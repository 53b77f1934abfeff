// A translator's output file that appears only when it is complete: the
// bytes go to a temporary file in the same folder, which replaces the output
// in one rename once everything succeeded. A failed run leaves an existing
// output file as it was and creates none.
#ifndef TALVO_TRANSLATION_OUTPUT_FILE_H
#define TALVO_TRANSLATION_OUTPUT_FILE_H

#include <string>

class ReplacingOutputFile {
 public:
  ReplacingOutputFile() = default;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacingOutputFile();
  ReplacingOutputFile(const ReplacingOutputFile&) = delete;
  ReplacingOutputFile& operator=(const ReplacingOutputFile&) = delete;

  // Checks that path can be written (an existing file must be writable and
  // not a folder) and creates the temporary file beside it. False, silently,
  // when either fails; the caller says why.
  bool Create(const char* path);

  // Writes size bytes to the temporary file and renames it over the output.
  // False after printing "Error writing output.".
  bool Commit(const void* data, size_t size);

 private:
  std::string path_;
  std::string temp_path_;
  int fd_ = -1;
  int mode_ = 0;
};

#endif
