// Random and mutated scn images through loading, lookups and text writes:
// nothing may read or write outside the image (the sanitizer build watches),
// the length field must follow the image, and dead space must stay inside it.
#include "scn/talvo_scn_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "tests/scn/scn_test_util.h"

using namespace scntest;
using talvo::EVType;
using talvo::MOType;
using talvo::VAType;

namespace {

const char* const kDays[] = {"DAY_A0", "DAY_A1", "DAY_B0", "DAY_B1", "DAY_B2", "DAY_C0",
                             "DAY_C1", "DAY_C2", "DAY_C3", "DAY_D0", "DAY_D1", "DAY_D2",
                             "DAY_D3", "DAY_D4", "DAY_D5", "DAY_D6", "DAY_D7"};
// Names that reach the exception, fixed-entry and duplicate tables.
const char* const kNames[] = {"VA01X001", "VA29X025", "VD13F008", "VC04A001", "VD33A005",
                              "VD74A001", "VB35B001", "VD80A112", "VD33E105", "Hack1",
                              "Hack2",    "FC05a",    "EVB10",    "GAYA24",   "BG30",
                              "A",        "",         "VC02A003", "VD13F207", "VD33A933"};

class Fuzzer {
 public:
  explicit Fuzzer(uint32_t seed) : rng_(seed) {}

  uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(rng_() % n) : 0; }
  bool Coin() { return rng_() & 1; }
  const char* Name() { return kNames[Below(sizeof(kNames) / sizeof(kNames[0]))]; }
  // Offsets mostly inside the image, sometimes anywhere.
  uint16_t Offset(uint32_t size) {
    return static_cast<uint16_t>(Below(4) ? Below(size + 16) : Below(65536));
  }

  Bytes RandomImage() {
    uint32_t size = Below(8) ? 6 + Below(3000) : 6 + Below(24000);
    Bytes b(size);
    for (auto& c : b) c = static_cast<unsigned char>(Below(3) ? Below(256) : (Below(2) ? 0 : 0xFF));
    return b;
  }

  // A plausible day file with a few random bytes changed.
  Bytes MutatedImage() {
    ScnBuilder b(300 + Below(600));
    b.SetVAArea(static_cast<uint16_t>(100 + Below(100)));
    int records = 1 + static_cast<int>(Below(6));
    for (int i = 0; i < records; ++i) b.AddVA(i, Name(), Coin() ? "text" : "VA01X001");
    b.AddOptionGroup({90, 93, 96, 99}, Name(), {"a", "bb", "ccc"});
    Bytes img = b.Build();
    for (uint32_t n = Below(12); n > 0; --n) img[Below(static_cast<uint32_t>(img.size()))] = static_cast<unsigned char>(Below(256));
    if (Below(3)) {  // cut it short now and then
      img.resize(6 + Below(static_cast<uint32_t>(img.size()) - 6));
    }
    return img;
  }

  void Exercise(Bytes img) {
    TalvoScnFile f(kDays[Below(17)]);
    if (img.size() >= 6 && Below(10)) {  // mostly loadable
      img[0] = 's';
      img[1] = 'c';
      img[2] = 'n';
      img[3] = 0;
      talvo::write_le16(&img[4], static_cast<uint16_t>(img.size()));
    }
    if (!f.SetData(img.data(), static_cast<unsigned int>(img.size()))) return;
    const uint32_t size = f.GetSize();
    f.SetVASearch(Offset(size), static_cast<int>(Below(4) ? Below(size) : rng_()));
    f.SetEVSearch(Offset(size), static_cast<int>(Below(4) ? Below(size) : rng_()));

    for (int op = 0; op < 12; ++op) {
      const bool kill = Coin(), fix = Coin();
      switch (Below(14)) {
        case 0: {
          VAType va{};
          int index = static_cast<int>(Below(f.GetVALength() / 15 + 8)) - 3;
          if (Coin()) {
            if (f.FindVAByIndex(index, nullptr, &va, kill, fix)) delete[] va.name;
          } else {
            f.FindVAByIndex(index, Name(), &va, kill, fix);
          }
          break;
        }
        case 1: {
          VAType va{};
          f.FindVA(Name(), &va, kill, fix);
          break;
        }
        case 2: {
          EVType ev{};
          f.FindEV(Name(), &ev, Coin(), kill, fix);
          break;
        }
        case 3: {
          MOType mo{};
          f.FindMO(Name(), &mo, static_cast<int>(Below(18)), kill);
          break;
        }
        case 4: {
          uint16_t row[16];
          for (auto& r : row) r = Offset(f.GetSize());
          EVType ev{};
          MOType mo{};
          if (Coin()) {
            f.FindEVByOffsets(row, Name(), &ev, Coin(), kill, fix);
          } else {
            f.FindMOByOffsets(row, Name(), &mo, static_cast<int>(Below(17)), kill);
          }
          break;
        }
        case 5: {
          char* s = f.GetSaveMessage(true);
          std::free(s);
          f.SetSaveMessage(Coin() ? "Save?" : "", Coin());
          break;
        }
        case 6:
        case 7: {
          VAType va = RandomVA(f.GetSize());
          char* t = f.GetVAText(&va, true);
          std::free(t);
          f.SetVAText(&va, Coin() ? "a new text" : "VA01X001", kill, fix, Coin(), Coin(), Below(4) == 0);
          break;
        }
        case 8: {
          EVType ev = RandomEV(f.GetSize());
          char *a, *b, *c;
          if (f.GetEVText(&ev, &a, &b, &c, true)) {
            std::free(a);
            std::free(b);
            std::free(c);
          }
          f.SetEVText(&ev, "one", "two", ev.text3_offset ? "three" : nullptr, kill, fix);
          break;
        }
        case 9: {
          MOType mo = RandomMO(f.GetSize());
          char* t = f.GetMOText(&mo, '/');
          std::free(t);
          f.SetMOText(&mo, "x/yy/zzz/w", kill, '/');
          break;
        }
        case 10: {
          VAType va = RandomVA(f.GetSize()), found{};
          int self = static_cast<int>(Below(40));
          if (f.FindFirstVALink(&va, &found, self, Coin(), Coin())) delete[] found.name;
          if (f.FindFirstVATextTwin(&va, &found, self, Coin(), Coin())) delete[] found.name;
          break;
        }
        case 11: {
          VAType va = RandomVA(f.GetSize());
          if (Below(4) == 0) f.TruncateTo(&va);
          f.ApplyDuplicateNameUglyHack(Name(), &va, kill, Coin());
          break;
        }
        case 12: {
          EVType ev = RandomEV(f.GetSize());
          f.ApplyDuplicateNameUglyHackEv(Name(), &ev, kill, Coin());
          break;
        }
        default: {
          uint16_t at;
          f.AddDeadArea(Offset(f.GetSize()), static_cast<uint16_t>(Below(64)));
          f.FindAndRemoveDeadArea(static_cast<uint16_t>(Below(64)), &at, Coin());
          f.Increase(Below(64), &at);
          break;
        }
      }
      CheckInvariants(f);
    }
  }

 private:
  VAType RandomVA(uint32_t size) {
    VAType va{};
    va.name = Name();
    va.name_offset = Offset(size);
    va.text_offset = Offset(size);
    va.p_offset = Offset(size);
    va.name_p_offset = Coin() ? static_cast<uint16_t>(va.p_offset + 5) : Offset(size);
    return va;
  }
  EVType RandomEV(uint32_t size) {
    EVType ev{};
    ev.name = Name();
    uint16_t* fields[] = {&ev.name_offset,    &ev.text1_offset,   &ev.text2_offset,
                          &ev.text3_offset,   &ev.name_p_offset,  &ev.text1_p_offset,
                          &ev.text2_p_offset, &ev.text3_p_offset};
    for (uint16_t* p : fields) *p = Offset(size);
    if (Coin()) ev.text3_offset = 0;
    return ev;
  }
  MOType RandomMO(uint32_t size) {
    MOType mo{};
    mo.name = Name();
    mo.name_offset = Offset(size);
    mo.name_p_offset = Offset(size);
    for (int i = 0; i < 16; ++i) {
      mo.text_offsets[i] = Offset(size);
      mo.text_p_offsets[i] = Offset(size);
    }
    mo.count = static_cast<int>(Below(19)) - 1;
    return mo;
  }
  void CheckInvariants(TalvoScnFile& f) {
    unsigned int size = 0;
    unsigned char* p = f.GetData(false, &size);
    ASSERT_NE(p, nullptr);
    ASSERT_GE(size, 6u);
    ASSERT_EQ(talvo::read_le16(p + 4), size);
    uint32_t total = 0;
    for (int i = 0; i < TalvoScnFile::kDeadAreaSlots; ++i) {
      uint16_t o, l;
      if (!f.GetDeadArea(i, &o, &l)) continue;
      ASSERT_LE(static_cast<uint32_t>(o) + l, size);
      total += l;
    }
    ASSERT_EQ(total, f.GetDeadTotal());
  }

  std::mt19937 rng_;
};

}  // namespace

TEST(TalvoScnFile, SurvivesRandomAndMutatedImages) {
  Fuzzer fuzz(20260612);
  // The model's error lines are expected by the thousand; keep them out of
  // the log but show the first failure's details.
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
    ADD_FAILURE() << "image " << failed_at << ": "
                  << out.substr(at == std::string::npos ? 0 : (at > 200 ? at - 200 : 0), 1200);
  }
}
