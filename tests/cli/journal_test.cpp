// All-or-nothing changes: every operation that writes into an image, failed
// or killed at each of its writes in turn, leaves the image as it was (after
// the next run's roll-back when killed); journals that do not fit their
// image are never applied; runs on one image take turns.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "files/mounted_image.h"
#include "files/replace_file.h"
#include "images/image_operations.h"
#include "images/lzss_operations.h"
#include "tests/images/image_test_helpers.h"
#include "tests/support/faulty_disc.h"
#include "tests/support/iso_image.h"

using namespace testsupport;

namespace {

// A DC picture of noise: its LZSS file hardly shrinks.
Bytes noise_dc() {
  std::vector<uint16_t> pixels(64 * 48);
  Bytes noise = random_bytes(pixels.size() * 2, 31);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint16_t>((noise[2 * i] | noise[2 * i + 1] << 8) & 0x7FFF);
  }
  return build_dc(64, 48, pixels);
}

FileMap journal_sample() {
  return {{"/DATA/TARGET.BIN", random_bytes(5000, 41)},
          {"/DATA/NEXT.BIN", random_bytes(7000, 42)},
          {"/EV/PIC.DGP", imagetest::lzss_pack(noise_dc())},
          {"/LAST.BIN", random_bytes(3000, 43)}};
}

struct JournalTest : IsoImageTest {
  FileMap sample_files() const override { return journal_sample(); }
};

std::string journal_of(const std::string& iso) { return iso + "-journal"; }

}  // namespace

TEST_P(JournalTest, EveryFailedOrKilledChangeLeavesTheImageAsItWas) {
  std::string local = dir + "/local.bin", bmp = dir + "/flat.bmp", input = dir + "/input.bin";
  write_file(local, random_bytes(9000, 51));  // 3 sectors become 5: relocated
  write_file(bmp, build_bmp({64, 48, 24, {}, std::vector<uint32_t>(64 * 48, 0x808080)}));
  write_file(input, random_bytes(20000, 52));  // 7000 bytes become over 20000: relocated
  struct Change { const char* what; std::function<bool()> run; } changes[] = {
      {"replace_file", [&] { return replace_file(iso.c_str(), "/DATA/TARGET.BIN", local.c_str()); }},
      {"insert_lzss_dc, shrinking",
       [&] { return insert_bmp_into_lzss_dc(iso.c_str(), "/EV/PIC.DGP", bmp.c_str()); }},
      {"compress_lzss, growing",
       [&] { return compress_lzss(iso.c_str(), "/DATA/NEXT.BIN", input.c_str()); }},
  };
  const Bytes original = read_file_bytes(iso);
  const std::string journal = journal_of(iso);
  DiscMaker plain = set_disc_maker(FaultyDisc::Make);
  for (const Change& c : changes) {
    SCOPED_TRACE(c.what);
    fault_plan() = FaultPlan();
    ASSERT_TRUE(run_captured(c.run).ok);
    const int total = fault_plan().changes;
    EXPECT_GE(total, 2);
    for (int k = 1; k <= total; ++k) {
      SCOPED_TRACE(k);
      write_file(iso, original);
      fault_plan() = FaultPlan{k};
      EXPECT_FALSE(run_captured(c.run).ok);
      EXPECT_TRUE(read_file_bytes(iso) == original && !file_exists(journal));

      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(2);
        fault_plan() = FaultPlan{k, UINT64_MAX, true};
        c.run();
        _exit(1);
      }
      int status = 0;
      waitpid(pid, &status, 0);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);  // ended at change k
      ASSERT_TRUE(file_exists(journal));
      MountedIso reader;
      EXPECT_FALSE(run_captured([&] { return reader.mount(iso.c_str(), true); }).ok);
      Captured next = run_captured([&] {
        MountedIso writer;
        return writer.mount(iso.c_str(), false);
      });
      EXPECT_TRUE(next.ok) << next.err;
      EXPECT_EQ(next.out, "Info: an unfinished change to " + iso + " was rolled back.\n");
      EXPECT_TRUE(read_file_bytes(iso) == original && !file_exists(journal));
    }
  }
  set_disc_maker(plain);
  expect_image_holds(iso, files, joliet);
}

INSTANTIATE_TEST_SUITE_P(Journal, JournalTest, ::testing::Values(false, true), joliet_param_name);

TEST(Journal, AKilledReplaceFileIsRolledBackByTheNextRunAndForeignJournalsAreRefused) {
  std::string dir = make_scratch_dir("killed");
  std::string iso = build_iso(dir, journal_sample(), true), journal = journal_of(iso);
  const Bytes original = read_file_bytes(iso);
  std::string local = dir + "/large.bin";
  write_file(local, random_bytes(40 * 1000 * 1000, 53));
  // Killed as soon as its journal appears (retried should it finish first).
  for (int attempt = 0; attempt < 5 && !file_exists(journal); ++attempt) {
    write_file(iso, original);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (!freopen("/dev/null", "w", stdout)) _exit(2);
      execl(TALVO_EXECUTABLE, "talvo", "replace_file", iso.c_str(), "/DATA/TARGET.BIN",
            local.c_str(), static_cast<char*>(nullptr));
      _exit(2);
    }
    int status = 0;
    while (!file_exists(journal) && waitpid(pid, &status, WNOHANG) == 0) usleep(100);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(file_exists(journal));
  const Bytes killed = read_file_bytes(iso), killed_journal = read_file_bytes(journal);

  // A reader refuses the half-written image.
  ToolResult read = run_talvo({"uncompress_lzss", iso, "/EV/PIC.DGP", dir + "/pic.bin"});
  EXPECT_EQ(read.status, 1);
  EXPECT_NE(read.err.find("unfinished change"), std::string::npos) << read.err;

  // Journals that do not fit the image are never applied.
  std::string other = build_iso(make_scratch_dir("other"), {{"/A.BIN", random_bytes(9000, 54)}}, true);
  const Bytes other_bytes = read_file_bytes(other);
  struct Foreign { const char* what; std::string image; Bytes image_bytes, journal_bytes; } foreign[] = {
      {"cut short", iso, killed, Bytes(killed_journal.begin(), killed_journal.begin() + 40)},
      {"of another image", other, other_bytes, killed_journal},
      {"image shorter than recorded", iso, Bytes(killed.begin(), killed.begin() + 20 * 2048),
       killed_journal},
  };
  for (const Foreign& f : foreign) {
    SCOPED_TRACE(f.what);
    write_file(f.image, f.image_bytes);
    write_file(journal_of(f.image), f.journal_bytes);
    ToolResult r = run_talvo({"replace_file", f.image, "/DATA/TARGET.BIN", local});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not belong"), std::string::npos) << r.err;
    EXPECT_TRUE(read_file_bytes(f.image) == f.image_bytes);
    EXPECT_TRUE(read_file_bytes(journal_of(f.image)) == f.journal_bytes);
  }
  unlink(journal_of(other).c_str());

  // The next writing run rolls the kill back, then stops on its own error.
  write_file(iso, killed);
  write_file(journal, killed_journal);
  ToolResult next = run_talvo({"replace_file", iso, "/DATA/TARGET.BIN", dir + "/missing.bin"});
  EXPECT_EQ(next.status, 1);
  EXPECT_NE(next.out.find("was rolled back"), std::string::npos) << next.out;
  EXPECT_TRUE(read_file_bytes(iso) == original && !file_exists(journal));
}

TEST(Journal, ParallelRunsOnOneImageTakeTurns) {
  std::string dir = make_scratch_dir("parallel");
  FileMap files;
  for (int i = 0; i < 10; ++i) files["/F" + std::to_string(i) + ".BIN"] = random_bytes(3000, i);
  std::string iso = build_iso(dir, files, true);
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(round);
    // Every file grows past its sectors: ten relocations to the end at once.
    std::string runs;
    for (int i = 0; i < 10; ++i) {
      std::string name = "/F" + std::to_string(i) + ".BIN", local = dir + "/local" + std::to_string(i);
      files[name] = random_bytes(200000 * round + i, 100 * round + i);
      write_file(local, files[name]);
      runs += shell_quote(TALVO_EXECUTABLE) + " replace_file " + shell_quote(iso) + " " + name + " " +
              shell_quote(local) + " >/dev/null 2>&1 & ";
    }
    ASSERT_EQ(run(runs + "wait"), 0);
    expect_image_holds(iso, files, true);
  }
}
