// Opening a shared table: its files found and opened, the OS locks taken,
// what may be written decided once; closing it with everything written
// out; and reading the memos a record names.
#include "shared.h"

#include "keysort.h"

namespace xbase {

namespace {

// A table found replaced (packed) between its open and its lock is opened
// again; this many times at most.
constexpr int kOpenAttempts = 20;

// Whether the file may be opened for writing (opening changes nothing).
bool CanOpenForWriting(const std::string& path) {
  try {
    File f;
    f.Open(path, File::Mode::ReadWrite);
    return true;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace

std::string FindCompanion(const std::string& dbfPath, const std::vector<std::string>& exts) {
  // Anything of the name counts, so that a folder or a pipe in the place of
  // a memo file is refused with a clear message rather than passed over.
  for (auto& e : exts) {
    std::string p = WithExtension(dbfPath, e);
    if (PathExists(p)) return p;
  }
  return WithExtension(dbfPath, exts.front());
}

std::string MemoPathFor(const std::string& dbfPath) { return FindCompanion(dbfPath, kMemoExtensions); }

std::string IndexPathFor(const std::string& dbfPath) { return FindCompanion(dbfPath, kIndexExtensions); }

void SharedTable::IndexLife::RequireFileWritable(const std::string& indexFile) const {
  if (sh_.readOnly) throw Error(ErrorCode::Usage, "table " + sh_.path + " is open for reading only");
  if (FileExists(indexFile) && !CanOpenForWriting(indexFile))
    throw Error(ErrorCode::Io, "index file " + indexFile + " is read-only");
}

void SharedTable::RequireWritable() const {
  if (!dbf.IsOpen()) throw Error(ErrorCode::Usage, "table " + path + " is not open");
  if (!writeBlock_.empty()) throw Error(writeBlockCode_, writeBlock_);
  if (failed_)
    throw Error(ErrorCode::Io, "table " + path +
                                   " could not be put back as it was after a failed write; close it and open it again");
}

SharedTable::SharedTable(Environment& e, std::string p, bool excl, bool ro)
    : env(e), path(std::move(p)), exclusive(excl), readOnly(ro), indexLife(*this) {}

SharedTable::~SharedTable() {
  try {
    Close();
  } catch (...) {
  }
}

void SharedTable::LockOrThrow() {
  File& f = dbf.file();
  if (!f.TryLock(exclusive ? File::Lock::Exclusive : File::Lock::Shared)) {
    dbf.Close();
    if (exclusive)
      throw Error(ErrorCode::Locked, "table " + path + " is in use by another program and cannot be opened exclusively");
    throw Error(ErrorCode::Locked, "table " + path + " is opened exclusively by another program");
  }
  // One writer at a time: an exclusive open keeps everyone out already,
  // and a read-only open changes nothing.
  if (!exclusive && dbf.writable() && !f.TryLock(File::Lock::Writer)) {
    dbf.Close();
    throw Error(ErrorCode::Locked, "table " + path +
                                       " is open for writing in another program; only one program at a time may "
                                       "change it");
  }
}

void SharedTable::Open(const std::vector<FieldDef>& required, bool withIndex,
                       const std::vector<TagInfo>& missingIndexTags) {
  for (int attempt = 1;; ++attempt) {
    CompletePendingPack();
    dbf.Open(path, !readOnly, repairing);
    LockOrThrow();
    // A pack elsewhere may have put a new file at the path between our open
    // and our lock; the old one is no longer the table.
    if (dbf.file().IsFileAt(path)) break;
    dbf.Close();
    if (attempt == kOpenAttempts)
      throw Error(ErrorCode::Locked, "table " + path + " keeps being replaced by another program; try again later");
  }
  fieldDefs = dbf.fieldDefs();
  if (std::string problem = FieldsProblem(path, fieldDefs, required); !problem.empty()) {
    Close();
    throw Error(ErrorCode::Unsupported, problem);
  }
  writeBlock_.clear();
  writeBlockCode_ = ErrorCode::Io;
  if (readOnly) {
    writeBlock_ = "table " + path + " is open for reading only";
    writeBlockCode_ = ErrorCode::Usage;
  } else if (!dbf.writable()) {
    writeBlock_ = "table " + path + " is read-only";
  }
  try {
    if (dbf.hasMemo()) {
      std::string mp = MemoPathFor(path);
      if (!PathExists(mp))
        throw Error(ErrorCode::NotFound, "memo file " + mp + " of table " + path + " is missing");
      memo.Open(mp, dbf.writable());
      if (dbf.writable() && !memo.file().Writable() && writeBlock_.empty())
        writeBlock_ = "table " + path + " cannot be written: its memo file " + mp + " is read-only";
    }
    if (dbf.UnfinishedRun() && writeBlock_.empty()) {
      // A batch that never ended: its whole records are kept, and the memo
      // file's header hands out no block they use.
      dbf.SettleUnfinishedRun([&](const char* rec) { return WholeRecord(rec); });
      if (memo.IsOpen()) memo.SettleFreeBlock();
    }
    indexPath = IndexPathFor(path);
    indexWritable_ = true;
    if (withIndex && PathExists(indexPath)) {
      indexWritable_ = !dbf.writable() || CanOpenForWriting(indexPath);
      if (!indexWritable_ && writeBlock_.empty())
        writeBlock_ = "table " + path + " cannot be written: its index file " + indexPath + " is read-only";
      if (!CanWriteIndex() && !missingIndexTags.empty() && !IndexServesTags(indexPath, missingIndexTags))
        indexLife.BuildPrivate(CheckedTagDefs(missingIndexTags, indexPath), "cannot serve it");
      else
        indexLife.Open(indexPath);
    } else if (withIndex && !missingIndexTags.empty()) {
      indexLife.BuildMissing(CheckedTagDefs(missingIndexTags, indexPath));
    }
  } catch (...) {
    Close();
    throw;
  }
}

void SharedTable::Close() {
  if (dbf.RunOpen() || indexDeferred) {
    batchDepth = 0;
    loading = false;
    try {
      SyncWritten();
      dbf.EndRun();
      if (indexDeferred) {
        SyncWritten();
        indexLife.FinishDeferred();
      }
    } catch (...) {
    }
  }
  if (dbf.IsOpen() && dbf.writable()) {
    try {
      // The index is stamped for the table as it is now, so the next open
      // trusts it without a rebuild.
      if (hasIndex && index.IsOpen() && CanWriteIndex()) FlushIndex();
      SyncWritten();
    } catch (...) {
    }
  }
  index.Close();
  hasIndex = false;
  tags.clear();
  memo.Close();
  if (dbf.IsOpen()) dbf.file().Unlock();
  dbf.Close();
  indexLife.DropPrivateCopy();
}

bool SharedTable::WholeRecord(const char* rec) {
  for (const DbfField& f : dbf.fields()) {
    if (f.def.type != 'M' && f.def.type != 'G' && f.def.type != 'B' && f.def.type != 'P') continue;
    try {
      const uint32_t block = dbf.MemoBlock(rec, f);
      if (block != 0 && (!memo.IsOpen() || !memo.Whole(block))) return false;
    } catch (const Error& e) {
      if (e.code() != ErrorCode::Corrupt) throw;
      return false;
    }
  }
  return true;
}

std::string SharedTable::ReadMemo(const char* rec, int field) {
  const DbfField& f = dbf.fields()[(size_t)field];
  uint32_t block = dbf.MemoBlock(rec, f);
  if (block == 0) return {};
  if (!memo.IsOpen()) throw Error(ErrorCode::NotFound, "table " + path + " has no memo file");
  return memo.Read(block);
}

}  // namespace xbase
