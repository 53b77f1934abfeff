#include "scn/talvo_scn_file.h"

#include <cstdlib>

namespace talvo {

TalvoScnFile::TalvoScnFile(const char* day_name)
    : name(day_name), size(0), va_start(0), ev_start(0), va_length(0), ev_length(0),
      dead_total(0) {}
TalvoScnFile::~TalvoScnFile() = default;
bool TalvoScnFile::SetData(const unsigned char*, unsigned int) { return false; }
unsigned char* TalvoScnFile::GetData(bool, unsigned int*) { return nullptr; }
bool TalvoScnFile::Resize(unsigned int) { return false; }
bool TalvoScnFile::Increase(unsigned int, uint16_t*) { return false; }
bool TalvoScnFile::AddDeadArea(uint16_t, uint16_t) { return false; }
bool TalvoScnFile::FindAndRemoveDeadArea(uint16_t, uint16_t*, bool) { return false; }
char* TalvoScnFile::GetSaveMessage(bool) { return nullptr; }
bool TalvoScnFile::SetSaveMessage(const char*, bool) { return false; }
void TalvoScnFile::PrintDeadAreas() {}
bool TalvoScnFile::SetVASearch(uint16_t, int) { return false; }
bool TalvoScnFile::SetEVSearch(uint16_t, int) { return false; }
bool TalvoScnFile::FindVAByIndex(int, const char*, VAType*, bool, bool) { return false; }
bool TalvoScnFile::FindEVByOffsets(const uint16_t*, const char*, EVType*, bool, bool, bool) { return false; }
bool TalvoScnFile::FindMOByOffsets(const uint16_t*, const char*, MOType*, int, bool) { return false; }
bool TalvoScnFile::FindVA(const char*, VAType*, bool, bool) { return false; }
bool TalvoScnFile::FindEV(const char*, EVType*, bool, bool, bool) { return false; }
bool TalvoScnFile::FindMO(const char*, MOType*, int, bool) { return false; }
int TalvoScnFile::GetVAIndex(const VAType*) { return -1; }
bool TalvoScnFile::LooksLikeVAName(const char*) { return false; }
bool TalvoScnFile::IsVAException(const char*, uint16_t, uint16_t) { return false; }
bool TalvoScnFile::IsEVException(const char*, uint16_t, uint16_t) { return false; }
bool TalvoScnFile::IsWarningException(const char*) { return false; }
void TalvoScnFile::ApplyDuplicateNameUglyHack(const char*, VAType*, bool, bool) {}
void TalvoScnFile::ApplyDuplicateNameUglyHackEv(const char*, EVType*, bool, bool) {}
char* TalvoScnFile::GetVAText(const VAType*, bool) { return nullptr; }
bool TalvoScnFile::GetEVText(const EVType*, char**, char**, char**, bool) { return false; }
char* TalvoScnFile::GetMOText(const MOType*, char) { return nullptr; }
bool TalvoScnFile::SetVAText(VAType*, const char*, bool, bool, bool, bool, bool) { return false; }
bool TalvoScnFile::SetEVText(EVType*, const char*, const char*, const char*, bool, bool) { return false; }
bool TalvoScnFile::SetMOText(MOType*, const char*, bool, char) { return false; }
bool TalvoScnFile::TruncateTo(const VAType*) { return false; }
bool TalvoScnFile::AddTextToCache(const char*, uint16_t) { return false; }
bool TalvoScnFile::FindTextInCache(const char*, const char*, bool, bool, uint16_t*) { return false; }
bool TalvoScnFile::FindFirstVALink(const VAType*, VAType*, int, bool, bool) { return false; }
bool TalvoScnFile::FindFirstVATextTwin(const VAType*, VAType*, int, bool, bool) { return false; }
void TalvoScnFile::CheckVASCorrection(const VAType*, int) {}
bool TalvoScnFile::GetDeadArea(int, uint16_t*, uint16_t*) const { return false; }

}  // namespace talvo
