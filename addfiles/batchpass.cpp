#include "batchpass.h"

#include <QDir>

#include "datafiles.h"
#include "filefacts.h"

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

// Runs `one` on each record `t` shows of the list; a record gone from the
// view meanwhile is passed over.
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
    if (!t.GotoBookmark(xbase::Bookmark{records[(size_t)i]})) continue;
    one();
    ++r.done;
  }
  batch.End();
  Report(progress, total, total, true);
  return r;
}

}  // namespace

bool ListTree(const QString& folder, const QString& mask, const std::function<bool(const QString& name)>& found,
              const std::function<void(const QString& folder)>& skipped) {
  QStringList patterns;
  for (QString p : mask.split(u';', Qt::SkipEmptyParts)) {
    p = p.trimmed();
    if (!p.isEmpty()) patterns << (p == u"*.*" ? QStringLiteral("*") : p);
  }
  const QDir root(folder);
  QStringList pending{root.absolutePath()};
  while (!pending.isEmpty()) {
    const QString here = pending.takeFirst();
    QDir dir(here);
    if (!dir.isReadable()) {
      skipped(QDir::toNativeSeparators(here));
      continue;
    }
    const QString prefix = root.relativeFilePath(here);
    for (const QString& name : dir.entryList(patterns, QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
      if (!found(prefix == u"." ? name : prefix + u'/' + name)) return false;
    // The subfolders next, in name order, each read in its turn; a link to
    // a folder is not followed.
    QStringList below;
    for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
      if (!sub.isSymLink()) below << sub.absoluteFilePath();
    pending = below + pending;
  }
  return true;
}

PassResult AddFiles(xbase::Table& t, const QString& catalog, const QString& folder, const QStringList& names,
                    const Progress& progress) {
  PassResult r;
  QString base = QDir::fromNativeSeparators(folder);
  if (!base.endsWith(u'/')) base += u'/';
  const std::string catalogText = Fit(catalog, store::kCatalogWidth);
  Batch batch(t);
  const int64_t total = names.size();
  for (int64_t i = 0; i < total; ++i) {
    if (!Report(progress, i, total)) {
      r.stopped = true;
      break;
    }
    const QString& name = names[(qsizetype)i];
    const QString path = QDir::toNativeSeparators(base + name);
    const browse::FileFacts facts = browse::FactsOf(path);
    if (facts.size < 0) {
      r.skipped.push_back({name, "it is no longer there"});
      continue;
    }
    // A path cut to the field would name another file.
    if (store::ToUtf8(path).size() > (size_t)store::kNameWidth) {
      r.skipped.push_back({name, "its path is longer than " + QString::number(store::kNameWidth) + " bytes"});
      continue;
    }
    t.Append();
    try {
      t.SetFieldByName(store::kFieldCatalog, catalogText);
      // The title takes the file's own name, not the folders below the batch's.
      t.SetFieldByName(store::kFieldTitle, Fit("new record ~~~~ " + name.section(u'/', -1), store::kTitleWidth));
      t.SetFieldByName(store::kFieldName, store::ToUtf8(path));
      t.SetFieldByName(store::kFieldSize, store::ToUtf8(browse::FormatFileSize(facts.size)));
      t.SetFieldByName(store::kFieldDate, store::ToUtf8(browse::FileDateText(facts.dosDate)));
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
  return EachRecord(t, records, progress, [&] {
    t.Edit();
    try {
      t.SetFieldByName(store::kFieldCatalog, catalog);
      t.Post();
    } catch (...) {
      t.Cancel();
      throw;
    }
  });
}

PassResult DeleteRecords(xbase::Table& t, const std::vector<uint32_t>& records, const Progress& progress) {
  return EachRecord(t, records, progress, [&] { t.Delete(); });
}

}  // namespace addfiles
