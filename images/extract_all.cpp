#include "images/extract_all.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "files/mounted_image.h"
#include "images/file_kind.h"
#include "images/image_operations.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"
#include "util/host_io.h"

namespace {

const size_t kSniffSize = kFileKindHeadSize;

enum class Type { kNone, kDc, kPp, kPp4Plain, kMato, kLzssDc, kLzssPp, kLzssPp4, kLzssMato };

// The image type by the first bytes of a file; file_kind reads them.
Type sniff(const unsigned char* h) {
  switch (file_kind(h, kSniffSize, kSniffSize)) {
    case FileKind::kDc: return Type::kDc;
    case FileKind::kPp: return Type::kPp;
    case FileKind::kPp4: return Type::kPp4Plain;
    case FileKind::kMato: return Type::kMato;
    case FileKind::kLzssDc: return Type::kLzssDc;
    case FileKind::kLzssPp: return Type::kLzssPp;
    case FileKind::kLzssPp4: return Type::kLzssPp4;
    case FileKind::kLzssMato: return Type::kLzssMato;
    default: return Type::kNone;
  }
}

const char* type_name(Type t) {
  switch (t) {
    case Type::kDc: return "DC";
    case Type::kPp: return "PP";
    case Type::kMato: return "mato";
    case Type::kLzssDc: return "DC (LZSS)";
    case Type::kLzssPp: return "PP (LZSS)";
    case Type::kLzssPp4: return "PP4 (LZSS)";
    case Type::kLzssMato: return "mato (LZSS)";
    default: return "";
  }
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
  talvo::make_host_directory(output_folder.c_str());
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
  const Type type = sniff(head);
  if (type == Type::kNone) return true;
  if (type == Type::kPp4Plain) {
    std::fprintf(stderr, "PP4 uncompressed standalone, buuuuuu this doesn't exist.\n");
    return true;
  }
  const size_t dot = name.rfind('.');
  const std::string base = output_folder + "/" + (dot == std::string::npos ? name : name.substr(0, dot));
  const bool is_mato = type == Type::kMato || type == Type::kLzssMato;
  const std::string output = is_mato ? base : base + ".BMP";
  std::printf("Now processing %s (%s)\n", iso_path.c_str(), type_name(type));
  const char* in = iso_path.c_str();
  const char* out = output.c_str();
  switch (type) {
    case Type::kDc: return extract_dc_to_bmp(input_iso_, in, out, 0);
    case Type::kPp: return extract_pp_to_bmp(input_iso_, in, out, 0);
    case Type::kMato: return extract_mato(input_iso_, in, out);
    case Type::kLzssDc: return extract_lzss_dc_to_bmp(input_iso_, in, out);
    case Type::kLzssPp: return extract_lzss_pp_to_bmp(input_iso_, in, out);
    case Type::kLzssPp4: return extract_lzss_pp4_to_bmp(input_iso_, in, out);
    case Type::kLzssMato: return extract_lzss_mato(input_iso_, in, out);
    default: return true;
  }
}

}  // namespace

bool extract_all_images(const char* input_iso, const char* output_folder) {
  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  const Iso9660DirectoryRecord* root = iso.fs()->RootRecord();
  return root && TreeWalk(input_iso, iso.fs()).directory(root, "/", output_folder);
}

bool extract_all_images(const char* input_iso, Iso9660Filesystem* fs, const char* iso_dir,
                        const char* output_folder) {
  // The one lookup by path: everything below is reached by its records.
  std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter> record(
      fs->FindFile(fs->HasJoliet(), iso_dir, true, false));
  if (!record || !record->IsDirectory()) {
    talvo::make_host_directory(output_folder);
    return directory_failed(iso_dir);
  }
  return TreeWalk(input_iso, fs).directory(record.get(), iso_dir, output_folder);
}
