#include "batchpass.h"

#include <QDir>

#include "datafiles.h"
#include "filefacts.h"
#include "folderlisting.h"

namespace addfiles {

namespace {

constexpr int64_t kProgressEvery = 128;  // records between two reports

// Ends the table's batch on every way out, so that what was done is on disk.
struct Batch {
  explicit Batch(xbase::Table& t) : t(t) { t.BeginBatch(); }
  ~Batch() {
    try {
      t.EndBatch();
    } catch (...) {
    }
  }
  void End() { t.EndBatch(); }
  xbase::Table& t;
};

bool Report(const Progress& progress, int64_t done, int64_t total, bool force = false) {
  if (!progress || (!force && done % kProgressEvery != 0)) return true;
  return progress(done, total);
}

// Text cut to a field's width without splitting a character.
std::string Fit(const QString& text, int width) {
  return std::string(xbase::CutToWidth(store::ToUtf8(text), (size_t)width));
}

// Runs `one` on each record of the list by number; `one` says whether the
// record was still in the view (one gone meanwhile is passed over).
template <class One>
PassResult EachRecord(xbase::Table& t, const std::vector<uint32_t>& records, const Progress& progress, One one) {
  PassResult r;
  Batch batch(t);
  const int64_t total = (int64_t)records.size();
  for (int64_t i = 0; i < total; ++i) {
    if (!Report(progress, i, total)) {
      r.stopped = true;
      break;
    }
    if (one(records[(size_t)i])) ++r.done;
  }
  batch.End();
  Report(progress, total, total, true);
  return r;
}

}  // namespace

bool ListTree(const QString& folder, const QString& mask, bool otherFileSystems,
              const std::function<bool(const QString& name)>& found,
              const std::function<void(const QString& folder, const QString& why)>& skipped) {
  const listing::NameMasks masks(mask);
  const listing::TreeBounds bounds(otherFileSystems);
  QString root = QDir(folder).absolutePath();
  if (!root.endsWith(u'/')) root += u'/';
  const auto shown = [](const QString& path) { return QDir::toNativeSeparators(QDir::cleanPath(path)); };
  if (bounds.IsSystemFolder(root)) {
    skipped(shown(root), QStringLiteral("system file system"));
    return true;
  }
  // Folders still to read, with their paths relative to the root; each
  // folder's files first, then its subfolders in name order, depth first.
  std::vector<QString> pending{QString()};
  while (!pending.empty()) {
    const QString here = pending.back();
    pending.pop_back();
    const QString path = here.isEmpty() ? root : root + here;
    const listing::FolderEntries entries = listing::ReadFolderEntries(path, masks, true, &bounds);
    if (!entries.readable) {
      skipped(shown(path), QStringLiteral("cannot be read"));
      continue;
    }
    const QString prefix = here.isEmpty() ? QString() : here + u'/';
    for (const QString& name : entries.systemFolders) skipped(shown(root + prefix + name), QStringLiteral("system file system"));
    for (const QString& name : entries.otherFileSystems)
      skipped(shown(root + prefix + name), QStringLiteral("another file system"));
    for (const QString& name : entries.files)
      if (!found(prefix + name)) return false;
    for (auto sub = entries.folders.crbegin(); sub != entries.folders.crend(); ++sub) pending.push_back(prefix + *sub);
  }
  return true;
}

PassResult AddFiles(xbase::Table& t, const QString& catalog, const QString& folder, const QStringList& names,
                    const Progress& progress) {
  PassResult r;
  QString base = QDir::toNativeSeparators(folder);
  if (!base.endsWith(QDir::separator())) base += QDir::separator();
  const std::string baseText = store::ToUtf8(base);
  const std::string catalogText = Fit(catalog, store::kCatalogWidth);
  const browse::FolderFacts files(base);
  const QLocale locale;
  // Files side by side often share a size or a time: the last texts made
  // are kept.
  int64_t lastSize = -1, lastDate = -1;
  std::string sizeText, dateText;
  const int catalogField = t.FieldIndex(store::kFieldCatalog), titleField = t.FieldIndex(store::kFieldTitle),
            nameField = t.FieldIndex(store::kFieldName), sizeField = t.FieldIndex(store::kFieldSize),
            dateField = t.FieldIndex(store::kFieldDate);
  Batch batch(t);
  const int64_t total = names.size();
  std::string path, title;
  for (int64_t i = 0; i < total; ++i) {
    if (!Report(progress, i, total)) {
      r.stopped = true;
      break;
    }
    const QString& name = names[(qsizetype)i];
#ifdef Q_OS_WIN
    const QString relative = QDir::toNativeSeparators(name);
#else
    const QString& relative = name;
#endif
    const browse::FileFacts facts = files.Of(relative);
    if (facts.size < 0) {
      // A name the system gives in another encoding than UTF-8 cannot be
      // stored, and is not found again under its decoded text.
      r.skipped.push_back({name, name.contains(QChar::ReplacementCharacter)
                                     ? QStringLiteral("its name is not UTF-8 text and cannot be stored")
                                     : QStringLiteral("it is no longer there")});
      continue;
    }
    const QByteArray nameText = relative.toUtf8();
    // A path cut to the field would name another file.
    path.assign(baseText).append(nameText.constData(), (size_t)nameText.size());
    if (path.size() > (size_t)store::kNameWidth) {
      r.skipped.push_back({name, "its path is longer than " + QString::number(store::kNameWidth) + " bytes"});
      continue;
    }
    if (facts.size != lastSize) {
      lastSize = facts.size;
      sizeText = store::ToUtf8(browse::FormatFileSize(facts.size, locale));
    }
    if (facts.dosDate != lastDate) {
      lastDate = facts.dosDate;
      dateText = store::ToUtf8(browse::FileDateText(facts.dosDate, locale));
    }
    // The title takes the file's own name, not the folders below the batch's.
    const qsizetype cut = nameText.lastIndexOf(QDir::separator().toLatin1());
    title.assign("new record ~~~~ ").append(nameText.constData() + cut + 1, (size_t)(nameText.size() - cut - 1));
    if (title.size() > (size_t)store::kTitleWidth) {
      title.resize(xbase::CutToWidth(title, (size_t)store::kTitleWidth).size());
      r.shortened << name;
    }
    t.Append();
    try {
      t.SetField(catalogField, catalogText);
      t.SetField(titleField, title);
      t.SetField(nameField, path);
      t.SetField(sizeField, sizeText);
      t.SetField(dateField, dateText);
      t.Post();
    } catch (...) {
      t.Cancel();
      throw;
    }
    ++r.done;
    r.lastAdded = t.RecNo();
  }
  batch.End();
  Report(progress, total, total, true);
  return r;
}

PassResult MoveRecords(xbase::Table& t, const std::vector<uint32_t>& records, const QString& target,
                       const Progress& progress) {
  const std::string catalog = Fit(target, store::kCatalogWidth);
  const int field = t.FieldIndex(store::kFieldCatalog);
  return EachRecord(t, records, progress, [&](uint32_t recno) { return t.SetFieldOf(recno, field, catalog); });
}

PassResult DeleteRecords(xbase::Table& t, const std::vector<uint32_t>& records, const Progress& progress) {
  return EachRecord(t, records, progress, [&](uint32_t recno) { return t.DeleteRecordOf(recno); });
}

}  // namespace addfiles
