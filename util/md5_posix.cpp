#include "util/md5.h"

#include <openssl/evp.h>

namespace talvo {

bool md5_digest(const void* data, size_t size, unsigned char out[16]) {
  unsigned int length = 0;
  return EVP_Digest(data, size, out, &length, EVP_md5(), nullptr) && length == 16;
}

}  // namespace talvo
