// IniFile: the INI document through which texts leave and re-enter the game.
// The dump builds one section per day file with one key per text, the
// translation and the reports read them back. The document is one byte buffer
// holding the file exactly as it will be written: queries parse it line by
// line, edits insert or remove bytes in place, so comments, blank lines and
// key order written by hand survive every edit. The class is byte-oriented
// and knows nothing of encodings; the workflow stores UTF-8 in it.
//
// Syntax as read here:
//  - lines end with LF or CR LF (a lone CR is an ordinary byte); lines written
//    by the class end with CR LF; a line longer than 2047 bytes is read as
//    several lines, cut after every 2047 bytes;
//  - blanks are the bytes 1 to 32; blank lines and leading blanks are skipped,
//    trailing blanks removed; bytes 0x80 and above are ordinary characters;
//  - a UTF-8 byte order mark (EF BB BF) at the very start of the document
//    marks the encoding and belongs to no line: it is kept, and nothing is
//    inserted before it;
//  - ';' or '#' outside a "..." or '...' stretch starts a comment; a quote
//    right after a backslash neither opens nor closes a stretch;
//  - "[name]" (3 bytes or more) is a section header; "name = value" (3 bytes
//    or more, '=' not first, not starting with '[') is a key line; a key line
//    with an empty value counts as not having the key;
//  - section and key names compare without regard to ASCII letter case.
//
// String values: a value starting with " or ' runs to the next unescaped
// occurrence of that quote. \n stands for a line feed, \" and \' for the
// quotes, \\ for one backslash; a backslash before anything else stands for
// itself. SetStringValue writes \\ only where a backslash would otherwise be
// read as the start of an escape, so ordinary text keeps its bytes.
//
// Ownership of results: ReadLine lines and GetValueName names are released
// with delete[]; GetValueData, GetRawValue, GetStringValue values and GetData
// copies with free().
//
// Messages ("Out of memory.", quote warnings, "Modification of value
// currently not implemented.") go to stderr. Missing sections and keys are
// reported only by the result.
//
// The code: the document's bytes in ini_file.cpp, lines in ini_file_lines.cpp,
// sections and their key index in ini_file_index.cpp, values in
// ini_file_values.cpp.
#ifndef TALVO_INI_INI_FILE_H
#define TALVO_INI_INI_FILE_H

#include <cstdint>
#include <string>
#include <unordered_map>

namespace talvo {

class IniFile {
 public:
  // Longest line ReadLine returns; longer lines are read as several.
  static constexpr uint32_t kMaxLine = 2047;

  IniFile();
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  // ---- Document as a whole ----

  // Replaces the document by a copy of `length` bytes of `data` (an empty
  // document when data is null or length is 0; that returns true). The cursor
  // goes to the start and the section cache is forgotten. False only when
  // memory runs out; the document is unchanged then.
  bool SetData(const void* data, unsigned int length);

  // The document bytes: with `copy` false the internal buffer (owned by the
  // object, void after any edit), with `copy` true a malloc'd copy the caller
  // releases with free(). Null with *length 0 when the document is empty or
  // the copy cannot be made. REQUIRES: length != nullptr.
  unsigned char* GetData(bool copy, unsigned int* length);

  // Sets the document length. Shrinking only lowers the length; growing adds
  // zero bytes. False with "Out of memory." when the buffer cannot grow.
  bool Resize(unsigned int new_length);

  // Grows the document by n zero bytes; *first_new (when not null) receives
  // the address of the first of them. False with "Out of memory.".
  bool Increase(unsigned int n, unsigned char** first_new = nullptr);

  // ---- Line level ----

  // The next line at the cursor, trailing blanks removed (an empty line when
  // only blanks remain), or null at the end of the document. delete[] it.
  char* ReadLine();

  // Inserts `line` plus CR LF at the cursor (the end when the cursor lies
  // beyond it) and moves the cursor past it. When the document's last line
  // has no line break and the insertion is at the end, that line is ended
  // with CR LF first so the two lines do not run together.
  bool WriteLine(const char* line);

  // WriteLine at the current cursor.
  bool WriteRawLine(const char* line);

  // Inserts `line` directly below the header of `section`. False when the
  // section does not exist.
  bool WriteRawLineAt(const char* section, const char* line);

  // Inserts `line` at the first non-blank byte of the line of `key` in
  // `section` (where RemoveValue edits it), so the key's indentation stays
  // in front of the new line. False when the section or the key is missing.
  bool WriteRawLineAt(const char* section, const char* key, const char* line);

  // The syntax rules as separate operations on one line.
  static void RemoveComments(char* line);   // cuts at the first unquoted ; or #
  static void RemoveEndSpaces(char* line);  // removes trailing blanks
  static bool IsSection(const char* line);
  // Key name of a key line (new[]'d), or null for any other line.
  static char* GetValueName(const char* line);
  // Raw value of a key line (malloc'd), or null for any other line and for an
  // empty value.
  static char* GetValueData(const char* line);
  // How often c occurs in s.
  static int NumChars(const char* s, char c);
  // Non-overlapping occurrences of sub in s, searched left to right (0 for an
  // empty sub).
  static int NumStrings(const char* s, const char* sub);

  // ---- Sections and values ----

  // True when a header holds `name` (letter case and the blanks around the
  // name inside the brackets ignored); the cursor then stands at the start
  // of the line after the header.
  bool FindSection(const char* name);

  // True at once when the section exists; otherwise appends "[name]" as a
  // new last line, leaving the cursor after it.
  bool AddSection(const char* name);

  // The raw value of the first line of `section` holding `key`, malloc'd, or
  // null.
  char* GetRawValue(const char* section, const char* key);

  // Adds "key = value" as a new line after the last line of `section`: before
  // the blank lines that precede a following section header, or at the very
  // end of the document for the last section. Fails with "Modification of
  // value currently not implemented." when the key exists (nothing changes),
  // and silently when the section is missing or `modify_only` is set. The
  // cursor stands after the new line.
  bool SetRawValue(const char* section, const char* key, const char* value,
                   bool modify_only = false);

  // Parses the raw value with automatic base (0x hexadecimal, 0 octal, else
  // decimal). False when the key is missing.
  bool GetIntegerValue(const char* section, const char* key, int* value);

  // Writes "0x%x" when hex, else "%d", through SetRawValue.
  bool SetIntegerValue(const char* section, const char* key, int value,
                       bool modify_only = false, bool hex = false);

  // The decoded string value, malloc'd, or null when the key is missing.
  // Warns about unclosed quotes and about a closing quote followed by more
  // than blanks.
  char* GetStringValue(const char* section, const char* key);

  // Encodes `value` (line feed -> \n, " -> \", \ -> \\ where needed), wraps
  // it in double quotes when `quote` is set, and calls SetRawValue.
  bool SetStringValue(const char* section, const char* key, const char* value,
                      bool modify_only = false, bool quote = true);

  // True for "true", false for "false" and for an empty string (any letter
  // case); `default_value` when the key is missing or holds anything else.
  bool GetBooleanValue(const char* section, const char* key, bool default_value);

  // Writes "true" or "false" through SetRawValue.
  bool SetBooleanValue(const char* section, const char* key, bool value,
                       bool modify_only = false);

  // With comment_out puts a ';' before the key's line; otherwise removes the
  // line's text, keeping its trailing blanks and line break. False when the
  // section or the key is missing.
  bool RemoveValue(const char* section, const char* key, bool comment_out);

 private:
  // Where the lines of one section stand, so that repeated queries on the
  // cached section need not re-read it. Kept exact through insertions;
  // dropped on anything else that changes the bytes.
  struct KeyLine {
    uint32_t read_start;  // cursor before the line was read
    uint32_t line_start;  // first non-blank byte of the line
    uint32_t line_end;    // cursor after the line was read
  };
  struct SectionIndex {
    bool valid = false;
    bool last = false;      // the section runs to the end of the document
    uint32_t body = 0;      // start of the line after the header
    uint32_t end = 0;       // first byte of the next header line, or length
    uint32_t stop = 0;      // cursor after the next header line, or length
    uint32_t tail = 0;      // where a new key goes (non-last sections)
    uint32_t max_line_start = 0;
    bool any_key = false;
    std::unordered_map<std::string, KeyLine> keys;  // lower-case name -> first line
  };

  // Where the first line starts: after a leading UTF-8 byte order mark.
  uint32_t BodyStart() const;
  // Reads the line starting at pos into out (kMaxLine + 1 bytes). False at or
  // past the end. *start receives the first non-blank byte, *next the
  // position after the line, *copied the number of bytes copied.
  bool ScanLine(uint32_t pos, char* out, uint32_t* start, uint32_t* next,
                uint32_t* copied) const;
  bool Reserve(uint32_t new_length);
  bool InsertAt(uint32_t pos, const char* bytes, uint32_t n);
  void RemoveAt(uint32_t pos, uint32_t n);
  void NoteInsert(uint32_t pos, uint32_t n);
  void DropIndex() { index.valid = false; index.keys.clear(); }
  bool BuildIndex();
  // Finds the section and its key line; the cursor ends as a line-by-line
  // search would leave it. False when the section or the key is missing.
  bool FindKey(const char* section, const char* key, bool* section_found,
               const KeyLine** found);

  unsigned char* buffer;
  uint32_t length;
  uint32_t cursor;
  char* cached_section;
  uint32_t cached_position;
  uint32_t line_start;
  uint32_t capacity;
  SectionIndex index;
};

}  // namespace talvo

#endif
