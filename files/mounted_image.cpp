#include "files/mounted_image.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "iso/disc.h"
#include "iso/filesystem.h"
#include "iso/iso9660_filesystem.h"

namespace {

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

int open_iso_file(Iso9660Filesystem* fs, const char* path, int mode) {
  const int fd = fs->Open(path, mode);
  if (fd < 0) std::fprintf(stderr, "\"%s\" was not found in the iso.\n", path);
  return fd;
}

bool OpenedIsoFile::open(const char* iso, const char* path, int mode) {
  if (!iso_.mount(iso, mode == kOpenRead)) return false;
  fd_.reset(iso_.fs(), open_iso_file(iso_.fs(), path, mode));
  return fd_.valid();
}

bool OpenedIsoFile::finish() {
  fd_.close();
  return iso_.finish();
}
