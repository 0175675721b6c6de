// The current record as the record view shows it, read so that damage in
// one part of it does not hide the rest.
#pragma once

#include <QSet>
#include <QString>

#include <cstdint>

#include <xbase.h>

namespace browse {

struct RecordFields {
  uint32_t recno = 0;  // 0 when there is no current record
  QString title, path, size, date, description;
  // Why the description cannot be read (a memo pointer out of range, a
  // damaged block, a missing memo file): the engine's message, which names
  // the file. Empty when it was read.
  QString descriptionDamage;
  bool DescriptionReadable() const { return descriptionDamage.isEmpty(); }
};

// Reads the current record of `records` (the edit buffer while editing).
// Only the description can fail on its own; an error of the table itself
// passes on as xbase::Error.
RecordFields ReadRecordFields(const xbase::Table& records);

// What the description panel shows instead of a description it cannot read.
QString UnreadableDescriptionText(const RecordFields& record);

// The text of the box that reports a record whose description cannot be
// read.
QString DamagedRecordMessage(const RecordFields& record);

// Why a command that would write the record is refused; "" when the record
// may be written.
QString WriteRefusal(const RecordFields& record);

// Remembers what was already reported, so each damaged record (or each
// distinct read error) is reported once however often it is met or
// repainted.
class DamageLog {
 public:
  // True the first time a key is seen.
  bool FirstReport(const QString& key);
  static QString KeyOf(const RecordFields& record);

 private:
  QSet<QString> seen_;
};

}  // namespace browse
