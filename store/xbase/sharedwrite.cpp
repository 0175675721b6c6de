// Writing a shared table: each post or delete as a whole, kept by a write
// scope that puts the files back when it fails; batches and loads; and
// getting the written files onto the disk in an order that keeps them sound.
#include <algorithm>

#include "keysort.h"
#include "shared.h"

namespace xbase {

// Keeps the bytes a post or delete replaces while it runs. Commit makes the
// change durable (outside a batch: the index written out and every file
// written synced); leaving without Commit, by an exception, puts the files
// back as they were before the change.
class SharedTable::WriteScope {
 public:
  explicit WriteScope(SharedTable& t) : t_(t), indexVersion_(t.index.version()) {
    t_.RequireWritable();
    // The modification times matter only to an index that is written out
    // clean after the change; inside a batch it is not.
    for (File* f : t_.Files()) f->BeginUndo(t_.batchDepth == 0);
  }
  ~WriteScope() {
    if (!committed_) t_.RollBack(indexVersion_);
  }
  WriteScope(const WriteScope&) = delete;
  WriteScope& operator=(const WriteScope&) = delete;

  void Commit() {
    if (t_.batchDepth == 0) {
      // The records first, then the index pages (synced by the flush), then
      // the index's clean state: a power cut at any point leaves an index
      // that is current or one the next open rebuilds. The clean state
      // reaches the disk with the index's next sync (the next change, a
      // flush, the close): until then a power cut costs a rebuild, never a
      // record.
      t_.SyncWritten();
      t_.FlushIndex();
    }
    for (File* f : t_.Files()) f->EndUndo();
    committed_ = true;
  }

 private:
  SharedTable& t_;
  uint64_t indexVersion_;
  bool committed_ = false;
};

SharedTable::FileSet SharedTable::Files() {
  FileSet files;
  files.at[files.n++] = &dbf.file();
  if (memo.IsOpen()) files.at[files.n++] = &memo.file();
  if (hasIndex && index.IsOpen()) files.at[files.n++] = &index.file();
  return files;
}

void SharedTable::RollBack(uint64_t indexVersion) noexcept {
  const bool indexChanged = hasIndex && (index.version() != indexVersion || index.file().Touched());
  bool ok = true;
  for (File* f : Files()) ok = f->RollBack() && ok;
  try {
    dbf.Reload();
    if (memo.IsOpen()) memo.Reload();
    if (indexChanged) {
      // The pages in memory hold the failed change: the index is read again
      // (or, when a batch had left it unwritten, rebuilt from the records).
      std::string file = indexPath;
      index.Close();
      hasIndex = false;
      indexDeferred = false;
      loadKeys.reset();
      indexLife.Open(file);
    } else if (hasIndex) {
      index.SetRecordLimit(dbf.count());
    }
  } catch (...) {
    ok = false;
  }
  // A load's gathered keys may name records that are no longer there (a
  // held piece that was lost): the build at its end reads the records.
  if (loading) loadKeys.reset();
  lastRecno = 0;
  ++changes;
  if (!ok) failed_ = true;
}

void SharedTable::SyncWritten() {
  dbf.file().SyncIfWritten();
  if (memo.IsOpen()) memo.file().SyncIfWritten();
  if (hasIndex && index.IsOpen()) index.file().SyncIfWritten();
}

void SharedTable::Flush() {
  if (!dbf.IsOpen() || !dbf.writable()) return;
  if (hasIndex && index.IsOpen() && CanWriteIndex()) FlushIndex();
  SyncWritten();
}

void SharedTable::WriteMemos(std::string& rec, const std::vector<std::pair<int, std::string>>& memos) {
  for (auto& [field, text] : memos) {
    const DbfField& f = dbf.fields()[(size_t)field];
    if (!memo.IsOpen()) throw Error(ErrorCode::NotFound, "table " + path + " has no memo file");
    uint32_t block = memo.Write(text);
    dbf.SetMemoBlock(rec.data(), f, block);
  }
}

void SharedTable::FlushIndex() {
  // A deferred index lacks the load's records: it is never stamped as current.
  if (hasIndex && !indexDeferred) index.Flush(dbf.Stamp());
}

void SharedTable::BeginLoad() {
  if (!exclusive) throw Error(ErrorCode::Usage, "loading records needs the table " + path + " opened exclusively");
  if (batchDepth == 0) {
    loading = true;
    loadStart = dbf.count();
    if (!readOnly && dbf.writable()) dbf.BeginRun();
  }
  ++batchDepth;
}

bool SharedTable::EndBatch() {
  bool rebuilt = false;
  if (batchDepth > 0 && --batchDepth == 0) {
    loading = false;
    try {
      dbf.file().HoldAppends(false);
    } catch (...) {
      // The records held last are lost: the table is what reached the file,
      // the run stays marked, and the next open settles it.
      try {
        dbf.Reload();
      } catch (...) {
      }
      loadKeys.reset();
      throw;
    }
    // The records and their memos reach the disk before the header counts
    // them, and before the index that is built from them.
    SyncWritten();
    dbf.EndRun();
    if (indexDeferred) {
      SyncWritten();
      indexLife.FinishDeferred();
      rebuilt = true;
    }
    SyncWritten();
    FlushIndex();
    SyncWritten();
  }
  return rebuilt;
}

uint32_t SharedTable::Append(std::string& rec, const std::vector<std::pair<int, std::string>>& memos) {
  WriteScope scope(*this);
  WriteMemos(rec, memos);
  // A record never reaches the disk before its memos (in a batch the header
  // counts it only after both are synced).
  if (batchDepth == 0 && memo.IsOpen()) memo.file().SyncIfWritten();
  rec[0] = ' ';
  auto& keys = lastKeys;
  auto& in = lastIn;
  keys.resize(tags.size());
  in.resize(tags.size());
  for (size_t t = 0; t < tags.size(); ++t) {
    in[t] = InTag(tags[t], rec.data());
    keys[t].clear();
    if (in[t]) KeyOf(tags[t], rec.data(), keys[t]);
  }
  lastRecno = 0;
  uint32_t recno = dbf.AppendRecord(rec.data());
  ++changes;
  if (hasIndex) index.SetRecordLimit(recno);
  // A load that has added many records against the table's size leaves the
  // index to a build at its end: one sort instead of an insert per record.
  constexpr uint32_t kDeferAfter = 10000;
  if (loading && hasIndex && !indexDeferred && recno - loadStart > std::max(kDeferAfter, loadStart / 2)) {
    // The index stays readable as it is (without the load's records); its
    // pages are not needed until the build.
    index.BeginChangePublic();
    indexDeferred = true;
    index.ReleaseCache();
    deferredFrom = recno;
    loadKeys = std::make_unique<KeySorter>(tags.size(), indexPath + ".load.sort");
  }
  if (!indexDeferred)
    for (size_t t = 0; t < tags.size(); ++t)
      if (in[t]) index.Insert((int)t, keys[t], recno);
  // Once no index page takes the load's records one by one, they reach the
  // file a large piece at a time: nothing refers to a record before the
  // piece holding it is written, and a lost piece costs only its records.
  if (loading && (!hasIndex || indexDeferred)) dbf.file().HoldAppends(true);
  scope.Commit();
  if (indexDeferred && loadKeys) {
    // The record is stored: its keys wait for the build. Should that fail,
    // the build reads every record instead.
    try {
      for (size_t t = 0; t < tags.size(); ++t)
        if (in[t]) loadKeys->Add(t, keys[t], recno);
    } catch (...) {
      loadKeys.reset();
    }
  }
  lastRecno = recno;
  return recno;
}

void SharedTable::Update(uint32_t recno, std::string& rec, const std::vector<std::pair<int, std::string>>& memos,
                         const std::string* known) {
  RequireWritable();
  loadKeys.reset();  // the keys a load gathered may no longer be the records' keys
  std::string old;
  if (known != nullptr && known->size() == dbf.recordLength()) {
    old = *known;
  } else {
    old.assign(dbf.recordLength(), ' ');
    dbf.ReadRecord(recno, old.data());
  }
  WriteScope scope(*this);
  WriteMemos(rec, memos);
  // The record is written in place: its new memos are on disk first.
  if (memo.IsOpen()) memo.file().SyncIfWritten();
  rec[0] = old[0];
  struct Change {
    bool erase = false, insert = false, newIn = false;
    std::string oldKey, newKey;
  };
  std::vector<Change> ch(tags.size());
  bool anyIndexChange = false;
  for (size_t t = 0; t < tags.size(); ++t) {
    bool oldIn = InTag(tags[t], old.data()), newIn = InTag(tags[t], rec.data());
    ch[t].newIn = newIn;
    if (oldIn) KeyOf(tags[t], old.data(), ch[t].oldKey);
    if (newIn) KeyOf(tags[t], rec.data(), ch[t].newKey);
    ch[t].erase = oldIn && (!newIn || ch[t].oldKey != ch[t].newKey);
    ch[t].insert = newIn && (!oldIn || ch[t].oldKey != ch[t].newKey);
    anyIndexChange = anyIndexChange || ch[t].erase || ch[t].insert;
  }
  // The index is marked as being changed before the record is written, so
  // that an index left behind by a stopped process is never trusted.
  if (anyIndexChange) index.BeginChangePublic();
  lastRecno = 0;
  dbf.WriteRecord(recno, rec.data());
  ++changes;
  for (size_t t = 0; t < tags.size(); ++t) {
    if (ch[t].erase) index.Erase((int)t, ch[t].oldKey, recno);
    if (ch[t].insert) index.Insert((int)t, ch[t].newKey, recno);
  }
  lastKeys.resize(tags.size());
  lastIn.resize(tags.size());
  for (size_t t = 0; t < tags.size(); ++t) {
    lastIn[t] = ch[t].newIn;
    lastKeys[t] = ch[t].newKey;
  }
  scope.Commit();
  lastRecno = recno;
}

void SharedTable::MarkDeleted(uint32_t recno, const std::string* known) {
  RequireWritable();
  loadKeys.reset();  // the keys a load gathered may no longer be the records' keys
  std::string rec;
  if (known != nullptr && known->size() == dbf.recordLength()) {
    rec = *known;
  } else {
    rec.assign(dbf.recordLength(), ' ');
    dbf.ReadRecord(recno, rec.data());
  }
  if (rec[0] == '*') return;
  std::string after = rec;
  after[0] = '*';
  std::vector<std::string> keys(tags.size());
  std::vector<bool> drop(tags.size());
  bool any = false;
  for (size_t t = 0; t < tags.size(); ++t) {
    drop[t] = InTag(tags[t], rec.data()) && !InTag(tags[t], after.data());
    if (drop[t]) {
      KeyOf(tags[t], rec.data(), keys[t]);
      any = true;
    }
  }
  WriteScope scope(*this);
  if (any) index.BeginChangePublic();
  lastRecno = 0;
  dbf.WriteDeletionFlag(recno, '*');
  ++changes;
  for (size_t t = 0; t < tags.size(); ++t)
    if (drop[t]) index.Erase((int)t, keys[t], recno);
  scope.Commit();
}

}  // namespace xbase
