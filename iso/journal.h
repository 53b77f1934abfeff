// The rollback journal that makes every change to an image file
// all-or-nothing. Before a byte of the image is overwritten its old bytes go
// to "<image>-journal" beside it and are flushed to disc; growth of the image
// needs only its old length, which the journal's header holds. A change ends
// either with Commit (image flushed, journal removed) or with Rollback (old
// bytes back, image cut to its old length, journal removed). A journal that
// outlives its run (killed, power lost) is rolled back by the next writable
// open of the image; a read-only open refuses the image while it is there.
//
// Layout, little-endian: a 64-byte header ("TALVOJNL", version, the image's
// old length, and a digest of its first sectors as they were, so that a
// journal is never applied to an image it does not belong to), then records
// of 32 bytes (tag "SAVE", offset, length, checksum) followed by the saved
// bytes. A record is flushed before the range it saves is overwritten, so a
// record that is cut short or fails its checksum was never flushed and its
// range never written: rolling back stops there.
#ifndef TALVO_ISO_JOURNAL_H
#define TALVO_ISO_JOURNAL_H

#include <cstdint>
#include <map>
#include <string>

class DiscJournal {
 public:
  DiscJournal() = default;
  ~DiscJournal();
  DiscJournal(const DiscJournal&) = delete;
  DiscJournal& operator=(const DiscJournal&) = delete;

  // The journal of the image open on image_fd (kept open by the caller for
  // the journal's life) at image_path. Nothing is created yet.
  void Bind(int image_fd, const char* image_path);

  // Deals with a journal an earlier run left beside the image: none is 0;
  // on a writable image it is rolled back, saying so on stdout, and 0; on a
  // read-only one, or when it does not belong to the image or cannot be
  // applied, -1 after printing why on stderr (the image and the journal are
  // left as they are).
  int RecoverLeftover(bool read_only);

  // Saves what is about to be overwritten in [offset, offset + length): the
  // parts below the image's old length not saved before. The journal (made
  // on the first call) is flushed before this returns 0. -1 when the journal
  // cannot be written; every later call then fails too.
  int SaveBeforeWrite(uint64_t offset, uint64_t length);
  // Makes sure the old length is on record before the image grows.
  int SaveBeforeExtend();

  // Ends the change: flushes the image and removes the journal. 0 also when
  // nothing was changed. On -1 the journal stays, for Rollback.
  int Commit();
  // Undoes the change: the saved bytes go back, the image is cut to its old
  // length and flushed, and the journal is removed. 0 also when nothing was
  // changed; -1 after printing why, the journal left for the next run.
  int Rollback();

 private:
  int Start();
  // Says why the journal failed and refuses the rest of the change: -1.
  int Break();
  // Puts the image back from the journal open on journal_fd and removes the
  // journal; reason (when not null) says why it cannot be applied.
  int RestoreFrom(int journal_fd, const char** reason);
  void CloseJournal();

  int image_fd_ = -1;
  std::string image_path_;
  std::string journal_path_;
  int journal_fd_ = -1;  // open while a change is under way
  bool broken_ = false;
  uint64_t old_length_ = 0;
  uint64_t journal_length_ = 0;
  std::map<uint64_t, uint64_t> saved_;  // start -> end of the ranges on record
};

#endif
