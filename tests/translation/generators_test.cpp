// The table generators and the actor-comment copy over the synthetic game
// disc: generated tables read back equal the disc's true tables whether the
// catalogue has them built in or not; comments land above VA keys and every
// other byte stays; failures leave the output as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/synthetic_game.h"
#include "tests/support/test_files.h"
#include "translation/actors.h"
#include "translation/generators.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;
using testsupport::SyntheticGame;

const SyntheticGame& game() {
  static SyntheticGame* g = new SyntheticGame();
  return *g;
}

ScnCatalogue catalogue_of(bool builtin) {
  return builtin ? game().catalogue() : game().catalogue_without_tables();
}

const std::string& game_iso() {
  static std::string iso = game().build_iso(testsupport::make_scratch_dir("generators_disc"));
  return iso;
}

std::string read_text(const std::string& path) {
  testsupport::Bytes b = testsupport::read_file_bytes(path);
  return std::string(b.begin(), b.end());
}

// Generated source read back, one table per day by lower-case day name.
// Every line must be a header, a brace, a row of its table, or the blank
// line after "};"; a row of pointer positions keeps its value count.
struct ParsedTables {
  std::vector<std::string> order;
  std::map<std::string, std::vector<std::string>> rows;  // the text of each row
};

ParsedTables parse_generated(const std::string& text) {
  static const std::regex header(
      "(int |uint16_t \\(\\* |const char\\* )(day_[a-z0-9]+)"
      "(_va_idx\\[\\] =|_ev_poffsets\\)\\[16\\] = \\(uint16_t \\[\\]\\[16\\]\\)|_VA\\[\\] =)");
  static const std::regex row("\t([0-9]+|\"V[^\"]+\"|\\{ 0x[0-9a-f]{4}(, 0x[0-9a-f]{4})* \\}),");
  ParsedTables p;
  std::istringstream in(text);
  std::string line, expect;
  std::smatch m;
  while (std::getline(in, line)) {
    if (!expect.empty()) {
      EXPECT_EQ(line, expect);
      expect.clear();
    } else if (std::regex_match(line, m, header)) {
      p.order.push_back(m[2]);
      expect = "{";
    } else if (line == "};") {
      EXPECT_TRUE(std::getline(in, line) && line.empty()) << "no blank line after a table";
    } else if (std::regex_match(line, m, row) && !p.order.empty()) {
      p.rows[p.order.back()].push_back(m[1]);
    } else {
      ADD_FAILURE() << "unexpected line: " << line;
    }
  }
  return p;
}

std::vector<int> as_indexes(const std::vector<std::string>& rows) {
  std::vector<int> v;
  for (const std::string& r : rows) v.push_back(std::stoi(r));
  return v;
}

std::vector<std::string> as_names(const std::vector<std::string>& rows) {
  std::vector<std::string> v;
  for (const std::string& r : rows) v.push_back(r.substr(1, r.size() - 2));
  return v;
}

// Rows of pointer positions, each with as many values as were printed.
DayPoffsetTable as_poffsets(const std::vector<std::string>& rows, std::vector<int>* counts) {
  DayPoffsetTable t;
  for (const std::string& r : rows) {
    EvPoffsetRow row{};
    int n = 0;
    for (size_t at = r.find("0x"); at != std::string::npos; at = r.find("0x", at + 1)) {
      row[n++] = static_cast<uint16_t>(std::stoul(r.substr(at + 2, 4), nullptr, 16));
    }
    t.push_back(row);
    counts->push_back(n);
  }
  return t;
}

struct Result {
  bool ok;
  std::string out;
  std::string err;
};

template <typename F>
Result captured(F f) {
  CaptureStdout();
  CaptureStderr();
  bool ok = f();
  std::string out = GetCapturedStdout();
  return {ok, out, GetCapturedStderr()};
}

std::string lower(const std::string& s) {
  std::string l = s;
  for (char& c : l) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return l;
}

TEST(Generators, TablesReadBackEqualTheDiscsTablesWithOrWithoutBuiltIns) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("generators");
  std::map<std::string, std::string> first_run;
  for (bool builtin : {true, false}) {
    ScnCatalogue catalogue = catalogue_of(builtin);
    std::string idx = dir + "/idx.h", rows = dir + "/rows.h", names = dir + "/names.h";
    Result r = captured([&] { return print_va_idx(game_iso().c_str(), idx.c_str(), catalogue); });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out, "Indexes dumped.\n");
    r = captured([&] { return print_ev_poffsets(game_iso().c_str(), rows.c_str(), catalogue); });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out, "Poffsets dumped.\n");
    r = captured([&] { return print_va_names(game_iso().c_str(), names.c_str(), catalogue); });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(r.out, "Names dumped.\n");

    ParsedTables pi = parse_generated(read_text(idx));
    ParsedTables pr = parse_generated(read_text(rows));
    ParsedTables pn = parse_generated(read_text(names));
    ASSERT_EQ(pi.order.size(), 17u);
    EXPECT_EQ(pr.order, pi.order);
    EXPECT_EQ(pn.order, pi.order);
    for (int d = 0; d < 17; d++) {
      const std::string day = lower(game().days()[d].name);
      EXPECT_EQ(pi.order[d], day);
      DayTables truth = game().true_tables(d);
      EXPECT_EQ(as_indexes(pi.rows[day]), truth.va_idx) << day;
      EXPECT_EQ(as_names(pn.rows[day]), truth.va_names) << day;
      std::vector<int> counts;
      EXPECT_EQ(as_poffsets(pr.rows[day], &counts), truth.ev_poffsets) << day;
      // A group of c choices prints its name pointer and c text pointers.
      for (size_t k = 0; k < counts.size(); k++) {
        EXPECT_EQ(counts[k], catalogue.days[d].ev_groups[k].choices + 1) << day << " " << k;
      }
    }
    // Either way the generated files are the same bytes.
    for (const std::string& path : {idx, rows, names}) {
      if (builtin) {
        first_run[path] = read_text(path);
      } else {
        EXPECT_EQ(read_text(path), first_run[path]) << path;
      }
    }
  }
  // With their headers in the form of the shipped table sources, the
  // generated tables compile against the catalogue's declarations.
  std::string source = "#include \"translation/scn_days.h\"\n";
  for (const char* name : {"idx.h", "rows.h", "names.h"}) source += first_run[dir + "/" + name];
  source = std::regex_replace(source, std::regex("int (day_[a-z0-9]+_va_idx)\\[\\] ="),
                              "const DayIndexTable $1 =");
  source = std::regex_replace(
      source, std::regex("uint16_t \\(\\* (day_[a-z0-9]+_ev_poffsets)\\)\\[16\\] = .*"),
      "const DayPoffsetTable $1 =");
  source = std::regex_replace(source, std::regex("const char\\* (day_[a-z0-9]+_VA)\\[\\] ="),
                              "const DayNameTable $1 =");
  testsupport::write_file(dir + "/tables.cpp", source);
  EXPECT_EQ(testsupport::run("c++ -std=c++17 -fsyntax-only -Wall -Werror -I" +
                             testsupport::shell_quote(TALVO_SOURCE_DIR) + " " +
                             testsupport::shell_quote(dir + "/tables.cpp")),
            0);
  // DAY_D6 has no option groups: header, brace and closing line only.
  EXPECT_NE(first_run[dir + "/rows.h"].find(
                "uint16_t (* day_d6_ev_poffsets)[16] = (uint16_t [][16])\n{\n};\n\n"),
            std::string::npos);
}

TEST(Generators, FailuresLeaveTheOutputAsItWas) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("generators_fail");
  // A catalogue whose DAY_B0 file digest is not the disc's, without tables.
  std::vector<ScnDay> days(catalogue_of(false).days, catalogue_of(false).days + 17);
  days[2].md5[0] ^= 0xFF;
  ScnCatalogue catalogue{days.data(), 17};
  std::string out = dir + "/idx.h";
  testsupport::write_file(out, std::string("previous tables\n"));
  for (int g = 0; g < 3; g++) {
    Result r = captured([&] {
      if (g == 0) return print_va_idx(game_iso().c_str(), out.c_str(), catalogue);
      if (g == 1) return print_ev_poffsets(game_iso().c_str(), out.c_str(), catalogue);
      return print_va_names(game_iso().c_str(), out.c_str(), catalogue);
    });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Error: cannot build the tables of DAY_B0: ", 0), 0u) << r.err;
    EXPECT_EQ(read_text(out), "previous tables\n");
  }
  // A new output is not created at all.
  std::string fresh = dir + "/fresh.h";
  captured([&] { return print_va_idx(game_iso().c_str(), fresh.c_str(), catalogue); });
  EXPECT_FALSE(testsupport::file_exists(fresh));
  // The image itself is never an output.
  testsupport::Bytes before = testsupport::read_file_bytes(game_iso());
  Result r = captured([&] { return print_va_idx(game_iso().c_str(), game_iso().c_str()); });
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("output file is the disc image itself"), std::string::npos) << r.err;
  EXPECT_EQ(testsupport::read_file_bytes(game_iso()), before);
}

TEST(Generators, CopyToLower) {
  const char* cases[][2] = {{"DAY_C0", "day_c0"}, {"AZaz09_@[", "azaz09_@["},
                            {"\xC3\x89X\x80", "\xC3\x89x\x80"}, {"", ""}};
  for (auto& c : cases) {
    std::unique_ptr<char[]> l(copy_to_lower(c[0]));
    EXPECT_STREQ(l.get(), c[1]);
  }
}

// A translation file without speaker comments, and the same file with the
// comments that copy_with_actor_comments must add, built side by side.
struct CommentedIni {
  std::string input;
  std::string expected;
};

CommentedIni commented_ini(const std::string& drop_key = "") {
  CommentedIni ini;
  auto both = [&](const std::string& s) {
    ini.input += s;
    ini.expected += s;
  };
  both("[General]\r\nencoding = \"UTF-8\"\n\r\n");
  for (const testsupport::SyntheticDay& day : game().days()) {
    both("[" + day.name + "]\r\n; Normal texts\r\n");
    std::string previous_name, previous_actor;
    for (size_t j = 0; j < day.vas.size(); j++) {
      const testsupport::SyntheticVA& va = day.vas[j];
      std::string actor = get_actor_name(va.actor);
      bool comment = j == 0 || va.name.compare(0, 5, previous_name, 0, 5) != 0 ||
                     actor != previous_actor;
      previous_name = va.name;
      previous_actor = actor;
      if (j == 2) both("; Actor: kept as it was\r\n");
      if (comment) ini.expected += "; Actor: " + actor + "\r\n";
      if (va.name == drop_key) continue;
      both(va.name + " = \"text " + std::to_string(j) + "\"" + (j % 3 ? "\r\n" : "\n"));
      if (j == 1) both("\r\n   \r\n");
    }
    both("\r\nOTHER = \"x\"\r\n\r\n");
  }
  return ini;
}

TEST(Generators, ActorCommentsGoAboveVAKeysAndNothingElseChanges) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("actor_comments");
  CommentedIni ini = commented_ini();
  for (bool builtin : {true, false}) {
    ScnCatalogue catalogue = catalogue_of(builtin);
    // Over its own input, as translators run it.
    std::string path = dir + "/t.ini";
    testsupport::write_file(path, ini.input);
    Result r = captured([&] {
      return copy_with_actor_comments(game_iso().c_str(), path.c_str(), path.c_str(), catalogue);
    });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(read_text(path), ini.expected);
    std::string progress;
    for (const auto& day : game().days()) progress += "Now processing " + day.name + "\n";
    EXPECT_EQ(r.out, progress + "Copy with actors comments complete.\n");
    EXPECT_EQ(r.err, "");
  }
}

TEST(Generators, ActorCommentFailureLeavesTheFileAsItWas) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("actor_comments_fail");
  std::string dropped = game().days()[2].vas[0].name;  // DAY_B0: its first key has a comment
  CommentedIni ini = commented_ini(dropped);
  std::string path = dir + "/t.ini";
  testsupport::write_file(path, ini.input);
  Result r = captured([&] {
    return copy_with_actor_comments(game_iso().c_str(), path.c_str(), path.c_str(),
                                    game().catalogue());
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "Couldn't write actor line");
  EXPECT_EQ(r.out, "Now processing DAY_A0\nNow processing DAY_A1\nNow processing DAY_B0\n");
  EXPECT_EQ(read_text(path), ini.input);
  // Into a new file: nothing is created; onto the image: refused.
  std::string fresh = dir + "/fresh.ini";
  captured([&] {
    return copy_with_actor_comments(game_iso().c_str(), path.c_str(), fresh.c_str(),
                                    game().catalogue());
  });
  EXPECT_FALSE(testsupport::file_exists(fresh));
  r = captured([&] {
    return copy_with_actor_comments(game_iso().c_str(), path.c_str(), game_iso().c_str(),
                                    game().catalogue());
  });
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("output file is the disc image itself"), std::string::npos) << r.err;
}

}  // namespace
