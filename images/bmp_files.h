// BMP files on the host for the image operations: reading one whole before
// insertion and creating one after extraction. Creating never overwrites the
// disc image that the operation works on.
#ifndef TALVO_IMAGES_BMP_FILES_H
#define TALVO_IMAGES_BMP_FILES_H

// The messages of read_bmp_file that differ between operations; each takes
// the path (open_failed, short_read) or the size (alloc_failed, a %d).
struct BmpReadMessages {
  const char* open_failed;  // null: print nothing (the caller reports a missing file)
  const char* alloc_failed;
  const char* short_read;
};

// The whole host file at path in a buffer the caller releases with free(),
// its length in *size. Null after printing the matching message; *missing
// (when not null) tells whether the file could not be opened at all.
unsigned char* read_bmp_file(const char* path, unsigned int* size, const BmpReadMessages& messages,
                             bool* missing = nullptr);

// Creates (or truncates) the host file path with size bytes of data. Refuses
// a path that names iso_path itself (when iso_path is not null). Returns
// false after printing why; open_failed is a printf format taking the path.
bool write_bmp_file(const char* path, const char* iso_path, const unsigned char* data,
                    unsigned int size, const char* open_failed);

#endif
