// A catalog against its disks: what is new, changed, missing or moved
// since its files were added, and applying what the user chose of it.
// Free of Qt: the window and the command-line tool share it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "treewalk.h"
#include "volumetable.h"

namespace xbase {
class Table;
}

namespace store {

enum class DiffKind { New, Changed, Missing, Moved };

// "new", "changed", "missing", "moved": the words of the tool's output.
std::string_view DiffKindWord(DiffKind kind);

struct DiffEntry {
  DiffKind kind = DiffKind::New;
  uint32_t recno = 0;      // the record (0 for a new file)
  std::string path;        // the file on the disk now; for Missing the record's path
  std::string storedPath;  // the record's path (Changed, Missing, Moved)
  // New, Moved: the path the file's record keeps after a refresh: `path`
  // with the mount point its volume had when the catalog's files were added
  // from it, so that a catalog's paths stay in one form however the disk
  // is mounted now (`path` itself where the volume is where it was).
  std::string newStoredPath;
  int64_t size = -1;       // on the disk (-1 for Missing)
  int64_t mtime = 0;       // on the disk, seconds since 1970 UTC
  std::string storedSize, storedDate;  // the record's texts (0 for New)
};

struct DiffOptions {
  // The folders to compare, as the records' paths begin; empty: every folder
  // the catalog's volumes remember, those on volumes not mounted left out.
  std::vector<std::string> folders;
  bool otherFileSystems = false;
  // Called now and then with the files looked at so far; false stops.
  std::function<bool(uint64_t filesSeen)> progress;
  // Hears each changed file and each file no record names as the walk
  // meets it, so that a window can show rows before the walk is over; a
  // file no record names is given as new, and may be listed as moved in
  // the result. The result lists every entry again.
  std::function<void(const DiffEntry&)> found;
  // Where a volume id is mounted now (disk::MountPointsOf; tests stand in).
  std::function<std::vector<std::string>(const std::string& id)> mountPointsOf;
};

struct DiffResult {
  std::vector<DiffEntry> entries;       // new, changed, missing, moved, each in path order
  std::vector<disk::WalkSkip> skipped;  // folders not read, names not stored
  std::vector<std::string> notConnected;  // labels of the catalog's volumes not mounted: not compared
  std::string error;                    // why the compare stopped short (a volume gone meanwhile); empty when it did not
  // By the user: the new and changed files found until then are kept;
  // nothing is missing or moved, as the walk did not get round.
  bool stopped = false;
  uint64_t filesSeen = 0, recordsCompared = 0;
};

// Compares the records of `catalog` below the folders with the files there.
// A file is changed when its size or date differs from the record's texts
// (read as disk::SameStoredSize and disk::SameStoredDate read them); a
// missing record and a new file with the same name, size and date, each
// the only one of its kind, make one moved file.
DiffResult CompareCatalog(xbase::Table& records, VolumeTable& volumes, std::string_view catalog,
                          const DiffOptions& options);

struct RefreshResult {
  uint64_t added = 0, updated = 0, followed = 0, deleted = 0;
  bool stopped = false;
  std::vector<std::string> problems;  // entries not applied, each with why
};

struct RefreshTexts {
  // The FLSIZE and FLDATE texts of a size and a time (the window's locale
  // forms; the tool's by default).
  std::function<std::string(int64_t size)> size;
  std::function<std::string(int64_t unixSeconds)> date;
};

// Appends the record an add makes of a file: in `catalog`, the title "new
// record ~~~~ " + the file's name (cut to the title field on a whole
// character, *shortened then set), `path` as the record keeps it, the size
// and date texts (`texts`, the tool's forms where a function is empty).
// False, with the reason in *why and nothing written, when the path does
// not fit the path field: cut, it would name another file. The record is
// posted whole or not at all (an engine error propagates, the record
// cancelled).
bool AppendFileRecord(xbase::Table& records, std::string_view catalog, std::string_view path, int64_t size,
                      int64_t mtime, const RefreshTexts& texts, bool* shortened, std::string* why);

// Applies the chosen entries: a new file gets a record as an add does, a
// changed one its size and date, a moved one its new path (title and
// description kept), a missing one's record is deleted. Each record is
// written whole or not at all; a stop keeps what was applied. Before
// anything is deleted or followed, the volume is checked to be still
// mounted: a volume gone stops the refresh with a problem and applies
// nothing more. `progress` (done, total) returning false stops.
RefreshResult ApplyRefresh(xbase::Table& records, VolumeTable& volumes, std::string_view catalog,
                           const std::vector<DiffEntry>& chosen, const RefreshTexts& texts,
                           const std::function<bool(uint64_t done, uint64_t total)>& progress);

}  // namespace store
