#include "util/memory_stream.h"

#include <cstdlib>

namespace talvo {

MemoryStream::MemoryStream() : stream_(open_memstream(&data_, &size_)) {}

MemoryStream::~MemoryStream() {
  if (stream_) fclose(stream_);
  free(data_);
}

bool MemoryStream::Finish() { return stream_ && fflush(stream_) == 0 && !ferror(stream_); }

}  // namespace talvo
