// The two operations that move LZSS files between a disc image and the host,
// through the buffer functions of lzss.h.
#ifndef TALVO_IMAGES_LZSS_OPERATIONS_H
#define TALVO_IMAGES_LZSS_OPERATIONS_H

// The uncompress_lzss operation: writes the decompressed contents of the LZSS
// file iso_file_path inside input_iso to the host file output_file. Returns
// true when the output was written.
bool uncompress_lzss(const char* input_iso, const char* iso_file_path, const char* output_file);

// The compress_lzss operation: compresses the host file input_file and stores
// the LZSS file over iso_file_path inside inout_iso, shortening or growing it.
// Returns true when the image file was rewritten.
bool compress_lzss(const char* inout_iso, const char* iso_file_path, const char* input_file);

#endif
