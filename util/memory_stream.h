// A stdio stream whose text is collected in memory, for output that must be
// complete before it goes anywhere.
#ifndef TALVO_UTIL_MEMORY_STREAM_H
#define TALVO_UTIL_MEMORY_STREAM_H

#include <cstddef>
#include <cstdio>
#include <string>

namespace talvo {

class MemoryStream {
 public:
  MemoryStream();
  ~MemoryStream();
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // Null when no stream could be made.
  FILE* stream() const { return stream_; }
  // Ends the writing; false when it failed (memory or space ran out). Then
  // data() and size() hold the text.
  bool Finish();
  const char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  FILE* stream_ = nullptr;
  char* data_ = nullptr;
  size_t size_ = 0;
  std::string collected_;  // where the system has no stream into memory
};

}  // namespace talvo

#endif
