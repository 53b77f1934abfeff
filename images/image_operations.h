// The image operations of the command line: each converts one image file
// inside a disc image to a host BMP file or writes a host BMP file into it.
// Plain forms take the image data at a byte offset inside the file (up to its
// end); LZSS forms decompress the whole file first and, on insertion,
// recompress it and store it back, shortening or growing the file.
//
// Every operation mounts the disc image itself (read-only for extraction),
// reports its own errors on stderr and its progress on stdout, releases
// everything on every path out, and returns true when it did its job.
#ifndef TALVO_IMAGES_IMAGE_OPERATIONS_H
#define TALVO_IMAGES_IMAGE_OPERATIONS_H

// DC (16-bit) images <-> 24-bit BMP files.
bool extract_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output,
                       unsigned int offset);
bool insert_bmp_into_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input,
                        unsigned int offset);
bool extract_lzss_dc_to_bmp(const char* input_iso, const char* iso_file_path, const char* bmp_output);
bool insert_bmp_into_lzss_dc(const char* inout_iso, const char* iso_file_path, const char* bmp_input);

// PP (256-colour) images <-> 8-bit BMP files. fix_transparent and
// fix_palette as for the buffer insert_bmp_into_pp.
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

#endif
