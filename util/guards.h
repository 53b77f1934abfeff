// Owners that release on every path out: malloc'd buffers, stdio streams and
// host descriptors. Buffers handed to a caller leave their guard with
// release(); everything else is freed by the guard's destructor.
#ifndef TALVO_UTIL_GUARDS_H
#define TALVO_UTIL_GUARDS_H

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace talvo {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// A malloc'd buffer; release() hands it to a caller who frees it with free().
using MallocBuffer = std::unique_ptr<unsigned char, FreeDeleter>;

inline MallocBuffer malloc_buffer(size_t size) {
  // malloc(0) may return null; ask for one byte so that "empty" is not "failed".
  return MallocBuffer(static_cast<unsigned char*>(std::malloc(size ? size : 1)));
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};

using FileHandle = std::unique_ptr<FILE, FileCloser>;

// A host file descriptor closed on destruction.
class FdGuard {
 public:
  explicit FdGuard(int fd = -1) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Runs a callable when the scope ends, unless dismissed.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() {
    if (active_) f_();
  }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;
  void dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

template <typename F>
ScopeExit<F> make_scope_exit(F f) {
  return ScopeExit<F>(std::move(f));
}

}  // namespace talvo

#endif
