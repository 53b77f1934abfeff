#include "util/md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <climits>

namespace talvo {

bool md5_digest(const void* data, size_t size, unsigned char out[16]) {
  if (size > ULONG_MAX) return false;
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
  ok = ok && BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)),
                            static_cast<ULONG>(size), 0) >= 0;
  ok = ok && BCryptFinishHash(hash, out, 16, 0) >= 0;
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return ok;
}

}  // namespace talvo
