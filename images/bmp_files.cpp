#include "images/bmp_files.h"

#include <cstdio>

#include "cli/image_files.h"
#include "util/guards.h"

using namespace talvo;

unsigned char* read_bmp_file(const char* path, unsigned int* size, const BmpReadMessages& messages,
                             bool* missing) {
  if (missing) *missing = false;
  FileHandle file(std::fopen(path, "rb"));
  if (!file) {
    if (missing) *missing = true;
    if (messages.open_failed) std::fprintf(stderr, messages.open_failed, path);
    return nullptr;
  }
  long length = -1;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) length = std::ftell(file.get());
  if (length < 0 || length > 0x7FFFFFFFL || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    std::fprintf(stderr, messages.short_read, path);
    return nullptr;
  }
  MallocBuffer data = malloc_buffer(static_cast<size_t>(length));
  if (!data) {
    std::fprintf(stderr, messages.alloc_failed, static_cast<int>(length));
    return nullptr;
  }
  if (std::fread(data.get(), 1, static_cast<size_t>(length), file.get()) != static_cast<size_t>(length)) {
    std::fprintf(stderr, messages.short_read, path);
    return nullptr;
  }
  *size = static_cast<unsigned int>(length);
  return data.release();
}

bool write_bmp_file(const char* path, const char* iso_path, const unsigned char* data,
                    unsigned int size, const char* open_failed) {
  if (iso_path && !output_is_not_image(path, iso_path)) return false;
  FileHandle file(std::fopen(path, "wb"));
  if (!file) {
    std::fprintf(stderr, open_failed, path);
    return false;
  }
  if (std::fwrite(data, 1, size, file.get()) != size || std::fflush(file.get()) != 0) {
    std::fprintf(stderr, "Error writing to %s\n", path);
    return false;
  }
  return true;
}
