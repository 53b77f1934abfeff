// The table generators and the actor-comment copy over the synthetic game disc.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/support/test_files.h"
#include "tests/translation/translation_fixture.h"
#include "translation/generators.h"

namespace {

using namespace translation_test;

// The disc without shared text storage, which derivation cannot place.
const SyntheticGame& bare_game() { return game(false); }
const std::string& bare_iso() { return game_iso(false); }

// The three generated files as they must read for the disc's true tables.
std::map<std::string, std::string> expected_sources() {
  std::map<std::string, std::string> out;
  char value[16];
  for (int d = 0; d < 17; d++) {
    const ScnDay& day = bare_game().catalogue().days[d];
    DayTables truth = bare_game().true_tables(d);
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
} kGenerators[] = {{"idx.h", print_va_idx}, {"rows.h", print_ev_poffsets}, {"names.h", print_va_names}};

// Generated tables equal the disc's true tables whether the catalogue has
// them built in or not; a failure leaves the output as it was.
TEST(Generators, TablesEqualTheDiscsTablesAndFailuresChangeNothing) {
  ASSERT_NE(bare_iso(), "");
  std::string dir = testsupport::make_scratch_dir("generators");
  std::map<std::string, std::string> expected = expected_sources();
  // A catalogue whose DAY_B0 file digest is not the disc's, without tables.
  std::vector<ScnDay> wrong(bare_game().catalogue_without_tables().days,
                            bare_game().catalogue_without_tables().days + 17);
  wrong[2].md5[0] ^= 0xFF;
  for (const Generator& g : kGenerators) {
    std::string path = dir + "/" + g.file;
    for (const ScnCatalogue& c : {bare_game().catalogue(), bare_game().catalogue_without_tables()}) {
      Ran r = run_captured([&] { return g.generate(bare_iso().c_str(), path.c_str(), c); });
      ASSERT_TRUE(r.ok) << r.err;
      EXPECT_TRUE(read_text(path) == expected[g.file]) << g.file;
    }
    Ran r = run_captured([&] { return g.generate(bare_iso().c_str(), path.c_str(), {wrong.data(), 17}); });
    EXPECT_EQ(r.err.rfind("Error: cannot build the tables of DAY_B0: ", 0), 0u) << r.err;
    EXPECT_TRUE(read_text(path) == expected[g.file]) << g.file;
  }
}

// The dump of the game has the actor comments: without them, the copy must
// put each back above its VA key, over its own input; a missing key fails
// and leaves the file as it was.
TEST(Generators, ActorCommentsGoAboveVAKeys) {
  std::string path = testsupport::make_scratch_dir("actor_comments") + "/t.ini";
  const std::string with = expected_dump(game(), false);
  std::string without;
  for (size_t pos = 0, end; pos < with.size(); pos = end + 2) {
    end = with.find("\r\n", pos);
    if (with.compare(pos, 9, "; Actor: ") != 0) without += with.substr(pos, end + 2 - pos);
  }
  auto copy = [&](const std::string& input) {
    testsupport::write_file(path, input);
    return run_captured([&] {
      return copy_with_actor_comments(game_iso().c_str(), path.c_str(), path.c_str(), game().catalogue());
    }).ok;
  };
  EXPECT_TRUE(copy(without));
  EXPECT_EQ(read_text(path), with);
  const std::string& key = game().days()[2].vas[0].name;
  std::string dropped = replaced(without, "\r\n" + key + " = ", "\r\nX" + key + " = ");
  EXPECT_FALSE(copy(dropped));
  EXPECT_EQ(read_text(path), dropped);
}

}  // namespace
