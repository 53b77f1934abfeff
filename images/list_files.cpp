#include "images/list_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "files/mounted_image.h"
#include "images/file_kind.h"
#include "images/record_walk.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

namespace {

// One line per file: path, size, first sector and kind.
class Lister : public RecordWalk {
 public:
  explicit Lister(Iso9660Filesystem* fs) : RecordWalk(fs) {}

 protected:
  bool File(const Iso9660DirectoryRecord* record, const std::string& iso_dir, const char* name) override {
    const std::string iso_path = iso_dir + name;
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
};

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
