// The four mato operations: read a container out of the disc image (plain or
// LZSS-compressed), run the buffer extract_mato / insert_mato on it, and for
// insertion store it back.
#include <cstdio>

#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/image_operations.h"
#include "images/lzss.h"
#include "images/mato.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

using namespace talvo;

namespace {

// The container behind fd, decompressed when lzss; *stored_size gets the
// file's length in the image.
MallocBuffer read_container(Iso9660Filesystem* fs, int fd, const char* path, bool lzss,
                            unsigned int* stored_size, unsigned int* size) {
  WholeFile file = read_image_file(fs, fd);
  if (file.failure == ReadFailure::kMemory) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(file.length));
    return nullptr;
  }
  if (!file) {
    if (lzss) std::fprintf(stderr, "Error while reading \"%s\"\n", path);
    else std::fprintf(stderr, "Error while reading file \"%s\"\n", path);
    return nullptr;
  }
  *stored_size = *size = file.size;
  if (!lzss) return std::move(file.data);
  return MallocBuffer(uncompress_lzss(file.data.get(), file.size, size));
}

bool extract(const char* input_iso, const char* path, const char* prefix, bool lzss) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  unsigned int stored_size = 0, size = 0;
  MallocBuffer data = read_container(file.fs(), file.fd(), path, lzss, &stored_size, &size);
  if (!data) return false;
  const bool ok = extract_mato(data.get(), size, prefix, false, input_iso);
  std::puts("Done.");
  return ok;
}

// The container keeps its size when plain: images are replaced in place.
// Nothing is written unless an image was inserted.
bool insert(const char* inout_iso, const char* path, const char* prefix, bool fix_transparent,
            bool ignore_missing_files, bool fix_palette, bool lzss) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  Iso9660Filesystem* fs = file.fs();
  unsigned int stored_size = 0, size = 0;
  MallocBuffer data = read_container(fs, file.fd(), path, lzss, &stored_size, &size);
  if (!data) return false;
  int failures = 0;
  const int inserted =
      insert_mato(data.get(), size, prefix, fix_transparent, ignore_missing_files, fix_palette, false, &failures);
  if (inserted > 0 && !lzss) {
    if (fs->Seek(file.fd(), 0, 0) != 0 || fs->Write(file.fd(), data.get(), size) != static_cast<long long>(size)) {
      std::fprintf(stderr, "Error while rewriting file \"%s\"\n", path);
      return false;
    }
    if (!file.finish()) return false;
  }
  if (inserted > 0 && lzss) {
    unsigned int packed_size = 0;
    MallocBuffer packed(compress_lzss(data.get(), size, &packed_size));
    if (!packed) return false;
    switch (write_back_iso_file(fs, file.fd(), path, stored_size, packed.get(), packed_size, false)) {
      case WriteBack::kDone: break;
      case WriteBack::kTruncateFailed:
        std::fprintf(stderr, "Error truncating \"%s\"\n", path);
        return false;
      case WriteBack::kWriteFailed:
        std::fprintf(stderr, "Error while writing to \"%s\"\n", path);
        return false;
    }
    if (!file.finish()) return false;
  }
  std::printf(lzss ? "insert_lzss_mato(%s) completed. (num images inserted = %d)\n"
                   : "insert_mato(%s) completed (num images inserted = %d)\n",
              path, inserted);
  return inserted >= 0 && failures == 0;
}

}  // namespace

bool extract_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix) {
  return extract(input_iso, iso_file_path, bmp_output_prefix, false);
}

bool extract_lzss_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix) {
  return extract(input_iso, iso_file_path, bmp_output_prefix, true);
}

bool insert_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                 bool fix_transparent, bool ignore_missing_files, bool fix_palette) {
  return insert(inout_iso, iso_file_path, bmp_infile_prefix, fix_transparent, ignore_missing_files, fix_palette,
                false);
}

bool insert_lzss_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                      bool fix_transparent, bool ignore_missing_files, bool fix_palette) {
  return insert(inout_iso, iso_file_path, bmp_infile_prefix, fix_transparent, ignore_missing_files, fix_palette,
                true);
}
