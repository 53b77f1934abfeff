// The LZSS codec of the game's compressed files and the LZSS file wrapper (a
// 4-byte little-endian uncompressed length, then the stream), on buffers.
// Every "LZSS" operation decompresses and recompresses through the functions
// here (the operations themselves are in lzss_operations.h and
// image_operations.h).
//
// Stream format: groups of one flag byte and up to eight units, flag bit 0
// first. A 1 bit is a literal byte; a 0 bit is a reference A, B with window
// position A | (B & 0x0F) << 8 (absolute, 12 bits) and length (B >> 4) + 3.
// The 4096-byte window starts as zeros with the write index at 4078. There
// is no end marker: the stream ends with its input.
//
// Each call keeps its window (and the encoder its search trees) to itself:
// calls may run side by side.
#ifndef TALVO_IMAGES_LZSS_H
#define TALVO_IMAGES_LZSS_H

// The largest uncompressed length an LZSS file header may announce.
const unsigned int kLzssMaxUncompressedSize = 0x4000000;

// Encodes src_size bytes of src into dst as an LZSS stream. Returns the number
// of bytes written; 0 when src_size is below 18 (nothing is encoded); -1 when
// the stream does not fit into dst_capacity (dst then holds a partial stream)
// or the encoder's state finds no memory.
// REQUIRES: the result fits an int (src_size below about 1.9 GB).
int lzss_compress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
                  unsigned int src_size);

// Decodes src_size bytes of LZSS stream into dst, never writing more than
// dst_capacity bytes: decoding stops there. Returns the number of bytes
// written (0 for empty input). A unit cut short by the end of the input
// produces nothing. When stream_size is not null it receives the number of
// bytes the whole stream decodes to, which exceeds the result when the
// stream was cut at dst_capacity.
int lzss_uncompress(unsigned char* dst, unsigned int dst_capacity, const unsigned char* src,
                    int src_size, unsigned long long* stream_size = nullptr);

// data is a whole LZSS file of size bytes. Returns its uncompressed contents
// in a new buffer the caller releases with free(), their length in *out_size;
// null after printing why (too small, a header length of 0 or above
// kLzssMaxUncompressedSize, nothing decoded). A stream that decodes to a
// length other than the header's is accepted with a warning: *out_size is then
// the decoded length, never more than the header's.
unsigned char* uncompress_lzss_data(const unsigned char* data, unsigned int size,
                                    unsigned int* out_size);

// Returns a new LZSS file (header and stream) for size bytes of data, in a
// buffer the caller releases with free(), its total length in *out_size; null
// after printing why (input under 18 bytes, out of memory). A result larger
// than the input is returned with a warning.
unsigned char* compress_lzss_data(const unsigned char* data, unsigned int size,
                                  unsigned int* out_size);

#endif
