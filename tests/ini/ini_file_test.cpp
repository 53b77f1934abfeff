// IniFile: the reading rules, the exact bytes of every edit, round trips of
// texts through the escapes, and random documents through every query.
#include "ini/ini_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <tuple>
#include <string>
#include <vector>

#include "tests/support/capture.h"

using talvo::IniFile;

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
std::string str(IniFile* ini, const char* s, const char* k) { return take(ini->GetStringValue(s, k)); }
std::string raw(IniFile* ini, const char* s, const char* k) { return take(ini->GetRawValue(s, k)); }

}  // namespace

TEST(IniFile, KeyLinesHeadersAndComments) {
  IniFile ini;
  load(&ini, "[s]\r\na=b\nc=\n=d\ne = abc ; note\nf = \"x;y\" # note\ng = it\\'s\nh = 'p;q'\n"
             "  Mixed_Case   =   v  \t\nk =   \nk = second\n[]\nl = still s\n[ ]\nm = after blank header\n");
  const struct { const char *key, *raw, *text; } cases[] = {
      {"a", "b", "b"},         {"c", "<none>", "<none>"}, {"", "<none>", "<none>"},
      {"e", "abc", "abc"},     {"f", "\"x;y\"", "x;y"},   {"g", "it\\'s", "it's"},
      {"h", "'p;q'", "p;q"},   {"MIXED_case", "v", "v"},  {"k", "second", "second"},
      {"l", "still s", "still s"}, {"m", "<none>", "<none>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raw(&ini, "s", c.key), c.raw) << c.key;
    EXPECT_EQ(str(&ini, "S", c.key), c.text) << c.key;
  }
  EXPECT_TRUE(IniFile::IsSection("[x]") && !IniFile::IsSection("[]") && !IniFile::IsSection("[x] y"));
  EXPECT_FALSE(ini.FindSection("") || ini.FindSection(" "));
  EXPECT_EQ(IniFile::NumChars("a;b;;", ';'), 3);
  EXPECT_EQ(IniFile::NumStrings("aaaa", "aa"), 2);
  EXPECT_EQ(IniFile::NumStrings("abc", ""), 0);
  EXPECT_EQ(take(IniFile::GetValueName("key  = v"), true), "key");
}

TEST(IniFile, SectionsMatchWholeNamesIgnoringCaseAndBlanks) {
  IniFile ini;
  load(&ini, "[DAY_A1]\nx = 1\n[  day_a0 \t]\nx = 0\n");
  EXPECT_EQ(raw(&ini, "DAY_A0", "x"), "0");
  EXPECT_EQ(raw(&ini, "day_A1", "x"), "1");
  EXPECT_FALSE(ini.FindSection("DAY_A10") || ini.FindSection("DAY_A"));  // a prefix is another section
}

TEST(IniFile, QuoteWarningsAndEscapes) {
  IniFile ini;
  load(&ini,
       "[s]\nbad = \"abc\"def\nopen = \"abc\nsp = \"abc\" def\nesc = x\\ny\n"
       "tail = a\\\nodd = \\q\\\\\\n\n");
  const struct { const char *key, *text, *warning; } cases[] = {
      {"bad", "abc", "Warning: possible unintended bad use of quotes without \"\\\" prepended in s:bad.\n"},
      {"open", "abc", "Warning: unclosed quotes at s:open.\n"},
      {"sp", "abc", ""}, {"esc", "x\ny", ""}, {"tail", "a\\", ""}, {"odd", "\\q\\\n", ""},
  };
  for (const auto& c : cases) {
    testsupport::Output o;
    EXPECT_EQ(testsupport::captured(&o, [&] { return str(&ini, "s", c.key); }), c.text) << c.key;
    EXPECT_EQ(o.err, c.warning) << c.key;
  }
}

TEST(IniFile, HighBytesAreOrdinaryCharacters) {
  IniFile ini;
  // U+3042 U+3044 at the start of a key, after '=' and at the end of a line.
  load(&ini, "[s]\n\xe3\x81\x82k=\xe3\x81\x84v\xe3\x81\x82\xe3\x81\x84\r\n");
  EXPECT_EQ(raw(&ini, "s", "\xe3\x81\x82k"), "\xe3\x81\x84v\xe3\x81\x82\xe3\x81\x84");
  ini.FindSection("s");
  EXPECT_EQ(take(ini.ReadLine(), true), "\xe3\x81\x82k=\xe3\x81\x84v\xe3\x81\x82\xe3\x81\x84");
  // Long lines are cut every 2047 bytes.
  load(&ini, std::string(3000, 'x') + "\r\nnext\n");
  std::vector<size_t> lengths;
  while (char* line = ini.ReadLine()) lengths.push_back(take(line, true).size());
  EXPECT_EQ(lengths, (std::vector<size_t>{2047, 953, 4}));
}

TEST(IniFile, BooleansAndIntegers) {
  IniFile ini;
  load(&ini, "[s]\nt = TRUE\nf = False\ne = \"\"\ny = yes\n");
  EXPECT_TRUE(ini.SetBooleanValue("s", "b", true));
  // key, default, expected: "yes" is no boolean and gives the default.
  const std::tuple<const char*, bool, bool> bools[] = {{"t", false, true}, {"f", true, false}, {"e", true, false},
      {"y", true, true}, {"y", false, false}, {"missing", true, true}, {"b", false, true}};
  for (auto [key, def, want] : bools) EXPECT_EQ(ini.GetBooleanValue("s", key, def), want) << key;
  for (int v : {0, 7, -1, 255, -2147483647 - 1, 2147483647}) {
    for (bool hex : {false, true}) {
      std::string key = std::to_string(v) + (hex ? "h" : "d");
      ASSERT_TRUE(ini.SetIntegerValue("s", key.c_str(), v, false, hex));
      int back = 12345;
      EXPECT_TRUE(ini.GetIntegerValue("s", key.c_str(), &back));
      EXPECT_EQ(back, v) << key;
    }
  }
  EXPECT_EQ(raw(&ini, "s", "255h"), "0xff");
  ASSERT_TRUE(ini.SetRawValue("s", "oct", "010"));
  int v = 0;
  EXPECT_TRUE(ini.GetIntegerValue("s", "oct", &v) && v == 8);
  EXPECT_FALSE(ini.GetIntegerValue("s", "nothing", &v));
}

TEST(IniFile, InsertionKeepsBlankLinesAndHandEditedBytes) {
  IniFile ini;
  load(&ini, "; translator notes\n[General]\r\nencoding = \"UTF-8\"  ; keep\n\r\n\n"
             "[DAY_A0]\n  # a comment\r\nA0_001 = \"x\"\r\n\n[DAY_A1]\r\nA1_001 = \"y\"\n\r\n");
  ASSERT_TRUE(ini.SetStringValue("General", "save_msg", "s", false, true) &&
              ini.SetStringValue("DAY_A0", "A0_002", "z", false, true) && ini.WriteRawLine("; after A0_002") &&
              ini.SetRawValue("DAY_A1", "A1_002", "A1_001"));
  EXPECT_EQ(bytes_of(&ini), "; translator notes\n[General]\r\nencoding = \"UTF-8\"  ; keep\nsave_msg = \"s\"\r\n\r\n\n"
                            "[DAY_A0]\n  # a comment\r\nA0_001 = \"x\"\r\nA0_002 = \"z\"\r\n; after A0_002\r\n\n"
                            "[DAY_A1]\r\nA1_001 = \"y\"\n\r\nA1_002 = A1_001\r\n");
  // An existing key, a missing section and modify_only change nothing.
  std::string before = bytes_of(&ini);
  testsupport::Output o;
  EXPECT_FALSE(testsupport::captured(&o, [&] { return ini.SetStringValue("day_a0", "a0_001", "new", false, true); }));
  EXPECT_EQ(o.err, "Modification of value currently not implemented.\n");
  EXPECT_FALSE(ini.SetRawValue("DAY_B0", "k", "v"));
  EXPECT_FALSE(ini.SetRawValue("DAY_A0", "k", "v", true));
  EXPECT_EQ(bytes_of(&ini), before);
}

TEST(IniFile, LastLineWithoutLineBreakStaysItsOwnLine) {
  IniFile ini;
  load(&ini, "[s]\nk = v");
  ASSERT_TRUE(ini.SetRawValue("s", "k2", "w"));
  EXPECT_EQ(bytes_of(&ini), "[s]\nk = v\r\nk2 = w\r\n");
  load(&ini, "[s]");
  ASSERT_TRUE(ini.AddSection("t"));
  EXPECT_EQ(bytes_of(&ini), "[s]\r\n[t]\r\n");
}

TEST(IniFile, RawLinesAtCursorSectionAndKey) {
  IniFile ini;
  EXPECT_FALSE(ini.FindSection("s"));
  unsigned int n = 99;
  EXPECT_TRUE(ini.GetData(false, &n) == nullptr && n == 0);
  ASSERT_TRUE(ini.AddSection("s") && ini.AddSection("S") && ini.SetRawValue("s", "a", "1") &&
              ini.WriteRawLine("  b = 2") && ini.WriteRawLineAt("s", "first") && ini.WriteRawLineAt("s", "above first") &&
              ini.WriteRawLineAt("s", "B", "; over b") && ini.WriteRawLineAt("s", "a", "; over a"));
  EXPECT_FALSE(ini.WriteRawLineAt("t", "x") || ini.WriteRawLineAt("s", "c", "x"));
  EXPECT_EQ(bytes_of(&ini), "[s]\r\nabove first\r\nfirst\r\n; over a\r\na = 1\r\n  ; over b\r\nb = 2\r\n");
  EXPECT_EQ(raw(&ini, "s", "b"), "2");
  ASSERT_TRUE(ini.RemoveValue("s", "a", true) && ini.RemoveValue("s", "b", false));
  EXPECT_FALSE(ini.RemoveValue("s", "a", false));
  EXPECT_EQ(bytes_of(&ini), "[s]\r\nabove first\r\nfirst\r\n; over a\r\n;a = 1\r\n  ; over b\r\n\r\n");
  ASSERT_TRUE(ini.SetRawValue("s", "a", "3"));
  EXPECT_EQ(raw(&ini, "s", "a"), "3");
}

TEST(IniFile, LeadingUtf8ByteOrderMarkStaysAndBelongsToNoLine) {
  const std::string bom = "\xEF\xBB\xBF";
  IniFile ini;
  load(&ini, bom + "[General]\r\nencoding = \"UTF-8\"\r\n");
  EXPECT_EQ(str(&ini, "general", "encoding"), "UTF-8");
  load(&ini, bom + "k = v\r\n[s]\r\n");
  EXPECT_EQ(take(ini.ReadLine(), true), "k = v");
  load(&ini, bom + "k = v\r\n[s]\r\n");
  ASSERT_TRUE(ini.WriteRawLine("; first") && ini.SetRawValue("s", "a", "1"));
  EXPECT_EQ(bytes_of(&ini), bom + "; first\r\nk = v\r\n[s]\r\na = 1\r\n");
  load(&ini, bom);
  ASSERT_TRUE(ini.AddSection("s"));
  EXPECT_EQ(bytes_of(&ini), bom + "[s]\r\n");
}

TEST(IniFile, ResizeAndIncrease) {
  IniFile ini;
  load(&ini, "abc");
  unsigned char* fresh = nullptr;
  ASSERT_TRUE(ini.Increase(3, &fresh));
  EXPECT_EQ(fresh[0] + fresh[1] + fresh[2], 0);
  ASSERT_TRUE(ini.Resize(2));
  EXPECT_EQ(bytes_of(&ini), "ab");
  ASSERT_TRUE(ini.Resize(4));
  EXPECT_EQ(bytes_of(&ini), std::string("ab\0\0", 4));
  ASSERT_TRUE(ini.SetData(nullptr, 5));
  unsigned int n = 1;
  EXPECT_TRUE(ini.GetData(true, &n) == nullptr && n == 0);
}

TEST(IniFile, TextsRoundTripThroughEscapes) {
  const std::vector<std::string> texts = {
      "", "plain", "\"quoted\" and 'single'", "semi; colon # hash", "line\nfeed\n", "C:\\new\\dir\\", "\\", "\\\\",
      "\\n literal", "\\\" and \\' and \\\n", "'starts with apostrophe", "  blanks around  ",
      "\xe3\x80\x8c\xe3\x81\x82\xe3\x82\x8a\xe3\x81\x8c\xe3\x81\xa8\xe3\x81\x86\xe3\x80\x8d\n\xe2\x80\xa6\xe2\x80\xa6"};
  IniFile ini;
  ASSERT_TRUE(ini.AddSection("DAY_A0"));
  for (size_t i = 0; i < texts.size(); ++i) {
    std::string key = "K" + std::to_string(i);
    ASSERT_TRUE(ini.SetStringValue("DAY_A0", key.c_str(), texts[i].c_str(), false, true));
  }
  // Also through a fresh document made from the written bytes.
  IniFile reread;
  load(&reread, bytes_of(&ini));
  for (IniFile* doc : {&ini, &reread}) {
    for (size_t i = 0; i < texts.size(); ++i) {
      std::string key = "k" + std::to_string(i);
      testsupport::Output o;
      EXPECT_EQ(testsupport::captured(&o, [&] { return str(doc, "day_a0", key.c_str()); }), texts[i]) << key;
      EXPECT_EQ(o.err, "") << key;
    }
  }
  // Backslashes that start no escape are written as they are.
  ASSERT_TRUE(ini.SetStringValue("DAY_A0", "plainslash", "a\\b", false, true));
  EXPECT_EQ(raw(&ini, "DAY_A0", "plainslash"), "\"a\\b\"");
}

// The index behind repeated queries must answer, insert and leave the cursor
// exactly as a fresh reading of the same bytes, whatever edits came before.
TEST(IniFile, EditedDocumentAnswersLikeAFreshReading) {
  std::mt19937 rng(1234);
  const char* sections[] = {"A", "B", "C"};
  const char* keys[] = {"k1", "K2", "k3", "k4", "k5"};
  testsupport::Output o;  // the warnings of odd edits
  testsupport::captured(&o, [&] {
    for (int round = 0; round < 40; ++round) {
      IniFile ini;
      const char* s = "A";
      load(&ini, "[A]\nk1 = a\n\n[B]\r\n\r\n[C]\nk2 = c\n\n");
      for (int step = 0; step < 60; ++step) {
        IniFile fresh;
        load(&fresh, bytes_of(&ini));
        // Runs of edits on one section keep its index alive between them.
        if (rng() % 4 == 0) s = sections[rng() % 3];
        const char* k = keys[rng() % 5];
        std::string v = "v" + std::to_string(step);
        bool flag = rng() % 2;
        // Everything but WriteRawLine is independent of the cursor, so the
        // fresh copy must end with the same bytes.
        for (IniFile* doc : {&ini, &fresh}) {
          switch (step % 7) {
            case 0: doc->SetRawValue(s, k, v.c_str()); break;
            case 1: if (doc == &ini) doc->WriteRawLine(flag ? "" : "k3 = raw"); break;
            case 2: doc->WriteRawLineAt(s, flag ? "; top" : "k4 = top"); break;
            case 3: doc->WriteRawLineAt(s, k, flag ? "k5 = above" : "  "); break;
            case 4: doc->RemoveValue(s, k, flag); break;
            case 5: doc->AddSection(flag ? s : "D"); break;
            default: take(doc->GetRawValue(s, k)); break;
          }
        }
        if (step % 7 != 1) {
          ASSERT_EQ(bytes_of(&ini), bytes_of(&fresh)) << round << "/" << step;
          ASSERT_EQ(take(ini.ReadLine(), true), take(fresh.ReadLine(), true)) << round << "/" << step;
        }
        load(&fresh, bytes_of(&ini));
        for (const char* qk : keys) {
          ASSERT_EQ(raw(&ini, s, qk), raw(&fresh, s, qk)) << round << "/" << step << " " << s << ":" << qk;
        }
      }
    }
  });
}

TEST(IniFile, RandomDocumentsThroughEveryQuery) {
  std::mt19937 rng(99);
  // Pieces that form headers, key lines, quotes, escapes and comments, mixed
  // with single awkward bytes.
  const std::vector<std::string> pieces = {
      "[a]", "[ A ]", "[ab]", "[]", "[", "]", "a = ", "x=", "=", "\"", "'", "\\", "\\n", ";",
      "#",   " ",     "\t",   "\r\n", "\n", "\r", "ab", "0x1f", "true", std::string(1, '\0'),
      "\x80", "\xe3\x81\x82", "\xff", std::string(2100, 'y')};
  const char* names[] = {"a", "A", "ab", "x", "", "\xe3"};
  for (int doc = 0; doc < 400; ++doc) {
    std::string text;
    size_t count = rng() % 120;
    for (size_t i = 0; i < count; ++i) {
      size_t pick = rng() % pieces.size();
      if (pick + 1 == pieces.size() && rng() % 8 != 0) pick = 0;  // long lines now and then
      text += pieces[pick];
    }
    IniFile ini;
    load(&ini, text);
    testsupport::Output o;  // the warnings of odd documents
    testsupport::captured(&o, [&] {
      for (const char* s : names) {
        for (const char* k : names) {
          take(ini.GetRawValue(s, k));
          take(ini.GetStringValue(s, k));
          int v;
          ini.GetIntegerValue(s, k, &v);
          ini.GetBooleanValue(s, k, true);
        }
      }
      for (int edit = 0; edit < 6; ++edit) {
        const char* s = names[rng() % 6];
        const char* k = names[rng() % 6];
        switch (rng() % 4) {
          case 0: ini.SetStringValue(s, k, "v\"\\\n", false, true); break;
          case 1: ini.WriteRawLineAt(s, k, "; c"); break;
          case 2: ini.WriteRawLine("a = w"); break;
          default: ini.RemoveValue(s, k, rng() % 2); break;
        }
        // Edits on odd documents still answer like a fresh reading.
        IniFile fresh;
        load(&fresh, bytes_of(&ini));
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
    if (HasFailure()) return;
  }
}
