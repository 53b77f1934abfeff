// The walk of a directory tree of a mounted image by its records, depth first
// in record order, shared by the bulk extraction and the listing: each
// directory is read once, in runs of sectors, and its files are handed over by
// their records, never looked up by path again, so the cost grows with the
// number of files. A directory that cannot be read, or whose record leads
// back to a directory being walked (a damaged image), is reported and the
// walk goes on with the rest.
#ifndef TALVO_IMAGES_RECORD_WALK_H
#define TALVO_IMAGES_RECORD_WALK_H

#include <cstdint>
#include <string>
#include <vector>

#include "iso/iso9660_filesystem.h"

class RecordWalk {
 public:
  explicit RecordWalk(Iso9660Filesystem* fs) : fs_(fs) {}
  virtual ~RecordWalk() = default;

  // Walks the directory of `record`, whose path iso_dir ends with "/".
  // Returns false when anything below it failed.
  bool Directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir);

 protected:
  // A directory about to be read.
  virtual void Entering(const std::string& iso_dir) { (void)iso_dir; }
  // Whether an entry (any but a directory's "." and "..") is walked; one
  // that is not counts as a failure. The override says why.
  virtual bool Accept(const char* name) {
    (void)name;
    return true;
  }
  // One file; false when it failed.
  virtual bool File(const Iso9660DirectoryRecord* record, const std::string& iso_dir,
                    const char* name) = 0;

  Iso9660Filesystem* fs_;

 private:
  // The extents of the directories being walked, root first.
  std::vector<uint32_t> open_directories_;
};

// Says that a directory of the image cannot be read ("Error opening ISO
// directory"); returns false.
bool directory_failed(const std::string& iso_dir);

#endif
