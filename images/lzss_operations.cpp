#include "images/lzss_operations.h"

#include <cstdio>

#include "files/host_files.h"
#include "files/image_files.h"
#include "files/mounted_image.h"
#include "images/lzss.h"
#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

using talvo::MallocBuffer;

namespace {

// uncompress_lzss on the mounted image.
bool unpack_to_host(Iso9660Filesystem* fs, const char* iso_file_path, const char* output_file) {
  IsoDescriptor fd(fs, open_iso_file(fs, iso_file_path, kOpenRead));
  if (!fd.valid()) return false;
  WholeFile packed = read_image_file(fs, fd.get());
  if (packed.failure == ReadFailure::kMemory) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(packed.length));
    return false;
  }
  if (!packed) {
    std::fprintf(stderr, "Error while reading file \"%s\" in the iso.\n", iso_file_path);
    return false;
  }
  unsigned int size = 0;
  MallocBuffer data(uncompress_lzss_data(packed.data.get(), packed.size, &size));
  if (!data) return false;
  packed.data.reset();

  switch (write_host_file(output_file, data.get(), size)) {
    case HostWrite::kDone:
      std::puts("Done.");
      return true;
    case HostWrite::kOpenFailed:
      std::fprintf(stderr, "Can't open/create \"%s\"", output_file);
      return false;
    case HostWrite::kWriteFailed:
      break;
  }
  std::fprintf(stderr, "Error while writing to \"%s\"\n", output_file);
  return false;
}

// compress_lzss on the mounted image, without committing the change.
bool pack_from_host(Iso9660Filesystem* fs, const char* iso_file_path, const char* input_file) {
  // The LZSS header holds the length in 32 bits, and the game never reads
  // more than kLzssMaxUncompressedSize back: larger inputs are refused here
  // rather than turned into a file nothing can decompress.
  WholeFile input = read_host_file(input_file, kLzssMaxUncompressedSize);
  switch (input.failure) {
    case ReadFailure::kNone:
      break;
    case ReadFailure::kOpen:
      std::fprintf(stderr, "Error opening file \"%s\"", input_file);
      return false;
    case ReadFailure::kLength:
      if (input.length < 0) {
        std::fprintf(stderr, "Error while reading file \"%s\"", input_file);
      } else {
        std::fprintf(stderr, "Error: \"%s\" is too big to compress: %lld bytes\n", input_file,
                     input.length);
      }
      return false;
    case ReadFailure::kMemory:
      std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(input.length));
      return false;
    case ReadFailure::kRead:
      std::fprintf(stderr, "Error while reading file \"%s\"", input_file);
      return false;
  }

  unsigned int packed_size = 0;
  MallocBuffer packed(compress_lzss_data(input.data.get(), input.size, &packed_size));
  if (!packed) return false;
  input.data.reset();

  IsoDescriptor fd(fs, open_iso_file(fs, iso_file_path, kOpenWrite));
  if (!fd.valid()) return false;
  const long long old_length = fs->Seek(fd.get(), 0, 2);
  if (old_length < 0) {
    std::fprintf(stderr, "Error while writing to \"%s\"", iso_file_path);
    return false;
  }
  switch (write_back_iso_file(fs, fd.get(), iso_file_path, static_cast<unsigned int>(old_length),
                              packed.get(), packed_size, true)) {
    case WriteBack::kDone: break;
    case WriteBack::kTruncateFailed:
      std::fprintf(stderr, "Truncation of file \"%s\" failed!\n", iso_file_path);
      return false;
    case WriteBack::kWriteFailed:
      std::fprintf(stderr, "Error while writing to \"%s\"", iso_file_path);
      return false;
  }
  return true;
}

}  // namespace

bool uncompress_lzss(const char* input_iso, const char* iso_file_path, const char* output_file) {
  if (!output_is_not_image(output_file, input_iso)) return false;
  MountedIso iso;
  return iso.mount(input_iso, true) && unpack_to_host(iso.fs(), iso_file_path, output_file);
}

bool compress_lzss(const char* inout_iso, const char* iso_file_path, const char* input_file) {
  MountedIso iso;
  if (!iso.mount(inout_iso, false) || !pack_from_host(iso.fs(), iso_file_path, input_file) || !iso.finish()) {
    return false;
  }
  std::puts("Done.");
  return true;
}
