#include "translation/actors.h"

#include <cstdio>
#include <string>

namespace {

struct ActorName {
  uint8_t id;
  const char* name;
};

// Speakers that are not members of the cast.
const ActorName kActorNames[] = {
    {0, "NONE"},
    {1, "Player"},
    {28, "Teacher"},
    {29, "Father"},
    {30, "Mother"},
    {42, "Female Student"},
    {45, "Student 1"},
    {46, "Student 2"},
    {47, "Student 3"},
    {48, "Guest"},
    {49, "Man 1"},
    {50, "Man 2"},
    {51, "Man 3"},
    {52, "Man"},
    {53, "Newspaper Club President"},
    {54, "Member 1"},
    {55, "Member 2"},
    {56, "Member 3"},
    {58, "Teacher"},
    {60, "Teacher"},
    {61, "Teacher"},
    {62, "Nurse"},
    {63, "Female Student 1"},
    {64, "Female Student 2"},
    {69, "Female Student 3"},
    {70, "Librarian"},
    {72, "Policeman"},
    {73, "Waitress"},
    {74, "Blue-haired stranger"},
    {76, "Customer 1"},
    {77, "Customer 2"},
    {82, "Father (message)"},
    {87, "Student"},
    {90, "Doctor"},
};

// Ids that stand for several cast members speaking together.
struct ActorGroup {
  uint8_t id;
  uint8_t members[3];
  int count;
};
const ActorGroup kActorGroups[] = {
    {89, {23, 24, 25}, 3},
    {91, {20, 21, 0}, 2},
};

// Every id's name, built once: the names are returned as static storage so
// that callers need not release them, unknown ids included.
struct ActorNameTable {
  std::string names[256];

  ActorNameTable() {
    for (int id = 0; id < 256; id++) {
      char unknown[32];
      snprintf(unknown, sizeof unknown, "Unknown %02X", id);
      names[id] = unknown;
    }
    for (const ActorName& a : kActorNames) names[a.id] = a.name;
    for (int i = 0; i < cast_name_count; i++) names[cast_names[i].id] = cast_names[i].name;
    for (const ActorGroup& g : kActorGroups) {
      std::string joined;
      for (int i = 0; i < g.count; i++) {
        if (i) joined += " + ";
        joined += names[g.members[i]];
      }
      names[g.id] = joined;
    }
  }
};

}  // namespace

const char* get_actor_name(uint8_t id) {
  static const ActorNameTable table;
  return table.names[id].c_str();
}
