// One entry of a zip archive as the zip window lists it, and the one rule
// by which stored entry names become text. Both readers of an archive (its
// central directory through the unzip library, and the walk of its local
// headers for an archive without a readable directory) give entries of this
// kind, and extraction knows entries by the names this rule gives them.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

namespace zip {

struct ZipDirEntry {
  uint16_t modTime = 0, modDate = 0;  // MS-DOS time and date, local time
  uint32_t crc32 = 0;
  uint64_t compressedSize = 0, uncompressedSize = 0;
  QString name;  // the whole stored name, decoded, with the archive's "/" separators

  bool directory() const;  // name ends in '/'
  QDateTime modified() const;  // from the MS-DOS date and time (local time); invalid when bad
  // Sets the MS-DOS date and time from a local time (at its 2-second
  // resolution); a time they cannot hold leaves them 0.
  void SetModified(const QDateTime& when);
};

struct Listing {
  std::vector<ZipDirEntry> entries;  // in file order
  QString error;                     // "" when the archive listed cleanly; else the message
};

// A stored entry name as text: UTF-8 when the entry says so (general purpose
// flag bit 11) or when the bytes are valid UTF-8, else code page 437 (the
// character set of the original PC archivers).
QString DecodeEntryName(const char* bytes, size_t size, bool utf8Flag);

}  // namespace zip
