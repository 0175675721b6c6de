#include "recordedit.h"

#include "commandtags.h"
#include "datafiles.h"
#include "prompts.h"

namespace browse {

namespace {

// The last part of a path, whichever separator it was stored with.
QString FileNamePart(const QString& path) {
  const qsizetype slash = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
  return path.mid(slash + 1);
}

}  // namespace

SaveOutcome SaveRecord(xbase::Table& t) {
  SaveOutcome o;
  if (!IsEditing(t.GetState())) return o;
  const QString path = store::FromUtf8(t.FieldByName(store::kFieldName)).trimmed();
  if (path.isEmpty()) {
    t.Cancel();
    o.kind = SaveOutcome::Kind::Dropped;
    return o;
  }
  o.kind = t.GetState() == xbase::State::Insert ? SaveOutcome::Kind::Inserted : SaveOutcome::Kind::Edited;
  t.Post();
  // Read again from the files, on the same record.
  const xbase::Bookmark here = t.GetBookmark();
  t.Refresh();
  t.GotoBookmark(here);
  o.fileName = FileNamePart(path);
  return o;
}

LeaveOutcome EndEdit(xbase::Table& t, LeaveEdit how, QWidget* parent) {
  LeaveOutcome o;
  if (!IsEditing(t.GetState())) return o;
  if (!t.Modified()) {
    t.Cancel();
    return o;
  }
  // A record without a file is never stored, whatever the answer.
  const bool storable = !store::FromUtf8(t.FieldByName(store::kFieldName)).trimmed().isEmpty();
  if (how == LeaveEdit::Ask && storable) {
    switch (prompts::Current().Message(parent, prompts::Kind::Confirmation, kUnsavedQuestion,
                                       prompts::Yes | prompts::No | prompts::Cancel, prompts::Yes)) {
      case prompts::Yes:
        break;
      case prompts::No:
        t.Cancel();
        return o;
      default:
        o.goOn = false;
        return o;
    }
  }
  o.saved = SaveRecord(t);
  return o;
}

QString SavedText(const SaveOutcome& outcome) {
  const QString suffix = outcome.kind == SaveOutcome::Kind::Edited ? QStringLiteral("Edited...") : QString();
  return QStringLiteral(" Saved...") + suffix + outcome.fileName;
}

}  // namespace browse
