// The table generators and the actor-comment copy over the synthetic game
// disc: generated tables read back equal the disc's true tables whether the
// catalogue has them built in or not; comments land above VA keys and every
// other byte stays; failures leave the output as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sample/synthetic_game.h"
#include "tests/support/test_files.h"
#include "tests/translation/translation_fixture.h"
#include "translation/actors.h"
#include "translation/generators.h"

namespace {

using translation_test::read_text;
using translation_test::run_captured;
using Result = translation_test::Ran;
using sample::SyntheticGame;

const SyntheticGame& game() { return translation_test::game(false); }
const std::string& game_iso() { return translation_test::game_iso(false); }

ScnCatalogue catalogue_of(bool builtin) {
  return builtin ? game().catalogue() : game().catalogue_without_tables();
}

// The three generated files as they must read for the disc's true tables.
std::map<std::string, std::string> expected_sources(const ScnCatalogue& catalogue) {
  std::map<std::string, std::string> out;
  char value[16];
  for (int d = 0; d < 17; d++) {
    const ScnDay& day = catalogue.days[d];
    DayTables truth = game().true_tables(d);
    std::string lower = day.name;
    for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    out["idx.h"] += "int " + lower + "_va_idx[] =\n{\n";
    for (int i : truth.va_idx) out["idx.h"] += "\t" + std::to_string(i) + ",\n";
    out["names.h"] += "const char* " + lower + "_VA[] =\n{\n";
    for (const std::string& n : truth.va_names) out["names.h"] += "\t\"" + n + "\",\n";
    out["rows.h"] += "uint16_t (* " + lower + "_ev_poffsets)[16] = (uint16_t [][16])\n{\n";
    for (int k = 0; k < day.ev_count; k++) {
      // A group of c choices prints its name pointer and c text pointers.
      out["rows.h"] += "\t{ ";
      for (int i = 0; i <= day.ev_groups[k].choices; i++) {
        snprintf(value, sizeof value, i ? ", 0x%04x" : "0x%04x", truth.ev_poffsets[k][i]);
        out["rows.h"] += value;
      }
      out["rows.h"] += " },\n";
    }
    for (auto& f : out) f.second += "};\n\n";
  }
  return out;
}

const struct Generator {
  const char* file;
  bool (*generate)(const char*, const char*, const ScnCatalogue&);
  const char* done;
} kGenerators[] = {{"idx.h", print_va_idx, "Indexes dumped.\n"},
                   {"rows.h", print_ev_poffsets, "Poffsets dumped.\n"},
                   {"names.h", print_va_names, "Names dumped.\n"}};

TEST(Generators, TablesReadBackEqualTheDiscsTablesWithOrWithoutBuiltIns) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("generators");
  std::map<std::string, std::string> expected = expected_sources(catalogue_of(true));
  for (bool builtin : {true, false}) {
    ScnCatalogue catalogue = catalogue_of(builtin);
    for (const Generator& g : kGenerators) {
      std::string path = dir + "/" + g.file;
      Result r =
          run_captured([&] { return g.generate(game_iso().c_str(), path.c_str(), catalogue); });
      ASSERT_TRUE(r.ok) << r.err;
      EXPECT_EQ(r.out, g.done);
      EXPECT_TRUE(read_text(path) == expected[g.file]) << g.file << " builtin " << builtin;
    }
  }
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
  for (const Generator& g : kGenerators) {
    Result r = run_captured([&] { return g.generate(game_iso().c_str(), out.c_str(), catalogue); });
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Error: cannot build the tables of DAY_B0: ", 0), 0u) << r.err;
    EXPECT_EQ(read_text(out), "previous tables\n");
  }
  // A table file that cannot be written in full: no success line before the error.
  for (const Generator& g : kGenerators) {
    testsupport::ChildResult r = testsupport::run_in_child(
        [&] { return g.generate(game_iso().c_str(), out.c_str(), game().catalogue()); }, false, 64);
    ASSERT_TRUE(r.ran);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error writing output.\n");
    EXPECT_EQ(read_text(out), "previous tables\n");
  }
  // A new output is not created at all.
  std::string fresh = dir + "/fresh.h";
  run_captured([&] { return print_va_idx(game_iso().c_str(), fresh.c_str(), catalogue); });
  EXPECT_FALSE(testsupport::file_exists(fresh));
  // The image itself is never an output.
  testsupport::Bytes before = testsupport::read_file_bytes(game_iso());
  Result r = run_captured([&] { return print_va_idx(game_iso().c_str(), game_iso().c_str()); });
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.err.find("output file is the disc image itself"), std::string::npos) << r.err;
  EXPECT_EQ(testsupport::read_file_bytes(game_iso()), before);
}

// A translation file without speaker comments, and the same file with the
// comments that copy_with_actor_comments must add, built side by side.
struct CommentedIni { std::string input; std::string expected; };

CommentedIni commented_ini(const std::string& drop_key = "",
                           const std::string& head = "[General]\r\nencoding = \"UTF-8\"\n\r\n") {
  CommentedIni ini;
  auto both = [&](const std::string& s) {
    ini.input += s;
    ini.expected += s;
  };
  both(head);
  for (const sample::SyntheticDay& day : game().days()) {
    both("[" + day.name + "]\r\n; Normal texts\r\n");
    std::string previous_name, previous_actor;
    for (size_t j = 0; j < day.vas.size(); j++) {
      const sample::SyntheticVA& va = day.vas[j];
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

TEST(Generators, ActorCommentsGoAboveVAKeysAndFailuresChangeNothing) {
  ASSERT_NE(game_iso(), "");
  std::string dir = testsupport::make_scratch_dir("actor_comments");
  std::string path = dir + "/t.ini";
  CommentedIni ini;
  for (bool builtin : {true, false}) {
    // The second file, as a Windows editor saves it, opens with a byte order
    // mark right before its first day.
    ini = builtin ? commented_ini() : commented_ini("", "\xEF\xBB\xBF");
    ScnCatalogue catalogue = catalogue_of(builtin);
    // Over its own input, as translators run it.
    testsupport::write_file(path, ini.input);
    Result r = run_captured([&] {
      return copy_with_actor_comments(game_iso().c_str(), path.c_str(), path.c_str(), catalogue);
    });
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(read_text(path), ini.expected);
    std::string progress;
    for (const auto& day : game().days()) progress += "Now processing " + day.name + "\n";
    EXPECT_EQ(r.out, progress + "Copy with actors comments complete.\n");
    EXPECT_EQ(r.err, "");
  }
  // A missing key fails, and the file stays as it was.
  std::string dropped = game().days()[2].vas[0].name;  // DAY_B0: its first key has a comment
  ini = commented_ini(dropped);
  testsupport::write_file(path, ini.input);
  Result r = run_captured([&] {
    return copy_with_actor_comments(game_iso().c_str(), path.c_str(), path.c_str(), game().catalogue());
  });
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "Couldn't write actor line");
  EXPECT_EQ(r.out, "Now processing DAY_A0\nNow processing DAY_A1\nNow processing DAY_B0\n");
  EXPECT_EQ(read_text(path), ini.input);
  // Into a new file: nothing is created.
  std::string fresh = dir + "/fresh.ini";
  run_captured([&] { return copy_with_actor_comments(game_iso().c_str(), path.c_str(), fresh.c_str(), game().catalogue()); });
  EXPECT_FALSE(testsupport::file_exists(fresh));
}

}  // namespace
