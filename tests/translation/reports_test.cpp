// The completion and line reports over hand-written INI files and a small
// catalogue of three days, with complete built-in names or none at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/translation/translation_fixture.h"
#include "translation/reports.h"

namespace {

using translation_test::replaced;
using ReportRun = translation_test::Ran;

const OptionGroup kT0Groups[] = {{"PLACE", 2}, {"ROUTE", 4}};
const OptionGroup kT2Groups[] = {{"PICK", 3}};
const DayNameTable kT0Names = {"VT01X001", "VT01X002", "VT01X003"};
const DayIndexTable kT0Idx = {0, 1, 2};
const DayPoffsetTable kT0Rows = {{{100, 110, 107}}, {{120, 130, 133, 136, 139}}};
const DayNameTable kT1Names = {"VT02X001", "VT02X002"};
const DayIndexTable kT1Idx = {0, 3};
const DayNameTable kT2Names = {"VT03X001"};
const DayIndexTable kT2Idx = {5};
const DayPoffsetTable kT2Rows = {{{200, 210, 207, 204}}};

ScnDay day(const char* name, const DayNameTable* names, int va_count, const DayIndexTable* idx,
           const OptionGroup* groups, int ev_count, const DayPoffsetTable* rows) {
  return ScnDay{name, "/SCNBIN/X.SCN", names, va_count, 1000, 600, idx, groups, ev_count,
                100, 500, rows, false, {}};
}

// The three days with their complete built-in tables, or with none.
std::vector<ScnDay> test_days(bool builtin) {
  auto t = [builtin](const auto* table) { return builtin ? table : nullptr; };
  return {day("DAY_T0", t(&kT0Names), 3, t(&kT0Idx), kT0Groups, 2, t(&kT0Rows)),
          day("DAY_T1", t(&kT1Names), 2, t(&kT1Idx), nullptr, 0, nullptr),
          day("DAY_T2", t(&kT2Names), 1, t(&kT2Idx), kT2Groups, 1, t(&kT2Rows))};
}

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
  const char* pairs[][2] = {{"こんにちは", "Hello"}, {"さようなら", "Bye"},
                            {"\"街\"", "\"Town\""}, {"学校", "School"},
                            {"あ/い/う/え", "a/i/u/e"}, {"はい", "Yes"},
                            {"いいえ", "No"}, {"\"ね\"", "\"Ne\""},
                            {"\"一\"", "\"One\""}, {"\"二\"", "\"Two\""},
                            {"\"三\"", "\"Three\""}};
  for (const auto& p : pairs) s = replaced(s, p[0], p[1]);
  return s;
}

class ReportsTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::make_scratch_dir("reports"); }

  std::string file(const std::string& name, const std::string& text) {
    std::string path = dir_ + "/" + name;
    testsupport::write_file(path, text);
    return path;
  }

  ReportRun completion(const std::string& translation, const std::string& japanese, bool builtin) {
    std::vector<ScnDay> days = test_days(builtin);
    std::string t = file("t.ini", translation), j = file("j.ini", japanese);
    return translation_test::run_captured([&] { return check_percentage(t.c_str(), j.c_str(), {days.data(), 3}); });
  }

  ReportRun line_check(const std::string& text, bool builtin = true) {
    std::vector<ScnDay> days = test_days(builtin);
    std::string path = file("c.ini", text);
    return translation_test::run_captured([&] { return check_ini(path.c_str(), {days.data(), 3}); });
  }

  std::string dir_;
};

std::string percentages(const char* t0, const char* t1, const char* t2, const char* total) {
  return std::string("Estimated percentage of DAY_T0 translation is ") + t0 +
         "%\nEstimated percentage of DAY_T1 translation is " + t1 +
         "%\nEstimated percentage of DAY_T2 translation is " + t2 +
         "%\n\nEstimated total percentage of translation is " + total + "%\n";
}

TEST_F(ReportsTest, Completion) {
  const std::string full = percentages("100.000000", "100.000000", "100.000000", "100.000000");
  // "街" kept is an exception and not counted; a link in the translation
  // counts neither way. "学校" kept is one of DAY_T0's five counted entries.
  std::string exceptions = replaced(all_translated(), "\"Town\"", "\"街\"");
  exceptions = replaced(exceptions, "VT01X003 = \"Bye\"", "VT01X003 = VT01X001");
  const struct { std::string translation; bool ok; std::string out; std::string err; } cases[] = {
      {kJapanese, true, percentages("0.000000", "0.000000", "0.000000", "0.000000"), ""},
      {all_translated(), true, full, ""},
      {exceptions, true, full, ""},
      {replaced(all_translated(), "School", "学校"), true,
       percentages("80.000000", "100.000000", "100.000000", "90.909091"), ""},
      // A missing key stops the report before the total.
      {replaced(all_translated(), "PICK OPTION2 = \"Two\"\r\n", ""), false,
       "Estimated percentage of DAY_T0 translation is 100.000000%\n"
       "Estimated percentage of DAY_T1 translation is 100.000000%\n",
       "Error reading ini str value PICK OPTION2\n"},
  };
  for (const auto& c : cases) {
    for (bool builtin : {true, false}) {
      ReportRun r = completion(c.translation, kJapanese, builtin);
      EXPECT_EQ(r.ok, c.ok);
      EXPECT_EQ(r.out, c.out) << builtin;
      EXPECT_EQ(r.err, c.err);
    }
  }
}

TEST_F(ReportsTest, CompletionChecksNamesTakenFromTheJapaneseFile) {
  // Without built-in names DAY_T1 must still have its two VA keys.
  std::string j = replaced(kJapanese, "VT02X002 = \"いいえ\"\r\n", "");
  ReportRun r = completion(j, j, false);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.out, "Estimated percentage of DAY_T0 translation is 0.000000%\n");
  EXPECT_EQ(r.err,
            "Error: cannot build the tables of DAY_T1: the VA keys of the INI file: it has 1 VA "
            "names, the catalogue expects 2\n");
  // With built-in names the same file lacks a key.
  r = completion(j, j, true);
  EXPECT_EQ(r.err, "Error reading ini str value VT02X002\n");
}

std::string check_file(const std::string& value,
                       const std::string& encoding_line = "encoding = \"UTF-8\"\r\n") {
  return "[General]\r\n" + encoding_line + "\r\n[DAY_T0]\r\nVT01X001 = \"" + value +
         "\"\r\nVT01X002 = VT01X001\r\nVT01X003 = \"ok\"\r\n"
         "[DAY_T1]\r\nVT02X001 = \"ok\"\r\nVT02X002 = \"ok\"\r\n"
         "[DAY_T2]\r\nVT03X001 = \"ok\"\r\n";
}

TEST_F(ReportsTest, LineCheckReportsLinesLongerThan34Bytes) {
  std::string a33(33, 'a'), wide;
  for (int i = 0; i < 18; i++) wide += "あ";
  struct Case { std::string value; std::string out; } cases[] = {
      {std::string(34, 'a'), ""},
      {std::string(35, 'a'), "DAY_T0:VT01X001: line 1 has 35 characters.\n"},
      {a33 + " b", "DAY_T0:VT01X001: line 1 has 35 characters, but character at pos 34 is white "
                   "space, so it may be ok.\n"},
      {std::string(34, 'a') + " ", "DAY_T0:VT01X001: line 1 has 35 characters.\n"},
      // 18 full-width characters are 36 bytes of Shift-JIS.
      {wide, "DAY_T0:VT01X001: line 1 has 36 characters.\n"},
      {"\\n" + std::string(40, 'x'), "DAY_T0:VT01X001: line 2 has 40 characters.\n"},
      {"ab\\n\\n" + std::string(36, 'x') + "\\n" + std::string(35, 'y'),
       "DAY_T0:VT01X001: line 3 has 36 characters.\nDAY_T0:VT01X001: line 4 has 35 "
       "characters.\n"},
  };
  for (const Case& c : cases) {
    ReportRun r = line_check(check_file(c.value));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, c.out) << c.value;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(ReportsTest, LineCheckDefaultsToUtf8AndReportsConversionFailures) {
  ReportRun r = line_check(check_file(std::string(36, 'z'), ""), false);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.err, "Warning: encoding not found in ini, defaulting to UTF-8.\n");
  EXPECT_EQ(r.out, "DAY_T0:VT01X001: line 1 has 36 characters.\n");

  r = line_check(check_file("\xE2\x82\xAC euro"));  // no Shift-JIS form
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "Error converting to sjis: \xE2\x82\xAC euro\n");
}

TEST_F(ReportsTest, ByteOrderMarks) {
  const std::string bom = "\xEF\xBB\xBF";
  // A UTF-8 mark is no part of the first header or key.
  std::string days_only = all_translated().substr(all_translated().find("[DAY_T0]"));
  ReportRun r = completion(bom + days_only, bom + kJapanese, true);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, percentages("100.000000", "100.000000", "100.000000", "100.000000"));
  EXPECT_EQ(r.err, "");
  r = line_check(bom + check_file(std::string(35, 'a')));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "DAY_T0:VT01X001: line 1 has 35 characters.\n");
  EXPECT_EQ(r.err, "");
  r = line_check(bom + check_file("ok", "encoding = \"SHIFT_JIS\"\r\n"));
  EXPECT_TRUE(r.ok);
  EXPECT_NE(r.err.find("Warning:"), std::string::npos) << r.err;
  // UTF-16 is refused in one line, in either byte order.
  for (const std::string mark : {"\xFF\xFE", "\xFE\xFF"}) {
    r = line_check(mark + check_file("ok"));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("save it as UTF-8.\n"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(completion(kJapanese, mark + kJapanese, true).ok);
  }
}

}  // namespace
