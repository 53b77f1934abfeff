#include "images/extract_all.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/image_files.h"
#include "images/image_operations.h"
#include "iso/iso9660_filesystem.h"

namespace {

const size_t kSniffSize = 9;

enum class Type { kNone, kDc, kPp, kPp4Plain, kMato, kLzssDc, kLzssPp, kLzssPp4, kLzssMato };

// The image type by the first bytes of a file. An LZSS file starts with its
// 4-byte length and a flag byte, after which the image's first bytes stand
// as literals.
Type sniff(const unsigned char* h) {
  if (std::memcmp(h, "DC", 2) == 0) return Type::kDc;
  if (std::memcmp(h, "PP", 2) == 0) return Type::kPp;
  if (std::memcmp(h, "pp", 2) == 0) return Type::kPp4Plain;
  if (std::memcmp(h, "mato", 4) == 0) return Type::kMato;
  if (std::memcmp(h + 5, "DC", 2) == 0) return Type::kLzssDc;
  if (std::memcmp(h + 5, "PP", 2) == 0) return Type::kLzssPp;
  if (std::memcmp(h + 5, "pp", 2) == 0) return Type::kLzssPp4;
  if (std::memcmp(h + 5, "mato", 4) == 0) return Type::kLzssMato;
  return Type::kNone;
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

// Reads the first bytes of a file; false (silently) when it is shorter.
bool read_head(Iso9660Filesystem* fs, const std::string& path, unsigned char* head, bool* open_failed) {
  *open_failed = false;
  const int fd = fs->Open(path.c_str(), kOpenRead);
  if (fd < 0) {
    *open_failed = true;
    return false;
  }
  const long long got = fs->Read(fd, head, kSniffSize);
  fs->Close(fd);
  return got == static_cast<long long>(kSniffSize);
}

bool extract_file(const char* input_iso, Iso9660Filesystem* fs, const std::string& iso_path,
                  const std::string& name, const std::string& output_folder) {
  unsigned char head[kSniffSize];
  bool open_failed = false;
  if (!read_head(fs, iso_path, head, &open_failed)) {
    if (!open_failed) return true;
    std::fprintf(stderr, "Error opening ISO file \"%s\"\n", iso_path.c_str());
    return false;
  }
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
    case Type::kDc: return extract_dc_to_bmp(input_iso, in, out, 0);
    case Type::kPp: return extract_pp_to_bmp(input_iso, in, out, 0);
    case Type::kMato: return extract_mato(input_iso, in, out);
    case Type::kLzssDc: return extract_lzss_dc_to_bmp(input_iso, in, out);
    case Type::kLzssPp: return extract_lzss_pp_to_bmp(input_iso, in, out);
    case Type::kLzssPp4: return extract_lzss_pp4_to_bmp(input_iso, in, out);
    case Type::kLzssMato: return extract_lzss_mato(input_iso, in, out);
    default: return true;
  }
}

}  // namespace

bool extract_all_images(const char* input_iso, const char* output_folder) {
  MountedIso iso;
  if (!iso.mount(input_iso, true)) return false;
  return extract_all_images(input_iso, iso.fs(), "/", output_folder);
}

bool extract_all_images(const char* input_iso, Iso9660Filesystem* fs, const char* iso_dir,
                        const char* output_folder) {
  // An existing folder is fine; a folder that cannot be made shows up as
  // failures to create the files inside it.
  ::mkdir(output_folder, 0755);
  const int dir = fs->OpenDir(iso_dir);
  if (dir < 0) {
    std::fprintf(stderr, "Error opening ISO directory \"%s\"\n", iso_dir);
    return false;
  }
  bool ok = true;
  while (const DirEntry* entry = fs->ReadDir(dir)) {
    // Copy now: the entry buffer is reused by the next ReadDir.
    const std::string name = entry->name;
    const bool is_dir = entry->type == kDirEntryDirectory;
    if (is_dir && (name == "." || name == "..")) continue;
    if (!safe_name(name.c_str())) {
      std::fprintf(stderr, "Error: unsafe name in ISO directory \"%s\"\n", name.c_str());
      ok = false;
      continue;
    }
    if (is_dir) {
      const std::string sub_dir = std::string(iso_dir) + name + "/";
      const std::string sub_folder = std::string(output_folder) + "/" + name;
      ok = extract_all_images(input_iso, fs, sub_dir.c_str(), sub_folder.c_str()) && ok;
    } else {
      ok = extract_file(input_iso, fs, std::string(iso_dir) + name, name, output_folder) && ok;
    }
  }
  fs->CloseDir(dir);
  return ok;
}
