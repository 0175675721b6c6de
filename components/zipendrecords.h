// Where the central directory of a zip archive lies, from the end records
// at the end of the file (Zip64 records included), checked against the file.
//
// The unzip library reads the directory itself; this only measures what it
// cannot: a self-extracting archive (a program in front of the archive)
// whose directory offsets count from where the archive really starts, and a
// directory that claims more entries than its bytes can hold, which is
// refused before anything is sized by that claim.
#pragma once

#include <QString>

#include <cstdint>

namespace zip {

struct CentralDirectory {
  bool found = false;        // end records whose directory lies inside the file
  bool endRecord = false;    // an end record was there at all, found or not
  int64_t archiveStart = 0;  // what to add to the archive's offsets: the length of a
                             // self-extracting prefix they do not count, else 0
  int64_t offset = 0;        // where the directory starts in the file
  uint64_t size = 0;         // its bytes
  uint64_t entries = 0;      // the entry count the end records claim
  bool zip64 = false;        // the counts came from Zip64 end records

  // More entries claimed than the directory's bytes can hold.
  bool ClaimsTooManyEntries() const;
};

// The central directory of the archive at `path`, from the end record
// nearest the end of the file whose directory lies where it says. A file
// that cannot be read gives nothing found.
CentralDirectory FindCentralDirectory(const QString& path);

}  // namespace zip
