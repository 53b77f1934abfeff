#include "util/text_codec.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <string>

namespace talvo {

namespace {

// The encoding names a translation file may give, with their code pages.
// jis marks Shift-JIS in its JIS mapping, which code page 932 extends.
const struct {
  const char* name;
  UINT code_page;
  bool jis;
} kCodePages[] = {
    {"UTF-8", CP_UTF8, false},       {"UTF8", CP_UTF8, false},
    {"SHIFT_JIS", 932, true},        {"SHIFT-JIS", 932, true},
    {"SJIS", 932, true},             {"CP932", 932, false},
    {"WINDOWS-31J", 932, false},     {"MS932", 932, false},
    {"EUC-JP", 20932, false},        {"ISO-2022-JP", 50220, false},
    {"ASCII", 20127, false},         {"US-ASCII", 20127, false},
    {"ISO-8859-1", 28591, false},    {"LATIN1", 28591, false},
    {"CP1252", 1252, false},         {"WINDOWS-1252", 1252, false},
};

struct Encoding {
  UINT code_page = 0;
  bool jis = false;
  bool translit = false;
};

bool find_encoding(const char* name, Encoding* e) {
  const char* suffix = strstr(name, "//");
  size_t length = suffix ? static_cast<size_t>(suffix - name) : strlen(name);
  e->translit = suffix && _stricmp(suffix, "//TRANSLIT") == 0;
  for (const auto& c : kCodePages) {
    if (strlen(c.name) == length && _strnicmp(c.name, name, length) == 0) {
      e->code_page = c.code_page;
      e->jis = c.jis;
      return true;
    }
  }
  return false;
}

// Characters where code page 932 and the JIS mapping differ: the byte
// values are the same, the characters are not.
const struct {
  wchar_t cp932;
  wchar_t jis;
} kJisTwins[] = {
    {0x005C, 0x00A5}, {0x007E, 0x203E}, {0xFF5E, 0x301C}, {0x2225, 0x2016},
    {0xFF0D, 0x2212}, {0xFFE0, 0x00A2}, {0xFFE1, 0x00A3}, {0xFFE2, 0x00AC},
};

// True when every character of the bytes is one of JIS X 0201 and 0208;
// code page 932 adds the NEC and IBM rows and user-defined areas.
bool is_jis_shift_jis(const unsigned char* s, size_t n) {
  for (size_t i = 0; i < n; i++) {
    unsigned char c = s[i];
    if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) continue;
    bool lead = (c >= 0x81 && c <= 0x84) || (c >= 0x88 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEA);
    if (!lead || i + 1 >= n) return false;
    unsigned char t = s[++i];
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

bool to_wide(const char* text, size_t length, const Encoding& e, std::wstring* wide) {
  wide->clear();
  if (length == 0) return true;
  if (length > INT_MAX) return false;
  if (e.jis && !is_jis_shift_jis(reinterpret_cast<const unsigned char*>(text), length)) {
    return false;
  }
  DWORD flags = e.code_page == 50220 ? 0 : MB_ERR_INVALID_CHARS;
  int n = MultiByteToWideChar(e.code_page, flags, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return false;
  wide->resize(static_cast<size_t>(n));
  int converted =
      MultiByteToWideChar(e.code_page, flags, text, static_cast<int>(length), &(*wide)[0], n);
  if (converted != n) return false;
  if (e.jis) {
    for (wchar_t& w : *wide) {
      for (const auto& t : kJisTwins) {
        if (w == t.cp932) {
          w = t.jis;
          break;
        }
      }
    }
  }
  return true;
}

bool from_wide(std::wstring wide, const Encoding& e, std::string* bytes) {
  bytes->clear();
  if (wide.empty()) return true;
  if (e.jis) {
    for (wchar_t& w : wide) {
      for (const auto& t : kJisTwins) {
        if (w == t.cp932 && w > 0x7F) return false;  // no such character in JIS
        if (w == t.jis) {
          w = t.cp932;
          break;
        }
      }
    }
  }
  DWORD flags = e.code_page == CP_UTF8 ? WC_ERR_INVALID_CHARS : 0;
  int length = static_cast<int>(wide.size());
  int n =
      WideCharToMultiByte(e.code_page, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  bytes->resize(static_cast<size_t>(n));
  if (WideCharToMultiByte(e.code_page, flags, wide.data(), length, &(*bytes)[0], n, nullptr,
                          nullptr) != n) {
    return false;
  }
  return !e.jis || is_jis_shift_jis(reinterpret_cast<const unsigned char*>(bytes->data()), n);
}

}  // namespace

Transcoded transcode(const char* text, size_t length, const char* from, const char* to,
                     char* out, size_t out_size, size_t* out_length) {
  Encoding source;
  Encoding target;
  if (!find_encoding(from, &source) || !find_encoding(to, &target)) return Transcoded::kFailed;
  std::wstring wide;
  std::string result;
  if (!to_wide(text, length, source, &wide) || !from_wide(wide, target, &result)) {
    return Transcoded::kFailed;
  }
  // The system replaces what the target lacks by look-alikes or a default
  // character without failing; reading the result back tells.
  std::wstring back;
  bool exact = to_wide(result.data(), result.size(), target, &back) && back == wide;
  if (!exact && !target.translit) return Transcoded::kFailed;
  if (result.size() > out_size) return Transcoded::kFailed;
  memcpy(out, result.data(), result.size());
  *out_length = result.size();
  return exact ? Transcoded::kExact : Transcoded::kApproximated;
}

}  // namespace talvo
