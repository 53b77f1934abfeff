#include "translation/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

ReplacingOutputFile::~ReplacingOutputFile() {
  if (fd_ >= 0) close(fd_);
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
}

bool ReplacingOutputFile::Create(const char* path) {
  struct stat st;
  if (stat(path, &st) == 0) {
    if (S_ISDIR(st.st_mode) || access(path, W_OK) != 0) return false;
    mode_ = st.st_mode & 07777;
  } else if (errno == ENOENT) {
    mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666 & ~mask;
  } else {
    return false;
  }
  std::string temp = std::string(path) + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back(0);
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  temp_path_ = name.data();
  fchmod(fd_, static_cast<mode_t>(mode_));
  return true;
}

bool ReplacingOutputFile::Commit(const void* data, size_t size) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd_, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  int closed = close(fd_);
  fd_ = -1;
  if (done != size || closed != 0 || rename(temp_path_.c_str(), path_.c_str()) != 0) {
    fprintf(stderr, "Error writing output.\n");
    return false;
  }
  temp_path_.clear();
  return true;
}
