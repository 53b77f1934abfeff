// mato containers: several DC, PP and pp images behind one header and a table
// of offsets. Extraction makes one BMP file per image, named after the
// image's offset in the container; insertion takes files named the same way
// and overwrites the images in place, so the container keeps its layout. The
// files themselves are the caller's: it writes and reads them by name.
//
// Header: "mato", a size field (at most the container's length), a count
// and, from offset 16, count offsets counted from offset 8. The fields are
// big-endian, except in containers whose big-endian size is impossible and
// whose little-endian size is one of two known values. When the table leads
// to something that is not an image, the container is searched for image
// headers instead (scan mode).
#ifndef TALVO_IMAGES_MATO_H
#define TALVO_IMAGES_MATO_H

#include <functional>
#include <string>

#include "util/guards.h"

// Hands every image of the container held in data (size bytes) to write as
// a BMP file named "<prefix>_%08X.bmp"; write says why it fails. Returns true
// when the container was read and every image was written; false after
// printing why, also when only some images failed (the rest are still
// written).
using MatoBmpWriter =
    std::function<bool(const std::string& name, const unsigned char* bmp, unsigned int size)>;
bool extract_mato_data(unsigned char* data, unsigned int size, const char* prefix, bool scan,
                       const MatoBmpWriter& write);

// What a MatoBmpReader found: the BMP file, none by that name, or a failure
// it has reported.
enum class MatoBmp { kRead, kMissing, kFailed };
using MatoBmpReader =
    std::function<MatoBmp(const std::string& name, talvo::MallocBuffer* bmp, unsigned int* size)>;

// Inserts the BMP files "<prefix>_%08X.bmp", as read gives them, into the
// images of the container in place. Returns the number of images inserted, or
// -1 when the container is refused. *failures (when not null) receives the
// number of images that could not be inserted (a table cut short by the
// container's end counts once); a missing BMP file counts only when
// ignore_missing_files is false.
int insert_mato_data(unsigned char* data, unsigned int size, const char* prefix, bool fix_transparent,
                     bool ignore_missing_files, bool fix_palette, bool scan, const MatoBmpReader& read,
                     int* failures = nullptr);

#endif
