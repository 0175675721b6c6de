#include "recordfields.h"

#include "commandguard.h"
#include "datafiles.h"

namespace browse {

RecordFields ReadRecordFields(const xbase::Table& t) {
  RecordFields r;
  r.recno = t.RecNo();
  r.title = store::FromUtf8(t.FieldByName(store::kFieldTitle));
  r.path = store::FromUtf8(t.FieldByName(store::kFieldName));
  r.size = store::FromUtf8(t.FieldByName(store::kFieldSize));
  r.date = store::FromUtf8(t.FieldByName(store::kFieldDate));
  try {
    r.description = store::FromUtf8(t.FieldByName(store::kFieldDesc));
  } catch (const xbase::Error& e) {
    r.descriptionDamage = command::ErrorText(e);
  }
  return r;
}

QString UnreadableDescriptionText(const RecordFields& record) {
  return QStringLiteral("The description of this record cannot be read.\n%1").arg(record.descriptionDamage);
}

QString DamagedRecordMessage(const RecordFields& record) {
  return QStringLiteral("The description of \"%1\" cannot be read.\n%2").arg(record.title, record.descriptionDamage);
}

QString WriteRefusal(const RecordFields& record) {
  if (record.DescriptionReadable()) return {};
  return QStringLiteral("The record \"%1\" cannot be changed while its description cannot be read.\n%2")
      .arg(record.title, record.descriptionDamage);
}

bool DamageLog::FirstReport(const QString& key) {
  if (seen_.contains(key)) return false;
  seen_.insert(key);
  return true;
}

QString DamageLog::KeyOf(const RecordFields& record) {
  return QString::number(record.recno) + u'|' + record.descriptionDamage;
}

}  // namespace browse
