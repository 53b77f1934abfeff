// Conversion of texts between named encodings ("SHIFT_JIS", "UTF-8",
// "EUC-JP", ...) through the system's converter. "SHIFT_JIS" is the JIS
// mapping on every system; Windows' own variant is "CP932".
#ifndef TALVO_UTIL_TEXT_CODEC_H
#define TALVO_UTIL_TEXT_CODEC_H

#include <cstddef>

namespace talvo {

enum class Transcoded { kFailed, kExact, kApproximated };

// Converts the length bytes at text from one encoding to another into out,
// of which at most out_size bytes are used; *out_length receives the bytes
// written. kFailed when an encoding is unknown, the input is invalid or not
// representable, or the result does not fit. A target name ending in
// "//TRANSLIT" accepts approximations, reported as kApproximated.
Transcoded transcode(const char* text, size_t length, const char* from, const char* to,
                     char* out, size_t out_size, size_t* out_length);

}  // namespace talvo

#endif
