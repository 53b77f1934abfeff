#include "translation/digest.h"

#include <openssl/evp.h>

#include <cstring>

bool compare_md5(const void* data, unsigned long size, const unsigned char* md5) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr) || length != 16) {
    return false;
  }
  return memcmp(digest, md5, 16) == 0;
}
