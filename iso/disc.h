// Sector devices: the only way the ISO 9660 filesystem reaches a disc image.
// `Disc` is the interface, `FileBasedDisc` keeps the device in one host file
// through stdio, and `IsoFileDisc` is the 2048-byte-sector device that every
// operation opening a disc image creates (see files/mounted_image.h). A file-based
// device holds a lock on its host file while open (shared when read-only,
// exclusive otherwise), so that runs on one image take turns, and a journaled
// one makes its changes all-or-nothing (iso/journal.h).
#ifndef TALVO_ISO_DISC_H
#define TALVO_ISO_DISC_H

#include <cstdint>
#include <cstdio>

#include "iso/journal.h"

// A random-access store of fixed-size sectors. Every int result is 0 for
// success and -1 for failure; nothing is printed, callers report (only the
// file-based device's open and journal speak for themselves, see below).
// The virtual slot order is fixed: keep new operations after the destructor.
class Disc {
 public:
  virtual uint32_t GetSectorSize() = 0;
  virtual uint64_t GetNumSectors() = 0;
  virtual bool IsReadOnly() = 0;
  virtual int ReadSectors(uint64_t first_sector, void* buffer, uint32_t count) = 0;
  // Byte-exact: no alignment needed. A range that passes the device's end
  // fails as a whole and moves nothing.
  virtual int ReadBytes(uint64_t offset, void* buffer, uint64_t length) = 0;
  virtual int WriteSectors(uint64_t first_sector, const void* buffer, uint32_t count) = 0;
  virtual int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) = 0;
  virtual bool CanExtend() = 0;
  // Appends `sectors` zero-filled sectors; stores the number of the first of
  // them in *first_new_sector when it is not null.
  virtual int Extend(uint64_t sectors, uint64_t* first_new_sector) = 0;
  virtual ~Disc() {}
};

// A device kept in one host file. The exposed size is the host length rounded
// down to whole sectors at open, and the host length after Extend.
// A journaled device saves what each write overwrites before it writes; its
// changes stay only when Commit is called before the file is closed, and are
// undone otherwise (an operation that fails part-way leaves the image as it
// was).
class FileBasedDisc : public Disc {
 public:
  explicit FileBasedDisc(bool journaled = false)
      : file_(nullptr), size_(0), lock_fd_(-1), journaled_(journaled) {}
  FileBasedDisc(const FileBasedDisc&) = delete;
  FileBasedDisc& operator=(const FileBasedDisc&) = delete;

  uint64_t GetNumSectors() override;
  int ReadSectors(uint64_t first_sector, void* buffer, uint32_t count) override;
  int ReadBytes(uint64_t offset, void* buffer, uint64_t length) override;
  int WriteSectors(uint64_t first_sector, const void* buffer, uint32_t count) override;
  int WriteBytes(uint64_t offset, const void* buffer, uint64_t length) override;
  // The negation of IsReadOnly().
  bool CanExtend() override;
  // The appended sectors start at the next sector boundary of the host file,
  // also when the host file ends in a partial sector. Extending by 0 sectors
  // changes nothing.
  int Extend(uint64_t sectors, uint64_t* first_new_sector) override;
  ~FileBasedDisc() override;

  // Opens the host file, "rb" on a read-only device, "r+b" otherwise (never
  // created, never truncated), and locks it; while another run holds a lock
  // that excludes this one, says once on stderr that it waits, and waits.
  // A journaled device then deals with a journal left beside the file (see
  // DiscJournal::RecoverLeftover). Closes a previously open file first.
  // Returns 0, or -1 when the file cannot be opened or measured, or with
  // errno EBADMSG after printing why a journal beside it stops the open.
  virtual int OpenDiscFile(const char* path);

  // Makes the changes since the open final and durable (journaled devices
  // flush the host file and drop the journal). 0, or -1 when they could not
  // be; the changes are then undone at close.
  int Commit();

  // Closes the host file if one is open: uncommitted changes of a journaled
  // device are undone first, and the lock is released last.
  void CloseFile();

 protected:
  FILE* file_;
  uint64_t size_;  // bytes exposed; every transfer ends at or before it

 private:
  int lock_fd_;  // the host file, locked; the journal reads and restores through it
  bool journaled_;
  DiscJournal journal_;
};

// A disc image file with 2048-byte sectors, read-only or writable as fixed at
// construction (the file is opened later with OpenDiscFile).
class IsoFileDisc : public FileBasedDisc {
 public:
  explicit IsoFileDisc(bool read_only, bool journaled = false)
      : FileBasedDisc(journaled), read_only_(read_only) {}
  uint32_t GetSectorSize() override;
  bool IsReadOnly() override;
  ~IsoFileDisc() override;

 private:
  bool read_only_;
};

#endif
