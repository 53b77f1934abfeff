#include "iso/filesystem.h"

#include <cerrno>

int Filesystem::Mount(Disc* disc, bool read_only) {
  if (disc_) {
    errno = EBUSY;
    return -1;
  }
  if (!disc) {
    errno = EINVAL;
    return -1;
  }
  if (!read_only && disc->IsReadOnly()) {
    errno = EPERM;
    return -1;
  }
  disc_ = disc;
  read_only_ = read_only;
  return 0;
}

int Filesystem::Umount(bool) {
  if (!disc_) {
    errno = ENOENT;
    return -1;
  }
  disc_ = nullptr;
  return 0;
}

static bool is_separator(char c) { return c == '/' || c == '\\'; }

bool Filesystem::NormalizePath(const char* in, char* out, unsigned out_size) {
  if (out_size == 0 || !in) return false;
  unsigned used = 0;
  out[used++] = '/';
  for (const char* p = in; *p;) {
    if (used >= out_size) return false;
    if (is_separator(*p)) {
      out[used++] = '/';
      while (is_separator(*p)) ++p;
    } else {
      out[used++] = *p++;
    }
  }
  if (used >= out_size) return false;
  out[used] = '\0';
  while (used > 1 && out[used - 1] == '/') out[--used] = '\0';
  return true;
}

bool Filesystem::ExtractNextPathComponent(const char* path, char* out, unsigned out_size,
                                          unsigned* position, bool* is_last) {
  unsigned pos = *position;
  while (is_separator(path[pos])) ++pos;
  if (path[pos] == '\0' || out_size == 0) return false;
  unsigned n = 0;
  while (path[pos + n] != '\0' && !is_separator(path[pos + n])) {
    if (n + 1 >= out_size) return false;
    out[n] = path[pos + n];
    ++n;
  }
  out[n] = '\0';
  if (is_last) *is_last = path[pos + n] == '\0';
  *position = pos + n;
  return true;
}
