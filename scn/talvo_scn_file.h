// TalvoScnFile: one scenario script ("scn") file of the game held in memory
// while its texts are read or rewritten. The dump, the translation and the
// table generators load a day file with SetData, locate its VA lines and EV/MO
// option groups, read or replace their texts, and take the bytes back with
// GetData.
//
// Every offset a file gives (save-prompt offset, pointers, record positions,
// string ends) is checked against the image before it is used; a file that
// points outside itself makes the operation fail with an "Error ..." line.
//
// The class is written in one source file per concern: talvo_scn_file.cpp
// (the container, its dead areas and the save prompt), _bounds (bounded
// access to the image), _lookup (locating entries), _duplicates (the repair
// of duplicated entries) and _texts (reading and replacing texts). The game
// data it consults is in the tables of scn_tables.h.
#ifndef TALVO_SCN_TALVO_SCN_FILE_H
#define TALVO_SCN_TALVO_SCN_FILE_H

#include <cstddef>
#include <cstdint>

#include "scn/dead_area_table.h"
#include "scn/va_record.h"
#include "util/guards.h"

namespace talvo {

// An option group with two or three texts; text3_* are 0 for two texts.
struct EVType {
  const char* name;
  uint16_t name_offset;
  uint16_t text1_offset;
  uint16_t text2_offset;
  uint16_t text3_offset;
  uint16_t name_p_offset;
  uint16_t text1_p_offset;
  uint16_t text2_p_offset;
  uint16_t text3_p_offset;
};

// An option group with up to sixteen texts; `count` of them are in use.
struct MOType {
  const char* name;
  uint16_t name_offset;
  uint16_t text_offsets[16];
  uint16_t name_p_offset;
  uint16_t text_p_offsets[16];
  int32_t count;
};

class TalvoScnFile {
 public:
  static constexpr int kDeadAreaSlots = DeadAreaTable::kSlots;
  static constexpr int kTextCacheEntries = 1024;
  static constexpr uint32_t kMaxSize = 65535;
  // The longest save prompt: the length of the stock one, which a new
  // prompt replaces in place.
  static constexpr size_t kMaxSaveMessage = 16;

  // `name` is the day name ("DAY_A0" ... "DAY_D7"); it is not copied, so it
  // must outlive the object. The per-day repairs compare it exactly.
  explicit TalvoScnFile(const char* name);
  ~TalvoScnFile();
  TalvoScnFile(const TalvoScnFile&) = delete;
  TalvoScnFile& operator=(const TalvoScnFile&) = delete;

  // ---- Container ----

  // Drops any image held, then validates and copies `length` bytes of `buf`
  // (signature "scn\0", header length at 4 equal to `length`, 6 to 65535
  // bytes). The caller keeps its buffer. On false the object holds no image.
  // Windows, dead areas and cached texts of an earlier image are dropped.
  bool SetData(const unsigned char* buf, unsigned int length);

  // The image, or null when none is loaded. With `copy` false the internal
  // buffer (owned by this object, void after Resize/Increase); with `copy`
  // true a malloc'd copy the caller releases with free(). `size_out`, when
  // not null, receives the image length.
  unsigned char* GetData(bool copy, unsigned int* size_out);

  // Sets the image length (6 to 65535) and the header length field. Growing
  // zero-fills the new bytes; shrinking drops dead areas beyond the new end.
  bool Resize(unsigned int new_size);

  // Grows the image by n bytes; *pos (when given) receives the offset of the
  // first new, zero-filled byte.
  bool Increase(unsigned int n, uint16_t* pos);

  // Records [offset, offset + length) as reusable text space. False for
  // offset 0, an area in the header or outside the image, or a full table.
  bool AddDeadArea(uint16_t offset, uint16_t length);

  // Hands out `length` bytes of dead space: an area of exactly that length,
  // or with `exact` false the front of the smallest larger area.
  bool FindAndRemoveDeadArea(uint16_t length, uint16_t* offset_out, bool exact);

  // The save-prompt text (after the 0x13 command byte located through the
  // u16 at 70): in place, or with `copy` a malloc'd copy released with free().
  // Null when the command is missing or lies outside the image.
  char* GetSaveMessage(bool copy);

  // Overwrites the save-prompt text in place with `msg` (at most
  // kMaxSaveMessage bytes and never longer than the text it replaces). With
  // `only_if_original` the current text must be the stock prompt.
  bool SetSaveMessage(const char* msg, bool only_if_original);

  // Diagnostic: "%x: %d\n" for every used dead-area slot, to stdout.
  void PrintDeadAreas();

  // ---- Entry lookup ----

  // Search windows; false (nothing changed) when start is not inside the image.
  bool SetVASearch(uint16_t start, int length);
  bool SetEVSearch(uint16_t start, int length);

  // The VA record `index` of the VA area. With `name`, the record's name must
  // equal it and va->name = name; without, va->name is a new[] copy of the
  // record's name that the caller releases with delete[].
  bool FindVAByIndex(int index, const char* name, VAType* va, bool kill_areas,
                     bool fix_duplicates);
  // `row` holds the name pointer position, then the text pointer positions.
  bool FindEVByOffsets(const uint16_t* row, const char* name, EVType* ev, bool three_texts,
                       bool kill_areas, bool fix_duplicates);
  bool FindMOByOffsets(const uint16_t* row, const char* name, MOType* mo, int count,
                       bool kill_areas);

  // Name searches over the windows, for an untouched file.
  bool FindVA(const char* name, VAType* va, bool kill_areas, bool fix_duplicates);
  bool FindEV(const char* name, EVType* ev, bool three_texts, bool kill_areas,
              bool fix_duplicates);
  bool FindMO(const char* name, MOType* mo, int count, bool kill_areas);

  // (p_offset - va_start) / kVARecordSize, or -1 when that is not a record index.
  int GetVAIndex(const VAType* va);

  static bool LooksLikeVAName(const char* s);
  static bool IsVAException(const char* name, uint16_t w, uint16_t q);
  static bool IsEVException(const char* name, uint16_t w, uint16_t q);
  static bool IsWarningException(const char* name);

  // Points the known copies of an entry at its text and name (by day and name).
  void ApplyDuplicateNameUglyHack(const char* name, VAType* va, bool kill_areas, bool check);
  void ApplyDuplicateNameUglyHackEv(const char* name, EVType* ev, bool kill_areas, bool check);

  // ---- Texts ----

  // Texts in place, or with `copy` malloc'd copies released with free().
  // GetEVText sets all outputs to null first and leaves them null (freeing
  // any copies) when one of the texts is not a string inside the image.
  char* GetVAText(const VAType* va, bool copy);
  bool GetEVText(const EVType* ev, char** text1, char** text2, char** text3, bool copy);
  // The `count` texts joined by `separator`; malloc'd, released with free().
  char* GetMOText(const MOType* mo, char separator);

  bool SetVAText(VAType* va, const char* text, bool kill_areas, bool fix_duplicates,
                 bool user_linking, bool machine_linking, bool rewrite_all_va);
  bool SetEVText(EVType* ev, const char* text1, const char* text2, const char* text3,
                 bool kill_areas, bool fix_duplicates);
  bool SetMOText(MOType* mo, const char* text, bool kill_areas, char separator);

  // Cuts the image right before va's name string.
  bool TruncateTo(const VAType* va);

  // The cache keeps `name` by reference: it must outlive the object.
  bool AddTextToCache(const char* name, uint16_t offset);
  bool FindTextInCache(const char* name, const char* text, bool user_linking,
                       bool machine_linking, uint16_t* offset);

  // On true, found->name is a new[] copy that the caller releases with delete[].
  bool FindFirstVALink(const VAType* va, VAType* found, int self_index, bool before_only,
                       bool same_name);
  bool FindFirstVATextTwin(const VAType* va, VAType* found, int self_index, bool before_only,
                           bool skip_same_name);

  static void CheckVASCorrection(const VAType* vas, int count);

  // ---- Read-only views for callers and tests ----
  const char* GetName() const { return name; }
  uint32_t GetSize() const { return size; }
  uint16_t GetVAStart() const { return va_start; }
  int32_t GetVALength() const { return va_length; }
  uint16_t GetEVStart() const { return ev_start; }
  int32_t GetEVLength() const { return ev_length; }
  uint32_t GetDeadTotal() const { return dead_areas.total(); }
  // Slot contents; false for a free slot or an index out of range.
  bool GetDeadArea(int slot, uint16_t* offset, uint16_t* length) const;

 private:
  struct CacheEntry {
    const char* name;
    uint16_t offset;
  };

  // Length of the string at `offset` if it is terminated inside the image.
  bool StringLengthAt(uint32_t offset, size_t* len) const;
  // As StringLengthAt, printing an error line when it fails.
  bool CheckedStringLength(uint32_t offset, size_t* len) const;
  // True when the string at `offset` is exactly `s` (bounded by the image).
  bool StringEqualsAt(uint32_t offset, const char* s) const;
  // True when a u16 at `pos` lies inside the image; prints an error otherwise.
  bool CheckPointerPosition(uint32_t pos) const;
  uint16_t ReadU16(uint32_t pos) const;
  void WriteU16(uint32_t pos, uint16_t v);
  // Records `count` back-to-back strings starting at `offset` as dead space.
  bool KillStrings(uint16_t offset, int count);
  // True when a VA record of the window other than va's own points at va's
  // text; with other_names_only, only a record carrying another name counts.
  bool OtherRecordUsesText(const VAType* va, bool other_names_only) const;
  // Fills va from record `index` without messages; false when unusable.
  bool ReadVARecord(int index, VAType* va) const;
  // The save-prompt text position and length; false when there is none.
  bool LocateSavePrompt(uint32_t* text_at, size_t* len) const;
  // Copies the found record (with a new[] copy of its name) into `found`.
  bool FillFound(const VAType& record, VAType* found) const;
  bool DayIs(const char* day) const;
  void Discard();

  const char* name;
  MallocBuffer data;
  uint32_t size;
  uint16_t va_start;
  uint16_t ev_start;
  int32_t va_length;
  int32_t ev_length;
  DeadAreaTable dead_areas;
  std::unique_ptr<CacheEntry, FreeDeleter> text_cache;
};

}  // namespace talvo

#endif
