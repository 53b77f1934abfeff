#include "files/host_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "util/guards.h"
#include "util/host_io.h"
#include "util/progress.h"

using talvo::FileHandle;
using talvo::MallocBuffer;

namespace {

// The most one kernel copy is asked to move.
const size_t kKernelCopyStep = 1u << 30;

enum class Copied { kAll, kReadError, kWriteError, kNoMemory };

// Copies the rest of the host file `in` to `out`. The kernel copies without
// the data passing through this process (and shares the extents on
// filesystems that can) while it offers that for these two files; the rest
// goes through a buffer of kCopyChunkSize, which also reports a read failure
// apart from a write failure.
Copied copy_descriptor(int in, int out) {
  struct stat st;
  if (fstat(in, &st) == 0 && S_ISREG(st.st_mode)) {
    talvo::Progress progress(static_cast<unsigned long long>(st.st_size));
    // Steps small enough for the pacifier to move while it is shown.
    const size_t step = progress.shown() ? kCopyChunkSize * 16 : kKernelCopyStep;
    unsigned long long copied = 0;
    for (;;) {
      long long n = talvo::kernel_copy(in, out, step);
      if (n == 0) return Copied::kAll;
      if (n < 0) break;
      progress.Update(copied += static_cast<unsigned long long>(n));
    }
  }
  MallocBuffer buffer = talvo::malloc_buffer(kCopyChunkSize);
  if (!buffer) return Copied::kNoMemory;
  for (;;) {
    ssize_t n = read(in, buffer.get(), kCopyChunkSize);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Copied::kReadError;
    if (n == 0) return Copied::kAll;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.get() + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return Copied::kWriteError;
      done += w;
    }
  }
}

}  // namespace

bool same_host_file(const char* a, const char* b) {
  talvo::HostFileId a_id, b_id;
  return talvo::host_file_id(a, &a_id) && talvo::host_file_id(b, &b_id) && a_id == b_id;
}

off_t host_length(FILE* file) {
  off_t length = -1;
  if (fseeko(file, 0, SEEK_END) == 0) length = ftello(file);
  return length >= 0 && fseeko(file, 0, SEEK_SET) == 0 ? length : -1;
}

WholeFile read_host_file(const char* path, long long max_length) {
  FileHandle file(fopen(path, "rb"));
  if (!file) {
    WholeFile missing;
    missing.failure = ReadFailure::kOpen;
    return missing;
  }
  return read_whole(host_length(file.get()), max_length, [&](unsigned char* buffer, long long n) {
    return fread(buffer, 1, static_cast<size_t>(n), file.get()) == static_cast<size_t>(n);
  });
}

unsigned char* read_file(const char* path, int* size) {
  WholeFile file = read_host_file(path);
  switch (file.failure) {
    case ReadFailure::kNone:
      *size = static_cast<int>(file.size);
      return file.data.release();
    case ReadFailure::kOpen:
      fprintf(stderr, "Cannot open %s\n", path);
      return nullptr;
    case ReadFailure::kMemory:
      fprintf(stderr, "Out of memory.\n");
      return nullptr;
    case ReadFailure::kLength:
    case ReadFailure::kRead:
      break;
  }
  fprintf(stderr, "Error while reading %s\n", path);
  return nullptr;
}

HostWrite write_host_file(const char* path, const void* data, size_t size) {
  FileHandle file(fopen(path, "wb"));
  if (!file) return HostWrite::kOpenFailed;
  const bool written = fwrite(data, 1, size, file.get()) == size;
  // A full disc shows up at the flush as often as at the write.
  const bool closed = fclose(file.release()) == 0;
  return written && closed ? HostWrite::kDone : HostWrite::kWriteFailed;
}

bool copy_file(const char* source, const char* destination) {
  // Opening the destination "wb" would empty the source before it is read.
  if (same_host_file(source, destination)) {
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
  Copied result = copy_descriptor(fileno(in.get()), fileno(out.get()));
  if (result == Copied::kNoMemory) {
    fprintf(stderr, "Out of memory.\n");
    return false;
  }
  // Some filesystems report a failed write only at close: a failed copy too.
  if (result == Copied::kAll && fclose(out.release()) != 0) result = Copied::kWriteError;
  if (result == Copied::kReadError) fprintf(stderr, "Error while reading %s\n", source);
  if (result == Copied::kWriteError) fprintf(stderr, "Error writing to %s\n", destination);
  puts("done.");
  return result == Copied::kAll;
}

bool output_is_not_image(const char* output_path, const char* iso_path) {
  if (!same_host_file(output_path, iso_path)) return true;
  fprintf(stderr, "Error: output file is the disc image itself: %s\n", output_path);
  return false;
}
