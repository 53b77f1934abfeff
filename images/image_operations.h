// The image operations: each converts one picture file inside a disc image
// to host BMP files or writes host BMP files into it, through the buffer
// codecs (dc.h, pp.h, pp4.h, mato.h, lzss.h). Plain forms take the picture at
// a byte offset inside the file (up to its end); LZSS forms decompress the
// whole file first and, on insertion, recompress it and store it back,
// shortening or growing the file.
//
// The command-level functions (the operations of the command line) mount the
// disc image themselves (read-only for extraction); extract_picture works on
// an image already mounted. All report their own errors on stderr and their
// progress on stdout, release everything on every path out, and return true
// when they did their job.
#ifndef TALVO_IMAGES_IMAGE_OPERATIONS_H
#define TALVO_IMAGES_IMAGE_OPERATIONS_H

#include "files/whole_file.h"
#include "images/mato.h"

// The picture formats of files inside the image.
enum class PictureFormat { kDc, kPp, kMato, kLzssDc, kLzssPp, kLzssPp4, kLzssMato };

// Writes the picture file `path` of a mounted image to bmp_output (a name
// prefix for mato containers). `stored` holds the file's bytes from `offset`
// (0 but for the plain DC and PP forms) as read from the image; a failed
// read is reported here. Host files that would be iso_path itself are
// refused.
bool extract_picture(WholeFile stored, unsigned int offset, const char* path, PictureFormat format,
                     const char* bmp_output, const char* iso_path);

// DC (16-bit) images <-> 24-bit BMP files.
bool extract_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset);
bool insert_bmp_into_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset);
bool extract_lzss_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output);
bool insert_bmp_into_lzss_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input);

// PP (256-colour) images <-> 8-bit BMP files. fix_transparent and
// fix_palette as for insert_bmp_into_pp_data.
bool extract_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset);
bool insert_bmp_into_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset, bool fix_transparent, bool fix_palette);
bool extract_lzss_pp_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output);
bool insert_bmp_into_lzss_pp(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                             bool fix_transparent, bool fix_palette);

// pp (16-colour) images, stored only LZSS-compressed <-> 4-bit BMP files.
bool extract_lzss_pp4_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output);
bool insert_bmp_into_lzss_pp4(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                              bool fix_transparent);

// mato containers <-> one BMP file per image, named
// "<prefix>_<container offset as 8 upper-case hex digits>.bmp". False also
// when any single image failed (after the others were processed).
bool extract_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix);
bool insert_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                 bool fix_transparent, bool ignore_missing_files, bool fix_palette);
bool extract_lzss_mato(const char* input_iso, const char* iso_file_path, const char* bmp_output_prefix);
bool insert_lzss_mato(const char* inout_iso, const char* iso_file_path, const char* bmp_infile_prefix,
                      bool fix_transparent, bool ignore_missing_files, bool fix_palette);

// The host side of the mato codec: BMP files written (refusing iso_path
// itself, when not null) and read by name.
MatoBmpWriter host_bmp_writer(const char* iso_path);
MatoBmpReader host_bmp_reader();

#endif
