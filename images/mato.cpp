#include "images/mato.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "images/dc.h"
#include "images/pp.h"
#include "images/pp4.h"
#include "util/byte_order.h"
#include "util/guards.h"

using namespace talvo;

namespace {

const unsigned int kTableOffset = 16;
const unsigned int kEntryBase = 8;
// Containers written little-endian are known by these two exact sizes.
const uint32_t kLittleEndianSizes[] = {52148, 28948};

enum class Kind { kNone, kDc, kPp, kPp4 };

struct Header {
  bool little_endian = false;
  uint32_t count = 0;
};

uint32_t read32(const unsigned char* p, bool little_endian) {
  return little_endian ? read_le32(p) : read_be32(p);
}

// Checks signature and size field; warns about a suspicious count.
bool read_header(const unsigned char* data, unsigned int size, const char* maybe_error, Header* h) {
  if (size < kTableOffset || std::memcmp(data, "mato", 4) != 0) {
    std::fprintf(stderr, "Not a \"mato\" file.\n");
    return false;
  }
  if (read_be32(data + 4) > size) {
    const uint32_t le = read_le32(data + 4);
    bool known = false;
    for (uint32_t s : kLittleEndianSizes) known = known || le == s;
    if (!known || le > size) {
      std::fprintf(stderr, "The size specified in the \"mato\" header is greater than input_size!\n");
      return false;
    }
    h->little_endian = true;
  }
  h->count = read32(data + 8, h->little_endian);
  if (h->count > 1000) {
    std::fprintf(stderr, "Warning: it looks like the number of files in the \"mato\" is big: %u\n",
                 h->count);
    std::fprintf(stderr, "%s\n", maybe_error);
  }
  return true;
}

Kind kind_at(const unsigned char* data, unsigned int size, uint64_t at) {
  if (at + 2 > size) return Kind::kNone;
  if (std::memcmp(data + at, "DC", 2) == 0) return Kind::kDc;
  if (std::memcmp(data + at, "PP", 2) == 0) return Kind::kPp;
  if (std::memcmp(data + at, "pp", 2) == 0) return Kind::kPp4;
  return Kind::kNone;
}

// Bytes the image at `at` occupies by its own header; 0 when even the header
// passes the end of the container.
uint64_t extent_at(const unsigned char* data, unsigned int size, uint64_t at, Kind kind) {
  if (at + 6 > size) return 0;
  const unsigned int w = read_be16(data + at + 2), h = read_be16(data + at + 4);
  switch (kind) {
    case Kind::kDc: return dc_needed_size(w, h);
    case Kind::kPp: return pp_needed_size(w, h);
    case Kind::kPp4: return pp4_needed_size(w, h);
    case Kind::kNone: break;
  }
  return 0;
}

// A position found by the scan: an image signature with a plausible size.
bool scan_hit(const unsigned char* data, unsigned int size, uint64_t at) {
  return kind_at(data, size, at) != Kind::kNone && at + 6 <= size && read_be16(data + at + 4) < 300 &&
         read_be16(data + at + 2) < 400;
}

std::string entry_name(const char* prefix, uint64_t at) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%08X.bmp", static_cast<unsigned int>(at));
  return std::string(prefix) + suffix;
}

// Walks the images of a container: the table entries (table mode) or every
// scan hit. visit(at, kind, extent) returns false to abandon the walk for a
// restart in scan mode. Returns false when the walk was abandoned; counts
// entries that cannot be images in *failures.
template <typename Visit>
bool walk(const unsigned char* data, unsigned int size, const Header& h, bool scan, int* failures,
          Visit visit) {
  if (scan) {
    for (uint64_t p = 1; p < size - kEntryBase; p++) {
      const uint64_t at = kEntryBase + p;
      if (!scan_hit(data, size, at)) continue;
      const Kind kind = kind_at(data, size, at);
      const uint64_t extent = extent_at(data, size, at, kind);
      // A header whose image would pass the end is no image: bytes inside
      // other images often look like one.
      if (at + extent > size) continue;
      visit(at, kind, extent);
    }
    return true;
  }
  uint64_t count = h.count;
  const uint64_t room = (size - kTableOffset) / 4;
  if (count > room) {
    std::fprintf(stderr,
                 "Error: the \"mato\" entry table (%u entries) goes beyond end of file; only %u fit.\n",
                 h.count, static_cast<unsigned int>(room));
    ++*failures;
    count = room;
  }
  for (uint64_t i = 0; i < count; i++) {
    const uint32_t offset = read32(data + kTableOffset + 4 * i, h.little_endian);
    if (offset >= size - kEntryBase) {
      std::fprintf(stderr, "Error: offset %x in the \"mato\" goes beyond end of file.\n", offset);
      ++*failures;
      continue;
    }
    const uint64_t at = kEntryBase + uint64_t{offset};
    const Kind kind = kind_at(data, size, at);
    const uint64_t extent = kind == Kind::kNone ? 0 : extent_at(data, size, at, kind);
    if (kind != Kind::kNone && (extent == 0 || at + extent > size)) {
      std::fprintf(stderr, "Error: image at offset %x in the \"mato\" goes beyond end of file.\n", offset);
      ++*failures;
      continue;
    }
    if (!visit(at, kind, extent)) return false;
  }
  return true;
}

}  // namespace

bool extract_mato_data(unsigned char* data, unsigned int size, const char* prefix, bool scan,
                       const MatoBmpWriter& write) {
  Header h;
  if (!read_header(data, size, "Maybe an error happened somewhere.", &h)) return false;
  if (!scan && h.count == 0) return true;
  int failures = 0;
  const bool finished = walk(data, size, h, scan, &failures, [&](uint64_t at, Kind kind, uint64_t extent) {
    unsigned int bmp_size = 0;
    unsigned char* image = data + at;
    const unsigned int capacity = static_cast<unsigned int>(extent);
    MallocBuffer bmp;
    switch (kind) {
      case Kind::kDc: bmp.reset(dc_to_bmp(image, capacity, &bmp_size)); break;
      case Kind::kPp: bmp.reset(pp_to_bmp(image, capacity, &bmp_size)); break;
      case Kind::kPp4: bmp.reset(pp4_to_bmp(image, capacity, &bmp_size)); break;
      case Kind::kNone: return false;
    }
    const std::string name = entry_name(prefix, at);
    if (!bmp || !write(name, bmp.get(), bmp_size)) failures++;
    return true;
  });
  if (!finished) return extract_mato_data(data, size, prefix, true, write);
  return failures == 0;
}

int insert_mato_data(unsigned char* data, unsigned int size, const char* prefix, bool fix_transparent,
                     bool ignore_missing_files, bool fix_palette, bool scan, const MatoBmpReader& read,
                     int* failures_out) {
  int local_failures = 0;
  int* failures = failures_out ? failures_out : &local_failures;
  *failures = 0;
  Header h;
  if (!read_header(data, size, "Maybe an error happened somewhere?", &h)) return -1;
  if (!scan && h.count == 0) return 0;
  int inserted = 0;
  const bool finished = walk(data, size, h, scan, failures, [&](uint64_t at, Kind kind, uint64_t extent) {
    if (kind == Kind::kNone) return false;
    const std::string name = entry_name(prefix, at);
    MallocBuffer bmp;
    unsigned int bmp_size = 0;
    const MatoBmp found = read(name, &bmp, &bmp_size);
    if (found == MatoBmp::kMissing && !ignore_missing_files) {
      std::fprintf(stderr, "Cannot open file \"%s\"\n", name.c_str());
      ++*failures;
    }
    if (found == MatoBmp::kFailed) ++*failures;
    if (found != MatoBmp::kRead) return true;
    unsigned char* image = data + at;
    const unsigned int capacity = static_cast<unsigned int>(extent);
    bool ok = false;
    switch (kind) {
      case Kind::kDc: ok = insert_bmp_into_dc_data(bmp.get(), bmp_size, image, capacity); break;
      case Kind::kPp:
        ok = insert_bmp_into_pp_data(bmp.get(), bmp_size, image, capacity, fix_transparent, fix_palette);
        break;
      case Kind::kPp4: ok = insert_bmp_into_pp4_data(bmp.get(), bmp_size, image, capacity, fix_transparent); break;
      case Kind::kNone: break;
    }
    if (ok) inserted++;
    else ++*failures;
    return true;
  });
  if (!finished) {
    return insert_mato_data(data, size, prefix, fix_transparent, ignore_missing_files, fix_palette, true,
                            read, failures_out);
  }
  return inserted;
}
