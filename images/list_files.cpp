#include "images/list_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/mounted_image.h"
#include "images/file_kind.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

namespace {

class Lister {
 public:
  explicit Lister(Iso9660Filesystem* fs) : fs_(fs) {}
  // False when anything below the directory could not be read.
  bool Directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir);

 private:
  bool File(const Iso9660DirectoryRecord* record, const std::string& iso_path);

  Iso9660Filesystem* fs_;
  // The extents of the directories being walked: a damaged record that leads
  // back to one of them would make the walk endless.
  std::vector<uint32_t> open_directories_;
};

bool directory_failed(const std::string& iso_dir) {
  std::fprintf(stderr, "Error opening ISO directory \"%s\"\n", iso_dir.c_str());
  return false;
}

bool Lister::Directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir) {
  const uint32_t extent = record->Extent();
  if (std::find(open_directories_.begin(), open_directories_.end(), extent) !=
      open_directories_.end()) {
    return directory_failed(iso_dir);
  }
  Iso9660Filesystem::DirectoryRun run;
  if (!fs_->StartDirectoryRun(record, &run)) return directory_failed(iso_dir);
  open_directories_.push_back(extent);
  bool ok = true;
  bool damaged = false;
  char name[sizeof(DirEntry::name)];
  while (const Iso9660DirectoryRecord* entry = fs_->NextInRun(&run, &damaged)) {
    fs_->RecordName(entry, name);
    if (!entry->IsDirectory()) {
      ok = File(entry, iso_dir + name) && ok;
    } else if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) {
      ok = Directory(entry, iso_dir + name + "/") && ok;
    }
  }
  open_directories_.pop_back();
  return damaged ? directory_failed(iso_dir) : ok;
}

bool Lister::File(const Iso9660DirectoryRecord* record, const std::string& iso_path) {
  unsigned char head[kFileKindHeadSize];
  const long long got = fs_->ReadFileStart(record, head, sizeof head);
  if (got < 0) {
    std::fprintf(stderr, "Error happened while reading file \"%s\" inside iso\n", iso_path.c_str());
    return false;
  }
  const uint32_t size = record->DataLength();
  std::printf("%s\t%u\t%u\t%s\n", iso_path.c_str(), size, record->Extent(),
              file_kind_name(file_kind(head, static_cast<size_t>(got), size)));
  return true;
}

}  // namespace

bool list_files(const char* input_iso, const char* folder) {
  // "MKRT", "/MKRT" and "/MKRT/" all name the same folder.
  std::string dir = "/";
  for (const char* c = folder ? folder : ""; *c; c++) {
    if (*c != '/' || dir.back() != '/') dir += *c;
  }
  if (dir.back() != '/') dir += '/';

  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  Iso9660Filesystem* fs = iso.fs();
  if (dir == "/") {
    const Iso9660DirectoryRecord* root = fs->RootRecord();
    return root ? Lister(fs).Directory(root, dir) : directory_failed(dir);
  }
  std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter> record(
      fs->FindFile(fs->HasJoliet(), dir.substr(0, dir.size() - 1).c_str(), true, false));
  if (!record || !record->IsDirectory()) return directory_failed(dir);
  return Lister(fs).Directory(record.get(), dir);
}
