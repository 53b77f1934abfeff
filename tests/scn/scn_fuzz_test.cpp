// Random and mutated scn images through loading, lookups and text writes: nothing may touch memory outside the
// image (sanitizer build), the length field must follow the image and dead space must stay inside it.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/scn/scn_test_util.h"

using namespace scntest;

namespace {

// Names that reach the exception, fixed-entry and duplicate tables.
const char* const kNames[] = {"VA01X001", "VA29X025", "VD13F008", "VC04A001", "VD33A005", "VD74A001", "VB35B001",
                              "VD80A112", "VD33E105", "Hack1",    "Hack2",    "FC05a",    "EVB10",    "GAYA24",
                              "BG30",     "A",        "",         "VC02A003", "VD13F207", "VD33A933"};

class Fuzzer {
 public:
  explicit Fuzzer(uint32_t seed) : rng_(seed) {}
  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(rng_() % n) : 0; }
  bool Coin() { return rng_() & 1; }
  const char* Name() { return kNames[Below(sizeof(kNames) / sizeof(kNames[0]))]; }
  // Offsets mostly inside the image, sometimes anywhere.
  uint16_t Offset() { return static_cast<uint16_t>(Below(4) ? Below(size_ + 16) : Below(65536)); }
  Bytes RandomImage() {
    Bytes b(Below(8) ? 6 + Below(3000) : 6 + Below(24000));
    for (auto& c : b) c = static_cast<unsigned char>(Below(3) ? Below(256) : (Below(2) ? 0 : 0xFF));
    return b;
  }
  // A plausible day file with a few random bytes changed, now and then cut short.
  Bytes MutatedImage() {
    ScnBuilder b(300 + Below(600));
    b.SetVAArea(static_cast<uint16_t>(100 + Below(100)));
    for (int i = 0, n = 1 + static_cast<int>(Below(6)); i < n; ++i) b.AddVA(i, Name(), Coin() ? "text" : "VA01X001");
    b.AddOptionGroup({90, 93, 96, 99}, Name(), {"a", "bb", "ccc"});
    Bytes img = b.Build();
    for (uint32_t n = Below(12); n > 0; --n) img[Below(static_cast<uint32_t>(img.size()))] = static_cast<unsigned char>(Below(256));
    if (Below(3)) img.resize(6 + Below(static_cast<uint32_t>(img.size()) - 6));
    return img;
  }
  void Exercise(Bytes img) {
    char day[] = "DAY_A0";
    day[4] = static_cast<char>('A' + Below(4));
    day[5] = static_cast<char>('0' + Below(8));
    TalvoScnFile f(day);
    if (img.size() >= 6 && Below(10)) {  // mostly loadable
      std::copy_n("scn", 4, img.begin());
      talvo::write_le16(&img[4], static_cast<uint16_t>(img.size()));
    }
    if (!f.SetData(img.data(), static_cast<unsigned int>(img.size()))) return;
    size_ = f.GetSize();
    f.SetVASearch(Offset(), static_cast<int>(Below(4) ? Below(size_) : rng_()));
    f.SetEVSearch(Offset(), static_cast<int>(Below(4) ? Below(size_) : rng_()));
    for (int op = 0; op < 12; ++op) {
      const bool kill = Coin(), fix = Coin();
      VAType va{Name(), Offset(), Offset(), 0, Offset(), 0}, found{};
      va.name_p_offset = Coin() ? static_cast<uint16_t>(va.p_offset + 5) : Offset();
      EVType ev{Name(), Offset(), Offset(), Coin() ? Offset() : uint16_t(0), Offset(), Offset(), Offset(), Offset(), Offset()};
      MOType mo{Name(), Offset(), {}, Offset(), {}, static_cast<int>(Below(19)) - 1};
      for (int i = 0; i < 16; ++i) mo.text_offsets[i] = Offset(), mo.text_p_offsets[i] = Offset();
      uint16_t row[16], at;
      char *a = nullptr, *b = nullptr, *c = nullptr;
      switch (Below(13)) {
        case 0: {
          int index = static_cast<int>(Below(f.GetVALength() / 15 + 8)) - 3;
          if (!Coin()) f.FindVAByIndex(index, Name(), &va, kill, fix);
          else if (f.FindVAByIndex(index, nullptr, &va, kill, fix)) delete[] va.name;
          break;
        }
        case 1: f.FindVA(Name(), &va, kill, fix); break;
        case 2: f.FindEV(Name(), &ev, Coin(), kill, fix); break;
        case 3: f.FindMO(Name(), &mo, static_cast<int>(Below(18)), kill); break;
        case 4:
          for (auto& r : row) r = Offset();
          if (Coin()) f.FindEVByOffsets(row, Name(), &ev, Coin(), kill, fix);
          else f.FindMOByOffsets(row, Name(), &mo, static_cast<int>(Below(17)), kill);
          break;
        case 5:
          std::free(f.GetSaveMessage(true));
          f.SetSaveMessage(Coin() ? "Save?" : "", Coin());
          break;
        case 6:
          std::free(f.GetVAText(&va, true));
          f.SetVAText(&va, Coin() ? "a new text" : "VA01X001", kill, fix, Coin(), Coin(), Below(4) == 0);
          break;
        case 7:
          if (f.GetEVText(&ev, &a, &b, &c, true)) std::free(a), std::free(b), std::free(c);
          f.SetEVText(&ev, "one", "two", ev.text3_offset ? "three" : nullptr, kill, fix);
          break;
        case 8:
          std::free(f.GetMOText(&mo, '/'));
          f.SetMOText(&mo, "x/yy/zzz/w", kill, '/');
          break;
        case 9: {
          int self = static_cast<int>(Below(40));
          if (f.FindFirstVALink(&va, &found, self, Coin(), Coin())) delete[] found.name;
          if (f.FindFirstVATextTwin(&va, &found, self, Coin(), Coin())) delete[] found.name;
          break;
        }
        case 10:
          if (Below(4) == 0) f.TruncateTo(&va);
          f.ApplyDuplicateNameUglyHack(Name(), &va, kill, Coin());
          break;
        case 11: f.ApplyDuplicateNameUglyHackEv(Name(), &ev, kill, Coin()); break;
        default:
          f.AddDeadArea(Offset(), static_cast<uint16_t>(Below(64)));
          f.FindAndRemoveDeadArea(static_cast<uint16_t>(Below(64)), &at, Coin());
          f.Increase(Below(64), &at);
          break;
      }
      size_ = f.GetSize();
      const Bytes img = image_of(f);
      ASSERT_TRUE(img.size() >= 6 && talvo::read_le16(&img[4]) == img.size()) << img.size();
      uint32_t total = 0;
      for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
        uint16_t o, l;
        if (!f.GetDeadArea(i, &o, &l)) continue;
        ASSERT_LE(static_cast<uint32_t>(o) + l, img.size());
        total += l;
      }
      ASSERT_EQ(total, f.GetDeadTotal());
    }
  }

 private:
  std::mt19937 rng_;
  uint32_t size_ = 0;
};

}  // namespace

TEST(TalvoScnFile, SurvivesRandomAndMutatedImages) {
  Fuzzer fuzz(20260612);
  // Error lines come by the thousand: keep them out of the log but show the first failure's details.
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  int failed_at = -1;
  for (int i = 0; i < 3000 && failed_at < 0; ++i) {
    fuzz.Exercise(i < 1500 ? fuzz.RandomImage() : fuzz.MutatedImage());
    if (HasFailure()) failed_at = i;
  }
  std::string out = testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  if (failed_at >= 0) {
    size_t at = out.find("Failure");
    ADD_FAILURE() << "image " << failed_at << ": " << out.substr(at == std::string::npos || at < 200 ? 0 : at - 200, 1200);
  }
}
