// pp images (lower-case signature): the game's 16-colour pictures, a 6-byte
// big-endian header ("pp", width, height), 16 15-bit palette entries and two
// pixels per byte (high nibble left), top row first. Converted to and from
// 4-bit BMP files in memory. Only even widths are handled: the stored rows
// hold width / 2 bytes, which has no room for the last pixel of an odd row.
#ifndef TALVO_IMAGES_PP4_H
#define TALVO_IMAGES_PP4_H

#include <cstdint>

// Bytes a pp image of this size occupies, header and palette included.
uint64_t pp4_needed_size(unsigned int width, unsigned int height);

// A complete 4-bit BMP file (16-entry palette) of the pp image at pp, its
// length in *bmp_size. The caller releases it with free(). Null after
// printing why.
unsigned char* pp4_to_bmp(unsigned char* pp, unsigned int pp_size, unsigned int* bmp_size);

// Overwrites palette and pixels of the pp image at pp with those of the 4-bit
// BMP file, whose width and height must match. fix_transparent moves the old
// transparent colour back to index 0 when an editor moved it. False after
// printing why, the pp data untouched.
bool insert_bmp_into_pp4_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* pp,
                         unsigned int pp_size, bool fix_transparent);

#endif
