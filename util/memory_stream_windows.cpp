#include "util/memory_stream.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

namespace talvo {

// A temporary file that the system deletes when it is closed, and that it
// keeps in memory while it can.
MemoryStream::MemoryStream() {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > MAX_PATH || GetTempFileNameA(folder, "tlv", 0, name) == 0) return;
  HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(h);
    return;
  }
  stream_ = _fdopen(fd, "w+b");
  if (!stream_) _close(fd);
}

MemoryStream::~MemoryStream() {
  if (stream_) fclose(stream_);
}

bool MemoryStream::Finish() {
  if (!stream_ || fflush(stream_) != 0 || ferror(stream_)) return false;
  long long length = _ftelli64(stream_);
  if (length < 0 || _fseeki64(stream_, 0, SEEK_SET) != 0) return false;
  collected_.resize(static_cast<size_t>(length));
  if (length > 0 && fread(&collected_[0], 1, collected_.size(), stream_) != collected_.size()) {
    return false;
  }
  data_ = collected_.data();
  size_ = collected_.size();
  return true;
}

}  // namespace talvo
