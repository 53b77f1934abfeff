// Random and mutated scn images through loading, lookups and text writes: nothing may touch memory outside the
// image (sanitizer build), the length field must follow the image and dead space must stay inside it.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

TEST(TalvoScnFile, SurvivesRandomAndMutatedImages) {
  // Names that reach the exception, fixed-entry and duplicate tables.
  const char* const names[] = {"VA01X001", "VA29X025", "VD13F008", "VC04A001", "VD33A005", "VD74A001",
                               "VB35B001", "VD80A112", "Hack2", "FC05a", "EVB10", "BG30", "A", ""};
  std::mt19937 rng(20260612);
  uint32_t size = 0;
  auto below = [&](uint32_t n) { return n ? static_cast<uint32_t>(rng() % n) : 0; };
  auto coin = [&] { return (rng() & 1) != 0; };
  auto name = [&] { return names[below(sizeof(names) / sizeof(names[0]))]; };
  // Offsets mostly inside the image, sometimes anywhere.
  auto offset = [&] { return static_cast<uint16_t>(below(4) ? below(size + 16) : below(65536)); };
  testsupport::Output quiet;  // error lines come by the thousand
  testsupport::captured(&quiet, [&] {
    for (int image = 0; image < 3000 && !HasFailure(); ++image) {
      Bytes img;
      // Random bytes, or a plausible day file with a few bytes changed and now and then cut short.
      if (image < 1500) {
        img.resize(below(8) ? 6 + below(3000) : 6 + below(24000));
        for (auto& c : img) c = static_cast<unsigned char>(below(3) ? below(256) : (coin() ? 0 : 0xFF));
      } else {
        ScnBuilder b(300 + below(600));
        b.SetVAArea(static_cast<uint16_t>(100 + below(100)));
        for (int i = 0, n = 1 + int(below(6)); i < n; ++i) b.AddVA(i, name(), coin() ? "text" : "VA01X001");
        b.AddOptionGroup({90, 93, 96, 99}, name(), {"a", "bb", "ccc"});
        img = b.Build();
        for (uint32_t n = below(12); n > 0; --n) img[below(uint32_t(img.size()))] = uint8_t(below(256));
        if (below(3)) img.resize(6 + below(uint32_t(img.size()) - 6));
      }
      const char day[] = {'D', 'A', 'Y', '_', char('A' + below(4)), char('0' + below(8)), '\0'};
      TalvoScnFile f(day);
      if (below(10)) {  // mostly loadable
        std::copy_n("scn", 4, img.begin());
        talvo::write_le16(&img[4], static_cast<uint16_t>(img.size()));
      }
      if (!f.SetData(img.data(), static_cast<unsigned int>(img.size()))) continue;
      size = f.GetSize();
      f.SetVASearch(offset(), static_cast<int>(below(4) ? below(size) : rng()));
      f.SetEVSearch(offset(), static_cast<int>(below(4) ? below(size) : rng()));
      for (int op = 0; op < 6; ++op) {
        const bool kill = coin(), fix = coin();
        VAType va{name(), offset(), offset(), 0, offset(), 0}, found{};
        va.name_p_offset = coin() ? static_cast<uint16_t>(va.p_offset + 5) : offset();
        EVType ev{name(),   offset(), offset(), coin() ? offset() : uint16_t(0),
                  offset(), offset(), offset(), offset(), offset()};
        MOType mo{name(), offset(), {}, offset(), {}, static_cast<int>(below(19)) - 1};
        uint16_t row[16], at;
        for (int i = 0; i < 16; ++i) mo.text_offsets[i] = offset(), mo.text_p_offsets[i] = offset();
        for (auto& r : row) r = offset();
        char *a = nullptr, *b = nullptr, *c = nullptr;
        const int index = static_cast<int>(below(f.GetVALength() / 15 + 8)) - 3;
        if (f.FindVAByIndex(index, nullptr, &va, kill, fix)) delete[] va.name;  // a copy of the record's name
        va.name = name();
        f.FindVAByIndex(index, va.name, &va, kill, fix);
        f.FindVA(name(), &va, kill, fix);
        f.FindEV(name(), &ev, coin(), kill, fix);
        f.FindEVByOffsets(row, name(), &ev, coin(), kill, fix);
        f.FindMO(name(), &mo, int(below(18)), kill);
        f.FindMOByOffsets(row, name(), &mo, int(below(17)), kill);
        std::free(f.GetSaveMessage(true));
        f.SetSaveMessage(coin() ? "Save?" : "", coin());
        std::free(f.GetVAText(&va, true));
        f.SetVAText(&va, coin() ? "a new text" : "VA01X001", kill, fix, coin(), coin(), below(4) == 0);
        if (f.GetEVText(&ev, &a, &b, &c, true)) std::free(a), std::free(b), std::free(c);
        f.SetEVText(&ev, "one", "two", ev.text3_offset ? "three" : nullptr, kill, fix);
        std::free(f.GetMOText(&mo, '/'));
        f.SetMOText(&mo, "x/yy/zzz/w", kill, '/');
        if (f.FindFirstVALink(&va, &found, int(below(40)), coin(), coin())) delete[] found.name;
        if (f.FindFirstVATextTwin(&va, &found, int(below(40)), coin(), coin())) delete[] found.name;
        f.ApplyDuplicateNameUglyHack(name(), &va, kill, coin());
        f.ApplyDuplicateNameUglyHackEv(name(), &ev, kill, coin());
        f.AddDeadArea(offset(), static_cast<uint16_t>(below(64)));
        f.FindAndRemoveDeadArea(static_cast<uint16_t>(below(64)), &at, coin());
        f.Increase(below(64), &at);
        if (below(16) == 0) f.TruncateTo(&va);
        size = f.GetSize();
        const Bytes now = image_of(f);
        ASSERT_TRUE(now.size() >= 6 && talvo::read_le16(&now[4]) == now.size()) << "image " << image;
        uint32_t total = 0;
        uint16_t o, l;
        for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
          if (!f.GetDeadArea(i, &o, &l)) continue;
          ASSERT_LE(o + l, static_cast<int>(now.size())) << "image " << image;
          total += l;
        }
        ASSERT_EQ(total, f.GetDeadTotal()) << "image " << image;
      }
    }
  });
}
