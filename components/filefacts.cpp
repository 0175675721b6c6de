// The size and date texts of a record, the same on every system. How the
// facts are read from the file system: filefacts_posix.cpp and
// filefacts_win32.cpp.
#include "filefacts.h"

#include <QDateTime>
#include <QFileInfo>

#include "sizetext.h"

namespace browse {

namespace {

// The fields' widths in bytes: a text is measured as the table stores it,
// in UTF-8 (a locale's separator or time marks may take several bytes).
constexpr int kDateWidth = 21;  // FLDATE

bool Fits(const QString& text, int width) { return text.toUtf8().size() <= width; }

// The locale's long time format without its time zone.
QString TimeFormatOf(const QLocale& locale) {
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString out;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == u'\'') quoted = !quoted;
    if (!quoted && c == u't') continue;
    out.append(c);
  }
  return out.simplified();
}

// The same, the last one asked for kept: a batch asks for one locale's many
// times.
QString TimeFormatWithSeconds(const QLocale& locale) {
  thread_local QString lastLocale, lastFormat;
  if (!lastFormat.isEmpty() && lastLocale == locale.name()) return lastFormat;
  lastLocale = locale.name();
  lastFormat = TimeFormatOf(locale);
  return lastFormat;
}

}  // namespace

int64_t PackDosDate(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return (int64_t)1 << 21 | (int64_t)1 << 16;  // 1980-01-01 00:00
  return (int64_t)(year - 1980) << 25 | (int64_t)month << 21 | (int64_t)day << 16 | (int64_t)hour << 11 |
         (int64_t)minute << 5 | (int64_t)(second / 2);
}

int64_t FileSizeOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() && !info.isSymLink()) return -1;
  return info.size();
}

int64_t FileDateOf(const QString& path) { return FactsOf(path).dosDate; }

QString FormatFileSize(int64_t size, const QLocale& locale) {
  return QString::fromStdString(store::SizeFieldText(size, locale.toString((qlonglong)size).toStdString(),
                                                     locale.decimalPoint().toStdString()));
}

QString FileDateText(int64_t dosDate, const QLocale& locale) {
  if (dosDate < 0) return {};
  const QDate date((int)(dosDate >> 25) + 1980, (int)(dosDate >> 21 & 15), (int)(dosDate >> 16 & 31));
  const QTime time((int)(dosDate >> 11 & 31), (int)(dosDate >> 5 & 63), (int)(dosDate & 31) * 2);
  QString text = locale.toString(date, QLocale::ShortFormat);
  if (time != QTime(0, 0)) text += u' ' + locale.toString(time, TimeFormatWithSeconds(locale));
  if (Fits(text, kDateWidth)) return text;
  const QDateTime whole(date, time);
  return whole.toString(time == QTime(0, 0) ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace browse
