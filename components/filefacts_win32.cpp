// A file's size and date on Windows, through the toolkit: the last-write
// time the system keeps in UTC, turned into local time by the rules of its
// own date (as Explorer shows it).
#include "filefacts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace browse {

FileFacts FactsOf(const QString& path) {
  FileFacts f;
  const QFileInfo info(path);
  if (!info.exists()) return f;
  const QDateTime t = info.lastModified().toLocalTime();
  f.size = info.size();
  f.dosDate = PackDosDate(t.date().year(), t.date().month(), t.date().day(), t.time().hour(), t.time().minute(),
                          t.time().second());
  return f;
}

FolderFacts::FolderFacts(const QString& folder) : folder_(folder) {
  if (!folder_.endsWith(u'/') && !folder_.endsWith(QDir::separator())) folder_ += QDir::separator();
}

FolderFacts::~FolderFacts() = default;

FileFacts FolderFacts::Of(const QString& relative) const { return FactsOf(folder_ + relative); }

}  // namespace browse
