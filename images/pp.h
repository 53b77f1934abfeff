// PP images: the game's 256-colour pictures, a 6-byte big-endian header
// ("PP", width, height), 256 15-bit palette entries and one index byte per
// pixel, top row first. Converted to and from 8-bit BMP files in memory.
#ifndef TALVO_IMAGES_PP_H
#define TALVO_IMAGES_PP_H

#include <cstdint>

// Bytes a PP image of this size occupies, header and palette included.
uint64_t pp_needed_size(unsigned int width, unsigned int height);

// A complete 8-bit BMP file (256-entry palette) of the PP image at pp,
// its length in *bmp_size. The caller releases it with free(). Null after
// printing why.
unsigned char* pp_to_bmp(unsigned char* pp, unsigned int pp_size, unsigned int* bmp_size);

// Overwrites palette and pixels of the PP image at pp with those of the 8-bit
// BMP file, whose width and height must match. fix_transparent moves the old
// transparent colour back to index 0 when an editor moved it; fix_palette
// keeps the stored palette and maps every pixel onto it. False after printing
// why, the PP data untouched.
bool insert_bmp_into_pp_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* pp,
                        unsigned int pp_size, bool fix_transparent, bool fix_palette);

// The fix_palette mapping: fills map[i] with the index of the stored palette
// (256 big-endian entries at stored) that stands for working palette entry i
// (256 entries of blue, green, red, 0), for every index the BMP rows use, and
// replaces the working palette by the stored one. Leaves map as the identity
// when the palettes are equal. A colour not in the stored palette maps to the
// nearest one, with a warning for each pixel that has it.
void translate_to_new_palette(const unsigned char* stored, unsigned char* palette,
                              const unsigned char* rows, unsigned int width, unsigned int height,
                              uint64_t row_size, unsigned char* map);

#endif
