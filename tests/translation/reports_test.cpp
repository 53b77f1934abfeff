// The completion and line reports over hand-written INI files and a small
// catalogue of three days.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"
#include "tests/translation/translation_fixture.h"
#include "translation/reports.h"

namespace {

using namespace translation_test;

// Three days without built-in tables: their VA names come from the INI files.
const OptionGroup kT0Groups[] = {{"PLACE", 2}, {"ROUTE", 4}};
const OptionGroup kT2Groups[] = {{"PICK", 3}};
const ScnDay kDays[] = {
    {"DAY_T0", "/SCNBIN/X.SCN", nullptr, 3, 1000, 600, nullptr, kT0Groups, 2, 100, 500, nullptr, false, {}},
    {"DAY_T1", "/SCNBIN/X.SCN", nullptr, 2, 1000, 600, nullptr, nullptr, 0, 100, 500, nullptr, false, {}},
    {"DAY_T2", "/SCNBIN/X.SCN", nullptr, 1, 1000, 600, nullptr, kT2Groups, 1, 100, 500, nullptr, false, {}}};

const char kJapanese[] =
    "[General]\r\nencoding = \"UTF-8\"\r\nsave_msg = \"x\"\r\n\r\n"
    "[DAY_T0]\r\n; Normal texts\r\n; Actor: NONE\r\n"
    "VT01X001 = \"こんにちは\"\r\nVT01X002 = VT01X001\r\nVT01X003 = \"さようなら\"\r\n\r\n"
    "\r\n; Options\r\nPLACE OPTION1 = \"街\"\r\nPLACE OPTION2 = \"学校\"\r\n"
    "\r\n; Options with more than 3 choices. Each choice separated by \"/\"\r\n"
    "ROUTE = \"あ/い/う/え\"\r\n\r\n"
    "[DAY_T1]\r\nVT02X001 = \"はい\"\r\nVT02X002 = \"いいえ\"\r\n\r\n"
    "[DAY_T2]\r\nVT03X001 = \"ね\"\r\nPICK OPTION1 = \"一\"\r\nPICK OPTION2 = \"二\"\r\n"
    "PICK OPTION3 = \"三\"\r\n";

std::string all_translated() {
  std::string s = kJapanese;
  const char* pairs[][2] = {{"こんにちは", "Hello"}, {"さようなら", "Bye"}, {"\"街\"", "\"Town\""},
                            {"学校", "School"}, {"あ/い/う/え", "a/i/u/e"}, {"はい", "Yes"},
                            {"いいえ", "No"}, {"\"ね\"", "\"Ne\""}, {"\"一\"", "\"One\""},
                            {"\"二\"", "\"Two\""}, {"\"三\"", "\"Three\""}};
  for (const auto& p : pairs) s = replaced(s, p[0], p[1]);
  return s;
}

// check_percentage (with a translation) or check_ini (without) over the three days.
Ran report(const std::string& text, const char* translation = nullptr) {
  std::string dir = testsupport::make_scratch_dir("reports"), path = dir + "/j.ini", t = dir + "/t.ini";
  testsupport::write_file(path, text);
  if (translation) testsupport::write_file(t, std::string(translation));
  return run_captured([&] {
    return translation ? check_percentage(t.c_str(), path.c_str(), {kDays, 3})
                       : check_ini(path.c_str(), {kDays, 3});
  });
}

std::string percentages(const char* t0, const char* t1, const char* t2, const char* total) {
  return std::string("Estimated percentage of DAY_T0 translation is ") + t0 +
         "%\nEstimated percentage of DAY_T1 translation is " + t1 +
         "%\nEstimated percentage of DAY_T2 translation is " + t2 +
         "%\n\nEstimated total percentage of translation is " + total + "%\n";
}

TEST(ReportsTest, Completion) {
  // "街" kept is an exception and not counted; a link in the translation
  // counts neither way. "学校" kept is one of DAY_T0's five counted entries.
  std::string exceptions = replaced(all_translated(), "\"Town\"", "\"街\"");
  exceptions = replaced(exceptions, "VT01X003 = \"Bye\"", "VT01X003 = VT01X001");
  const struct { std::string translation; bool ok; std::string out; } cases[] = {
      {kJapanese, true, percentages("0.000000", "0.000000", "0.000000", "0.000000")},
      {exceptions, true, percentages("100.000000", "100.000000", "100.000000", "100.000000")},
      {replaced(all_translated(), "School", "学校"), true,
       percentages("80.000000", "100.000000", "100.000000", "90.909091")},
      // A missing key stops the report before the total.
      {replaced(all_translated(), "PICK OPTION2 = \"Two\"\r\n", ""), false,
       "Estimated percentage of DAY_T0 translation is 100.000000%\n"
       "Estimated percentage of DAY_T1 translation is 100.000000%\n"},
  };
  for (const auto& c : cases) {
    Ran r = report(kJapanese, c.translation.c_str());
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.out, c.out);
  }
}

// Lines over 34 bytes of Shift-JIS are reported; texts without a Shift-JIS
// form and UTF-16 files are refused.
TEST(ReportsTest, LineCheck) {
  const std::string all = all_translated();
  std::string wide;
  for (int i = 0; i < 18; i++) wide += "あ";  // 36 bytes of Shift-JIS
  struct Case { std::string text; bool ok; std::string out; } cases[] = {
      {replaced(all, "Hello", std::string(34, 'a')), true, ""},
      {replaced(all, "Hello", std::string(33, 'a') + " b"), true,
       "DAY_T0:VT01X001: line 1 has 35 characters, but character at pos 34 is white space, so it "
       "may be ok.\n"},
      {replaced(all, "Hello", "ab\\n" + wide + "\\n" + std::string(35, 'y')), true,
       "DAY_T0:VT01X001: line 2 has 36 characters.\nDAY_T0:VT01X001: line 3 has 35 characters.\n"},
      {replaced(all, "Hello", "\xE2\x82\xAC"), false, ""},
      {"\xFF\xFE" + all, false, ""},
      {"\xFE\xFF" + all, false, ""},
  };
  for (const Case& c : cases) {
    Ran r = report(c.text);
    EXPECT_EQ(r.ok, c.ok) << c.text;
    EXPECT_EQ(r.out, c.out) << c.text;
  }
  EXPECT_FALSE(report("\xFF\xFE" + std::string(kJapanese), kJapanese).ok);
  // A UTF-8 mark on a file that names another encoding is worth a warning.
  Ran r = report("\xEF\xBB\xBF" + replaced(all, "UTF-8", "CP932"));
  EXPECT_NE(r.err.find("starts with a UTF-8 byte order mark"), std::string::npos) << r.err;
}

}  // namespace
