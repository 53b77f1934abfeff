#include "images/image_operations.h"

#include <cstdio>
#include <functional>

#include "files/host_files.h"
#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/dc.h"
#include "images/lzss.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

using namespace talvo;

namespace {

using ImageToBmp = unsigned char* (*)(unsigned char*, unsigned int, unsigned int*);
using BmpIntoImage =
    std::function<bool(unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size)>;

// The image data of a plain operation: the file's bytes from offset to its
// end. insertion says "greater" where extraction says "beyond".
MallocBuffer read_region(Iso9660Filesystem* fs, int fd, const char* path, unsigned int offset,
                         bool insertion, unsigned int* size) {
  WholeFile file = read_image_file(fs, fd, offset);
  if ((file && file.size == 0) || (file.failure == ReadFailure::kLength && file.length <= 0)) {
    if (insertion) std::fprintf(stderr, "Offset %x goes to end of file or greater.\n", offset);
    else std::fprintf(stderr, "Offset %x goes to end of file or beyond.\n", offset);
    return nullptr;
  }
  if (file.failure == ReadFailure::kLength || file.failure == ReadFailure::kMemory) {
    std::fprintf(stderr, "Memory allocation error: size %lld\n", file.length);
    return nullptr;
  }
  if (!file) {
    std::fprintf(stderr, "Error happened while reading file \"%s\" inside iso\n", path);
    return nullptr;
  }
  *size = file.size;
  return std::move(file.data);
}

// Converts the image and writes the BMP file; prints "Done." on success.
// The plain operations end their open failure with a new line.
bool convert_to_bmp_file(unsigned char* data, unsigned int size, ImageToBmp convert,
                         const char* bmp_output, const char* iso, bool plain) {
  unsigned int bmp_size = 0;
  MallocBuffer bmp(convert(data, size, &bmp_size));
  if (!bmp || !output_is_not_image(bmp_output, iso)) return false;
  switch (write_host_file(bmp_output, bmp.get(), bmp_size)) {
    case HostWrite::kDone:
      std::puts("Done.");
      return true;
    case HostWrite::kOpenFailed:
      if (plain) std::fprintf(stderr, "Can't open/create \"%s\"\n", bmp_output);
      else std::fprintf(stderr, "Can't open/create \"%s\"", bmp_output);
      return false;
    case HostWrite::kWriteFailed:
      break;
  }
  std::fprintf(stderr, "Error writing to %s\n", bmp_output);
  return false;
}

bool extract_plain(const char* input_iso, const char* path, const char* bmp_output,
                   unsigned int offset, ImageToBmp convert) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  unsigned int size = 0;
  MallocBuffer data = read_region(file.fs(), file.fd(), path, offset, false, &size);
  if (!data) return false;
  return convert_to_bmp_file(data.get(), size, convert, bmp_output, input_iso, true);
}

MallocBuffer read_bmp_input(const char* bmp_input, bool plain, unsigned int* size) {
  WholeFile bmp = read_host_file(bmp_input);
  switch (bmp.failure) {
    case ReadFailure::kNone:
      *size = bmp.size;
      return std::move(bmp.data);
    case ReadFailure::kOpen:
      std::fprintf(stderr, "Can't open file \"%s\"", bmp_input);
      return nullptr;
    case ReadFailure::kMemory:
      if (plain) std::fprintf(stderr, "Memory allocation error: size %d\n", static_cast<int>(bmp.length));
      else std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(bmp.length));
      return nullptr;
    case ReadFailure::kLength:
    case ReadFailure::kRead:
      break;
  }
  std::fprintf(stderr, "Bmp read failed.\n");
  return nullptr;
}

// Says that bmp_input went in: by name (name_image) or "Done.".
void report_inserted(const char* bmp_input, bool name_image) {
  if (name_image) std::printf("Image \"%s\" was inserted.\n", bmp_input);
  else std::puts("Done.");
}

bool insert_plain(const char* inout_iso, const char* path, const char* bmp_input, unsigned int offset,
                  const BmpIntoImage& insert, bool name_image) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  unsigned int size = 0;
  MallocBuffer data = read_region(file.fs(), file.fd(), path, offset, true, &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, true, &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  if (file.fs()->Seek(file.fd(), offset, 0) != offset ||
      file.fs()->Write(file.fd(), data.get(), size) != static_cast<long long>(size)) {
    std::fprintf(stderr, "Error writing back to the file inside iso (%s)\n", path);
    return false;
  }
  if (!file.finish()) return false;
  report_inserted(bmp_input, name_image);
  return true;
}

// Reads the LZSS file behind fd whole and decompresses it; *old_size gets
// the compressed length.
MallocBuffer read_lzss_image(Iso9660Filesystem* fs, int fd, const char* path, unsigned int* old_size,
                             unsigned int* size) {
  WholeFile packed = read_image_file(fs, fd);
  if (packed.failure == ReadFailure::kMemory) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(packed.length));
    return nullptr;
  }
  if (!packed) {
    std::fprintf(stderr, "Error while reading \"%s\"", path);
    return nullptr;
  }
  *old_size = packed.size;
  return MallocBuffer(uncompress_lzss(packed.data.get(), packed.size, size));
}

bool extract_lzss(const char* input_iso, const char* path, const char* bmp_output, ImageToBmp convert) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  unsigned int old_size = 0, size = 0;
  MallocBuffer data = read_lzss_image(file.fs(), file.fd(), path, &old_size, &size);
  if (!data) return false;
  return convert_to_bmp_file(data.get(), size, convert, bmp_output, input_iso, false);
}

bool insert_lzss(const char* inout_iso, const char* path, const char* bmp_input, const BmpIntoImage& insert,
                 bool announce_growth, bool name_image) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  unsigned int old_size = 0, size = 0;
  MallocBuffer data = read_lzss_image(file.fs(), file.fd(), path, &old_size, &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, false, &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  bmp.reset();
  unsigned int packed_size = 0;
  MallocBuffer packed(compress_lzss(data.get(), size, &packed_size));
  if (!packed) return false;
  switch (write_back_iso_file(file.fs(), file.fd(), path, old_size, packed.get(), packed_size,
                              announce_growth)) {
    case WriteBack::kDone: break;
    case WriteBack::kTruncateFailed:
      std::fprintf(stderr, "Error truncating \"%s\"", path);
      return false;
    case WriteBack::kWriteFailed:
      std::fprintf(stderr, "Error while writing to \"%s\"", path);
      return false;
  }
  if (!file.finish()) return false;
  report_inserted(bmp_input, name_image);
  return true;
}

BmpIntoImage pp_inserter(bool fix_transparent, bool fix_palette) {
  return [=](unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
    return insert_bmp_into_pp(bmp, bmp_size, data, size, fix_transparent, fix_palette);
  };
}

BmpIntoImage pp4_inserter(bool fix_transparent) {
  return [=](unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
    return insert_bmp_into_pp4(bmp, bmp_size, data, size, fix_transparent);
  };
}

bool dc_inserter(unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
  return insert_bmp_into_dc(bmp, bmp_size, data, size);
}

}  // namespace

bool extract_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset) {
  return extract_plain(input_iso, iso_file_path, bmp_output, offset, dc_to_bmp);
}

bool insert_bmp_into_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset) {
  return insert_plain(inout_iso, iso_file_path, bmp_input, offset, dc_inserter, false);
}

bool extract_lzss_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, dc_to_bmp);
}

bool insert_bmp_into_lzss_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, dc_inserter, true, true);
}

bool extract_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset) {
  return extract_plain(input_iso, iso_file_path, bmp_output, offset, pp_to_bmp);
}

bool insert_bmp_into_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset, bool fix_transparent, bool fix_palette) {
  return insert_plain(inout_iso, iso_file_path, bmp_input, offset,
                      pp_inserter(fix_transparent, fix_palette), true);
}

bool extract_lzss_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, pp_to_bmp);
}

bool insert_bmp_into_lzss_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                             bool fix_transparent, bool fix_palette) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, pp_inserter(fix_transparent, fix_palette),
                     false, false);
}

bool extract_lzss_pp4_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, pp4_to_bmp);
}

bool insert_bmp_into_lzss_pp4(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                              bool fix_transparent) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, pp4_inserter(fix_transparent), false, false);
}
