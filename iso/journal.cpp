#include "iso/journal.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <vector>

#include "util/byte_order.h"
#include "util/guards.h"
#include "util/host_io.h"

using talvo::read_at;
using talvo::read_le32;
using talvo::read_le64;
using talvo::sync_directory_of;
using talvo::write_at;
using talvo::write_le32;
using talvo::write_le64;

namespace {

const char kJournalMagic[8] = {'T', 'A', 'L', 'V', 'O', 'J', 'N', 'L'};
const char kRecordTag[4] = {'S', 'A', 'V', 'E'};
const uint32_t kJournalVersion = 1;
const size_t kHeaderSize = 64;
const size_t kRecordHeaderSize = 32;
// Saved bytes go in records of at most this size, so that restoring one
// never needs more memory than this.
const uint64_t kRecordMax = 1u << 20;
// The start of the image that identifies it: system area and the first
// volume descriptors, as they were before the change.
const uint64_t kIdentifiedBytes = 20 * 2048;

uint64_t fnv1a(uint64_t hash, const unsigned char* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}
const uint64_t kFnvBasis = 0xcbf29ce484222325ull;

struct Header {
  uint64_t old_length;
  uint32_t identified;
  uint64_t digest;
};

void encode_header(const Header& h, unsigned char* out) {
  memset(out, 0, kHeaderSize);
  memcpy(out, kJournalMagic, sizeof kJournalMagic);
  write_le32(out + 8, kJournalVersion);
  write_le32(out + 12, h.identified);
  write_le64(out + 16, h.old_length);
  write_le64(out + 24, h.digest);
  write_le64(out + 32, fnv1a(kFnvBasis, out, 32));
}

bool decode_header(const unsigned char* in, Header* h) {
  if (memcmp(in, kJournalMagic, sizeof kJournalMagic) != 0) return false;
  if (read_le32(in + 8) != kJournalVersion) return false;
  if (read_le64(in + 32) != fnv1a(kFnvBasis, in, 32)) return false;
  h->identified = read_le32(in + 12);
  h->old_length = read_le64(in + 16);
  h->digest = read_le64(in + 24);
  return h->identified == (h->old_length < kIdentifiedBytes ? h->old_length : kIdentifiedBytes);
}

struct Record {
  uint64_t offset;
  uint64_t length;
  uint64_t data_at;  // in the journal
};

// The records up to the first one that was never wholly flushed.
std::vector<Record> read_records(int fd, const Header& h) {
  std::vector<Record> records;
  unsigned char head[kRecordHeaderSize];
  std::vector<unsigned char> data;
  for (uint64_t at = kHeaderSize;;) {
    if (!read_at(fd, head, sizeof head, at)) break;
    uint64_t offset = read_le64(head + 8);
    uint64_t length = read_le64(head + 16);
    if (memcmp(head, kRecordTag, sizeof kRecordTag) != 0 || length == 0 || length > kRecordMax ||
        offset > h.old_length || length > h.old_length - offset) {
      break;
    }
    data.resize(length);
    if (!read_at(fd, data.data(), length, at + kRecordHeaderSize)) break;
    if (fnv1a(fnv1a(kFnvBasis, head, 24), data.data(), length) != read_le64(head + 24)) break;
    records.push_back({offset, length, at + kRecordHeaderSize});
    at += kRecordHeaderSize + length;
  }
  return records;
}

}  // namespace

DiscJournal::~DiscJournal() { CloseJournal(); }

void DiscJournal::Bind(int image_fd, const char* image_path) {
  CloseJournal();
  image_fd_ = image_fd;
  image_path_ = image_path;
  journal_path_ = image_path_ + "-journal";
  broken_ = false;
  saved_.clear();
}

void DiscJournal::CloseJournal() {
  if (journal_fd_ >= 0) close(journal_fd_);
  journal_fd_ = -1;
}

int DiscJournal::RestoreFrom(int journal_fd, const char** reason) {
  *reason = nullptr;
  unsigned char raw[kHeaderSize];
  Header h;
  if (!read_at(journal_fd, raw, sizeof raw, 0) || !decode_header(raw, &h)) {
    *reason = "not a journal, or cut short";
    return -1;
  }
  int64_t image_length = talvo::host_file_length(image_fd_);
  if (image_length < 0) return -1;
  if (static_cast<uint64_t>(image_length) < h.old_length) {
    *reason = "the image is shorter than the journal records";
    return -1;
  }
  std::vector<Record> records = read_records(journal_fd, h);
  // The image's first bytes as they were before the change must be those
  // the journal was made from.
  std::vector<unsigned char> start(h.identified);
  if (!read_at(image_fd_, start.data(), start.size(), 0)) return -1;
  for (const Record& r : records) {
    if (r.offset >= h.identified) continue;
    uint64_t n = h.identified - r.offset < r.length ? h.identified - r.offset : r.length;
    if (!read_at(journal_fd, start.data() + r.offset, n, r.data_at)) return -1;
  }
  if (fnv1a(kFnvBasis, start.data(), start.size()) != h.digest) {
    *reason = "its image started differently";
    return -1;
  }
  std::vector<unsigned char> data;
  for (const Record& r : records) {
    data.resize(r.length);
    if (!read_at(journal_fd, data.data(), r.length, r.data_at) ||
        !write_at(image_fd_, data.data(), r.length, r.offset)) {
      return -1;
    }
  }
  if (!talvo::truncate_host_file(image_fd_, h.old_length) || !talvo::sync_host_file(image_fd_)) {
    return -1;
  }
  if (!talvo::remove_host_file(journal_path_.c_str())) return -1;
  sync_directory_of(journal_path_);
  return 0;
}

int DiscJournal::RecoverLeftover(bool read_only) {
  talvo::FdGuard fd(talvo::open_host_file(journal_path_.c_str(), O_RDONLY));
  if (fd.get() < 0 && errno == ENOENT) return 0;
  if (read_only && fd.get() >= 0) {
    fprintf(stderr,
            "Error: %s holds an unfinished change to %s; run an operation that writes to the "
            "image to roll it back first.\n",
            journal_path_.c_str(), image_path_.c_str());
    return -1;
  }
  const char* reason = "it cannot be read";
  if (fd.get() >= 0 && RestoreFrom(fd.get(), &reason) == 0) {
    printf("Info: an unfinished change to %s was rolled back.\n", image_path_.c_str());
    return 0;
  }
  if (reason) {
    fprintf(stderr, "Error: the journal %s does not belong to %s (%s); neither was changed.\n",
            journal_path_.c_str(), image_path_.c_str(), reason);
  } else {
    fprintf(stderr, "Error: the unfinished change to %s could not be rolled back.\n",
            image_path_.c_str());
  }
  return -1;
}

int DiscJournal::Start() {
  int64_t length = image_fd_ < 0 ? -1 : talvo::host_file_length(image_fd_);
  if (length < 0) return -1;
  Header h;
  h.old_length = static_cast<uint64_t>(length);
  h.identified = static_cast<uint32_t>(h.old_length < kIdentifiedBytes ? h.old_length
                                                                      : kIdentifiedBytes);
  std::vector<unsigned char> start(h.identified);
  if (!read_at(image_fd_, start.data(), start.size(), 0)) return -1;
  h.digest = fnv1a(kFnvBasis, start.data(), start.size());
  unsigned char raw[kHeaderSize];
  encode_header(h, raw);
  // Made under another name and renamed: a journal is never seen without
  // its whole header.
  std::string fresh = journal_path_ + ".new";
  talvo::FdGuard fd(talvo::open_host_file(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC));
  if (fd.get() < 0) return -1;
  if (!write_at(fd.get(), raw, sizeof raw, 0) || !talvo::sync_host_data(fd.get()) ||
      !talvo::replace_host_file(fresh.c_str(), journal_path_.c_str())) {
    talvo::remove_host_file(fresh.c_str());
    return -1;
  }
  if (!sync_directory_of(journal_path_)) {
    talvo::remove_host_file(journal_path_.c_str());
    return -1;
  }
  journal_fd_ = fd.release();
  old_length_ = h.old_length;
  journal_length_ = kHeaderSize;
  saved_.clear();
  return 0;
}

int DiscJournal::SaveBeforeExtend() {
  if (broken_) return -1;
  if (journal_fd_ < 0 && Start() != 0) return Break();
  return 0;
}

int DiscJournal::Break() {
  // Once: every later change of this run is refused without a word.
  fprintf(stderr, "Error: cannot write the journal %s: %s\n", journal_path_.c_str(),
          strerror(errno));
  broken_ = true;
  return -1;
}

int DiscJournal::SaveBeforeWrite(uint64_t offset, uint64_t length) {
  if (SaveBeforeExtend() != 0) return -1;
  if (length == 0 || offset >= old_length_) return 0;
  uint64_t end = length > old_length_ - offset ? old_length_ : offset + length;
  bool appended = false;
  std::vector<unsigned char> record;
  for (uint64_t at = offset; at < end;) {
    auto next = saved_.upper_bound(at);
    if (next != saved_.begin() && std::prev(next)->second > at) {
      at = std::prev(next)->second;
      continue;
    }
    uint64_t piece_end = next == saved_.end() || next->first > end ? end : next->first;
    if (piece_end - at > kRecordMax) piece_end = at + kRecordMax;
    uint64_t n = piece_end - at;
    record.assign(kRecordHeaderSize + n, 0);
    memcpy(record.data(), kRecordTag, sizeof kRecordTag);
    write_le64(record.data() + 8, at);
    write_le64(record.data() + 16, n);
    if (!read_at(image_fd_, record.data() + kRecordHeaderSize, n, at)) return Break();
    write_le64(record.data() + 24, fnv1a(fnv1a(kFnvBasis, record.data(), 24),
                                         record.data() + kRecordHeaderSize, n));
    if (!write_at(journal_fd_, record.data(), record.size(), journal_length_)) return Break();
    journal_length_ += record.size();
    saved_[at] = piece_end;
    appended = true;
    at = piece_end;
  }
  if (appended && !talvo::sync_host_data(journal_fd_)) return Break();
  return 0;
}

int DiscJournal::Commit() {
  if (broken_) return -1;
  if (journal_fd_ < 0) return 0;
  if (!talvo::sync_host_file(image_fd_)) return -1;
  if (!talvo::remove_host_file(journal_path_.c_str())) return -1;
  sync_directory_of(journal_path_);
  CloseJournal();
  saved_.clear();
  return 0;
}

int DiscJournal::Rollback() {
  if (journal_fd_ < 0) return 0;
  const char* reason = nullptr;
  int result = RestoreFrom(journal_fd_, &reason);
  CloseJournal();
  saved_.clear();
  broken_ = false;
  if (result != 0) {
    fprintf(stderr,
            "Error: the unfinished change to %s could not be rolled back; the next run that "
            "writes to it will try again.\n",
            image_path_.c_str());
  }
  return result;
}
