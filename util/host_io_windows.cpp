#include "util/host_io.h"

#include <windows.h>
#include <direct.h>
#include <io.h>

#include <cerrno>
#include <climits>

namespace talvo {

namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

int errno_of(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

// The lock is one byte far beyond any image: Windows locks are mandatory,
// and a lock on the data would stop this very run's own stream.
const DWORD kLockOffsetHigh = 0x7FFFFFFF;

}  // namespace

int open_host_file(const char* path, int flags, int) {
  int access = flags & (O_RDONLY | O_WRONLY | O_RDWR);
  DWORD desired = access == O_RDONLY ? GENERIC_READ
                  : access == O_WRONLY ? GENERIC_WRITE
                                       : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  if (flags & O_CREAT) {
    disposition = (flags & O_EXCL) ? CREATE_NEW : (flags & O_TRUNC) ? CREATE_ALWAYS : OPEN_ALWAYS;
  } else if (flags & O_TRUNC) {
    disposition = TRUNCATE_EXISTING;
  }
  // With the process code page UTF-8 (see the manifest), the ANSI call
  // takes UTF-8 names.
  HANDLE h = CreateFileA(path, desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    errno = errno_of(GetLastError());
    return -1;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), access | O_BINARY | O_NOINHERIT);
  if (fd < 0) CloseHandle(h);
  return fd;
}

namespace {

// ReadFile and WriteFile at an offset move the handle's position, which a
// stream on a duplicate of the descriptor shares; it is put back after.
template <typename Byte, typename Transfer>
bool transfer_all(Transfer transfer, int fd, Byte* buffer, size_t n, uint64_t offset) {
  HANDLE h = handle_of(fd);
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position;
  if (h == INVALID_HANDLE_VALUE || !SetFilePointerEx(h, zero, &position, FILE_CURRENT)) {
    return false;
  }
  bool ok = true;
  while (ok && n > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD step = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    DWORD moved = 0;
    ok = transfer(h, buffer, step, &moved, &at) && moved > 0;
    buffer += moved;
    n -= moved;
    offset += moved;
  }
  SetFilePointerEx(h, position, nullptr, FILE_BEGIN);
  return ok;
}

}  // namespace

bool read_at(int fd, void* buffer, size_t n, uint64_t offset) {
  return transfer_all(ReadFile, fd, static_cast<unsigned char*>(buffer), n, offset);
}

bool write_at(int fd, const void* buffer, size_t n, uint64_t offset) {
  return transfer_all(WriteFile, fd, static_cast<const unsigned char*>(buffer), n, offset);
}

int64_t host_file_length(int fd) { return _filelengthi64(fd); }

bool truncate_host_file(int fd, uint64_t length) {
  return length <= INT64_MAX && _chsize_s(fd, static_cast<__int64>(length)) == 0;
}

bool try_lock_host_file(int fd, bool exclusive) {
  OVERLAPPED at = {};
  at.OffsetHigh = kLockOffsetHigh;
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx(handle_of(fd), flags, 0, 1, 0, &at) || GetLastError() != ERROR_LOCK_VIOLATION;
}

void wait_lock_host_file(int fd, bool exclusive) {
  OVERLAPPED at = {};
  at.OffsetHigh = kLockOffsetHigh;
  LockFileEx(handle_of(fd), exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0, 0, 1, 0, &at);
}

bool sync_host_file(int fd) { return FlushFileBuffers(handle_of(fd)) != 0; }

bool sync_host_data(int fd) { return sync_host_file(fd); }

// Windows makes the names durable with the file system's own journal.
bool sync_directory_of(const std::string&) { return true; }

bool replace_host_file(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  errno = errno_of(GetLastError());
  return false;
}

bool remove_host_file(const char* path) {
  if (DeleteFileA(path)) return true;
  errno = errno_of(GetLastError());
  return false;
}

int make_host_directory(const char* path) { return _mkdir(path); }

namespace {

bool id_of_handle(HANDLE h, HostFileId* id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) return false;
  id->volume = info.dwVolumeSerialNumber;
  id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

}  // namespace

bool host_file_id(const char* path, HostFileId* id) {
  // No access asked for: only the identity, also of a file open elsewhere.
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  bool ok = id_of_handle(h, id);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  return ok;
}

bool host_file_id(int fd, HostFileId* id) { return id_of_handle(handle_of(fd), id); }

bool is_regular_host_file(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  const DWORD not_regular =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & not_regular);
}

// Links on Windows are rare and followed by the system itself on opening.
bool follow_host_links(const char* path, std::string* target) {
  *target = path;
  return true;
}

// A new file in the folder takes the folder's access rules, as the replaced
// file did.
bool adopt_host_file_access(int, const struct stat*) { return true; }

long long kernel_copy(int, int, size_t) {
  errno = ENOSYS;
  return -1;
}

// The command interpreter's own exit code.
int command_exit_status(int status) { return status; }

}  // namespace talvo
