#include "translation/ini_input.h"

#include <strings.h>

#include <cstdio>

#include "files/host_files.h"
#include "translation/encoding.h"
#include "util/guards.h"

bool load_ini_file(const char* path, talvo::IniFile* doc) {
  int size = 0;
  talvo::MallocBuffer bytes(read_file(path, &size));
  if (!bytes) return false;
  const unsigned char* b = bytes.get();
  if (size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    fprintf(stderr, "Error: %s is saved as UTF-16; save it as UTF-8.\n", path);
    return false;
  }
  const bool utf8_mark = size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
  if (!doc->SetData(b, static_cast<unsigned int>(size))) {
    fprintf(stderr, "Error setting ini buffer.\n");
    return false;
  }
  if (utf8_mark) {
    OwnedText encoding(doc->GetStringValue("General", "encoding"));
    if (encoding && strcasecmp(encoding.get(), "UTF-8") != 0 &&
        strcasecmp(encoding.get(), "UTF8") != 0) {
      fprintf(stderr, "Warning: %s starts with a UTF-8 byte order mark, but its encoding is %s.\n",
              path, encoding.get());
    }
  }
  return true;
}
