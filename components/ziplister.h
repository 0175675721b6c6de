// The entries of a zip archive, read without extracting anything.
//
// An archive is listed from its central directory, found through the end of
// central directory record at the end of the file (Zip64 records included).
// A self-extracting archive (a program in front of the archive) lists as well:
// its directory offsets are taken relative to where the archive really starts.
// Only when the central directory is missing or damaged is the file walked
// from its local file headers instead, with the messages that walk gives.
//
// Every count, size and offset read from the file is checked against the
// file's size before it is trusted: a damaged or hostile archive gives a
// message and the entries that were valid, never a crash, a hang or memory
// out of proportion to the file.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace zip {

struct ZipDirEntry {
  uint16_t versionNeeded = 0, flags = 0, method = 0, modTime = 0, modDate = 0;  // MS-DOS time/date
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0, uncompressedSize = 0;
  QString name;        // the whole stored name, decoded, with the archive's "/" separators
  bool directory() const;  // name ends in '/'
  QDateTime modified() const;  // from the MS-DOS date and time (local time); invalid when bad
};

struct Listing {
  std::vector<ZipDirEntry> entries;  // in file order
  QString error;                     // "" when the archive listed cleanly; else the message
};

// Lists the archive at `path`. A missing file gives no entries and no error.
Listing ListArchive(const QString& path);

// The messages of the local header walk, used when the central directory
// cannot be read.
inline constexpr const char* kNoEntriesFound = "No valid zip entries found";
inline constexpr const char* kReadError = "Error reading Zip File";     // the file ends between entries
inline constexpr const char* kReadError2 = "Error 2 reading Zip file";  // a header or its name is cut off
inline constexpr const char* kReadError3 = "Error 3 reading Zip file";  // an entry runs past the end
inline constexpr const char* kReadError4 = "Error 4 reading Zip file";  // its extra field cannot be read
inline constexpr const char* kReadError5 = "Error 5 reading Zip file";  // its data cannot be skipped

// A stored entry name as text: UTF-8 when the entry says so (general purpose
// flag bit 11) or when the bytes are valid UTF-8, else code page 437 (the
// character set of the original PC archivers).
QString DecodeEntryName(const char* bytes, size_t size, bool utf8Flag);

// Where the central directory of the archive at `path` lies, from its end
// records, checked against the file.
struct CentralDirectory {
  bool found = false;        // end records whose directory lies inside the file
  int64_t archiveStart = 0;  // what to add to the archive's offsets: the length of a
                             // self-extracting prefix they do not count, else 0
  int64_t offset = 0;        // where the directory starts in the file
  uint64_t size = 0;         // its bytes
  uint64_t entries = 0;      // the entry count the end records claim
  bool zip64 = false;        // the counts came from Zip64 end records
};
CentralDirectory FindCentralDirectory(const QString& path);

}  // namespace zip
