// Windows bitmap files as the image converters read and write them: the
// 54-byte file header, the game's 15-bit colours and its palettes. DC, PP, pp
// and mato conversions all go through here, so each rule has one home.
#ifndef TALVO_IMAGES_BMP_H
#define TALVO_IMAGES_BMP_H

#include <cstdint>

#include "util/guards.h"

// The file header plus the 40-byte info header, in host values. It is turned
// into bytes only by store_bmp_header / load_bmp_header (little-endian).
struct BMP_Header {
  uint16_t bfType;
  uint32_t bfSize;
  uint16_t bfReserved1;
  uint16_t bfReserved2;
  uint32_t bfOffBits;
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

const unsigned int kBmpHeaderSize = 54;
const uint16_t kBmpSignature = 0x4D42;  // "BM" read little-endian

// Fill a header for a bottom-up picture of 24, 8 or 4 bits per pixel. The
// palette headers put `colours` entries of 4 bytes behind the header.
void make_bmp_header(BMP_Header* header, int width, int height);
void make_bmp8_header(BMP_Header* header, int width, int height, int colours);
void make_bmp4_header(BMP_Header* header, int width, int height, int colours);

// Bytes of one stored pixel row: width * bits rounded up to whole 32-bit words.
uint64_t bmp_row_size(uint64_t width, unsigned int bits);

// Writes the 54 header bytes to out.
void store_bmp_header(const BMP_Header& header, unsigned char* out);
// Reads the 54 header bytes. False (nothing printed) when size < 54.
bool load_bmp_header(const unsigned char* bmp, uint64_t size, BMP_Header* header);

// The game's 15-bit colours: bits 14-10, 9-5 and 4-0 hold c1, c2, c3 (blue,
// green, red in BMP byte order), each channel scaled by 8 without rounding.
void rgb_from_555(unsigned short value, unsigned char* c1, unsigned char* c2, unsigned char* c3);
// Bit 15 always set; the low three bits of each channel are dropped.
unsigned short rgb_to_555(unsigned char c1, unsigned char c2, unsigned char c3);

// Game palette (count big-endian 15-bit entries) to BMP palette (count
// entries of blue, green, red, 0).
void palette_to_bmp(const unsigned char* game_palette, int count, unsigned char* bmp_palette);

// Stores count BMP palette entries as the game palette. With fix_transparent,
// finds where the editor put the old transparent colour (game entry 0) and,
// when it moved, swaps it back to entry 0; prints the outcome. Returns the
// index whose pixels must trade places with index 0, or 0 when none must.
int store_game_palette(const unsigned char* bmp_palette, int count, unsigned char* game_palette,
                       bool fix_transparent);

// Shared checks of a BMP about to be inserted into a game image.
//
// Reads the header; prints "Invalid BMP file.\n" and returns false when the
// file is too short, is not "BM", or has an info header too small to hold the
// fields used here.
bool read_bmp_for_insert(const unsigned char* bmp, unsigned int bmp_size, BMP_Header* header);
// Checks that the pixel data of a bits-per-pixel BMP lies inside the file:
// plain rows at bfOffBits (negative dimensions count by their magnitude) or,
// for 8 and 4 bits, a run-length coded stream; also the biSizeImage bytes the
// header announces. False after "Not enough capacity (BMP).\n", or after
// naming a compression the converters cannot read.
bool bmp_check_pixel_data(const BMP_Header& header, unsigned int bmp_size, unsigned int bits);

// The picture's rows as stored plainly (bottom row first, each padded to
// bmp_row_size): a pointer into bmp for an uncompressed file, or into
// *decoded, which receives the expanded run-length coded data. Null after
// printing why (only when memory runs out).
// REQUIRES: bmp_check_pixel_data passed; width and height are positive and
// were checked against the game image.
const unsigned char* bmp_pixel_rows(const unsigned char* bmp, unsigned int bmp_size,
                                    const BMP_Header& header, unsigned int bits,
                                    talvo::MallocBuffer* decoded);

// File offset of the palette: directly behind the info header, whatever its size.
uint64_t bmp_palette_offset(const BMP_Header& header);

// How many palette entries a BMP of `full` (256 or 16) possible colours
// carries, judged by biClrUsed and biClrImportant; -1 when the pair is not
// one the converters accept. Entries past the count read as black.
int bmp_palette_entries(const BMP_Header& header, unsigned int full);

// Copies the BMP's palette into a working palette of `full` entries (blue,
// green, red, 0), zero past the file's own entries. False when the palette
// does not lie inside the file.
bool load_bmp_palette(const unsigned char* bmp, unsigned int bmp_size, const BMP_Header& header,
                      unsigned int full, unsigned char* palette);

// All checks of a palette BMP about to be inserted into a PP or pp image:
// readable header, `bits` per pixel with an accepted palette count (else
// prints wrong_type), pixel data inside the file, and its palette, which is
// copied into palette (`full` entries, see load_bmp_palette). False after
// printing why.
bool read_palette_bmp_for_insert(const unsigned char* bmp, unsigned int bmp_size, unsigned int bits,
                                 unsigned int full, const char* wrong_type, BMP_Header* header,
                                 unsigned char* palette);

#endif
