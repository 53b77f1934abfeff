#include "images/extract_all.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/file_kind.h"
#include "images/image_operations.h"
#include "images/record_walk.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"
#include "util/host_io.h"
#include "util/progress.h"

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

// The extraction walk: the disc's directories become host folders below
// output_root, named as the directories below base_dir, the directory the
// walk starts at.
class TreeWalk : public RecordWalk {
 public:
  TreeWalk(const char* input_iso, Iso9660Filesystem* fs, const std::string& base_dir,
           const std::string& output_root)
      : RecordWalk(fs), input_iso_(input_iso), base_dir_(base_dir), output_root_(output_root) {}

 protected:
  void Entering(const std::string& iso_dir) override {
    progress_.Clear();
    // An existing folder is fine; a folder that cannot be made shows up as
    // failures to create the files inside it.
    talvo::make_host_directory(OutputFolder(iso_dir).c_str());
  }
  bool Accept(const char* name) override {
    if (safe_name(name)) return true;
    progress_.Clear();
    std::fprintf(stderr, "Error: unsafe name in ISO directory \"%s\"\n", name);
    return false;
  }
  bool File(const Iso9660DirectoryRecord* record, const std::string& iso_dir, const char* name) override {
    // The count stands on the terminal only between the lines of the walk.
    progress_.Clear();
    bool ok = Extract(record, iso_dir, name);
    progress_.Update(++files_);
    return ok;
  }
  bool DirectoryFailed(const std::string& iso_dir) override {
    progress_.Clear();
    return RecordWalk::DirectoryFailed(iso_dir);
  }

 private:
  std::string OutputFolder(const std::string& iso_dir) const {
    std::string below = iso_dir.substr(base_dir_.size());
    if (!below.empty()) below.pop_back();  // the trailing '/'
    return below.empty() ? output_root_ : output_root_ + "/" + below;
  }

  bool Extract(const Iso9660DirectoryRecord* record, const std::string& iso_dir, const char* name);

  const char* input_iso_;
  std::string base_dir_;
  std::string output_root_;
  talvo::Progress progress_{0, "files"};
  unsigned long long files_ = 0;
};

bool TreeWalk::Extract(const Iso9660DirectoryRecord* record, const std::string& iso_dir, const char* file_name) {
  const std::string iso_path = iso_dir + file_name, name = file_name;
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
  const std::string base =
      OutputFolder(iso_dir) + "/" + (dot == std::string::npos ? name : name.substr(0, dot));
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
  return root && TreeWalk(input_iso, iso.fs(), "/", output_folder).Directory(root, "/");
}

bool extract_images_below(const char* input_iso, Iso9660Filesystem* fs, const char* iso_dir,
                          const char* output_folder) {
  // The one lookup by path: everything below is reached by its records.
  std::unique_ptr<Iso9660DirectoryRecord, talvo::FreeDeleter> record(
      fs->FindFile(fs->HasJoliet(), iso_dir, true, false));
  if (!record || !record->IsDirectory()) {
    talvo::make_host_directory(output_folder);
    return directory_failed(iso_dir);
  }
  return TreeWalk(input_iso, fs, iso_dir, output_folder).Directory(record.get(), iso_dir);
}
