#include "util/text_codec.h"

#include <iconv.h>

#include "util/guards.h"

namespace talvo {

Transcoded transcode(const char* text, size_t length, const char* from, const char* to,
                     char* out, size_t out_size, size_t* out_length) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return Transcoded::kFailed;
  auto close_cd = make_scope_exit([&] { iconv_close(cd); });
  char* in = const_cast<char*>(text);
  size_t in_left = length;
  char* end = out;
  size_t out_left = out_size;
  size_t irreversible = iconv(cd, &in, &in_left, &end, &out_left);
  // Stateful encodings emit their closing shift sequence only when flushed.
  if (irreversible != static_cast<size_t>(-1) &&
      iconv(cd, nullptr, nullptr, &end, &out_left) == static_cast<size_t>(-1)) {
    irreversible = static_cast<size_t>(-1);
  }
  if (irreversible == static_cast<size_t>(-1)) return Transcoded::kFailed;
  *out_length = static_cast<size_t>(end - out);
  return irreversible == 0 ? Transcoded::kExact : Transcoded::kApproximated;
}

}  // namespace talvo
