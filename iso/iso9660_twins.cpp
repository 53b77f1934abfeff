// Iso9660Filesystem, the twins of a file: its records in the trees other
// than the one lookups use (the ISO 9660 tree of a Joliet image, a separate
// ISO 9660:1999 tree), found before a file changes size and given its new
// extent and length after, so that every tree keeps describing the same data.
#include <cstdio>
#include <cstdlib>

#include "iso/iso9660_internal.h"

using iso9660_internal::carries_volume_space;
using iso9660_internal::is_joliet_descriptor;
using iso9660_internal::RecordPtr;
using iso9660_internal::root_extent;
using talvo::MallocBuffer;

// What FindTwinIn looks for in a directory: a file record with the extent
// (the record of the same name in the same directory) or with the extent
// and the data length (any other), each counted.
struct Iso9660Filesystem::TwinSearch {
  uint32_t extent;
  uint32_t data_length;
  unsigned named;
  RecordPlace named_place;
  unsigned same_data;
  RecordPlace same_data_place;
};

// The directories of one tree met so far, each listed once however many
// records point at it (a directory that contains itself ends the walk).
struct Iso9660Filesystem::DirectoryList {
  struct Entry {
    uint32_t extent;
    uint32_t length;
  };
  Entry* entries = nullptr;
  unsigned count = 0;
  unsigned capacity = 0;
  ~DirectoryList() { free(entries); }
  bool Add(uint32_t extent, uint32_t length) {
    for (unsigned i = 0; i < count; ++i) {
      if (entries[i].extent == extent) return true;
    }
    if (count == capacity) {
      unsigned grown = capacity ? capacity * 2 : 64;
      Entry* bigger = static_cast<Entry*>(realloc(entries, grown * sizeof(Entry)));
      if (!bigger) return false;
      entries = bigger;
      capacity = grown;
    }
    entries[count++] = Entry{extent, length};
    return true;
  }
};

bool Iso9660Filesystem::ScanForTwin(uint32_t extent, uint32_t length, bool joliet,
                                    const char* name, TwinSearch* search, DirectoryList* list) {
  if (!ExtentInsideDisc(extent, length)) return false;
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  if (!buffer) return false;
  Scan scan{extent, length, 0, UINT64_MAX, buffer.get()};
  bool damaged = false;
  while (const Iso9660DirectoryRecord* record = NextRecord(&scan, &damaged)) {
    const unsigned char* id = reinterpret_cast<const unsigned char*>(record->Identifier());
    bool dots = record->identifier_length == 1 && id[0] <= 1;
    RecordPlace place{scan.loaded, static_cast<unsigned>(scan.position % kIsoSectorSize)};
    if (record->IsDirectory()) {
      if (list && !dots && !list->Add(record->Extent(), record->DataLength())) return false;
    } else if (record->Extent() == search->extent) {
      if (name && CompareName(joliet, name, record->Identifier(), record->identifier_length)) {
        if (search->named++ == 0) search->named_place = place;
      }
      if (record->DataLength() == search->data_length && search->same_data++ == 0) {
        search->same_data_place = place;
      }
    }
    scan.position += record->length;
  }
  return !damaged;
}

bool Iso9660Filesystem::FindTwinIn(const unsigned char* descriptor, const char* path,
                                   const Iso9660DirectoryRecord* record, RecordPlace* place) {
  bool joliet = is_joliet_descriptor(descriptor);
  TwinSearch search{record->Extent(), record->DataLength(), 0, {}, 0, {}};
  char name[kIsoComponentBufferSize];
  bool is_root = false;
  RecordPtr parent(ParentDirectoryIn(descriptor, joliet, path, name, &is_root));
  if (parent && !is_root && parent->IsDirectory()) {
    if (!ScanForTwin(parent->Extent(), parent->DataLength(), joliet, name, &search, nullptr)) {
      return false;
    }
    if (search.named == 1) {
      *place = search.named_place;
      return true;
    }
    if (search.same_data == 1) {
      *place = search.same_data_place;
      return true;
    }
    if (search.named > 1 || search.same_data > 1) return false;
  }
  // The names differ from this tree's (a long name, or a directory on the
  // way with one): the file is wherever its data is.
  const Iso9660DirectoryRecord* root =
      reinterpret_cast<const Iso9660DirectoryRecord*>(descriptor + kIsoRootRecordOffset);
  DirectoryList list;
  if (!list.Add(root->Extent(), root->DataLength())) return false;
  search = TwinSearch{record->Extent(), record->DataLength(), 0, {}, 0, {}};
  for (unsigned i = 0; i < list.count && search.same_data <= 1; ++i) {
    if (!ScanForTwin(list.entries[i].extent, list.entries[i].length, joliet, nullptr, &search,
                     &list)) {
      return false;
    }
  }
  if (search.same_data != 1) return false;
  *place = search.same_data_place;
  return true;
}

bool Iso9660Filesystem::FindTwins(const char* path, const Iso9660DirectoryRecord* record,
                                  Twins* twins) {
  twins->extent = record->Extent();
  twins->data_length = record->DataLength();
  twins->count = 0;
  const unsigned char* lookup = svd_ ? svd_ : pvd_;
  for (unsigned i = 0; i < volume_descriptor_count_; ++i) {
    const unsigned char* d = volume_descriptors_ + i * kIsoSectorSize;
    if (!carries_volume_space(d) || root_extent(d) == root_extent(lookup)) continue;
    // Descriptors that share a root (an enhanced descriptor over the
    // primary tree) share its records too.
    bool seen = false;
    for (unsigned j = 0; j < i && !seen; ++j) {
      const unsigned char* e = volume_descriptors_ + j * kIsoSectorSize;
      seen = carries_volume_space(e) && root_extent(e) == root_extent(d);
    }
    if (seen) continue;
    if (!FindTwinIn(d, path, record, &twins->places[twins->count])) {
      fprintf(stderr,
              "Warning: record was updated for joliet fs, but similar record couldn't be found "
              "in iso fs. There are inconsistencies between them.\n");
      return false;
    }
    ++twins->count;
  }
  return true;
}

bool Iso9660Filesystem::UpdateTwins(const Twins& twins, const Iso9660DirectoryRecord* record) {
  bool all_done = true;
  MallocBuffer buffer = talvo::malloc_buffer(kIsoSectorSize);
  for (unsigned i = 0; i < twins.count; ++i) {
    const RecordPlace& place = twins.places[i];
    bool done = false;
    // Read again: two twins may share a sector, and the image must still
    // hold at that place the record that was found.
    if (buffer && disc_->ReadSectors(place.sector, buffer.get(), 1) == 0) {
      Iso9660DirectoryRecord* twin =
          reinterpret_cast<Iso9660DirectoryRecord*>(buffer.get() + place.offset);
      if (twin->Extent() == twins.extent) {
        twin->SetExtent(record->Extent());
        twin->SetDataLength(record->DataLength());
        done = disc_->WriteSectors(place.sector, buffer.get(), 1) == 0;
      }
    }
    if (!done) {
      fprintf(stderr,
              "Warning: record was updated for joliet fs, but cannot update the record that was "
              "found in iso fs. There will be inconsitencies between them.\n");
      all_done = false;
    }
  }
  return all_done;
}
