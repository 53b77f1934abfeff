#include "files/whole_file.h"

WholeFile read_whole(long long length, long long max_length,
                     const std::function<bool(unsigned char* buffer, long long length)>& read) {
  WholeFile file;
  file.length = length;
  if (length < 0 || length > max_length) {
    file.failure = ReadFailure::kLength;
    return file;
  }
  talvo::MallocBuffer buffer = talvo::malloc_buffer(static_cast<size_t>(length));
  if (!buffer) {
    file.failure = ReadFailure::kMemory;
    return file;
  }
  if (!read(buffer.get(), length)) {
    file.failure = ReadFailure::kRead;
    return file;
  }
  file.data = std::move(buffer);
  file.size = static_cast<unsigned int>(length);
  return file;
}
