#include "recordedit.h"

#include "commandtags.h"
#include "datafiles.h"

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

QString SavedText(const SaveOutcome& outcome) {
  const QString suffix = outcome.kind == SaveOutcome::Kind::Edited ? QStringLiteral("Edited...") : QString();
  return QStringLiteral(" Saved...") + suffix + outcome.fileName;
}

}  // namespace browse
