#include "images/record_walk.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

bool directory_failed(const std::string& iso_dir) {
  std::fprintf(stderr, "Error opening ISO directory \"%s\"\n", iso_dir.c_str());
  return false;
}

bool RecordWalk::Directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir) {
  Entering(iso_dir);
  const uint32_t extent = record->Extent();
  if (std::find(open_directories_.begin(), open_directories_.end(), extent) != open_directories_.end()) {
    return directory_failed(iso_dir);
  }
  Iso9660Filesystem::DirectoryRun run;
  if (!fs_->StartDirectoryRun(record, &run)) return directory_failed(iso_dir);
  open_directories_.push_back(extent);
  bool ok = true;
  bool damaged = false;
  char name[sizeof(DirEntry::name)];
  // A record stays valid while its directory's run is not advanced: the
  // directories below read into runs of their own.
  while (const Iso9660DirectoryRecord* entry = fs_->NextInRun(&run, &damaged)) {
    fs_->RecordName(entry, name);
    const bool is_dir = entry->IsDirectory();
    if (is_dir && (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)) continue;
    if (!Accept(name)) {
      ok = false;
    } else if (is_dir) {
      ok = Directory(entry, iso_dir + name + "/") && ok;
    } else {
      ok = File(entry, iso_dir, name) && ok;
    }
  }
  open_directories_.pop_back();
  // The records after the damage cannot be reached; the rest of the tree can.
  return damaged ? directory_failed(iso_dir) : ok;
}
