#include "files/atomic_output.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace {

// The file a path names once symbolic links are followed, also when the
// last link points at a file still to be created. False for a loop.
bool follow_links(const char* path, std::string* target) {
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

bool write_all(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

ReplacingOutputFile::~ReplacingOutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

bool ReplacingOutputFile::Create(const char* path) {
  std::string target;
  if (!follow_links(path, &target)) return false;
  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  mode_t mode;
  if (exists) {
    if (S_ISDIR(st.st_mode) || access(target.c_str(), W_OK) != 0) return false;
    mode = st.st_mode & 07777;
  } else if (errno == ENOENT) {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  } else {
    return false;
  }
  // A file with other names is one file: a replacement would part them.
  bool replace = !exists || (S_ISREG(st.st_mode) && st.st_nlink == 1);
  if (replace) {
    std::string temp = target + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back(0);
    int fd = mkstemp(name.data());
    if (fd >= 0) {
      // The replacement must be the user's file as before: same mode, same
      // owner (which only a privileged user can give it).
      bool same_file = fchmod(fd, mode) == 0 &&
                       (!exists || ((st.st_uid == geteuid() || fchown(fd, st.st_uid, -1) == 0) &&
                                    (st.st_gid == getegid() || fchown(fd, -1, st.st_gid) == 0)));
      if (same_file) {
        fd_ = fd;
        path_ = target;
        temp_path_ = name.data();
        return true;
      }
      close(fd);
      unlink(name.data());
    }
    if (!exists) return false;
  }
  // Opened now, written only at Commit: its bytes stay until then.
  int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  fd_ = fd;
  cut_to_size_ = S_ISREG(st.st_mode);
  path_ = target;
  return true;
}

bool ReplacingOutputFile::Commit(const void* data, size_t size) {
  if (fd_ < 0) return false;
  bool ok;
  if (temp_path_.empty()) {
    ok = write_all(fd_, data, size) &&
         (!cut_to_size_ || ftruncate(fd_, static_cast<off_t>(size)) == 0);
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
  } else {
    ok = write_all(fd_, data, size);
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    ok = ok && rename(temp_path_.c_str(), path_.c_str()) == 0;
  }
  if (!ok) {
    fprintf(stderr, "Error writing output.\n");
    return false;
  }
  temp_path_.clear();
  return true;
}
