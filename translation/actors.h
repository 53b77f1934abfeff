// Speaker names for the "; Actor:" comments of translation files, keyed by
// the actor id that each VA record carries.
#ifndef TALVO_TRANSLATION_ACTORS_H
#define TALVO_TRANSLATION_ACTORS_H

#include <cstdint>

// The display name of an actor id: the table's name, a group of cast names
// joined by " + ", or "Unknown %02X" for an id without an entry. The result
// is static storage; the caller never releases it.
const char* get_actor_name(uint8_t id);

// The cast ids whose display names are game data (cast_names.cpp).
struct CastName {
  uint8_t id;
  const char* name;
};
extern const CastName cast_names[];
extern const int cast_name_count;

#endif
