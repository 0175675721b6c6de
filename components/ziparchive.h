// A zip archive opened for reading through libzip: the one reader of an
// archive's central directory, for the listing and the extraction alike, so
// both see the same entries under the same names.
//
// libzip finds the directory from the end records but cannot open a
// self-extracting archive whose offsets do not count the program in front
// of it; such an archive is opened as the window of the file that starts
// where the end records say the archive starts. A directory that claims
// more entries than its bytes can hold is refused before the library sizes
// anything by that claim.
#pragma once

// libzip declares a struct named `zip` at global scope, which would clash
// with this namespace: its declarations are kept in a namespace of their
// own. The C headers it includes come first, outside that namespace.
#include <inttypes.h>
#include <stdio.h>
#include <sys/types.h>
#include <time.h>
namespace libzip {
#include <zip.h>
}  // namespace libzip

#include <QString>

#include <memory>
#include <optional>

#include "zipendrecords.h"
#include "zipentry.h"

namespace zip {

struct ArchiveCloser {
  void operator()(libzip::zip_t* z) const { libzip::zip_discard(z); }
};
using ArchiveHandle = std::unique_ptr<libzip::zip_t, ArchiveCloser>;

struct OpenedArchive {
  enum class Problem {
    None,            // opened
    TooManyEntries,  // the directory claims more entries than it can hold
    Refused,         // the library cannot read it (no directory, a damaged one)
  };
  ArchiveHandle archive;        // set when opened
  CentralDirectory directory;   // what the end records say
  Problem problem = Problem::None;
  QString reason;               // the library's words when Refused

  // The message for TooManyEntries, naming the archive at `path`.
  QString TooManyEntriesMessage(const QString& path) const;
};

OpenedArchive OpenArchive(const QString& path);

// The name of entry `index` as the listing shows it and extraction matches
// it; nothing for an entry the library gives no name.
std::optional<QString> EntryName(libzip::zip_t* archive, uint64_t index);

// Entry `index` of an open archive: its name, sizes, CRC and date. False
// for an entry the library gives no name.
bool ReadEntry(libzip::zip_t* archive, uint64_t index, ZipDirEntry* entry);

}  // namespace zip
