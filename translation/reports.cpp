#include "translation/reports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/mounted_image.h"
#include "ini/ini_file.h"
#include "scn/talvo_scn_file.h"
#include "translation/day_tables.h"
#include "translation/encoding.h"
#include "translation/ini_input.h"
#include "translation/table_derivation.h"
#include "util/guards.h"

using talvo::IniFile;
using talvo::TalvoScnFile;

namespace {

// ---------------------------------------------------------------------------
// Completion exceptions: option texts of the game that a translation keeps
// as they are (place names, day labels, route names), in UTF-8.
//
// GAME DATA PLACEHOLDERS: slot 3 and the cast names in slots 19 to 25 are
// texts of the game disc that this build does not carry. They hold neutral
// stand-ins that no game text equals; put the disc's texts here to have
// those options left out of the count.
// ---------------------------------------------------------------------------
#define TALVO_PLACE_PLACEHOLDER "未定"
#define TALVO_CAST_1 "甲"
#define TALVO_CAST_2 "乙"
#define TALVO_CAST_3 "丙"
#define TALVO_CAST_4 "丁"
#define TALVO_CAST_5 "戊"

constexpr int kExceptionSlot = 128;
const char completion_exceptions[][kExceptionSlot] = {
    "シャワー室",
    "紫丁香",
    "ケーキ屋",
    TALVO_PLACE_PLACEHOLDER,
    "２３日",
    "ダウン０２",
    "東館食堂",
    "自分の部屋",
    "教室前",
    "剣道部　道場",
    "２４日",
    "ダウン０４",
    "街",
    "ダウン０５",
    "校門",
    "２５日",
    "ダウン０６",
    "中庭　温室",
    "パーフェクト編",
    TALVO_CAST_1 "ラブラブ",
    TALVO_CAST_2 "ラブラブ",
    TALVO_CAST_3 "ラブラブ",
    TALVO_CAST_4 "ラブラブ",
    TALVO_CAST_5 "ラブラブ",
    "パーフェクト編/" TALVO_CAST_1 "ラブラブ/" TALVO_CAST_2 "ラブラブ/" TALVO_CAST_3
    "ラブラブ/" TALVO_CAST_4 "ラブラブ/" TALVO_CAST_5 "ラブラブ",
    "通常/" TALVO_CAST_1 "ラブ/" TALVO_CAST_2 "ラブ/" TALVO_CAST_3 "ラブ/" TALVO_CAST_4
    "ラブ/" TALVO_CAST_5 "ラブ/パーフェクトラブ",
    "勝ち/敵取得/敵がもういない/敵まだいる/負け",
    "結果勝ち",
    "結果負け",
};
static_assert(sizeof(completion_exceptions) / kExceptionSlot == 29,
              "the completion exceptions have 29 slots");

// The game's text window holds 17 full-width characters a line.
constexpr size_t kMaxLineBytes = 34;

// The value of key in section; null after printing the missing key.
OwnedText read_value(IniFile* doc, const char* section, const char* key) {
  OwnedText value(doc->GetStringValue(section, key));
  if (!value) std::fprintf(stderr, "Error reading ini str value %s\n", key);
  return value;
}

double percentage(int translated, int counted) {
  // A day with nothing to count has nothing left to translate.
  if (counted == 0) return 100.0;
  return translated * 100.0 / counted;
}

struct Counts {
  int counted = 0;
  int translated = 0;
  void add(bool differs) {
    counted++;
    if (differs) translated++;
  }
};

// Counts one day into day and total; false after printing the missing key.
bool count_day(const ScnDay& day, const DayTables& tables, IniFile* translation,
               IniFile* japanese, Counts* counts, Counts* total) {
  for (const std::string& name : tables.va_names) {
    OwnedText ours(read_value(translation, day.name, name.c_str()));
    if (!ours) return false;
    OwnedText theirs(read_value(japanese, day.name, name.c_str()));
    if (!theirs) return false;
    if (TalvoScnFile::LooksLikeVAName(ours.get()) ||
        TalvoScnFile::LooksLikeVAName(theirs.get())) {
      continue;
    }
    bool differs = std::strcmp(ours.get(), theirs.get()) != 0;
    counts->add(differs);
    total->add(differs);
  }
  for (int k = 0; k < day.ev_count; k++) {
    const OptionGroup& group = day.ev_groups[k];
    int keys = group.choices > 3 ? 1 : group.choices;
    for (int i = 1; i <= keys; i++) {
      std::string key = group.choices > 3 ? std::string(group.name)
                                          : std::string(group.name) + " OPTION" +
                                                std::to_string(i);
      OwnedText ours(read_value(translation, day.name, key.c_str()));
      if (!ours) return false;
      OwnedText theirs(read_value(japanese, day.name, key.c_str()));
      if (!theirs) return false;
      if (ignore_for_completion(ours.get())) continue;
      bool differs = std::strcmp(ours.get(), theirs.get()) != 0;
      counts->add(differs);
      total->add(differs);
    }
  }
  return true;
}

// Reports the long lines of one VA text; false after printing a conversion
// failure.
bool check_text(const char* day, const char* name, const char* value, const char* encoding) {
  OwnedText sjis(x_to_sjis(value, encoding));
  if (!sjis) {
    std::fprintf(stderr, "Error converting to sjis: %s\n", value);
    return false;
  }
  const char* line = sjis.get();
  for (int number = 1;; number++) {
    const char* end = std::strchr(line, '\n');
    size_t length = end ? static_cast<size_t>(end - line) : std::strlen(line);
    if (length > kMaxLineBytes) {
      if (line[kMaxLineBytes - 1] == ' ') {
        std::printf("%s:%s: line %d has %d characters, but character at pos 34 is white space, "
                    "so it may be ok.\n",
                    day, name, number, static_cast<int>(length));
      } else {
        std::printf("%s:%s: line %d has %d characters.\n", day, name, number,
                    static_cast<int>(length));
      }
    }
    if (!end) break;
    line = end + 1;
  }
  return true;
}

}  // namespace

bool ignore_for_completion(const char* text) {
  for (const char* exception : completion_exceptions) {
    if (std::strcmp(text, exception) == 0) return true;
  }
  return false;
}

bool check_percentage(const char* translation_ini, const char* japanese_ini,
                      const ScnCatalogue& catalogue) {
  IniFile translation;
  IniFile japanese;
  if (!load_ini_file(translation_ini, &translation) || !load_ini_file(japanese_ini, &japanese)) {
    return false;
  }
  Counts total;
  for (int d = 0; d < catalogue.count; d++) {
    const ScnDay& day = catalogue.days[d];
    DayTables tables;
    if (!resolve_day_names(day, &japanese, &tables)) return false;
    Counts counts;
    if (!count_day(day, tables, &translation, &japanese, &counts, &total)) return false;
    std::printf("Estimated percentage of %s translation is %f%%\n", day.name,
                percentage(counts.translated, counts.counted));
  }
  std::printf("\nEstimated total percentage of translation is %f%%\n",
              percentage(total.translated, total.counted));
  return true;
}

bool check_ini(const char* ini_file, const ScnCatalogue& catalogue) {
  IniFile doc;
  if (!load_ini_file(ini_file, &doc)) return false;
  OwnedText encoding(doc.GetStringValue("General", "encoding"));
  if (!encoding) {
    std::fprintf(stderr, "Warning: encoding not found in ini, defaulting to UTF-8.\n");
    encoding.reset(strdup("UTF-8"));
    if (!encoding) return false;
  }
  for (int d = 0; d < catalogue.count; d++) {
    const ScnDay& day = catalogue.days[d];
    DayTables tables;
    if (!resolve_day_names(day, &doc, &tables)) return false;
    for (const std::string& name : tables.va_names) {
      OwnedText value(read_value(&doc, day.name, name.c_str()));
      if (!value) return false;
      if (TalvoScnFile::LooksLikeVAName(value.get())) continue;
      if (!check_text(day.name, name.c_str(), value.get(), encoding.get())) return false;
    }
  }
  return true;
}
