#include "images/extract_all.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/file_kind.h"
#include "images/image_operations.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

namespace {

const size_t kSniffSize = kFileKindHeadSize;

// What the first bytes of a file say it is.
enum class Sniffed { kNone, kPp4Plain, kPicture };

// The picture format by the first bytes of a file; file_kind reads them.
Sniffed sniff(const unsigned char* h, PictureFormat* format) {
  switch (file_kind(h, kSniffSize, kSniffSize)) {
    case FileKind::kDc: *format = PictureFormat::kDc; break;
    case FileKind::kPp: *format = PictureFormat::kPp; break;
    case FileKind::kMato: *format = PictureFormat::kMato; break;
    case FileKind::kLzssDc: *format = PictureFormat::kLzssDc; break;
    case FileKind::kLzssPp: *format = PictureFormat::kLzssPp; break;
    case FileKind::kLzssPp4: *format = PictureFormat::kLzssPp4; break;
    case FileKind::kLzssMato: *format = PictureFormat::kLzssMato; break;
    case FileKind::kPp4: return Sniffed::kPp4Plain;
    default: return Sniffed::kNone;
  }
  return Sniffed::kPicture;
}

const char* format_name(PictureFormat format) {
  switch (format) {
    case PictureFormat::kDc: return "DC";
    case PictureFormat::kPp: return "PP";
    case PictureFormat::kMato: return "mato";
    case PictureFormat::kLzssDc: return "DC (LZSS)";
    case PictureFormat::kLzssPp: return "PP (LZSS)";
    case PictureFormat::kLzssPp4: return "PP4 (LZSS)";
    case PictureFormat::kLzssMato: return "mato (LZSS)";
  }
  return "";
}

// A disc name becomes a host path component: it must not climb out of the
// output folder or name a folder of its own.
bool safe_name(const char* name) {
  return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
         std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr;
}

// Says that a directory of the image cannot be read; false.
bool directory_failed(const std::string& iso_dir) {
  std::fprintf(stderr, "Error opening ISO directory \"%s\"\n", iso_dir.c_str());
  return false;
}

// The walk of one directory and everything below it, depth first.
class TreeWalk {
 public:
  TreeWalk(const char* input_iso, Iso9660Filesystem* fs) : input_iso_(input_iso), fs_(fs) {}
  // False when anything in the directory failed; the walk goes on past it.
  bool directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir,
                 const std::string& output_folder);

 private:
  bool file(const Iso9660DirectoryRecord* record, const std::string& iso_path, const std::string& name,
            const std::string& output_folder);

  const char* input_iso_;
  Iso9660Filesystem* fs_;
  // The extents of the directories being walked, root first: a damaged
  // record that leads back to one of them would make the walk endless.
  std::vector<uint32_t> open_directories_;
};

bool TreeWalk::directory(const Iso9660DirectoryRecord* record, const std::string& iso_dir,
                         const std::string& output_folder) {
  // An existing folder is fine; a folder that cannot be made shows up as
  // failures to create the files inside it.
  ::mkdir(output_folder.c_str(), 0755);
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
    if (!safe_name(name)) {
      std::fprintf(stderr, "Error: unsafe name in ISO directory \"%s\"\n", name);
      ok = false;
      continue;
    }
    if (is_dir) {
      ok = directory(entry, iso_dir + name + "/", output_folder + "/" + name) && ok;
    } else {
      ok = file(entry, iso_dir + name, name, output_folder) && ok;
    }
  }
  open_directories_.pop_back();
  // The records after the damage cannot be reached; the rest of the tree can.
  return damaged ? directory_failed(iso_dir) : ok;
}

bool TreeWalk::file(const Iso9660DirectoryRecord* record, const std::string& iso_path,
                    const std::string& name, const std::string& output_folder) {
  unsigned char head[kSniffSize];
  const long long got = fs_->ReadFileStart(record, head, kSniffSize);
  if (got < 0) {
    std::fprintf(stderr, "Error happened while reading file \"%s\" inside iso\n", iso_path.c_str());
    return false;
  }
  // Files too short to hold a picture are not pictures.
  if (got < static_cast<long long>(kSniffSize)) return true;
  PictureFormat format = PictureFormat::kDc;
  const Sniffed sniffed = sniff(head, &format);
  if (sniffed == Sniffed::kNone) return true;
  if (sniffed == Sniffed::kPp4Plain) {
    std::fprintf(stderr, "PP4 uncompressed standalone, buuuuuu this doesn't exist.\n");
    return true;
  }
  const size_t dot = name.rfind('.');
  const std::string base = output_folder + "/" + (dot == std::string::npos ? name : name.substr(0, dot));
  const bool is_mato = format == PictureFormat::kMato || format == PictureFormat::kLzssMato;
  const std::string output = is_mato ? base : base + ".BMP";
  std::printf("Now processing %s (%s)\n", iso_path.c_str(), format_name(format));
  // The picture is read by its record: no lookup by path, no second mount.
  return extract_picture(read_image_record(fs_, record), 0, iso_path.c_str(), format, output.c_str(),
                         input_iso_);
}

}  // namespace

bool extract_all_images(const char* input_iso, const char* output_folder) {
  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  const Iso9660DirectoryRecord* root = iso.fs()->RootRecord();
  return root && TreeWalk(input_iso, iso.fs()).directory(root, "/", output_folder);
}

bool extract_images_below(const char* input_iso, Iso9660Filesystem* fs, const char* iso_dir,
                          const char* output_folder) {
  // The one lookup by path: everything below is reached by its records.
  std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter> record(
      fs->FindFile(fs->HasJoliet(), iso_dir, true, false));
  if (!record || !record->IsDirectory()) {
    ::mkdir(output_folder, 0755);
    return directory_failed(iso_dir);
  }
  return TreeWalk(input_iso, fs).directory(record.get(), iso_dir, output_folder);
}
