#include "files/atomic_output.h"

#include <errno.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "util/host_io.h"

namespace {

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
  if (!talvo::follow_host_links(path, &target)) return false;
  struct stat st;
  const bool exists = stat(target.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode) || access(target.c_str(), W_OK) != 0) return false;
  } else if (errno != ENOENT) {
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
      // The replacement must be the user's file as before.
      if (talvo::adopt_host_file_access(fd, exists ? &st : nullptr)) {
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
  int fd = talvo::open_host_file(target.c_str(), O_WRONLY);
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
         (!cut_to_size_ || talvo::truncate_host_file(fd_, size));
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
  } else {
    ok = write_all(fd_, data, size);
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    ok = ok && talvo::replace_host_file(temp_path_.c_str(), path_.c_str());
  }
  if (!ok) {
    fprintf(stderr, "Error writing output.\n");
    return false;
  }
  temp_path_.clear();
  return true;
}
