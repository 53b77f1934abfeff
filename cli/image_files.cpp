#include "cli/image_files.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "iso/disc.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"
#include "util/progress.h"

using talvo::FileHandle;
using talvo::MallocBuffer;

namespace {

// Host copies (where the kernel cannot copy for us) and replace_file move
// data in blocks of this size: larger blocks were no faster here, only
// heavier, and showed long stalls while the page cache wrote back.
const size_t kChunkSize = 256u * 1024;
// The most one copy_file_range call is asked to move.
const size_t kKernelCopyStep = 1u << 30;

// The smallest local file replace_file shows its progress for.
const off_t kProgressMinimum = 16 << 20;

bool same_host_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The length of a host file, leaving it positioned at its start; -1 when it
// cannot be measured.
off_t host_length(FILE* file) {
  off_t length = -1;
  if (fseeko(file, 0, SEEK_END) == 0) length = ftello(file);
  return length >= 0 && fseeko(file, 0, SEEK_SET) == 0 ? length : -1;
}

// A whole file of `length` bytes read by read(buffer, length) into a buffer
// handed to the caller. Sizes are signed 32-bit counts: a longer file cannot
// be handed over whole.
template <typename Read>
unsigned char* read_whole(const char* path, long long length, int* size, Read read) {
  if (length < 0 || length > INT_MAX) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  MallocBuffer buffer = talvo::malloc_buffer(static_cast<size_t>(length));
  if (!buffer) {
    fprintf(stderr, "Out of memory.\n");
    return nullptr;
  }
  if (!read(buffer.get(), length)) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  *size = static_cast<int>(length);
  return buffer.release();
}

enum class Pumped { kAll, kReadError, kWriteError, kNoMemory };

// Hands the rest of `in` to write(block, n) in blocks of kChunkSize, read
// into buffer (kChunkSize bytes).
template <typename Write>
Pumped pump(FILE* in, unsigned char* buffer, Write write) {
  for (;;) {
    size_t n = fread(buffer, 1, kChunkSize, in);
    if (n == 0) return ferror(in) ? Pumped::kReadError : Pumped::kAll;
    if (!write(buffer, n)) return Pumped::kWriteError;
  }
}

// Copies the rest of the host file `in` to `out`. The kernel copies without
// the data passing through this process (and shares the extents on
// filesystems that can) while it offers that for these two files; the rest
// goes through a buffer of kChunkSize, which also reports a read failure
// apart from a write failure.
Pumped copy_descriptor(int in, int out) {
  struct stat st;
  if (fstat(in, &st) == 0 && S_ISREG(st.st_mode)) {
    talvo::Progress progress(static_cast<unsigned long long>(st.st_size));
    // Steps small enough for the pacifier to move while it is shown.
    const size_t step = progress.shown() ? kChunkSize * 16 : kKernelCopyStep;
    unsigned long long copied = 0;
    for (;;) {
      ssize_t n = copy_file_range(in, nullptr, out, nullptr, step, 0);
      if (n == 0) return Pumped::kAll;
      if (n < 0 && errno != EINTR) break;
      if (n > 0) progress.Update(copied += static_cast<unsigned long long>(n));
    }
  }
  MallocBuffer buffer = talvo::malloc_buffer(kChunkSize);
  if (!buffer) return Pumped::kNoMemory;
  for (;;) {
    ssize_t n = read(in, buffer.get(), kChunkSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Pumped::kReadError;
    if (n == 0) return Pumped::kAll;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.get() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return Pumped::kWriteError;
      done += w;
    }
  }
}

IsoFileDisc* make_plain_disc(bool read_only, bool journaled) {
  return new (std::nothrow) IsoFileDisc(read_only, journaled);
}

DiscMaker disc_maker = make_plain_disc;

}  // namespace

DiscMaker set_disc_maker(DiscMaker maker) {
  DiscMaker before = disc_maker;
  disc_maker = maker ? maker : make_plain_disc;
  return before;
}

bool mount_iso(IsoFileDisc** disc, Iso9660Filesystem** fs, const char* iso_path, bool read_only,
               bool journaled) {
  IsoFileDisc* new_disc = disc_maker(read_only, journaled);
  if (!new_disc || new_disc->OpenDiscFile(iso_path) != 0) {
    // A journal in the way has been explained already.
    if (errno != EBADMSG) {
      fprintf(stderr, "Error opening iso file: %s\n", iso_path);
      fprintf(stderr,
              "Check that the file exists and is not in use by other program such as a Virtual "
              "CD emulator.\n");
    }
    delete new_disc;
    return false;
  }
  Iso9660Filesystem* new_fs = new (std::nothrow) Iso9660Filesystem();
  if (!new_fs || new_fs->Mount(new_disc, read_only) != 0) {
    if (new_fs && errno == EROFS) {
      fprintf(stderr,
              "Error: %s also holds a UDF file system, which would keep describing the old "
              "files: it can be read but not changed.\n",
              iso_path);
    } else {
      fprintf(stderr, "Mount failed.\n");
    }
    delete new_fs;
    delete new_disc;
    return false;
  }
  *disc = new_disc;
  *fs = new_fs;
  return true;
}

bool finish_iso(IsoFileDisc* disc, Iso9660Filesystem* fs) {
  if (fs->Umount(false) != 0 || disc->Commit() != 0) {
    fprintf(stderr, "Error while writing to ISO.\n");
    return false;
  }
  return true;
}

void umount_iso(IsoFileDisc* disc, Iso9660Filesystem* fs) {
  delete fs;
  delete disc;
}

int IsoDescriptor::close() {
  int result = 0;
  if (fs_ && fd_ >= 0) result = fs_->Close(fd_);
  fd_ = -1;
  return result;
}

unsigned char* read_iso_file(Iso9660Filesystem* fs, const char* path, int* size) {
  IsoDescriptor fd(fs, fs->Open(path, kOpenRead));
  if (fd.get() < 0) {
    fprintf(stderr, "Cannot open %s\n", path);
    return nullptr;
  }
  long long length = fs->Seek(fd.get(), 0, 2);
  if (length >= 0 && fs->Seek(fd.get(), 0, 0) != 0) length = -1;
  return read_whole(path, length, size, [&](unsigned char* buffer, long long n) {
    return fs->Read(fd.get(), buffer, n) == n;
  });
}

bool write_iso_file(Iso9660Filesystem* fs, const char* path, const void* data, int size) {
  IsoDescriptor fd(fs, fs->Open(path, kOpenWrite));
  if (fd.get() < 0) {
    fprintf(stderr, "Cannot open %s\n", path);
    return false;
  }
  // A negative size would "succeed": Write's -1 equals it.
  if (size < 0 || fs->Write(fd.get(), data, size) != size) {
    fprintf(stderr, "Error while writing %s\n", path);
    return false;
  }
  return true;
}

unsigned char* read_file(const char* path, int* size) {
  FileHandle file(fopen(path, "rb"));
  if (!file) {
    fprintf(stderr, "Cannot open %s\n", path);
    return nullptr;
  }
  return read_whole(path, host_length(file.get()), size, [&](unsigned char* buffer, long long n) {
    return fread(buffer, 1, static_cast<size_t>(n), file.get()) == static_cast<size_t>(n);
  });
}

bool copy_file(const char* source, const char* destination) {
  // Opening the destination "wb" would empty the source before it is read.
  struct stat source_st, destination_st;
  if (stat(source, &source_st) == 0 && stat(destination, &destination_st) == 0 &&
      same_host_file(source_st, destination_st)) {
    fprintf(stderr, "Error: source and destination are the same file: %s\n", destination);
    return false;
  }
  printf("Copying file... ");
  fflush(stdout);
  FileHandle in(fopen(source, "rb"));
  if (!in) {
    fprintf(stderr, "Cannot open %s\n", source);
    return false;
  }
  FileHandle out(fopen(destination, "wb"));
  if (!out) {
    fprintf(stderr, "Cannot open/create %s\n", destination);
    return false;
  }
  Pumped result = copy_descriptor(fileno(in.get()), fileno(out.get()));
  if (result == Pumped::kNoMemory) {
    fprintf(stderr, "Out of memory.\n");
    return false;
  }
  // Some filesystems report a failed write only at close: a failed copy too.
  if (result == Pumped::kAll && fclose(out.release()) != 0) result = Pumped::kWriteError;
  if (result == Pumped::kReadError) fprintf(stderr, "Error while reading %s\n", source);
  if (result == Pumped::kWriteError) fprintf(stderr, "Error writing to %s\n", destination);
  puts("done.");
  return result == Pumped::kAll;
}

bool replace_file(const char* inout_iso, const char* iso_file_path, const char* local_file) {
  MountedIso iso;
  if (!iso.mount(inout_iso, false)) return false;
  Iso9660Filesystem* fs = iso.fs();
  IsoDescriptor fd(fs, fs->Open(iso_file_path, kOpenReadWrite));
  if (fd.get() < 0) {
    fprintf(stderr, "\"%s\" was not found in the iso.\n", iso_file_path);
    return false;
  }
  FileHandle local(fopen(local_file, "rb"));
  if (!local) {
    fprintf(stderr, "Cannot open local file \"%s\"\n", local_file);
    return false;
  }
  // Read into itself, the image would grow with every relocation until the
  // disc is full.
  struct stat local_st, iso_st;
  if (fstat(fileno(local.get()), &local_st) != 0) {
    fprintf(stderr, "Error while reading %s\n", local_file);
    return false;
  }
  if (stat(inout_iso, &iso_st) == 0 && same_host_file(local_st, iso_st)) {
    fprintf(stderr, "Error: the local file is the disc image itself: %s\n", local_file);
    return false;
  }
  MallocBuffer buffer = talvo::malloc_buffer(kChunkSize);
  if (!buffer) {
    fprintf(stderr, "Memory allocation error.\n");
    return false;
  }
  // Give the file its final length first: one relocation at most, instead of
  // one per chunk with the earlier chunks carried along each time. A shorter
  // local file leaves no old bytes behind it. A pipe has no length to give:
  // it is read to its end.
  off_t local_length = -1;
  if (S_ISREG(local_st.st_mode)) {
    local_length = host_length(local.get());
    if (local_length < 0) {
      fprintf(stderr, "Error while reading %s\n", local_file);
      return false;
    }
    if (fs->Ftruncate(fd.get(), static_cast<unsigned long long>(local_length)) != 0) {
      fprintf(stderr, "Error while writing to ISO.\n");
      return false;
    }
  }
  unsigned long long written = 0;
  // Small files are written before a pacifier would be seen.
  talvo::Progress progress(local_length >= kProgressMinimum ? local_length : 0);
  Pumped result = pump(local.get(), buffer.get(), [&](const unsigned char* block, size_t n) {
    if (fs->Write(fd.get(), block, static_cast<long long>(n)) != static_cast<long long>(n)) return false;
    written += n;
    if (local_length >= kProgressMinimum) progress.Update(written);
    return true;
  });
  progress.Clear();
  if (result == Pumped::kWriteError) fprintf(stderr, "Error while writing to ISO.\n");
  if (result == Pumped::kReadError) fprintf(stderr, "Error while reading %s\n", local_file);
  if (result != Pumped::kAll) return false;
  // The local file may have changed length while it was read; the image
  // file ends where the data read ended.
  if (written != static_cast<unsigned long long>(local_length) &&
      fs->Ftruncate(fd.get(), written) != 0) {
    fprintf(stderr, "Error while writing to ISO.\n");
    return false;
  }
  fd.close();
  if (!iso.finish()) return false;
  printf("File \"%s\" replaced.\n", iso_file_path);
  return true;
}

bool output_is_not_image(const char* output_path, const char* iso_path) {
  struct stat output_st, iso_st;
  if (stat(output_path, &output_st) != 0 || stat(iso_path, &iso_st) != 0) return true;
  if (!same_host_file(output_st, iso_st)) return true;
  fprintf(stderr, "Error: output file is the disc image itself: %s\n", output_path);
  return false;
}
