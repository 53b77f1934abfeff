// IniFile: the reading rules, the exact bytes of edits, round trips of texts through the escapes, and
// random documents through every query.
#include "ini/ini_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/capture.h"

using talvo::IniFile;
using testsupport::run_captured;

namespace {

void load(IniFile* ini, const std::string& text) { ASSERT_TRUE(ini->SetData(text.data(), text.size())); }

std::string bytes_of(IniFile* ini) {
  unsigned int n = 0;
  unsigned char* p = ini->GetData(true, &n);
  std::string out(reinterpret_cast<char*>(p), n);
  std::free(p);
  return out;
}

// A malloc'd (or new[]'d, for lines) result as a string; "<none>" for null.
std::string take(char* p, bool line = false) {
  std::string s = p ? p : "<none>";
  line ? delete[] p : std::free(p);
  return s;
}
std::string raw(IniFile* ini, const char* s, const char* k) { return take(ini->GetRawValue(s, k)); }
// The text of a value, followed by the warning its reading printed.
std::string str(IniFile* ini, const char* s, const char* k) {
  testsupport::Output o;
  std::string text = testsupport::captured(&o, [&] { return take(ini->GetStringValue(s, k)); });
  return text + o.err;
}
// Runs f with the warnings of odd documents kept out of the log.
template <typename F>
void quietly(F f) { testsupport::Output o; testsupport::captured(&o, f); }

}  // namespace

TEST(IniFile, KeyLinesHeadersCommentsQuotesAndHighBytes) {
  IniFile ini;
  load(&ini, "[s]\r\na=b\nt = TRUE\nn = False\ny = yes\nq = \"\"\ne = abc ; note\nf = \"x;y\" # note\n"
             "g = it\\'s\nh = 'p;q'\n  Mixed_Case   =   v  \t\nk =   \nk = second\n[]\nl = still s\n"
             "bad = \"abc\"def\nopen = \"abc\nesc = x\\ny\ntail = a\\\nodd = \\q\\\\\\n\n"
             "\xe3\x81\x82k=\xe3\x81\x84v\xe3\x81\x82\r\n"
             "[ ]\nm = after blank header\n[DAY_A1]\nx = 1\n[  day_a0 \t]\nx = 0\n");
  const struct { const char *key, *raw, *text; } cases[] = {
      {"a", "b", "b"}, {"e", "abc", "abc"}, {"f", "\"x;y\"", "x;y"}, {"g", "it\\'s", "it's"},
      {"MIXED_case", "v", "v"}, {"k", "second", "second"}, {"l", "still s", "still s"}, {"h", "'p;q'", "p;q"},
      {"esc", "x\\ny", "x\ny"}, {"tail", "a\\", "a\\"}, {"odd", "\\q\\\\\\n", "\\q\\\n"},
      {"bad", "\"abc\"def", "abc" "Warning: possible unintended bad use of quotes without \"\\\" prepended in S:bad.\n"},
      {"open", "\"abc", "abc" "Warning: unclosed quotes at S:open.\n"}, {"m", "<none>", "<none>"},
      // U+3042 U+3044 at the start of a key, after '=' and at the end of a line.
      {"\xe3\x81\x82k", "\xe3\x81\x84v\xe3\x81\x82", "\xe3\x81\x84v\xe3\x81\x82"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raw(&ini, "s", c.key), c.raw) << c.key;
    EXPECT_EQ(str(&ini, "S", c.key), c.text) << c.key;
  }
  // The booleans the translate settings are read with: anything but true/false gives the default.
  const std::tuple<const char*, bool, bool> bools[] = {{"t", false, true}, {"n", true, false}, {"q", true, false},
      {"y", true, true}, {"y", false, false}, {"missing", true, true}};  // key, default, expected
  for (auto [key, def, want] : bools) EXPECT_EQ(ini.GetBooleanValue("s", key, def), want) << key;
  // Sections match whole names, ignoring case and blanks; a prefix is another section.
  EXPECT_EQ(raw(&ini, "DAY_A0", "x") + raw(&ini, "day_A1", "x"), "01");
  EXPECT_FALSE(ini.FindSection("DAY_A10") || ini.FindSection("DAY_A") || ini.FindSection(""));
  EXPECT_EQ(IniFile::NumChars("a;b;;", ';'), 3);
  EXPECT_TRUE(IniFile::IsSection("[x]") && !IniFile::IsSection("[]"));
  // Long lines are cut every 2047 bytes.
  load(&ini, std::string(3000, 'x') + "\r\nnext\n");
  std::vector<size_t> lengths;
  while (char* line = ini.ReadLine()) lengths.push_back(take(line, true).size());
  EXPECT_EQ(lengths, (std::vector<size_t>{2047, 953, 4}));
}

TEST(IniFile, InsertionKeepsBlankLinesAndHandEditedBytes) {
  const std::string bom = "\xEF\xBB\xBF";
  IniFile ini;
  load(&ini, bom + "; translator notes\n[General]\r\nencoding = \"UTF-8\"  ; keep\n\r\n\n"
                   "[DAY_A0]\n  # a comment\r\nA0_001 = \"x\"\r\n\n[DAY_A1]\r\nA1_001 = \"y\"\n\r\n");
  ASSERT_TRUE(ini.WriteRawLine("; first") && ini.SetStringValue("General", "save_msg", "s", false, true) &&
              ini.SetStringValue("DAY_A0", "A0_002", "z", false, true) && ini.WriteRawLine("; after A0_002") &&
              ini.SetRawValue("DAY_A1", "A1_002", "A1_001"));
  EXPECT_EQ(bytes_of(&ini), bom + "; first\r\n; translator notes\n[General]\r\nencoding = \"UTF-8\"  ; keep\n"
                            "save_msg = \"s\"\r\n\r\n\n[DAY_A0]\n  # a comment\r\nA0_001 = \"x\"\r\nA0_002 = \"z\"\r\n"
                            "; after A0_002\r\n\n[DAY_A1]\r\nA1_001 = \"y\"\n\r\nA1_002 = A1_001\r\n");
  // An existing key, a missing section, modify_only and a wrapping length change nothing.
  std::string before = bytes_of(&ini);
  EXPECT_EQ(run_captured([&] { return ini.SetStringValue("day_a0", "a0_001", "new", false, true); }).err,
            "Modification of value currently not implemented.\n");
  EXPECT_FALSE(ini.SetRawValue("DAY_B0", "k", "v") || ini.SetRawValue("DAY_A0", "k", "v", true));
  const auto wrapping = static_cast<unsigned int>(UINT32_MAX - before.size() + 1);
  EXPECT_FALSE(run_captured([&] { return ini.Increase(wrapping, nullptr); }).ok);
  EXPECT_EQ(bytes_of(&ini), before);
  // The byte order mark belongs to no line: a header right after it is read.
  load(&ini, bom + "[s]\nk = v\n");
  EXPECT_EQ(take(ini.ReadLine(), true), "[s]");
  EXPECT_EQ(raw(&ini, "s", "k"), "v");
  // A last line without a line break stays its own line; a blank line written after a new key stays after
  // the next one.
  load(&ini, "[s]\n  k = v");
  ASSERT_TRUE(ini.AddSection("t") && ini.SetRawValue("s", "a", "1") && ini.WriteRawLine("") &&
              ini.SetRawValue("s", "b", "2"));
  EXPECT_EQ(bytes_of(&ini), "[s]\n  k = v\r\na = 1\r\nb = 2\r\n\r\n[t]\r\n");
  // Lines above a section's first line or a key (case aside, after its indentation), nowhere else.
  ASSERT_TRUE(ini.WriteRawLineAt("s", "first") && ini.WriteRawLineAt("s", "K", "; over k"));
  EXPECT_FALSE(ini.WriteRawLineAt("x", "first") || ini.WriteRawLineAt("s", "c", "x"));
  EXPECT_EQ(bytes_of(&ini), "[s]\nfirst\r\n  ; over k\r\nk = v\r\na = 1\r\nb = 2\r\n\r\n[t]\r\n");
}

TEST(IniFile, TextsRoundTripThroughEscapes) {
  const std::vector<std::string> texts = {"", "\"quoted\" and 'single'", "semi; colon # hash", "line\nfeed\n",
      "C:\\new\\dir\\", "\\\" and \\' and \\\n", "'apostrophe", "  blanks  ", "\xe3\x80\x8c\xe3\x81\x82\n"};
  IniFile ini, reread;
  ASSERT_TRUE(ini.AddSection("DAY_A0"));
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE(ini.SetStringValue("DAY_A0", ("K" + std::to_string(i)).c_str(), texts[i].c_str(), false, true));
  }
  load(&reread, bytes_of(&ini));
  for (IniFile* doc : {&ini, &reread}) {
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(str(doc, "day_a0", ("k" + std::to_string(i)).c_str()), texts[i]) << i;
    }
  }
}

// The index behind repeated queries must answer, insert and leave the cursor
// exactly as a fresh reading of the same bytes, whatever edits came before.
TEST(IniFile, EditedDocumentAnswersLikeAFreshReading) {
  std::mt19937 rng(1234);
  const char* sections[] = {"A", "B", "C"};
  const char* keys[] = {"k1", "K2", "k3", "k4", "k5"};
  quietly([&] {
    for (int round = 0; round < 40 && !HasFailure(); ++round) {
      IniFile ini, fresh;
      const char* s = "A";
      load(&ini, "[A]\nk1 = a\n\n[B]\r\n\r\n[C]\nk2 = c\n\n");
      for (int step = 0; step < 60; ++step) {
        SCOPED_TRACE(std::to_string(round) + "/" + std::to_string(step));
        load(&fresh, bytes_of(&ini));
        if (rng() % 4 == 0) s = sections[rng() % 3];  // runs on one section keep its index
        const char* k = keys[rng() % 5];
        const bool flag = rng() % 2;
        // Everything but WriteRawLine is independent of the cursor: the fresh copy must end with the same bytes.
        for (IniFile* doc : {&ini, &fresh}) {
          switch (step % 7) {
            case 0: doc->SetRawValue(s, k, ("v" + std::to_string(step)).c_str()); break;
            case 1: if (doc == &ini) doc->WriteRawLine(flag ? "" : "k3 = raw"); break;
            case 2: doc->WriteRawLineAt(s, flag ? "; top" : "k4 = top"); break;
            case 3: doc->WriteRawLineAt(s, k, flag ? "k5 = above" : "  "); break;
            case 4: doc->RemoveValue(s, k, flag); break;
            case 5: doc->AddSection(flag ? s : "D"); break;
            default: take(doc->GetRawValue(s, k)); break;
          }
        }
        if (step % 7 != 1) {
          ASSERT_EQ(bytes_of(&ini), bytes_of(&fresh));
          ASSERT_EQ(take(ini.ReadLine(), true), take(fresh.ReadLine(), true));
        }
        load(&fresh, bytes_of(&ini));
        for (const char* qk : keys) ASSERT_EQ(raw(&ini, s, qk), raw(&fresh, s, qk)) << s << ":" << qk;
      }
    }
  });
}

// Headers, key lines, quotes, escapes, comments and awkward bytes in any order through every query and edit.
TEST(IniFile, RandomDocumentsThroughEveryQuery) {
  std::mt19937 rng(99);
  const std::vector<std::string> pieces = {"[a]", "[ A ]", "[]", "[", "a = ", "x=", "=", "\"", "'", "\\",
      "\\n", ";", "#", " ", "\r\n", "\n", "\r", "0x1f", "true", std::string(1, '\0'), "\x80", "\xe3\x81\x82",
      std::string(2100, 'y')};
  const char* names[] = {"a", "A", "ab", "x", "", "\xe3"};
  for (int doc = 0; doc < 400 && !HasFailure(); ++doc) {
    std::string text;
    for (size_t i = 0, count = rng() % 120; i < count; ++i) {
      size_t pick = rng() % pieces.size();
      text += pieces[pick + 1 == pieces.size() && rng() % 8 != 0 ? 0 : pick];  // long lines now and then
    }
    IniFile ini, fresh;
    load(&ini, text);
    quietly([&] {
      for (int edit = 0; edit < 6; ++edit) {
        const char *s = names[rng() % 6], *k = names[rng() % 6];
        int v;
        for (const char* q : names) {
          take(ini.GetStringValue(s, q));
          ini.GetIntegerValue(s, q, &v);
          ini.GetBooleanValue(s, q, true);
        }
        switch (rng() % 4) {
          case 0: ini.SetStringValue(s, k, "v\"\\\n", false, true); break;
          case 1: ini.WriteRawLineAt(s, k, "; c"); break;
          case 2: ini.WriteRawLine("a = w"); break;
          default: ini.RemoveValue(s, k, rng() % 2); break;
        }
        load(&fresh, bytes_of(&ini));  // edits on odd documents still answer like a fresh reading
        for (const char* q : names) ASSERT_EQ(raw(&ini, s, q), raw(&fresh, s, q)) << doc;
      }
      ini.FindSection(names[rng() % 6]);
      while (char* line = ini.ReadLine()) {
        IniFile::RemoveComments(line);
        delete[] IniFile::GetValueName(line);
        std::free(IniFile::GetValueData(line));
        delete[] line;
      }
    });
  }
}
