#include "util/host_io.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "util/guards.h"

namespace talvo {

int open_host_file(const char* path, int flags, int mode) {
  return open(path, flags | O_CLOEXEC, mode);
}

namespace {

// Moves n bytes at offset with pread or pwrite, through short transfers.
template <typename Byte, typename Transfer>
bool transfer_all(Transfer transfer, int fd, Byte* buffer, size_t n, uint64_t offset) {
  while (n > 0) {
    ssize_t moved = transfer(fd, buffer, n, static_cast<off_t>(offset));
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    buffer += moved;
    n -= static_cast<size_t>(moved);
    offset += static_cast<uint64_t>(moved);
  }
  return true;
}

}  // namespace

bool read_at(int fd, void* buffer, size_t n, uint64_t offset) {
  return transfer_all(pread, fd, static_cast<unsigned char*>(buffer), n, offset);
}

bool write_at(int fd, const void* buffer, size_t n, uint64_t offset) {
  return transfer_all(pwrite, fd, static_cast<const unsigned char*>(buffer), n, offset);
}

int64_t host_file_length(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool truncate_host_file(int fd, uint64_t length) {
  return ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool try_lock_host_file(int fd, bool exclusive) {
  return flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

void wait_lock_host_file(int fd, bool exclusive) {
  while (flock(fd, exclusive ? LOCK_EX : LOCK_SH) != 0 && errno == EINTR) {
  }
}

bool sync_host_file(int fd) { return fsync(fd) == 0; }

bool sync_host_data(int fd) { return fdatasync(fd) == 0; }

bool sync_directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  FdGuard fd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.get() >= 0 && fsync(fd.get()) == 0;
}

bool replace_host_file(const char* from, const char* to) { return rename(from, to) == 0; }

bool remove_host_file(const char* path) { return unlink(path) == 0; }

int make_host_directory(const char* path) { return mkdir(path, 0755); }

bool host_file_id(const char* path, HostFileId* id) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  id->volume = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool host_file_id(int fd, HostFileId* id) {
  struct stat st;
  if (fstat(fd, &st) != 0) return false;
  id->volume = static_cast<uint64_t>(st.st_dev);
  id->index = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool is_regular_host_file(const char* path) {
  struct stat st;
  return lstat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool follow_host_links(const char* path, std::string* target) {
  std::string at = path;
  // As many links as the system itself follows.
  for (int hops = 0; hops < 40; hops++) {
    struct stat st;
    if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *target = at;
      return true;
    }
    std::vector<char> link(PATH_MAX + 1);
    ssize_t n = readlink(at.c_str(), link.data(), PATH_MAX);
    if (n < 0) return false;
    std::string to(link.data(), static_cast<size_t>(n));
    size_t slash = at.rfind('/');
    if (to[0] != '/' && slash != std::string::npos) to = at.substr(0, slash + 1) + to;
    at = to;
  }
  return false;
}

bool adopt_host_file_access(int fd, const struct stat* replaced) {
  mode_t mode;
  if (replaced) {
    mode = replaced->st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  // Same mode, same owner (which only a privileged user can give it).
  return fchmod(fd, mode) == 0 &&
         (!replaced ||
          ((replaced->st_uid == geteuid() || fchown(fd, replaced->st_uid, -1) == 0) &&
           (replaced->st_gid == getegid() || fchown(fd, -1, replaced->st_gid) == 0)));
}

long long kernel_copy(int in, int out, size_t step) {
  for (;;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, step, 0);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int command_exit_status(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace talvo
