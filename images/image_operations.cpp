#include "images/image_operations.h"

#include <cstdio>
#include <functional>

#include "cli/image_files.h"
#include "images/bmp_files.h"
#include "images/dc.h"
#include "images/image_file_io.h"
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

// The image data of a plain operation: the file's bytes from offset to its end.
MallocBuffer read_region(Iso9660Filesystem* fs, int fd, const char* path, unsigned int offset,
                         const char* offset_message, unsigned int* size) {
  const long long file_size = fs->Seek(fd, 0, 2);
  const long long data_size = file_size - offset;
  if (file_size < 0 || data_size <= 0) {
    std::fprintf(stderr, offset_message, offset);
    return nullptr;
  }
  MallocBuffer data = data_size <= 0x7FFFFFFF ? malloc_buffer(static_cast<size_t>(data_size)) : nullptr;
  if (!data) {
    std::fprintf(stderr, "Memory allocation error: size %lld\n", data_size);
    return nullptr;
  }
  if (fs->Seek(fd, offset, 0) != offset || fs->Read(fd, data.get(), data_size) != data_size) {
    std::fprintf(stderr, "Error happened while reading file \"%s\" inside iso\n", path);
    return nullptr;
  }
  *size = static_cast<unsigned int>(data_size);
  return data;
}

// Converts the image and writes the BMP file; prints "Done." on success.
bool convert_to_bmp_file(unsigned char* data, unsigned int size, ImageToBmp convert,
                         const char* bmp_output, const char* iso, const char* open_failed) {
  unsigned int bmp_size = 0;
  MallocBuffer bmp(convert(data, size, &bmp_size));
  if (!bmp || !write_bmp_file(bmp_output, iso, bmp.get(), bmp_size, open_failed)) return false;
  std::puts("Done.");
  return true;
}

bool extract_plain(const char* input_iso, const char* path, const char* bmp_output,
                   unsigned int offset, ImageToBmp convert) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  unsigned int size = 0;
  MallocBuffer data =
      read_region(file.fs(), file.fd(), path, offset, "Offset %x goes to end of file or beyond.\n", &size);
  if (!data) return false;
  return convert_to_bmp_file(data.get(), size, convert, bmp_output, input_iso, "Can't open/create \"%s\"\n");
}

MallocBuffer read_bmp_input(const char* bmp_input, const char* alloc_failed, unsigned int* size) {
  const BmpReadMessages messages = {"Can't open file \"%s\"", alloc_failed, "Bmp read failed.\n"};
  return MallocBuffer(read_bmp_file(bmp_input, size, messages));
}

// success_format takes bmp_input; null prints "Done.".
bool insert_plain(const char* inout_iso, const char* path, const char* bmp_input, unsigned int offset,
                  const BmpIntoImage& insert, const char* success_format) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  unsigned int size = 0;
  MallocBuffer data = read_region(file.fs(), file.fd(), path, offset,
                                  "Offset %x goes to end of file or greater.\n", &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, "Memory allocation error: size %d\n", &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  if (file.fs()->Seek(file.fd(), offset, 0) != offset ||
      file.fs()->Write(file.fd(), data.get(), size) != static_cast<long long>(size)) {
    std::fprintf(stderr, "Error writing back to the file inside iso (%s)\n", path);
    return false;
  }
  if (!file.finish()) return false;
  if (success_format) std::printf(success_format, bmp_input);
  else std::puts("Done.");
  return true;
}

// Reads the LZSS file behind fd whole and decompresses it; *old_size gets
// the compressed length.
MallocBuffer read_lzss_image(Iso9660Filesystem* fs, int fd, const char* path, unsigned int* old_size,
                             unsigned int* size) {
  MallocBuffer packed(read_whole_iso_file(fs, fd, path, old_size, "Error while reading \"%s\""));
  if (!packed) return nullptr;
  return MallocBuffer(uncompress_lzss(packed.get(), *old_size, size));
}

bool extract_lzss(const char* input_iso, const char* path, const char* bmp_output, ImageToBmp convert) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  unsigned int old_size = 0, size = 0;
  MallocBuffer data = read_lzss_image(file.fs(), file.fd(), path, &old_size, &size);
  if (!data) return false;
  return convert_to_bmp_file(data.get(), size, convert, bmp_output, input_iso, "Can't open/create \"%s\"");
}

bool insert_lzss(const char* inout_iso, const char* path, const char* bmp_input, const BmpIntoImage& insert,
                 bool announce_growth, const char* success_format) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  unsigned int old_size = 0, size = 0;
  MallocBuffer data = read_lzss_image(file.fs(), file.fd(), path, &old_size, &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, "Memory allocation error: %d\n", &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  bmp.reset();
  unsigned int packed_size = 0;
  MallocBuffer packed(compress_lzss(data.get(), size, &packed_size));
  if (!packed) return false;
  const WriteBackMessages messages = {"Error truncating \"%s\"", announce_growth,
                                      "Error while writing to \"%s\""};
  if (!write_back_iso_file(file.fs(), file.fd(), path, old_size, packed.get(), packed_size, messages) ||
      !file.finish()) {
    return false;
  }
  if (success_format) std::printf(success_format, bmp_input);
  else std::puts("Done.");
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
  return insert_plain(inout_iso, iso_file_path, bmp_input, offset, dc_inserter, nullptr);
}

bool extract_lzss_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, dc_to_bmp);
}

bool insert_bmp_into_lzss_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, dc_inserter, true,
                     "Image \"%s\" was inserted.\n");
}

bool extract_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset) {
  return extract_plain(input_iso, iso_file_path, bmp_output, offset, pp_to_bmp);
}

bool insert_bmp_into_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset, bool fix_transparent, bool fix_palette) {
  return insert_plain(inout_iso, iso_file_path, bmp_input, offset,
                      pp_inserter(fix_transparent, fix_palette), "Image \"%s\" was inserted.\n");
}

bool extract_lzss_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, pp_to_bmp);
}

bool insert_bmp_into_lzss_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                             bool fix_transparent, bool fix_palette) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, pp_inserter(fix_transparent, fix_palette),
                     false, nullptr);
}

bool extract_lzss_pp4_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_lzss(input_iso, iso_file_path, bmp_output, pp4_to_bmp);
}

bool insert_bmp_into_lzss_pp4(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                              bool fix_transparent) {
  return insert_lzss(inout_iso, iso_file_path, bmp_input, pp4_inserter(fix_transparent), false, nullptr);
}
