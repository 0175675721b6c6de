// Test data for the record view: damage the description pointer of records
// of a records table file the way a broken disk or tool would.
#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace testdata {

// Writes `digits` (the memo field's 10 ASCII digits) into the FLDESC field
// of physical record `recno` (1-based) of the table file at `dbfPath`.
inline void DamageDescriptionPointer(const QString& dbfPath, uint32_t recno, const char* digits = "4000000000") {
  QFile f(dbfPath);
  if (!f.open(QIODevice::ReadWrite)) throw std::runtime_error("cannot open " + dbfPath.toStdString());
  const QByteArray head = f.read(32);
  const int headerLen = (uchar)head[8] | (uchar)head[9] << 8;
  const int recordLen = (uchar)head[10] | (uchar)head[11] << 8;
  int offset = 1;  // the deletion flag comes first
  for (int at = 32; at + 32 <= headerLen; at += 32) {
    f.seek(at);
    const QByteArray d = f.read(32);
    if (d.isEmpty() || d[0] == '\x0D') break;
    if (std::strncmp(d.constData(), "FLDESC", 7) == 0) {
      f.seek(qint64(headerLen) + qint64(recno - 1) * recordLen + offset);
      f.write(digits, 10);
      return;
    }
    offset += (uchar)d[16];
  }
  throw std::runtime_error("no FLDESC field in " + dbfPath.toStdString());
}

}  // namespace testdata
