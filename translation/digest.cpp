#include "translation/digest.h"

#include <cstring>

#include "util/md5.h"

bool compare_md5(const void* data, unsigned long size, const unsigned char* md5) {
  unsigned char digest[16];
  return talvo::md5_digest(data, size, digest) && memcmp(digest, md5, 16) == 0;
}
