// Bulk extraction: walks the whole directory tree of a disc image, recognises
// each file's image format from its first nine bytes and extracts it through
// the one mounted image (extract_picture), mirroring the disc's directories as host folders. The
// walk reads each directory once and reaches the files by their records, so
// its cost grows with the number of files, not with its square. A directory
// or file that cannot be read is reported and the walk goes on without it.
#ifndef TALVO_IMAGES_EXTRACT_ALL_H
#define TALVO_IMAGES_EXTRACT_ALL_H

class Iso9660Filesystem;

// The extract_all_images operation: every image of input_iso into
// output_folder. Returns true when the image was mounted, every directory and
// file could be read and every file of a known image type was extracted;
// false also when some failed (the walk goes on past them).
bool extract_all_images(const char* input_iso, const char* output_folder);

// One directory of the mounted image and everything below it. iso_dir ends
// with "/". Returns false when anything in it failed.
bool extract_images_below(const char* input_iso, Iso9660Filesystem* fs, const char* iso_dir,
                          const char* output_folder);

#endif
