// The scn model's container: the image itself, its size, its dead areas and
// the save prompt. The other concerns of the class have files of their own
// (see talvo_scn_file.h).
#include "scn/talvo_scn_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scn/talvo_scn_file_internal.h"
#include "util/byte_order.h"

namespace talvo {

using scn_internal::dup_bytes;
using scn_internal::kHeaderSize;

namespace {

const unsigned char kSignature[4] = {'s', 'c', 'n', 0};
// The stock prompt in Shift-JIS: 16 bytes plus its zero.
const char kStockPrompt[] = "\x83\x5A\x81\x5B\x83\x75\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81\x48";
constexpr size_t kStockPromptLength = 16;
constexpr uint32_t kMinSize = kHeaderSize;
constexpr uint8_t kSaveCommand = 0x13;
constexpr uint32_t kSavePromptField = 70;

}  // namespace

TalvoScnFile::TalvoScnFile(const char* day_name)
    : name(day_name),
      size(0),
      va_start{0},  // braces: a parenthesis after this name would call the <cstdarg> macro
      ev_start(0),
      va_length(0),
      ev_length(0) {
  if (!dead_areas.ready()) std::fprintf(stderr, "Warning: short on memory.\n");
}

TalvoScnFile::~TalvoScnFile() = default;

// ---------------------------------------------------------------------------
// Container

void TalvoScnFile::Discard() {
  data.reset();
  size = 0;
  va_start = ev_start = 0;
  va_length = ev_length = 0;
  // Dead areas and cached offsets describe the old image only.
  dead_areas.Clear();
  text_cache.reset();
}

bool TalvoScnFile::SetData(const unsigned char* buf, unsigned int length) {
  Discard();
  if (!buf) return false;
  if (length < kMinSize || length > kMaxSize) {
    std::fprintf(stderr, "Invalid size for scn file: %u bytes.\n", length);
    return false;
  }
  if (std::memcmp(buf, kSignature, sizeof(kSignature)) != 0) {
    std::fprintf(stderr, "Invalid scn signature.\n");
    return false;
  }
  if (read_le16(buf + 4) != length) {
    std::fprintf(stderr, "Scn size mismatch with the one in header.\n");
    return false;
  }
  MallocBuffer copy = malloc_buffer(length);
  if (!copy) {
    std::fprintf(stderr, "Out of memory.\n");
    return false;
  }
  std::memcpy(copy.get(), buf, length);
  data = std::move(copy);
  size = length;
  return true;
}

unsigned char* TalvoScnFile::GetData(bool copy, unsigned int* size_out) {
  if (size_out) *size_out = size;
  if (!data) return nullptr;
  if (!copy) return data.get();
  unsigned char* out = static_cast<unsigned char*>(std::malloc(size));
  if (out) std::memcpy(out, data.get(), size);
  return out;
}

bool TalvoScnFile::Resize(unsigned int new_size) {
  if (!data) return false;
  if (new_size > kMaxSize) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  if (new_size < kMinSize) {
    std::fprintf(stderr, "Error: scn file cannot be smaller than %u bytes.\n", kMinSize);
    return false;
  }
  if (new_size > size) {
    MallocBuffer grown = malloc_buffer(new_size);
    if (!grown) {
      std::fprintf(stderr, "Out of memory.\n");
      return false;
    }
    std::memset(grown.get(), 0, new_size);
    std::memcpy(grown.get(), data.get(), size);
    data = std::move(grown);
  } else {
    // Space cut off is no longer part of the image and must not be handed out.
    dead_areas.CutAt(new_size);
  }
  size = new_size;
  write_le16(data.get() + 4, static_cast<uint16_t>(new_size));
  return true;
}

bool TalvoScnFile::Increase(unsigned int n, uint16_t* pos) {
  if (!data) return false;
  if (n > kMaxSize - size) {
    std::fprintf(stderr, "Scn file cannot be bigger than 65535 bytes.\n");
    return false;
  }
  uint32_t old_size = size;
  if (!Resize(size + n)) return false;
  if (pos) *pos = static_cast<uint16_t>(old_size);
  return true;
}

bool TalvoScnFile::AddDeadArea(uint16_t offset, uint16_t length) {
  if (!dead_areas.ready() || !data || offset == 0) return false;
  if (offset < kHeaderSize) {
    std::fprintf(stderr, "Error: dead area %u+%u lies in the scn header.\n", offset, length);
    return false;
  }
  if (static_cast<uint32_t>(offset) + length > size) {
    std::fprintf(stderr, "Error: dead area %u+%u lies outside the scn file.\n", offset, length);
    return false;
  }
  return dead_areas.Add(offset, length);
}

bool TalvoScnFile::FindAndRemoveDeadArea(uint16_t length, uint16_t* offset_out, bool exact) {
  return dead_areas.Take(length, exact, offset_out);
}

bool TalvoScnFile::LocateSavePrompt(uint32_t* text_at, size_t* len) const {
  if (!data) return false;
  if (size < kSavePromptField + 2) {
    std::fprintf(stderr, "Error: scn file too short for a save prompt.\n");
    return false;
  }
  uint16_t at = read_le16(data.get() + kSavePromptField);
  if (at < kHeaderSize || at >= size) {
    std::fprintf(stderr, "Error: save prompt offset %u lies outside the scn file.\n", at);
    return false;
  }
  if (data.get()[at] != kSaveCommand) return false;
  if (!CheckedStringLength(at + 1u, len)) return false;
  *text_at = at + 1u;
  return true;
}

char* TalvoScnFile::GetSaveMessage(bool copy) {
  uint32_t at;
  size_t len;
  if (!LocateSavePrompt(&at, &len)) return nullptr;
  if (!copy) return reinterpret_cast<char*>(data.get() + at);
  return dup_bytes(data.get() + at, len);
}

bool TalvoScnFile::SetSaveMessage(const char* msg, bool only_if_original) {
  uint32_t at;
  size_t len;
  if (!msg || !LocateSavePrompt(&at, &len)) return false;
  size_t msg_len = std::strlen(msg);
  if (msg_len > kMaxSaveMessage) return false;
  if (only_if_original &&
      (len != kStockPromptLength || std::memcmp(data.get() + at, kStockPrompt, len) != 0)) {
    return false;
  }
  // The prompt is rewritten in place: a longer text would run over the
  // script commands behind it.
  if (msg_len > len) {
    std::fprintf(stderr, "Error: save message does not fit in place of the current one.\n");
    return false;
  }
  std::memcpy(data.get() + at, msg, msg_len + 1);
  return true;
}

void TalvoScnFile::PrintDeadAreas() { dead_areas.Print(); }

bool TalvoScnFile::GetDeadArea(int slot, uint16_t* offset, uint16_t* length) const {
  return dead_areas.Get(slot, offset, length);
}

}  // namespace talvo
