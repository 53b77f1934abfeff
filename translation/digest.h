// The digest test that tells an unchanged day file from an altered one.
#ifndef TALVO_TRANSLATION_DIGEST_H
#define TALVO_TRANSLATION_DIGEST_H

// True when the MD5 digest of size bytes at data equals the 16 bytes at md5.
bool compare_md5(const void* data, unsigned long size, const unsigned char* md5);

#endif
