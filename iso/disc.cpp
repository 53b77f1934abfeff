#include "iso/disc.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/host_io.h"

namespace {

// Takes the lock of an image file, saying once that it waits when another
// run holds it. A file system without locks is used unlocked.
void lock_image(int fd, bool exclusive, const char* path) {
  if (talvo::try_lock_host_file(fd, exclusive)) return;
  fprintf(stderr, "Waiting for another run on %s to finish...\n", path);
  talvo::wait_lock_host_file(fd, exclusive);
}

}  // namespace

uint64_t FileBasedDisc::GetNumSectors() { return size_ / GetSectorSize(); }

int FileBasedDisc::ReadSectors(uint64_t first_sector, void* buffer, uint32_t count) {
  uint64_t s = GetSectorSize();
  if (first_sector > UINT64_MAX / s) return -1;
  return ReadBytes(first_sector * s, buffer, static_cast<uint64_t>(count) * s);
}

int FileBasedDisc::WriteSectors(uint64_t first_sector, const void* buffer, uint32_t count) {
  uint64_t s = GetSectorSize();
  if (first_sector > UINT64_MAX / s) return -1;
  return WriteBytes(first_sector * s, buffer, static_cast<uint64_t>(count) * s);
}

int FileBasedDisc::ReadBytes(uint64_t offset, void* buffer, uint64_t length) {
  if (!file_) return -1;
  if (length > size_ || offset > size_ - length) return -1;
  // stdio transfers are counted in size_t; a 4 GiB transfer is never asked for.
  if (length > UINT32_MAX) return -1;
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
  if (length == 0) return 0;
  return fread(buffer, 1, length, file_) == length ? 0 : -1;
}

int FileBasedDisc::WriteBytes(uint64_t offset, const void* buffer, uint64_t length) {
  if (IsReadOnly()) return -1;
  if (!file_) return -1;
  if (length > size_ || offset > size_ - length) return -1;
  if (length > UINT32_MAX) return -1;
  if (journaled_ && journal_.SaveBeforeWrite(offset, length) != 0) return -1;
  if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return -1;
  if (length == 0) return 0;
  if (fwrite(buffer, 1, length, file_) != length) return -1;
  // Surface a failed write (full disc) here rather than at close, where
  // nobody could report it.
  return fflush(file_) == 0 ? 0 : -1;
}

bool FileBasedDisc::CanExtend() { return !IsReadOnly(); }

int FileBasedDisc::Extend(uint64_t sectors, uint64_t* first_new_sector) {
  if (!CanExtend() || !file_) return -1;
  if (journaled_ && journal_.SaveBeforeExtend() != 0) return -1;
  if (fseeko(file_, 0, SEEK_END) != 0) return -1;
  off_t end = ftello(file_);
  if (end < 0) return -1;
  uint64_t host_length = static_cast<uint64_t>(end);
  uint64_t s = GetSectorSize();
  uint64_t boundary_sectors = host_length / s + (host_length % s ? 1 : 0);
  if (sectors > (UINT64_MAX / 2) / s) return -1;
  uint64_t growth = sectors * s;
  // A host file ending in a partial sector (or changed behind our back)
  // first grows to the next boundary, so the new sectors start aligned.
  if (host_length != size_) growth += boundary_sectors * s - host_length;
  if (first_new_sector) *first_new_sector = boundary_sectors;
  if (growth > 0) {
    if (host_length + growth > static_cast<uint64_t>(INT64_MAX)) return -1;
    // One byte at the new end: the gap reads as zeros and costs no copying.
    if (fseeko(file_, static_cast<off_t>(host_length + growth - 1), SEEK_SET) != 0) return -1;
    if (fputc(0, file_) == EOF || fflush(file_) != 0) return -1;
  }
  if (fseeko(file_, 0, SEEK_END) != 0) return -1;
  end = ftello(file_);
  if (end < 0) return -1;
  size_ = static_cast<uint64_t>(end);
  return 0;
}

FileBasedDisc::~FileBasedDisc() { CloseFile(); }

int FileBasedDisc::OpenDiscFile(const char* path) {
  CloseFile();
  if (!path) return -1;
  lock_fd_ = talvo::open_host_file(path, IsReadOnly() ? O_RDONLY : O_RDWR);
  if (lock_fd_ < 0) return -1;
  lock_image(lock_fd_, !IsReadOnly(), path);
  if (journaled_) {
    journal_.Bind(lock_fd_, path);
    if (journal_.RecoverLeftover(IsReadOnly()) != 0) {
      CloseFile();
      errno = EBADMSG;
      return -1;
    }
  }
  // The stream shares the locked descriptor's open file, so it is the very
  // file the lock and the journal cover.
  int stream_fd = dup(lock_fd_);
  FILE* f = stream_fd < 0 ? nullptr : fdopen(stream_fd, IsReadOnly() ? "rb" : "r+b");
  if (!f) {
    if (stream_fd >= 0) close(stream_fd);
    CloseFile();
    return -1;
  }
  off_t end = -1;
  if (fseeko(f, 0, SEEK_END) == 0) end = ftello(f);
  file_ = f;
  if (end < 0) {
    CloseFile();
    return -1;
  }
  uint64_t length = static_cast<uint64_t>(end);
  size_ = length - length % GetSectorSize();
  return 0;
}

int FileBasedDisc::Commit() {
  if (!file_ || fflush(file_) != 0) return -1;
  return journaled_ ? journal_.Commit() : 0;
}

void FileBasedDisc::CloseFile() {
  if (file_) {
    fclose(file_);
    file_ = nullptr;
  }
  // After the stream is closed, so that nothing it still buffers lands on
  // the restored bytes.
  if (journaled_) journal_.Rollback();
  if (lock_fd_ >= 0) {
    close(lock_fd_);
    lock_fd_ = -1;
  }
  size_ = 0;
}

uint32_t IsoFileDisc::GetSectorSize() { return 2048; }

bool IsoFileDisc::IsReadOnly() { return read_only_; }

IsoFileDisc::~IsoFileDisc() { CloseFile(); }
