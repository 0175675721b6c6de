// What a record keeps of its file: the size and date texts of FLSIZE and
// FLDATE, taken from the file system.
#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>

namespace browse {

// The size in bytes of whatever the path names (file or folder entry), or
// -1 when nothing is there. Sizes of 2 GiB and more come whole.
int64_t FileSizeOf(const QString& path);

// The last-write time of whatever the path names as a packed DOS date-time
// (local time, two-second resolution; times before 1980 count as its
// first second), or -1 when nothing is there.
int64_t FileDateOf(const QString& path);

// The size and packed DOS date-time of a file in one look at the file
// system (-1 and -1 when nothing is there): what an add of many files asks.
struct FileFacts {
  int64_t size = -1;
  int64_t dosDate = -1;
};
FileFacts FactsOf(const QString& path);

// The packed DOS date-time of a local time (two-second resolution; times
// before 1980 count as its first second).
int64_t PackDosDate(int year, int month, int day, int hour, int minute, int second);

// The same for many files below one folder, each named by its path
// relative to the folder: the folder is looked up once, not for each file.
class FolderFacts {
 public:
  explicit FolderFacts(const QString& folder);
  ~FolderFacts();
  FolderFacts(const FolderFacts&) = delete;
  FolderFacts& operator=(const FolderFacts&) = delete;
  FileFacts Of(const QString& relative) const;

 private:
  QString folder_;
  int fd_ = -1;  // the folder held open, where the system reads names relative to it
};

// The size text FLSIZE keeps (10 characters): the size with the locale's
// thousands separators when that fits, else its digits alone when they
// fit, else rounded to one decimal with a unit (KB, MB, GB, TB of 1024).
// A size is never stored cut.
QString FormatFileSize(int64_t size, const QLocale& locale = QLocale());

// The date text FLDATE keeps (21 characters) of a packed DOS date-time:
// the locale's short date and its time with seconds (without a time zone),
// the time left out at midnight; "yyyy-MM-dd HH:mm:ss" when the locale's
// text would be longer. Empty for -1.
QString FileDateText(int64_t dosDate, const QLocale& locale = QLocale());

}  // namespace browse
