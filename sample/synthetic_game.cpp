#include "sample/synthetic_game.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "sample/scn_builder.h"
#include "util/md5.h"

namespace sample {

namespace {

// The game's day files: names, VA counts and search windows as on the disc,
// and the option groups as "name:choices" lists.
struct DayLayout {
  const char* name;
  int va_count;
  uint16_t va_start;
  int va_length;
  uint16_t ev_start;
  int ev_length;
  bool has_duplicates;
  const char* groups;
};

const DayLayout kDays[17] = {
    {"DAY_A0", 352, 7808, 5350, 1638, 4800, false, "EVA05:2,Event A07:2,EVA11:3,Event A16:3"},
    {"DAY_A1", 402, 6671, 6050, 1827, 4200, false, "FC06a:2,FC07a:2,EVA28:2,FC01b:2,Event A30:2"},
    {"DAY_B0", 529, 13865, 7950, 1363, 10000, false, "Event B01-1:2,FC04a:7,FC08c:2,GAYA2:2,FC03b:2,C14:2,C03:4,FC14a:3,EVB32:2,SE015:3"},
    {"DAY_B1", 289, 7719, 4600, 1272, 4650, true, "FC08c:3,Hack1:2,FC08f:2,EVB08:6,EVB10:3,EVB12:3,EVB13:3,Hack2:2"},
    {"DAY_B2", 456, 11437, 7100, 1351, 9850, true, "BG30:5,EVB29a:4,FC05a:3,EVB29b:4,EVB29d:4,SE015:3,FC08g:2,BG11c:7,EVA38:2"},
    {"DAY_C0", 627, 16160, 9700, 1964, 15000, true, "EVC27:2,BG06:5,A12:5,FC04a:5,FC18a:2,FC17d:2,FC01b:3,Hack1:3,FC05a:3,FC06f:2,FC16c:2"},
    {"DAY_C1", 354, 11128, 5400, 1164, 9900, true, "GAYA32:3,BG54:4,GAYA24:3,Hack2:2,SE009:2,Hack5:2,FC14a:2,FC06f:2,EVC36:2,EVC38:2,Hack6:2,EVA52:4,Hack7:3,EVC08:2,EVC44:2,FC07a:2,Hack8:2,FC08a:2,SE078:2"},
    {"DAY_C2", 371, 9361, 6450, 2007, 5450, true, "EVB08:6,SE033:2,EVB10:3,EVB12b:3,EVB13:3"},
    {"DAY_C3", 492, 13067, 7900, 2377, 11000, true, "FC03a:5,EVB29f:4,FC01a:3,EVB29h:4,EVB29i:4,BG11c:7,EVA38:2"},
    {"DAY_D0", 449, 9414, 6750, 1686, 7650, false, "BG66:2,SE086:2"},
    {"DAY_D1", 348, 9293, 5650, 1062, 7750, true, "EVD115:6,ANSI:6,FC07a:3,FC01b:3,FC05a:3,FC06a:3,EVD99:3"},
    {"DAY_D2", 508, 11355, 7650, 3810, 200, false, "BG52:5"},
    {"DAY_D3", 277, 7806, 5850, 7152, 300, true, "EVD32b:7"},
    {"DAY_D4", 195, 10719, 3250, 3417, 7200, true, "SAKASA:2,EVD41:5"},
    {"DAY_D5", 302, 7566, 4650, 7064, 100, true, "BG07:3,Hack1:3"},
    {"DAY_D6", 291, 10047, 5950, 0, 0, true, ""},
    {"DAY_D7", 89, 2997, 1350, 812, 1000, false, "EVD91:3,EVD92:3"},
};

// Groups the scn model finds or repairs at fixed offsets of the game's files
// get other names here, except two laid out exactly where the game has them
// (DAY_B1 Hack1's fixed entry, DAY_D1 FC05a's fixed pointer position).
struct FixedGroup {
  const char* day;
  const char* group;
  uint16_t row[4];
  uint16_t name_offset;  // 0: wherever the strings go
  int text1_bytes;       // Shift-JIS length of the first answer, 0: any
};
const FixedGroup kFixedGroups[] = {
    {"DAY_B1", "Hack1", {1916, 1959, 1956, 0}, 12787, 18},
    {"DAY_D1", "FC05a", {1603, 6628, 6625, 6622}, 0, 0},
};

const FixedGroup* fixed_group(const std::string& day, const std::string& group) {
  for (const FixedGroup& f : kFixedGroups) {
    if (day == f.day && group == f.group) return &f;
  }
  return nullptr;
}

bool has_fixed_ev_offsets(const std::string& day, const std::string& group) {
  static const std::set<std::string> copies = {
      "DAY_B1:EVB12", "DAY_B1:Hack2", "DAY_C1:GAYA24", "DAY_C1:Hack2", "DAY_C1:SE009",
      "DAY_C2:SE033", "DAY_C2:EVB10", "DAY_C2:EVB12b", "DAY_C2:EVB13"};
  return !fixed_group(day, group) &&
         (group.compare(0, 4, "Hack") == 0 || copies.count(day + ":" + group));
}

// VA families duplicated at the copy positions the scn model knows: the
// copy of number n has its name pointer at first_copy_name_pointer + 15(n-1).
struct CopyFamily {
  const char* day;
  const char* prefix;
  int count;
  int catalogue_position;  // where the family's originals stand in the VA list
  uint16_t first_copy_name_pointer;
};
const CopyFamily kCopyFamilies[] = {
    {"DAY_B1", "VF37B", 3, 5, 10724},
    {"DAY_B1", "VF37C", 3, 8, 10829},
    {"DAY_D4", "VD39A", 3, 3, 12449},
};

using Rng = std::mt19937;

// The layout tables above must fit the windows they describe.
void require(bool holds, const std::string& what) {
  if (!holds) problem("synthetic game: " + what);
}

// Hiragana U+3041 + k, k below 83, in UTF-8.
std::string hiragana(int k) {
  unsigned code = 0x3041 + k;
  std::string s;
  s += static_cast<char>(0xE0 | (code >> 12));
  s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  s += static_cast<char>(0x80 | (code & 0x3F));
  return s;
}

// Random hiragana followed by a unique two-character tag.
std::string kana_text(Rng* rng, int min_len, int spread, int tag) {
  std::string text;
  int len = min_len + static_cast<int>((*rng)() % spread);
  for (int i = 0; i < len; i++) text += hiragana(static_cast<int>((*rng)() % 83));
  return text + hiragana(tag / 83 % 83) + hiragana(tag % 83);
}

// A VA line: kana, with line breaks, quotes and name placeholders mixed in.
std::string va_text(int day, int j) {
  Rng rng(static_cast<uint32_t>(day * 1000 + j));
  std::string a = kana_text(&rng, 2, 5, j);
  std::string b = kana_text(&rng, 1, 4, j + 3000);
  std::string sep;
  if (j % 7 == 3) sep = "\n";
  if (j % 11 == 5) a = "\"" + a + "\"";
  if (j % 13 == 4) sep += "%F%N";
  if (j % 17 == 6) a = "%N" + a;
  if (j % 19 == 9) b += "...!";
  return a + sep + b;
}

std::string va_name(int day, int j) {
  int scene = j / 6;
  char name[16];
  snprintf(name, sizeof name, "V%c%02d%c%03d", 'a' + day, scene % 100, 'A' + scene / 100,
           j % 6 + 1);
  return name;
}

const uint8_t kActors[] = {1, 2, 28, 58, 75, 0, 89, 5, 30, 91, 1, 20};

std::vector<std::pair<std::string, int>> parse_groups(const char* list) {
  std::vector<std::pair<std::string, int>> groups;
  std::stringstream in(list);
  std::string item;
  while (std::getline(in, item, ',')) {
    size_t colon = item.rfind(':');
    groups.emplace_back(item.substr(0, colon), std::stoi(item.substr(colon + 1)));
  }
  return groups;
}

void build_day(int d, const DayLayout& layout, const SyntheticGameOptions& options,
               SyntheticDay* day) {
  day->name = layout.name;
  day->path = std::string("/SCNBIN/") + layout.name + ".SCN";
  day->va_start = layout.va_start;
  day->va_length = layout.va_length;
  day->ev_start = layout.ev_start;
  day->ev_length = layout.ev_length;
  day->has_duplicates = layout.has_duplicates;

  int count = options.full_size ? layout.va_count : (d == 16 ? 9 : d == 15 ? 10 : 14);
  for (int j = 0; j < count; j++) {
    day->vas.push_back({va_name(d, j), va_text(d, j), "", 0, kActors[(j / 3 + d) % sizeof kActors]});
  }
  // Families with copies: the originals take names the repair knows.
  std::vector<int> copy_indices;
  for (const CopyFamily& f : kCopyFamilies) {
    if (day->name != f.day) continue;
    for (int n = 1; n <= f.count; n++) {
      char name[16];
      snprintf(name, sizeof name, "%s%03d", f.prefix, n);
      int pos = f.catalogue_position + n - 1;
      day->vas[pos].name = name;
      int record = f.first_copy_name_pointer + 15 * (n - 1) - 5;
      require((record - layout.va_start) % 15 == 0, std::string("copy record of ") + name + " off the grid");
      day->copies.push_back({pos, (record - layout.va_start) / 15});
      copy_indices.push_back(day->copies.back().index);
    }
  }
  // Originals take the other record indices in list order.
  int next = 0;
  for (SyntheticVA& va : day->vas) {
    while (std::find(copy_indices.begin(), copy_indices.end(), next) != copy_indices.end()) next++;
    va.index = next++;
  }
  // Equal texts stored twice (dump_rr links them) and, on request, shared
  // storage (the dump links those too).
  if (day->name == "DAY_A1") {
    day->vas[6].text = day->vas[2].text;
    if (options.shared_storage) day->vas[8].shares_text_of = 3;
  } else if (day->name == "DAY_C0" && options.shared_storage) {
    day->vas[10].shares_text_of = 2;
  }
  for (SyntheticVA& va : day->vas) {
    if (va.shares_text_of >= 0) va.text = day->vas[va.shares_text_of].text;
    va.sjis = synthetic_sjis(va.text);
  }

  // Option groups, their pointer rows packed into the EV window the way the
  // game stores them: name pointer, then text pointers 3 bytes apart, descending.
  uint16_t p = static_cast<uint16_t>(layout.ev_start + 2);
  int k = 0;
  for (const auto& g : parse_groups(layout.groups)) {
    SyntheticGroup group;
    group.name = has_fixed_ev_offsets(day->name, g.first) ? g.first + "x" : g.first;
    Rng rng(static_cast<uint32_t>(d * 100 + k + 50000));
    const FixedGroup* fixed = fixed_group(day->name, g.first);
    for (int i = 0; i < g.second; i++) {
      std::string text = kana_text(&rng, 1, 4, k * 16 + i);
      if ((k + i) % 5 == 1) text = "\"" + text + "\"";
      if (i == 0 && fixed && fixed->text1_bytes) {
        text.clear();
        for (int c = 0; c < fixed->text1_bytes / 2; c++) text += hiragana((k + c) % 83);
      }
      group.texts.push_back(text);
      group.sjis.push_back(synthetic_sjis(text));
    }
    if (fixed) {
      for (int i = 0; i <= g.second; i++) group.row[i] = fixed->row[i];
    } else {
      group.row[0] = p;
      for (int i = 1; i <= g.second; i++) group.row[i] = static_cast<uint16_t>(p + 3 * (g.second + 1 - i));
      require(p + 3 * g.second + 2 <= layout.ev_start + layout.ev_length, day->name + " groups pass its EV window");
      p = static_cast<uint16_t>(p + 3 * g.second + 6);
    }
    day->groups.push_back(group);
    k++;
  }

  // Records in index order: originals and copies.
  std::map<int, int> original_at, copy_at;
  for (size_t i = 0; i < day->vas.size(); i++) original_at[day->vas[i].index] = static_cast<int>(i);
  for (size_t i = 0; i < day->copies.size(); i++) copy_at[day->copies[i].index] = static_cast<int>(i);
  int max_index = std::max(original_at.rbegin()->first, copy_at.empty() ? 0 : copy_at.rbegin()->first);
  require(max_index <= layout.va_length / 15, day->name + " records pass its VA window");
  // Strings start behind both windows, as in the game, so that a scan of a
  // window never reads text bytes as pointers.
  uint32_t va_end = layout.va_start + 15u * (layout.va_length / 15 + 1);
  uint32_t script = std::max<uint32_t>(va_end, layout.ev_start + static_cast<uint32_t>(layout.ev_length));
  ScnBuilder b(script);
  b.SetVAArea(layout.va_start);
  for (const SyntheticGroup& g : day->groups) {
    const FixedGroup* fixed = fixed_group(day->name, g.name);
    if (fixed && fixed->name_offset) {
      require(b.size() <= fixed->name_offset, g.name + " strings pass its fixed name offset");
      b.PadTo(fixed->name_offset);
    }
    b.AddOptionGroup(std::vector<uint16_t>(g.row.begin(), g.row.begin() + g.texts.size() + 1),
                     g.name, g.sjis);
  }
  // VA strings follow in record order, each name followed by its text.
  std::vector<uint16_t> text_offset(day->vas.size());
  // A string at an offset ending in 0xFF could be read from a record's 0xFF
  // filler and the next pointer's low byte; the game's files have none. Pads
  // so that neither of two strings, the second `gap` bytes on, starts so.
  auto pad = [&b](size_t gap) {
    while ((b.size() & 0xFF) == 0xFF || ((b.size() + gap) & 0xFF) == 0xFF) b.AppendBytes({0x20});
  };
  for (int index = 0; index <= max_index; index++) {
    if (original_at.count(index)) {
      int i = original_at[index];
      const SyntheticVA& va = day->vas[i];
      if (va.shares_text_of >= 0) {
        pad(0);
        uint16_t name_at = b.AppendString(va.name);
        text_offset[i] = text_offset[va.shares_text_of];
        b.SetVARecord(index, text_offset[i], name_at, va.actor);
      } else {
        pad(va.name.size() + 1);
        b.AddVA(index, va.name, va.sjis, va.actor);
        text_offset[i] = b.GetU16(b.VARecord(index));
      }
    } else if (copy_at.count(index)) {
      const SyntheticVA& va = day->vas[day->copies[copy_at[index]].of];
      pad(va.name.size() + 1);
      uint16_t name_at = b.AppendString(va.name);
      b.SetVARecord(index, b.AppendString(va.sjis), name_at, va.actor);
    }
  }
  require(b.size() <= 65535u, day->name + " is longer than a scn file may be");
  day->scn = b.Build();
  md5_digest(day->scn.data(), day->scn.size(), day->md5);

  for (const SyntheticVA& va : day->vas) day->va_idx.push_back(va.index);
  for (const SyntheticGroup& g : day->groups) day->ev_poffsets.push_back(g.row);
}

}  // namespace

std::string synthetic_sjis(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      if (c == '\\' || c == '~') problem(std::string("synthetic_sjis: no Shift-JIS twin for ") + static_cast<char>(c));
      out += c == '\n' ? '\x0E' : static_cast<char>(c);
      i++;
      continue;
    }
    unsigned code = 0;
    if (i + 2 < utf8.size() && (c & 0xF0) == 0xE0) {
      code = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
    }
    if (code >= 0x3041 && code <= 0x3093) {
      out += '\x82';
      out += static_cast<char>(0x9F + (code - 0x3041));
    } else if (code == 0xFF5E) {
      out += "\x81\x60";  // the tilde of Windows input, stored as the wave dash
    } else {
      problem("synthetic_sjis: unsupported character at " + std::to_string(i));
    }
    i += 3;
  }
  return out;
}

SyntheticGame::SyntheticGame(const SyntheticGameOptions& options) {
  days_.resize(17);
  for (int d = 0; d < 17; d++) build_day(d, kDays[d], options, &days_[d]);
  // Catalogue records point into the days, which no longer move.
  for (SyntheticDay& day : days_) {
    for (const SyntheticVA& va : day.vas) day.va_names.push_back(va.name.c_str());
    for (const SyntheticGroup& g : day.groups) day.ev_groups.push_back({g.name.c_str(), static_cast<int>(g.texts.size())});
    bool groups = !day.groups.empty();
    ScnDay r{day.name.c_str(), day.path.c_str(), &day.va_names, static_cast<int>(day.vas.size()),
             day.va_start, day.va_length, &day.va_idx, groups ? day.ev_groups.data() : nullptr,
             static_cast<int>(day.groups.size()), day.ev_start, day.ev_length,
             groups ? &day.ev_poffsets : nullptr, day.has_duplicates, {}};
    memcpy(r.md5, day.md5, 16);
    records_.push_back(r);
    r.va_names = &no_names_;
    r.va_idx = &no_indices_;
    r.ev_poffsets = groups ? &no_rows_ : nullptr;
    bare_records_.push_back(r);
  }
}

const SyntheticDay& SyntheticGame::day(const std::string& name) const {
  for (const SyntheticDay& d : days_) {
    if (d.name == name) return d;
  }
  problem("no synthetic day " + name);
  return days_[0];
}

DayTables SyntheticGame::true_tables(int day) const {
  DayTables t;
  const SyntheticDay& d = days_.at(day);
  for (const SyntheticVA& va : d.vas) t.va_names.push_back(va.name);
  t.va_idx = d.va_idx;
  t.ev_poffsets = d.ev_poffsets;
  return t;
}

FileMap SyntheticGame::files() const {
  FileMap files;
  for (const SyntheticDay& d : days_) files[d.path] = d.scn;
  std::string readme = "Synthetic game disc for tests.\r\n";
  files["/README.TXT"] = Bytes(readme.begin(), readme.end());
  files["/SCNBIN/SYSTEM.BIN"] = random_bytes(5000, 9);
  files["/DATA/MOVIE.BIN"] = random_bytes(300000, 7);
  files["/DATA/ZZZ.BIN"] = random_bytes(2048, 11);
  return files;
}

std::string SyntheticGame::build_iso(const std::string& dir) const {
  return sample::build_iso(dir, files(), true);
}

void md5_digest(const void* data, size_t size, unsigned char out[16]) {
  if (!talvo::md5_digest(data, size, out)) problem("MD5 digest failed");
}

}  // namespace sample
