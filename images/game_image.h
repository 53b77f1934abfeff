// What the game's DC, PP and pp pictures share: a two-letter signature, a
// 6-byte big-endian header (signature, width, height), then palette and
// pixels at fixed places. The checks every conversion makes on that header
// live here, each with its message.
#ifndef TALVO_IMAGES_GAME_IMAGE_H
#define TALVO_IMAGES_GAME_IMAGE_H

#include <cstdint>

struct BMP_Header;

struct GameImageLayout {
  const char* signature;      // "DC", "PP" or "pp"
  unsigned int pixel_offset;  // header and palette bytes before the pixels
  unsigned int bits;          // bits per stored pixel: 16, 8 or 4
};

const unsigned int kGameImageHeaderSize = 6;

// Bytes an image of this size occupies, header and palette included.
uint64_t game_image_size(const GameImageLayout& layout, unsigned int width, unsigned int height);

// True when data starts with the layout's signature; false after printing
// "Error: no <signature> signature.\n".
bool has_game_image_signature(const unsigned char* data, unsigned int size, const GameImageLayout& layout);

// The header's width and height when signature and whole image lie inside
// size; false after printing why ("Not enough capacity: ...").
bool read_game_image_header(const unsigned char* data, unsigned int size, const GameImageLayout& layout,
                            unsigned int* width, unsigned int* height);

// For an insertion: the image's width and height when they equal the BMP's
// and the whole image lies inside size; false after printing why.
// REQUIRES: the signature was checked.
bool game_image_matches_bmp(const unsigned char* data, unsigned int size, const GameImageLayout& layout,
                            const BMP_Header& bmp, unsigned int* width, unsigned int* height);

// A zeroed buffer for a BMP file of total bytes; the caller releases it with
// free(). Null after printing "Memory allocation failure (...)".
unsigned char* allocate_bmp_file(uint64_t total, unsigned int width, unsigned int height);

// The BMP file (8 or 4 bits, `colours` palette entries) of a palette image
// whose header was read; its length in *bmp_size. The stored rows are copied
// as they are. The caller releases it with free(); null after printing why.
// REQUIRES: read_game_image_header passed; for 4 bits, width is even.
unsigned char* palette_image_to_bmp(const unsigned char* data, const GameImageLayout& layout, unsigned int colours,
                                    unsigned int width, unsigned int height, unsigned int* bmp_size);

#endif
