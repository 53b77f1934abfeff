// A disc image opened and mounted for one operation: the device it is opened
// on, the mount with its refusals, the commit of its changes and the guards
// that unmount it and close the files opened inside it on every path out.
// Each function reports its own failure on stderr and returns a plain result.
#ifndef TALVO_FILES_MOUNTED_IMAGE_H
#define TALVO_FILES_MOUNTED_IMAGE_H

class IsoFileDisc;
class Iso9660Filesystem;

// Opens iso_path as a disc ("rb" when read_only, "r+b" otherwise) and mounts
// its ISO 9660 filesystem. Returns true and stores both objects, which the
// caller releases with umount_iso; false after printing why (a writable
// mount of an image that also holds a UDF file system is refused, naming it).
// The image stays locked until then. A journaled writable image keeps its
// changes only when finish_iso is called before umount_iso (an image nobody
// else has seen yet, such as a fresh copy that is deleted on failure, needs
// no journal).
bool mount_iso(IsoFileDisc** disc, Iso9660Filesystem** fs, const char* iso_path, bool read_only,
               bool journaled = true);

// Unmounts fs, so that a failure to write back the volume descriptors is
// reported rather than lost in a destructor, and commits the changes of
// disc. Returns false after printing "Error while writing to ISO.\n"; the
// changes are then undone by umount_iso.
bool finish_iso(IsoFileDisc* disc, Iso9660Filesystem* fs);

// Deletes fs (its unmount writes back changed volume descriptors), then disc
// (undoing uncommitted changes). Either may be null.
void umount_iso(IsoFileDisc* disc, Iso9660Filesystem* fs);

// Makes the device mount_iso opens images on; tests hand in one that fails on
// purpose. Returns the maker in use before; null restores the plain device.
using DiscMaker = IsoFileDisc* (*)(bool read_only, bool journaled);
DiscMaker set_disc_maker(DiscMaker maker);

// Owns a mounted image for one scope: unmounts on every path out.
class MountedIso {
 public:
  MountedIso() = default;
  ~MountedIso() { umount_iso(disc_, fs_); }
  MountedIso(const MountedIso&) = delete;
  MountedIso& operator=(const MountedIso&) = delete;
  bool mount(const char* iso_path, bool read_only, bool journaled = true) {
    return mount_iso(&disc_, &fs_, iso_path, read_only, journaled);
  }
  // See finish_iso.
  bool finish() { return finish_iso(disc_, fs_); }
  Iso9660Filesystem* fs() const { return fs_; }

 private:
  IsoFileDisc* disc_ = nullptr;
  Iso9660Filesystem* fs_ = nullptr;
};

// An open descriptor of a file inside the image, closed on scope exit.
class IsoDescriptor {
 public:
  explicit IsoDescriptor(Iso9660Filesystem* fs, int fd = -1) : fs_(fs), fd_(fd) {}
  ~IsoDescriptor() { close(); }
  IsoDescriptor(const IsoDescriptor&) = delete;
  IsoDescriptor& operator=(const IsoDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor now; returns the result of Close (0 when none was open).
  int close();
  // Closes the current descriptor and takes fd of fs instead.
  void reset(Iso9660Filesystem* fs, int fd) {
    close();
    fs_ = fs;
    fd_ = fd;
  }

 private:
  Iso9660Filesystem* fs_;
  int fd_;
};

// Opens path inside the image with mode (0 read, 1 write, 2 read and write).
// Returns the descriptor, or -1 after printing "\"%s\" was not found in the
// iso.\n" with the path.
int open_iso_file(Iso9660Filesystem* fs, const char* path, int mode);

// A disc image mounted with one file inside it open: the start of every
// operation on one file. The file is closed, then the image unmounted, on
// scope exit.
class OpenedIsoFile {
 public:
  // Mounts iso (read-only unless mode writes) and opens path with mode;
  // false after printing why.
  bool open(const char* iso, const char* path, int mode);
  Iso9660Filesystem* fs() const { return iso_.fs(); }
  int fd() const { return fd_.get(); }
  // Closes the file and ends the change (MountedIso::finish): until then a
  // writable image is put back as it was on every path out. False after
  // printing why.
  bool finish();

 private:
  MountedIso iso_;
  IsoDescriptor fd_{nullptr};
};

#endif
