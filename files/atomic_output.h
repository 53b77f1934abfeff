// A translator's output file that appears only when it is complete: the
// bytes go to a temporary file in the folder of the real file (a symbolic
// link is followed to its target, which then gets the new contents), which
// replaces it in one rename once everything succeeded. Where a rename cannot
// keep the file what it is to the user (another hard link to it, an owner
// the replacement cannot have) or the folder takes no temporary file, the
// file itself is overwritten, once the whole content is ready. A run that
// fails before Commit leaves an existing output file as it was and creates
// none.
#ifndef TALVO_FILES_ATOMIC_OUTPUT_H
#define TALVO_FILES_ATOMIC_OUTPUT_H

#include <string>

class ReplacingOutputFile {
 public:
  ReplacingOutputFile() = default;
  // Removes the temporary file unless Commit succeeded.
  ~ReplacingOutputFile();
  ReplacingOutputFile(const ReplacingOutputFile&) = delete;
  ReplacingOutputFile& operator=(const ReplacingOutputFile&) = delete;

  // Checks that path can be written (an existing file must be writable and
  // not a folder) and prepares the temporary file beside the real file, or
  // opens the file itself where no replacement is possible. False, silently,
  // when it cannot be written; the caller says why.
  bool Create(const char* path);

  // Writes size bytes and puts them in place: renames the temporary file over
  // the output, or overwrites the output from its first byte and cuts it to
  // size. False after printing "Error writing output.".
  bool Commit(const void* data, size_t size);

 private:
  std::string path_;
  std::string temp_path_;  // empty when the file itself is overwritten
  int fd_ = -1;
  bool cut_to_size_ = false;  // a regular file overwritten in place
};

#endif
