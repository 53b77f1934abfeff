// MD5 digests through the system's crypto library.
#ifndef TALVO_UTIL_MD5_H
#define TALVO_UTIL_MD5_H

#include <cstddef>

namespace talvo {

// Writes the 16-byte MD5 digest of size bytes at data to out; false when
// the crypto library fails.
bool md5_digest(const void* data, size_t size, unsigned char out[16]);

}  // namespace talvo

#endif
