#include "tablerecordsession.h"

#include "commandguard.h"
#include "commandtags.h"
#include "datafiles.h"
#include "filecheck.h"
#include "prompts.h"
#include "recordcounts.h"
#include "recordedit.h"
#include "schema.h"

namespace browse {

TableRecordSession::TableRecordSession(xbase::Table& records, RecordCounts& counts, QWidget* parent)
    : records_(records), counts_(counts), parent_(parent) {}

std::optional<QString> TableRecordSession::FilePath() {
  QString path;
  if (!command::Run(prompts::Current(), parent_, {&records_}, [&] {
        if (records_.Active()) path = store::FromUtf8(records_.FieldByName(store::kFieldName));
      }))
    return std::nullopt;
  return foundAt_ && !path.isEmpty() ? foundAt_(path) : path;
}

bool TableRecordSession::FollowFile(const QString& path) {
  return command::Run(prompts::Current(), parent_, {&records_}, [&] {
    // A file moved on a volume mounted at another place keeps the record's
    // way of naming that volume.
    const QString stored = store::FromUtf8(records_.FieldByName(store::kFieldName));
    const QString kept = foundAt_ ? StoredFormOf(path, stored, foundAt_(stored)) : path;
    records_.Edit();
    records_.SetFieldByName(store::kFieldName, store::ToUtf8(kept));
    records_.Post();
    records_.Refresh();
  });
}

bool TableRecordSession::Delete() {
  if (!command::Run(prompts::Current(), parent_, {&records_}, [&] {
        records_.Delete();
        records_.Refresh();
      }))
    return false;
  counts_.SetCatalog(counts_.Catalog() - 1);
  counts_.SetTotal(counts_.Total() - 1);
  return true;
}

void TableRecordSession::DropEdit() {
  command::Run(prompts::Current(), parent_, {&records_}, [&] { records_.Cancel(); });
}

EditEnd TableRecordSession::EndEditAsking(QWidget* parent) {
  if (!IsEditing(records_.GetState())) return EditEnd::NotEditing;
  LeaveOutcome o;
  if (!command::Run(prompts::Current(), parent, {&records_}, [&] { o = EndEdit(records_, LeaveEdit::Ask, parent); }))
    return EditEnd::Failed;
  if (!o.goOn) return EditEnd::Stayed;
  switch (o.saved.kind) {
    case SaveOutcome::Kind::Inserted:
      counts_.SetCatalog(counts_.Catalog() + 1);
      counts_.SetTotal(counts_.Total() + 1);
      return EditEnd::Saved;
    case SaveOutcome::Kind::Edited:
      return EditEnd::Saved;
    default:
      return EditEnd::Dropped;
  }
}

bool TableRecordSession::PasteIntoDescription(const QString& text) { return paste_ && paste_(text); }

}  // namespace browse
