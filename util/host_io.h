// Host files below stdio: descriptors, positioned transfers, locks, flushing
// to disk, and the directory operations of atomic replacement. Paths are
// UTF-8; '/' and the system's own separators both work.
#ifndef TALVO_UTIL_HOST_IO_H
#define TALVO_UTIL_HOST_IO_H

#include <fcntl.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace talvo {

// open() in binary mode, not inherited by child processes; the file may be
// renamed or removed while it is open. flags are O_RDONLY, O_WRONLY or
// O_RDWR with O_CREAT, O_TRUNC, O_EXCL. -1 with errno on failure.
int open_host_file(const char* path, int flags, int mode = 0644);

// Reads or writes exactly n bytes at offset without moving the descriptor's
// position; false on an error or at the end of the file.
bool read_at(int fd, void* buffer, size_t n, uint64_t offset);
bool write_at(int fd, const void* buffer, size_t n, uint64_t offset);

// Length of the open file; -1 on failure.
int64_t host_file_length(int fd);
bool truncate_host_file(int fd, uint64_t length);

// Takes a shared or exclusive advisory lock of the whole file. try_lock is
// false only when another holder keeps it from being taken now; a file
// system without locks counts as locked.
bool try_lock_host_file(int fd, bool exclusive);
void wait_lock_host_file(int fd, bool exclusive);

// Flushes the file's data and size to the disk.
bool sync_host_file(int fd);
// The same for the data and what reading it back needs (not the times).
bool sync_host_data(int fd);
// Makes the creation, renaming or removal of a file in path's folder durable.
bool sync_directory_of(const std::string& path);

// Renames from to to, replacing an existing to in one step.
bool replace_host_file(const char* from, const char* to);
bool remove_host_file(const char* path);
// 0, or -1 with errno (EEXIST when it is there already), as mkdir().
int make_host_directory(const char* path);

// Identity of a host file: two names of one file give equal ids.
struct HostFileId {
  uint64_t volume = 0;
  uint64_t index = 0;
};
inline bool operator==(const HostFileId& a, const HostFileId& b) {
  return a.volume == b.volume && a.index == b.index;
}
bool host_file_id(const char* path, HostFileId* id);
bool host_file_id(int fd, HostFileId* id);

// True when path itself (a symbolic link is not followed) is a regular file.
bool is_regular_host_file(const char* path);

// The file a path names once symbolic links are followed, also when the
// last link points at a file still to be created. False for a loop.
bool follow_host_links(const char* path, std::string* target);

// Gives fd, a new file made to replace another, the access the replaced file
// had (replaced; null when there was none: then that of any new file). False
// when that cannot be given.
bool adopt_host_file_access(int fd, const struct stat* replaced);

// Moves up to step bytes from in to out at their positions without them
// passing through this process: the count moved, 0 at the end of in, -1
// with errno when the system cannot (or fails).
long long kernel_copy(int in, int out, size_t step);

// The exit status of a command from what pclose() returned; -1 when it did
// not exit.
int command_exit_status(int status);

}  // namespace talvo

#endif
