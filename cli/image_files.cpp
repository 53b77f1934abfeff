#include "cli/image_files.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "iso/disc.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"

using talvo::FileHandle;
using talvo::MallocBuffer;

namespace {

// Host copies and replace_file move data in blocks of this size.
const size_t kChunkSize = 16u * 1024 * 1024;

// Closes an image descriptor on every path out.
class IsoFd {
 public:
  IsoFd(Iso9660Filesystem* fs, int fd) : fs_(fs), fd_(fd) {}
  ~IsoFd() {
    if (fd_ >= 0) fs_->Close(fd_);
  }
  IsoFd(const IsoFd&) = delete;
  IsoFd& operator=(const IsoFd&) = delete;
  int get() const { return fd_; }

 private:
  Iso9660Filesystem* fs_;
  int fd_;
};

bool same_host_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool mount_iso(IsoFileDisc** disc, Iso9660Filesystem** fs, const char* iso_path, bool read_only) {
  IsoFileDisc* new_disc = new (std::nothrow) IsoFileDisc(read_only);
  if (!new_disc || new_disc->OpenDiscFile(iso_path) != 0) {
    fprintf(stderr, "Error opening iso file: %s\n", iso_path);
    fprintf(stderr,
            "Check that the file exists and is not in use by other program such as a Virtual CD "
            "emulator.\n");
    delete new_disc;
    return false;
  }
  Iso9660Filesystem* new_fs = new (std::nothrow) Iso9660Filesystem();
  if (!new_fs || new_fs->Mount(new_disc, read_only) != 0) {
    fprintf(stderr, "Mount failed.\n");
    delete new_fs;
    delete new_disc;
    return false;
  }
  *disc = new_disc;
  *fs = new_fs;
  return true;
}

void umount_iso(IsoFileDisc* disc, Iso9660Filesystem* fs) {
  delete fs;
  delete disc;
}

unsigned char* read_iso_file(Iso9660Filesystem* fs, const char* path, int* size) {
  IsoFd fd(fs, fs->Open(path, kOpenRead));
  if (fd.get() < 0) {
    fprintf(stderr, "Cannot open %s\n", path);
    return nullptr;
  }
  long long length = fs->Seek(fd.get(), 0, 2);
  // Sizes are signed 32-bit counts; a longer file cannot be handed over whole.
  if (length < 0 || length > INT_MAX || fs->Seek(fd.get(), 0, 0) != 0) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  MallocBuffer buffer = talvo::malloc_buffer(static_cast<size_t>(length));
  if (!buffer) {
    fprintf(stderr, "Out of memory.\n");
    return nullptr;
  }
  if (fs->Read(fd.get(), buffer.get(), length) != length) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  *size = static_cast<int>(length);
  return buffer.release();
}

bool write_iso_file(Iso9660Filesystem* fs, const char* path, const void* data, int size) {
  IsoFd fd(fs, fs->Open(path, kOpenWrite));
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
  off_t length = -1;
  if (fseeko(file.get(), 0, SEEK_END) == 0) length = ftello(file.get());
  if (length < 0 || length > INT_MAX || fseeko(file.get(), 0, SEEK_SET) != 0) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  MallocBuffer buffer = talvo::malloc_buffer(static_cast<size_t>(length));
  if (!buffer) {
    fprintf(stderr, "Out of memory.\n");
    return nullptr;
  }
  if (fread(buffer.get(), 1, static_cast<size_t>(length), file.get()) !=
      static_cast<size_t>(length)) {
    fprintf(stderr, "Error while reading %s\n", path);
    return nullptr;
  }
  *size = static_cast<int>(length);
  return buffer.release();
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
  MallocBuffer buffer = talvo::malloc_buffer(kChunkSize);
  if (!buffer) {
    fprintf(stderr, "Out of memory.\n");
    return false;
  }
  for (;;) {
    size_t n = fread(buffer.get(), 1, kChunkSize, in.get());
    if (n == 0) {
      if (ferror(in.get())) {
        fprintf(stderr, "Error while reading %s\n", source);
        puts("done.");
        return false;
      }
      // The last buffered bytes reach the disc at close; a failure there is
      // a failed copy too.
      if (fclose(out.release()) != 0) {
        fprintf(stderr, "Error writing to %s\n", destination);
        puts("done.");
        return false;
      }
      puts("done.");
      return true;
    }
    if (fwrite(buffer.get(), 1, n, out.get()) != n) {
      fprintf(stderr, "Error writing to %s\n", destination);
      puts("done.");
      return false;
    }
  }
}

bool replace_file(const char* inout_iso, const char* iso_file_path, const char* local_file) {
  MountedIso iso;
  if (!iso.mount(inout_iso, false)) return false;
  Iso9660Filesystem* fs = iso.fs();
  int fd = fs->Open(iso_file_path, kOpenReadWrite);
  if (fd < 0) {
    fprintf(stderr, "\"%s\" was not found in the iso.\n", iso_file_path);
    return false;
  }
  bool closed = false;
  auto close_fd = talvo::make_scope_exit([&] {
    if (!closed) fs->Close(fd);
  });
  FileHandle local(fopen(local_file, "rb"));
  if (!local) {
    fprintf(stderr, "Cannot open local file \"%s\"\n", local_file);
    return false;
  }
  MallocBuffer buffer = talvo::malloc_buffer(kChunkSize);
  if (!buffer) {
    fprintf(stderr, "Memory allocation error.\n");
    return false;
  }
  // Give the file its final length first: one relocation at most, instead of
  // one per chunk with the earlier chunks carried along each time. A shorter
  // local file leaves no old bytes behind it.
  off_t local_length = -1;
  if (fseeko(local.get(), 0, SEEK_END) == 0) local_length = ftello(local.get());
  if (local_length < 0 || fseeko(local.get(), 0, SEEK_SET) != 0) {
    fprintf(stderr, "Error while reading %s\n", local_file);
    return false;
  }
  if (fs->Ftruncate(fd, static_cast<unsigned long long>(local_length)) != 0) {
    fprintf(stderr, "Error while writing to ISO.\n");
    return false;
  }
  unsigned long long written = 0;
  for (;;) {
    size_t n = fread(buffer.get(), 1, kChunkSize, local.get());
    if (n == 0) break;
    if (fs->Write(fd, buffer.get(), static_cast<long long>(n)) != static_cast<long long>(n)) {
      fprintf(stderr, "Error while writing to ISO.\n");
      return false;
    }
    written += n;
  }
  if (ferror(local.get())) {
    fprintf(stderr, "Error while reading %s\n", local_file);
    return false;
  }
  // The local file may have changed length while it was read; the image
  // file ends where the data read ended.
  if (written != static_cast<unsigned long long>(local_length) && fs->Ftruncate(fd, written) != 0) {
    fprintf(stderr, "Error while writing to ISO.\n");
    return false;
  }
  fs->Close(fd);
  closed = true;
  // Unmount here to learn whether the grown volume size reached the image.
  if (fs->Umount(false) != 0) {
    fprintf(stderr, "Error while writing to ISO.\n");
    return false;
  }
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
