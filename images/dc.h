// DC images: the game's full-colour pictures, a 6-byte big-endian header
// ("DC", width, height) and one 15-bit pixel per two bytes, top row first.
// Converted to and from 24-bit BMP files in memory.
#ifndef TALVO_IMAGES_DC_H
#define TALVO_IMAGES_DC_H

#include <cstdint>

// Bytes a DC image of this size occupies, header included.
uint64_t dc_needed_size(unsigned int width, unsigned int height);

// A complete 24-bit BMP file of the DC image at dc (dc_size bytes available),
// its length in *bmp_size. The caller releases it with free(). Null after
// printing why.
unsigned char* dc_to_bmp(unsigned char* dc, unsigned int dc_size, unsigned int* bmp_size);

// Overwrites the pixels of the DC image at dc with those of the 24-bit BMP
// file. Width and height must match; the header and any bytes behind the
// pixels stay as they were. False after printing why, the DC data untouched.
bool insert_bmp_into_dc_data(unsigned char* bmp, unsigned int bmp_size, unsigned char* dc,
                        unsigned int dc_size);

#endif
