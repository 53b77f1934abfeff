#include "images/lzss.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "util/byte_order.h"
#include "util/guards.h"

using talvo::MallocBuffer;
using talvo::malloc_buffer;

namespace {

const unsigned kWindowSize = 4096;
const unsigned kWindowMask = kWindowSize - 1;
const unsigned kMaxMatch = 18;  // longest reference
const unsigned kMinMatch = 3;   // shortest reference; shorter matches go out as literals
const unsigned kStartIndex = kWindowSize - kMaxMatch;  // 4078
const unsigned kNil = kWindowSize;                     // "no node"
const unsigned kRootBase = kWindowSize + 1;            // right_child_[kRootBase + c]: tree of first byte c

// The state of one compression: the window and the search trees over it.
// Each call has its own, so compressions may run side by side.
class Encoder {
 public:
  // See lzss_compress.
  int compress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
               unsigned int src_size);

 private:
  // Inserts the string at window position r into its tree. Returns the longest
  // earlier string sharing its first bytes through match_position and
  // match_length (0 when none). An identical older string is replaced by r, so
  // references point at the most recent copy.
  void insert_node(unsigned r, unsigned* match_position, unsigned* match_length) {
    const unsigned char* key = &ring_buffer_[r];
    left_child_[r] = kNil;
    right_child_[r] = kNil;
    *match_length = 0;
    unsigned p = kRootBase + key[0];
    int cmp = 1;
    for (;;) {
      uint32_t* link = cmp >= 0 ? &right_child_[p] : &left_child_[p];
      if (*link == kNil) {
        *link = r;
        parent_[r] = p;
        return;
      }
      p = *link;
      unsigned i = 1;
      for (; i < kMaxMatch; ++i) {
        cmp = static_cast<int>(key[i]) - static_cast<int>(ring_buffer_[p + i]);
        if (cmp != 0) break;
      }
      if (i > *match_length) {
        *match_position = p;
        *match_length = i;
        if (i >= kMaxMatch) break;
      }
    }
    // r takes over the place of the identical string p.
    parent_[r] = parent_[p];
    left_child_[r] = left_child_[p];
    right_child_[r] = right_child_[p];
    parent_[left_child_[p]] = r;
    parent_[right_child_[p]] = r;
    if (right_child_[parent_[p]] == p) {
      right_child_[parent_[p]] = r;
    } else {
      left_child_[parent_[p]] = r;
    }
    parent_[p] = kNil;
  }

  // Removes the string at window position p from its tree, if it is in one.
  void delete_node(unsigned p) {
    if (parent_[p] == kNil) return;
    unsigned q;
    if (right_child_[p] == kNil) {
      q = left_child_[p];
    } else if (left_child_[p] == kNil) {
      q = right_child_[p];
    } else {
      q = left_child_[p];
      if (right_child_[q] != kNil) {
        do {
          q = right_child_[q];
        } while (right_child_[q] != kNil);
        right_child_[parent_[q]] = left_child_[q];
        parent_[left_child_[q]] = parent_[q];
        left_child_[q] = left_child_[p];
        parent_[left_child_[p]] = q;
      }
      right_child_[q] = right_child_[p];
      parent_[right_child_[p]] = q;
    }
    parent_[q] = parent_[p];
    if (right_child_[parent_[p]] == p) {
      right_child_[parent_[p]] = q;
    } else {
      left_child_[parent_[p]] = q;
    }
    parent_[p] = kNil;
  }

  // The encoder's window; the kMaxMatch - 1 bytes behind it mirror its first
  // bytes so that a string starting near the end compares without wrapping.
  unsigned char ring_buffer_[kWindowSize + kMaxMatch - 1];
  uint32_t left_child_[kWindowSize + 1];
  uint32_t right_child_[kWindowSize + 257];
  uint32_t parent_[kWindowSize + 1];
};

// Collects the units of one group and appends whole groups to the output.
class GroupWriter {
 public:
  GroupWriter(unsigned char* dst, unsigned capacity) : dst_(dst), capacity_(capacity) {}

  void literal(unsigned char c) {
    group_[0] |= mask_;
    group_[used_++] = c;
    next_unit();
  }
  void reference(unsigned position, unsigned length) {
    group_[used_++] = static_cast<unsigned char>(position & 0xFF);
    group_[used_++] = static_cast<unsigned char>(((length - kMinMatch) << 4) | ((position >> 8) & 0x0F));
    next_unit();
  }
  // Appends a group that holds at least one unit; false when dst is full.
  bool finish() {
    if (used_ > 1) flush();
    return !overflow_;
  }
  bool overflow() const { return overflow_; }
  unsigned written() const { return written_; }

 private:
  void next_unit() {
    mask_ = static_cast<unsigned char>(mask_ << 1);
    if (mask_ == 0) flush();
  }
  void flush() {
    if (!overflow_) {
      if (used_ > capacity_ - written_) {
        overflow_ = true;
      } else {
        std::memcpy(dst_ + written_, group_, used_);
        written_ += used_;
      }
    }
    group_[0] = 0;
    used_ = 1;
    mask_ = 1;
  }

  unsigned char* dst_;
  unsigned capacity_;
  unsigned written_ = 0;
  bool overflow_ = false;
  unsigned char group_[1 + 8 * 2] = {0};
  unsigned used_ = 1;
  unsigned char mask_ = 1;
};

}  // namespace

int Encoder::compress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
                      unsigned int src_size) {
  for (unsigned i = kRootBase; i < kRootBase + 256; ++i) right_child_[i] = kNil;
  for (unsigned i = 0; i < kWindowSize; ++i) parent_[i] = kNil;
  // The mirror behind the window must start as zeros too: a stale mirror
  // from an earlier call would let a comparison near the window's end see
  // bytes the decoder never has.
  std::memset(ring_buffer_, 0, sizeof ring_buffer_);
  if (src_size < kMaxMatch) return 0;

  std::memcpy(ring_buffer_ + kStartIndex, src, kMaxMatch);
  unsigned next_input = kMaxMatch;
  unsigned r = kStartIndex;
  unsigned s = 0;
  unsigned len = kMaxMatch;
  unsigned match_position = 0;
  unsigned match_length = 0;
  for (unsigned i = 1; i <= kMaxMatch; ++i) insert_node(r - i, &match_position, &match_length);
  insert_node(r, &match_position, &match_length);

  GroupWriter out(dst, dst_capacity);
  while (len > 0) {
    if (match_length > len) match_length = len;
    if (match_length < kMinMatch) {
      match_length = 1;
      out.literal(ring_buffer_[r]);
    } else {
      out.reference(match_position, match_length);
    }
    if (out.overflow()) return -1;
    const unsigned advance = match_length;
    unsigned i = 0;
    for (; i < advance && next_input < src_size; ++i) {
      delete_node(s);
      const unsigned char c = src[next_input++];
      ring_buffer_[s] = c;
      if (s < kMaxMatch - 1) ring_buffer_[s + kWindowSize] = c;
      s = (s + 1) & kWindowMask;
      r = (r + 1) & kWindowMask;
      insert_node(r, &match_position, &match_length);
    }
    // Past the end of the input the look-ahead only drains.
    for (; i < advance; ++i) {
      delete_node(s);
      s = (s + 1) & kWindowMask;
      r = (r + 1) & kWindowMask;
      if (--len > 0) insert_node(r, &match_position, &match_length);
    }
  }
  if (!out.finish()) return -1;
  if (out.written() > static_cast<unsigned>(INT_MAX)) return -1;
  return static_cast<int>(out.written());
}

int lzss_compress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
                  unsigned int src_size) {
  // About 50 KiB: on the heap, not on the caller's stack.
  std::unique_ptr<Encoder> encoder(new (std::nothrow) Encoder());
  if (!encoder) return -1;
  return encoder->compress(dst, dst_capacity, src, src_size);
}

int lzss_uncompress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
                    int src_size, unsigned long long* stream_size) {
  // The window of this call alone.
  unsigned char dict[kWindowSize];
  std::memset(dict, 0, sizeof dict);
  if (dst_capacity > static_cast<unsigned>(INT_MAX)) dst_capacity = INT_MAX;
  const size_t in_size = src_size > 0 ? static_cast<size_t>(src_size) : 0;
  unsigned index = kStartIndex;
  unsigned written = 0;
  unsigned long long total = 0;
  size_t in = 0;
  // Once dst is full the rest of the stream is only measured, not stored.
  // Capacity and input are tested once per reference and once per run of
  // literals, not once per byte.
  while (in < in_size) {
    unsigned flags = src[in++];
    unsigned units = 8;
    while (units > 0) {
      if (flags & 1) {
        // The literals up to the next reference: the flag bits above the
        // group's units are 0, so the run never passes them.
        unsigned run = static_cast<unsigned>(__builtin_ctz(~flags));
        const bool cut = run > in_size - in;
        if (cut) run = static_cast<unsigned>(in_size - in);
        total += run;
        const unsigned room = dst_capacity - written;
        const unsigned stored = run < room ? run : room;
        for (unsigned k = 0; k < stored; ++k) {
          const unsigned char c = src[in + k];
          dst[written + k] = c;
          dict[index] = c;
          index = (index + 1) & kWindowMask;
        }
        written += stored;
        in += run;
        if (cut) goto done;
        flags >>= run;
        units -= run;
      } else {
        if (in_size - in < 2) goto done;
        const unsigned a = src[in];
        const unsigned b = src[in + 1];
        in += 2;
        const unsigned position = a | ((b & 0x0F) << 8);
        const unsigned length = (b >> 4) + kMinMatch;
        total += length;
        const unsigned room = dst_capacity - written;
        const unsigned stored = length < room ? length : room;
        unsigned char* out = dst + written;
        if (position + stored <= kWindowSize && index + stored <= kWindowSize) {
          // Neither end wraps: no masking per byte.
          const unsigned char* from = dict + position;
          unsigned char* to = dict + index;
          if (index - position == 1) {
            // A run of the byte just behind the write index (runs of zeros
            // and of one colour): one fill, not a byte-by-byte chain.
            std::memset(out, from[0], stored);
            std::memset(to, from[0], stored);
          } else {
            // Byte by byte: a reference may read what it has just written.
            for (unsigned k = 0; k < stored; ++k) {
              const unsigned char c = from[k];
              out[k] = c;
              to[k] = c;
            }
          }
          index = (index + stored) & kWindowMask;
        } else {
          for (unsigned k = 0; k < stored; ++k) {
            const unsigned char c = dict[(position + k) & kWindowMask];
            out[k] = c;
            dict[index] = c;
            index = (index + 1) & kWindowMask;
          }
        }
        written += stored;
        flags >>= 1;
        --units;
      }
    }
  }
done:
  if (stream_size) *stream_size = total;
  return static_cast<int>(written);
}

unsigned char* uncompress_lzss_data(const unsigned char* data, unsigned int size,
                               unsigned int* out_size) {
  if (size < 5) {
    std::fprintf(stderr, "Data too small!\n");
    return nullptr;
  }
  const unsigned int expected = talvo::read_le32(data);
  *out_size = expected;
  if (expected == 0) {
    std::fprintf(stderr, "Uncompressed length at header is 0!\n");
    return nullptr;
  }
  if (expected > kLzssMaxUncompressedSize) {
    std::fprintf(stderr, "Uncompressed length at header seems liks is very big: %u\n", expected);
    return nullptr;
  }
  MallocBuffer out = malloc_buffer(expected);
  if (!out) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(expected));
    return nullptr;
  }
  // A stream longer than INT_MAX bytes cannot be passed whole; its first
  // INT_MAX bytes already decode far past any accepted header length.
  const unsigned int stream_bytes = size - 4;
  const int src_size = stream_bytes > static_cast<unsigned>(INT_MAX) ? INT_MAX
                                                                      : static_cast<int>(stream_bytes);
  unsigned long long stream_size = 0;
  const int result = lzss_uncompress(out.get(), expected, data + 4, src_size, &stream_size);
  if (result < 1) {
    std::fprintf(stderr, "Error: lzss_uncompress returned: %d\n", result);
    return nullptr;
  }
  if (stream_size != expected) {
    // The output never goes past the header's length: a longer stream is cut.
    std::fprintf(stderr,
                 "Warning: returned number of uncompressed bytes is not same as expected: "
                 "%llu != %u\n",
                 stream_size, expected);
    *out_size = static_cast<unsigned int>(result);
  }
  return out.release();
}

unsigned char* compress_lzss_data(const unsigned char* data, unsigned int size,
                             unsigned int* out_size) {
  // Small inputs get a fixed 1 MiB; larger ones room for four times their
  // size, which is far beyond the encoder's worst case of 9 bytes per 8. The
  // capacity is capped where that worst case still fits, so that neither the
  // allocation size nor the encoder's int result can overflow.
  const unsigned long long worst_case = size + size / 8ull + 16;
  unsigned long long capacity = size < 250000 ? 0x100000ull : 4ull * size;
  const unsigned long long limit = static_cast<unsigned long long>(INT_MAX) - 4;
  if (capacity > limit) capacity = worst_case;
  if (capacity > limit) {
    std::fprintf(stderr, "Memory allocation error: %llu\n", capacity + 4);
    return nullptr;
  }
  MallocBuffer out = malloc_buffer(static_cast<size_t>(capacity + 4));
  if (!out) {
    std::fprintf(stderr, "Memory allocation error: %d\n", static_cast<int>(capacity + 4));
    return nullptr;
  }
  const int result = lzss_compress(out.get() + 4, static_cast<unsigned>(capacity), data, size);
  if (result < 1) {
    std::fprintf(stderr, "Error: lzss_compress returned: %d\n", result);
    return nullptr;
  }
  talvo::write_le32(out.get(), size);
  *out_size = static_cast<unsigned int>(result) + 4;
  if (*out_size > size) {
    std::fprintf(stderr, "Warning: compressed size is bigger than uncompressed: %d > %d\n",
                 static_cast<int>(*out_size), static_cast<int>(size));
  }
  return out.release();
}
