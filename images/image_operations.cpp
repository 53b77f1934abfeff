#include "images/image_operations.h"

#include <cstdio>
#include <functional>
#include <string>

#include "files/host_files.h"
#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/dc.h"
#include "images/lzss.h"
#include "images/mato.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

using namespace talvo;

namespace {

using ImageToBmp = unsigned char* (*)(unsigned char*, unsigned int, unsigned int*);
using BmpIntoImage =
    std::function<bool(unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size)>;

bool is_lzss(PictureFormat format) {
  return format == PictureFormat::kLzssDc || format == PictureFormat::kLzssPp ||
         format == PictureFormat::kLzssPp4 || format == PictureFormat::kLzssMato;
}

bool is_mato(PictureFormat format) {
  return format == PictureFormat::kMato || format == PictureFormat::kLzssMato;
}

// The picture of a plain operation: the file's bytes from offset to its end,
// as read_image_file found them. Insertion says "greater" where extraction
// says "beyond".
MallocBuffer take_region(WholeFile file, const char* path, unsigned int offset, bool insertion,
                         unsigned int* size) {
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

// The stored bytes of a whole-file format, decompressed when LZSS; *stored_size
// gets the length in the image. The four read messages differ by format.
MallocBuffer take_whole(WholeFile file, const char* path, PictureFormat format, unsigned int* stored_size,
                        unsigned int* size) {
  if (file.failure == ReadFailure::kMemory) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(file.length));
    return nullptr;
  }
  if (!file) {
    if (format == PictureFormat::kMato) std::fprintf(stderr, "Error while reading file \"%s\"\n", path);
    else if (format == PictureFormat::kLzssMato) std::fprintf(stderr, "Error while reading \"%s\"\n", path);
    else std::fprintf(stderr, "Error while reading \"%s\"", path);
    return nullptr;
  }
  *stored_size = *size = file.size;
  if (!is_lzss(format)) return std::move(file.data);
  return MallocBuffer(uncompress_lzss_data(file.data.get(), file.size, size));
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

ImageToBmp converter(PictureFormat format) {
  switch (format) {
    case PictureFormat::kDc:
    case PictureFormat::kLzssDc: return dc_to_bmp;
    case PictureFormat::kPp:
    case PictureFormat::kLzssPp: return pp_to_bmp;
    case PictureFormat::kLzssPp4: return pp4_to_bmp;
    case PictureFormat::kMato:
    case PictureFormat::kLzssMato: break;
  }
  return nullptr;
}

// Mounts iso read-only, opens path and reads it from offset: the start of
// every extraction from the command line.
bool extract_from_image(const char* input_iso, const char* path, PictureFormat format, const char* bmp_output,
                        unsigned int offset) {
  OpenedIsoFile file;
  if (!file.open(input_iso, path, kOpenRead)) return false;
  return extract_picture(read_image_file(file.fs(), file.fd(), offset), offset, path, format, bmp_output,
                         input_iso);
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

// Stores the changed picture of a whole-file format back: LZSS ones
// recompressed (announcing growth when announce_growth), plain ones over
// their old bytes.
bool store_whole(Iso9660Filesystem* fs, int fd, const char* path, PictureFormat format,
                 unsigned int stored_size, const unsigned char* data, unsigned int size, bool announce_growth) {
  if (!is_lzss(format)) {
    if (fs->Seek(fd, 0, 0) != 0 || fs->Write(fd, data, size) != static_cast<long long>(size)) {
      std::fprintf(stderr, "Error while rewriting file \"%s\"\n", path);
      return false;
    }
    return true;
  }
  unsigned int packed_size = 0;
  MallocBuffer packed(compress_lzss_data(data, size, &packed_size));
  if (!packed) return false;
  switch (write_back_iso_file(fs, fd, path, stored_size, packed.get(), packed_size, announce_growth)) {
    case WriteBack::kDone: return true;
    case WriteBack::kTruncateFailed:
      if (is_mato(format)) std::fprintf(stderr, "Error truncating \"%s\"\n", path);
      else std::fprintf(stderr, "Error truncating \"%s\"", path);
      return false;
    case WriteBack::kWriteFailed:
      break;
  }
  if (is_mato(format)) std::fprintf(stderr, "Error while writing to \"%s\"\n", path);
  else std::fprintf(stderr, "Error while writing to \"%s\"", path);
  return false;
}

bool insert_plain(Iso9660Filesystem* fs, int fd, const char* path, const char* bmp_input, unsigned int offset,
                  const BmpIntoImage& insert) {
  unsigned int size = 0;
  MallocBuffer data = take_region(read_image_file(fs, fd, offset), path, offset, true, &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, true, &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  if (fs->Seek(fd, offset, 0) != offset || fs->Write(fd, data.get(), size) != static_cast<long long>(size)) {
    std::fprintf(stderr, "Error writing back to the file inside iso (%s)\n", path);
    return false;
  }
  return true;
}

bool insert_lzss(Iso9660Filesystem* fs, int fd, const char* path, const char* bmp_input,
                 const BmpIntoImage& insert, bool announce_growth) {
  unsigned int old_size = 0, size = 0;
  MallocBuffer data = take_whole(read_image_file(fs, fd), path, PictureFormat::kLzssDc, &old_size, &size);
  if (!data) return false;
  unsigned int bmp_size = 0;
  MallocBuffer bmp = read_bmp_input(bmp_input, false, &bmp_size);
  if (!bmp || !insert(bmp.get(), bmp_size, data.get(), size)) return false;
  bmp.reset();
  return store_whole(fs, fd, path, PictureFormat::kLzssDc, old_size, data.get(), size, announce_growth);
}

// Mounts inout_iso, opens path for change and runs insert on it; the change
// stays only when insert succeeded. Then says what went in (name_image as
// for report_inserted).
bool insert_into_image(const char* inout_iso, const char* path, const char* bmp_input, bool name_image,
                       const std::function<bool(Iso9660Filesystem* fs, int fd)>& insert) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  if (!insert(file.fs(), file.fd()) || !file.finish()) return false;
  report_inserted(bmp_input, name_image);
  return true;
}

BmpIntoImage pp_inserter(bool fix_transparent, bool fix_palette) {
  return [=](unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
    return insert_bmp_into_pp_data(bmp, bmp_size, data, size, fix_transparent, fix_palette);
  };
}

BmpIntoImage pp4_inserter(bool fix_transparent) {
  return [=](unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
    return insert_bmp_into_pp4_data(bmp, bmp_size, data, size, fix_transparent);
  };
}

bool dc_inserter(unsigned char* bmp, unsigned int bmp_size, unsigned char* data, unsigned int size) {
  return insert_bmp_into_dc_data(bmp, bmp_size, data, size);
}

// The container keeps its size when plain: images are replaced in place.
// Nothing is written unless an image was inserted.
bool insert_mato_file(const char* inout_iso, const char* path, const char* prefix, bool fix_transparent,
                      bool ignore_missing_files, bool fix_palette, PictureFormat format) {
  OpenedIsoFile file;
  if (!file.open(inout_iso, path, kOpenReadWrite)) return false;
  unsigned int stored_size = 0, size = 0;
  MallocBuffer data = take_whole(read_image_file(file.fs(), file.fd()), path, format, &stored_size, &size);
  if (!data) return false;
  int failures = 0;
  const int inserted = insert_mato_data(data.get(), size, prefix, fix_transparent, ignore_missing_files,
                                        fix_palette, false, host_bmp_reader(), &failures);
  if (inserted > 0 && (!store_whole(file.fs(), file.fd(), path, format, stored_size, data.get(), size, false) ||
                       !file.finish())) {
    return false;
  }
  if (is_lzss(format)) {
    std::printf("insert_lzss_mato(%s) completed. (num images inserted = %d)\n", path, inserted);
  } else {
    std::printf("insert_mato(%s) completed (num images inserted = %d)\n", path, inserted);
  }
  return inserted >= 0 && failures == 0;
}

}  // namespace

bool extract_picture(WholeFile stored, unsigned int offset, const char* path, PictureFormat format,
                     const char* bmp_output, const char* iso_path) {
  unsigned int stored_size = 0, size = 0;
  if (format == PictureFormat::kDc || format == PictureFormat::kPp) {
    MallocBuffer data = take_region(std::move(stored), path, offset, false, &size);
    return data && convert_to_bmp_file(data.get(), size, converter(format), bmp_output, iso_path, true);
  }
  MallocBuffer data = take_whole(std::move(stored), path, format, &stored_size, &size);
  if (!data) return false;
  if (!is_mato(format)) {
    return convert_to_bmp_file(data.get(), size, converter(format), bmp_output, iso_path, false);
  }
  const bool ok = extract_mato_data(data.get(), size, bmp_output, false, host_bmp_writer(iso_path));
  std::puts("Done.");
  return ok;
}

MatoBmpWriter host_bmp_writer(const char* iso_path) {
  return [iso_path](const std::string& name, const unsigned char* bmp, unsigned int size) {
    if (iso_path && !output_is_not_image(name.c_str(), iso_path)) return false;
    switch (write_host_file(name.c_str(), bmp, size)) {
      case HostWrite::kDone: return true;
      case HostWrite::kOpenFailed:
        std::fprintf(stderr, "Cannot open/create file \"%s\"\n", name.c_str());
        return false;
      case HostWrite::kWriteFailed: break;
    }
    std::fprintf(stderr, "Error writing to %s\n", name.c_str());
    return false;
  };
}

MatoBmpReader host_bmp_reader() {
  return [](const std::string& name, MallocBuffer* bmp, unsigned int* size) {
    WholeFile file = read_host_file(name.c_str());
    switch (file.failure) {
      case ReadFailure::kNone:
        *size = file.size;
        *bmp = std::move(file.data);
        return MatoBmp::kRead;
      case ReadFailure::kOpen: return MatoBmp::kMissing;
      case ReadFailure::kMemory:
        std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(file.length));
        return MatoBmp::kFailed;
      case ReadFailure::kLength:
      case ReadFailure::kRead: break;
    }
    std::fprintf(stderr, "Error while reading \"%s\"\n", name.c_str());
    return MatoBmp::kFailed;
  };
}

bool extract_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kDc, bmp_output, offset);
}

bool insert_bmp_into_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset) {
  return insert_into_image(inout_iso, iso_file_path, bmp_input, false, [&](Iso9660Filesystem* fs, int fd) {
    return insert_plain(fs, fd, iso_file_path, bmp_input, offset, dc_inserter);
  });
}

bool extract_lzss_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kLzssDc, bmp_output, 0);
}

bool insert_bmp_into_lzss_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input) {
  return insert_into_image(inout_iso, iso_file_path, bmp_input, true, [&](Iso9660Filesystem* fs, int fd) {
    return insert_lzss(fs, fd, iso_file_path, bmp_input, dc_inserter, true);
  });
}

bool extract_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kPp, bmp_output, offset);
}

bool insert_bmp_into_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset, bool fix_transparent, bool fix_palette) {
  return insert_into_image(inout_iso, iso_file_path, bmp_input, true, [&](Iso9660Filesystem* fs, int fd) {
    return insert_plain(fs, fd, iso_file_path, bmp_input, offset, pp_inserter(fix_transparent, fix_palette));
  });
}

bool extract_lzss_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kLzssPp, bmp_output, 0);
}

bool insert_bmp_into_lzss_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                             bool fix_transparent, bool fix_palette) {
  return insert_into_image(inout_iso, iso_file_path, bmp_input, false, [&](Iso9660Filesystem* fs, int fd) {
    return insert_lzss(fs, fd, iso_file_path, bmp_input, pp_inserter(fix_transparent, fix_palette), false);
  });
}

bool extract_lzss_pp4_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kLzssPp4, bmp_output, 0);
}

bool insert_bmp_into_lzss_pp4(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                              bool fix_transparent) {
  return insert_into_image(inout_iso, iso_file_path, bmp_input, false, [&](Iso9660Filesystem* fs, int fd) {
    return insert_lzss(fs, fd, iso_file_path, bmp_input, pp4_inserter(fix_transparent), false);
  });
}

bool extract_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kMato, bmp_output_prefix, 0);
}

bool extract_lzss_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix) {
  return extract_from_image(input_iso, iso_file_path, PictureFormat::kLzssMato, bmp_output_prefix, 0);
}

bool insert_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                 bool fix_transparent, bool ignore_missing_files, bool fix_palette) {
  return insert_mato_file(inout_iso, iso_file_path, bmp_infile_prefix, fix_transparent, ignore_missing_files,
                          fix_palette, PictureFormat::kMato);
}

bool insert_lzss_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                      bool fix_transparent, bool ignore_missing_files, bool fix_palette) {
  return insert_mato_file(inout_iso, iso_file_path, bmp_infile_prefix, fix_transparent, ignore_missing_files,
                          fix_palette, PictureFormat::kLzssMato);
}
