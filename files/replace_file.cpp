#include "files/replace_file.h"

#include <sys/stat.h>

#include <cstdio>

#include "files/host_files.h"
#include "files/mounted_image.h"
#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"
#include "util/guards.h"
#include "util/host_io.h"
#include "util/progress.h"

namespace {

// The smallest local file replace_file shows its progress for.
const off_t kProgressMinimum = 16 << 20;

}  // namespace

bool replace_file(const char* inout_iso, const char* iso_file_path, const char* local_file) {
  MountedIso iso;
  if (!iso.mount(inout_iso, false)) return false;
  Iso9660Filesystem* fs = iso.fs();
  IsoDescriptor fd(fs, fs->Open(iso_file_path, kOpenReadWrite));
  if (fd.get() < 0) {
    fprintf(stderr, "\"%s\" was not found in the iso.\n", iso_file_path);
    return false;
  }
  talvo::FileHandle local(fopen(local_file, "rb"));
  if (!local) {
    fprintf(stderr, "Cannot open local file \"%s\"\n", local_file);
    return false;
  }
  // Read into itself, the image would grow with every relocation until the
  // disc is full.
  struct stat local_st;
  talvo::HostFileId local_id, iso_id;
  if (fstat(fileno(local.get()), &local_st) != 0 ||
      !talvo::host_file_id(fileno(local.get()), &local_id)) {
    fprintf(stderr, "Error while reading %s\n", local_file);
    return false;
  }
  if (talvo::host_file_id(inout_iso, &iso_id) && local_id == iso_id) {
    fprintf(stderr, "Error: the local file is the disc image itself: %s\n", local_file);
    return false;
  }
  talvo::MallocBuffer buffer = talvo::malloc_buffer(kCopyChunkSize);
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
  for (;;) {
    size_t n = fread(buffer.get(), 1, kCopyChunkSize, local.get());
    if (n == 0 && ferror(local.get())) {
      fprintf(stderr, "Error while reading %s\n", local_file);
      return false;
    }
    if (n == 0) break;
    if (fs->Write(fd.get(), buffer.get(), static_cast<long long>(n)) != static_cast<long long>(n)) {
      fprintf(stderr, "Error while writing to ISO.\n");
      return false;
    }
    written += n;
    if (local_length >= kProgressMinimum) progress.Update(written);
  }
  progress.Clear();
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
