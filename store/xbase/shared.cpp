#include "shared.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cctype>
#include <cstring>

#include "keysort.h"
#include "text.h"

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace xbase {

namespace {

constexpr size_t kScanBytes = 1u << 20;

// A table found replaced (packed) between its open and its lock is opened
// again; this many times at most.
constexpr int kOpenAttempts = 20;

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

// ---- one write as a whole ----------------------------------------------------------

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
      OpenIndex(file);
    } else if (hasIndex) {
      index.SetRecordLimit(dbf.count());
    }
  } catch (...) {
    ok = false;
  }
  lastRecno = 0;
  ++changes;
  if (!ok) failed_ = true;
}

IndexFileInfo InspectIndexFile(const std::string& indexPath) {
  IndexFileInfo info;
  if (!FileExists(indexPath)) return info;
  IndexFile::Probe p = IndexFile::Inspect(indexPath);
  switch (p.kind) {
    case IndexFile::Kind::Readable: info.kind = IndexFileInfo::Kind::Readable; break;
    case IndexFile::Kind::NotAnIndex: info.kind = IndexFileInfo::Kind::NotAnIndex; break;
    case IndexFile::Kind::Newer: info.kind = IndexFileInfo::Kind::Newer; break;
    case IndexFile::Kind::Damaged: info.kind = IndexFileInfo::Kind::Damaged; break;
  }
  for (auto& t : p.tags) info.tags.push_back(TagInfo{t.name, t.key, t.condition, t.unique, t.keyWidth});
  info.problem = std::move(p.problem);
  return info;
}

// The tags as the index file stores them: names in upper case, checked.
static std::vector<IndexTagDef> TagDefs(const std::vector<TagInfo>& tags, const std::string& indexPath) {
  if (tags.size() > (size_t)IndexFile::kMaxTags)
    throw Error(ErrorCode::Usage, "too many tags for index file " + indexPath);
  std::vector<IndexTagDef> defs;
  for (const TagInfo& t : tags) {
    IndexTagDef d{t.name, t.key, t.condition, t.unique, 0};
    std::transform(d.name.begin(), d.name.end(), d.name.begin(),
                   [](unsigned char c) { return (char)std::toupper(c); });
    if (d.name.empty() || d.name.size() > 10)
      throw Error(ErrorCode::Usage, "invalid tag name \"" + t.name + "\" for " + indexPath);
    defs.push_back(std::move(d));
  }
  return defs;
}

void RebuildIndexFile(const std::string& dbfPath, const std::string& indexPath, const std::vector<TagInfo>& tags,
                      Environment& env) {
  if (env.IsOpen(dbfPath))
    throw Error(ErrorCode::Locked, "table " + dbfPath + " is open; its index file " + indexPath +
                                       " can be rebuilt only while the table is closed");
  if (FileExists(indexPath)) {
    IndexFile::Probe probe = IndexFile::Inspect(indexPath);
    if (probe.kind == IndexFile::Kind::Newer) throw Error(ErrorCode::Unsupported, probe.problem);
  }
  const std::vector<IndexTagDef> defs = TagDefs(tags, indexPath);
  SharedTable table(env, dbfPath, true);
  table.Open({}, false);
  table.RebuildIndex(indexPath, defs, false);
  table.Close();
}


namespace {

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

// Whether the index file can be opened for `tags`: it reads as an index
// file (or is of a newer format, which the open reports) and holds a tag of
// each name. One that cannot, on a table whose index cannot be written, is
// passed over for a private index built from the records.
bool ServesTags(const std::string& indexPath, const std::vector<TagInfo>& tags) {
  const IndexFile::Probe probe = IndexFile::Inspect(indexPath);
  if (probe.kind == IndexFile::Kind::Newer) return true;
  if (probe.kind != IndexFile::Kind::Readable) return false;
  for (const TagInfo& t : tags)
    if (std::none_of(probe.tags.begin(), probe.tags.end(),
                     [&](const IndexTagDef& d) { return Utf8Upper(d.name) == Utf8Upper(t.name); }))
      return false;
  return true;
}

#ifndef _WIN32
// Private index copies (and their sort files) named for a process that is
// gone, left by a copy of the program that was killed, are removed when a
// new one is made beside them: each can be as large as the index itself.
// `target` is the new copy, "<name>.private-<pid>".
void RemoveOrphanedPrivateCopies(const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path path(target);
  const std::string name = path.filename().string();
  const size_t mark = name.rfind(".private-");
  if (mark == std::string::npos) return;
  const std::string prefix = name.substr(0, mark + std::strlen(".private-"));
  std::error_code ec;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string other = it->path().filename().string();
    if (other.size() <= prefix.size() || other.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t digits = other.find_first_not_of("0123456789", prefix.size());
    const size_t length = (digits == std::string::npos ? other.size() : digits) - prefix.size();
    if (length == 0 || length > 9 || (digits != std::string::npos && other[digits] != '.')) continue;
    const pid_t pid = (pid_t)std::stol(other.substr(prefix.size(), length));
    // Only a process that is certainly gone: a live one, or one of another
    // user (EPERM), keeps its files.
    if (pid <= 0 || pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
    std::error_code removeError;
    fs::remove(it->path(), removeError);
  }
}
#endif

}  // namespace

void SharedTable::RequireIndexWritable(const std::string& indexFile) const {
  if (readOnly) throw Error(ErrorCode::Usage, "table " + path + " is open for reading only");
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

// ---- opening ------------------------------------------------------------------------

SharedTable::SharedTable(Environment& e, std::string p, bool excl, bool ro)
    : env(e), path(std::move(p)), exclusive(excl), readOnly(ro) {}

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
      if (!CanWriteIndex() && !missingIndexTags.empty() && !ServesTags(indexPath, missingIndexTags))
        BuildPrivateIndex(TagDefs(missingIndexTags, indexPath), "cannot serve it");
      else
        OpenIndex(indexPath);
    } else if (withIndex && !missingIndexTags.empty()) {
      BuildMissingIndex(TagDefs(missingIndexTags, indexPath));
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
        FinishDeferredIndex();
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
  if (!privateIndex_.empty()) {
    TryRemoveFile(privateIndex_);
    privateIndex_.clear();
  }
}

TagRuntime SharedTable::Compile(const IndexTagDef& def) const {
  TagRuntime t;
  t.def = def;
  t.key = Expr::Parse(def.key, dbf);
  if (t.key->type() != Expr::Type::String)
    throw Error(ErrorCode::Expression, ExpressionError(def.key, dbf, "a key must be text"));
  if (t.key->usesMemo())
    throw Error(ErrorCode::Expression, ExpressionError(def.key, dbf, "a memo field cannot be part of a key"));
  if (t.key->width() <= 0 || t.key->width() > IndexFile::kMaxKeyWidth)
    throw Error(ErrorCode::Expression,
                ExpressionError(def.key, dbf,
                                "the key is " + std::to_string(t.key->width()) + " bytes wide (at most " +
                                    std::to_string(IndexFile::kMaxKeyWidth) + ")"));
  t.def.keyWidth = t.key->width();
  if (!def.condition.empty()) {
    t.cond = Expr::Parse(def.condition, dbf);
    if (t.cond->type() != Expr::Type::Bool)
      throw Error(ErrorCode::Expression, ExpressionError(def.condition, dbf, "a condition must be logical"));
    t.excludesDeleted = t.cond->ExcludesDeleted();
  }
  t.leadingField = t.key->LeadingField();
  return t;
}

void SharedTable::OpenIndex(const std::string& file) {
  indexPath = file;
  index.SetCacheBytes(env.IndexCacheBytes());
  const TableStamp now = dbf.Stamp();
  IndexFile::Fit fit = index.Open(file, CanWriteIndex(), now);
  // Entries may name a complete record the header does not count yet.
  if (index.IsOpen()) index.SetRecordLimit(dbf.count());
  std::vector<IndexTagDef> defs = fit != IndexFile::Fit::Stale ? index.tags() : IndexFile::ReadDirectory(file);
  std::vector<TagRuntime> rt;
  try {
    for (auto& d : defs) rt.push_back(Compile(d));
  } catch (const Error& e) {
    index.Close();
    throw Error(ErrorCode::Unsupported, "index file " + file + " does not belong to table " + path + ": " + e.what());
  }
  if (fit == IndexFile::Fit::TimeDiffers) {
    // The same content by every figure the table keeps, only another time:
    // a copy of the files, or another tool's edit in place. One pass tells
    // which; an exact index is only stamped anew.
    ++env.indexVerifications_;
    bool exact = false;
    try {
      const WalkCache walk(*this);
      exact = CompareIndex(index, rt).empty();
      if (exact) index.Flush(now);
    } catch (const Error& e) {
      if (e.code() != ErrorCode::Corrupt) throw;  // a read error is no reason to rebuild
      exact = false;
    }
    if (!exact) fit = IndexFile::Fit::Stale;
  }
  if (fit == IndexFile::Fit::Stale) {
    index.Close();
    RebuildStale(file, defs);
    return;
  }
  tags = std::move(rt);
  hasIndex = true;
}

void SharedTable::RebuildStale(const std::string& file, const std::vector<IndexTagDef>& defs) {
  // With the table to ourselves the file is replaced; while another program
  // uses it, a private copy serves this program until it closes the table.
  bool mine = exclusive && CanWriteIndex();
  if (!mine && CanWriteIndex()) {
    if (dbf.file().TryLock(File::Lock::Exclusive)) {
      mine = true;
    } else if (!dbf.file().TryLock(File::Lock::Shared)) {
      throw Error(ErrorCode::Locked, "table " + path + " is opened exclusively by another program");
    }
  }
  RebuildIndex(file, defs, !mine);
  if (mine && !exclusive) dbf.file().TryLock(File::Lock::Shared);
}

void SharedTable::BuildMissingIndex(const std::vector<IndexTagDef>& defs) {
  // Where the table may be written the index file is made in its place;
  // where that fails (a read-only folder) a private copy serves reading.
  if (!readOnly && dbf.writable()) {
    try {
      RebuildIndex(indexPath, defs, false);
      return;
    } catch (const Error&) {
    }
  }
  BuildPrivateIndex(defs, "is missing and cannot be created");
}

void SharedTable::BuildPrivateIndex(const std::vector<IndexTagDef>& defs, const std::string& why) {
  // The table refuses writes: they would leave its own index file behind.
  indexWritable_ = false;
  if (writeBlock_.empty()) writeBlock_ = "table " + path + " cannot be written: its index file " + indexPath + " " + why;
  RebuildIndex(indexPath, defs, true);
}

bool SharedTable::RebuildDamagedIndex() {
  if (!hasIndex || !index.damaged()) return false;
  std::vector<IndexTagDef> defs;
  for (auto& t : tags) defs.push_back(t.def);
  RebuildStale(indexPath, defs);
  return true;
}

void SharedTable::ForEachKey(const std::vector<TagRuntime>& rt,
                             const std::function<void(size_t tag, uint32_t recno, const std::string& key)>& f,
                             uint32_t before) {
  const uint32_t n = std::min(dbf.count(), before == 0 ? 0u : before - 1);
  const uint32_t recLen = dbf.recordLength();
  const uint32_t per = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
  std::vector<char> buf((size_t)per * recLen);
  std::string key;
  for (uint32_t first = 1; first <= n; first += per) {
    uint32_t k = std::min(per, n - first + 1);
    dbf.ReadRecords(first, k, buf.data());
    for (uint32_t i = 0; i < k; ++i) {
      const char* rec = buf.data() + (size_t)i * recLen;
      for (size_t t = 0; t < rt.size(); ++t) {
        if (!InTag(rt[t], rec)) continue;
        key.clear();
        KeyOf(rt[t], rec, key);
        f(t, first + i, key);
      }
    }
    if (env.Progress()) env.Progress()((double)(first + k - 1) / n);
  }
}

void SharedTable::RebuildIndex(const std::string& file, const std::vector<IndexTagDef>& defs, bool privateCopy,
                               std::unique_ptr<KeySorter> fed, uint32_t fedFrom) {
  std::vector<TagRuntime> rt;
  for (auto& d : defs) rt.push_back(Compile(d));
  std::vector<IndexTagDef> finalDefs;
  for (auto& t : rt) finalDefs.push_back(t.def);
  // The new file is complete and on disk before it takes the old one's
  // place; until then a failure leaves the old index as it was, and open.
  std::string target, written;
  if (privateCopy) {
#ifdef _WIN32
    target = file + ".private";
#else
    target = file + ".private-" + std::to_string((long)::getpid());
#endif
    // A table that cannot be written (a read-only medium or share) keeps
    // its private index in the system's temporary folder instead.
    if (!CanWriteIndex()) {
      std::error_code ec;
      const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
      if (!ec)
        target = (temp / ("vantrell-" + std::filesystem::path(target).filename().string())).string();
    }
    written = target;
#ifndef _WIN32
    RemoveOrphanedPrivateCopies(target);
#endif
  } else {
    target = file;
    written = file + ".rebuild";
  }
  const TableStamp stamp = dbf.Stamp();
  ++env.indexRebuilds_;
  if (index.IsOpen()) index.ReleaseCache();
  try {
    const uint32_t before = fed ? fedFrom : UINT32_MAX;
    std::unique_ptr<KeySorter> entries =
        fed ? std::move(fed) : std::make_unique<KeySorter>(rt.size(), written + ".sort");
    ForEachKey(
        rt, [&](size_t t, uint32_t recno, const std::string& key) { entries->Add(t, key, recno); }, before);
    IndexFile::Build(written, finalDefs, *entries, stamp);
    if (!privateCopy) {
      RenameFile(written, file);
      SyncFolderOf(file);
    }
  } catch (...) {
    TryRemoveFile(written);
    throw;
  }
  if (privateCopy) {
    if (!privateIndex_.empty() && privateIndex_ != target) TryRemoveFile(privateIndex_);
    privateIndex_ = target;
  }
  index.Close();
  hasIndex = false;
  index.SetCacheBytes(env.IndexCacheBytes());
  if (index.Open(target, true, stamp) != IndexFile::Fit::Current)
    throw Error(ErrorCode::Io, "index file " + target + " could not be read back after it was written");
  index.SetRecordLimit(dbf.count());
  indexPath = file;
  tags = std::move(rt);
  hasIndex = true;
  if (!privateCopy) SyncFolderOf(file);
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

void SharedTable::KeyOf(const TagRuntime& t, const char* rec, std::string& out) {
  EvalContext ctx;
  ctx.record = rec;
  size_t start = out.size();
  t.key->EvalString(ctx, out);
  size_t len = out.size() - start;
  if (len > (size_t)IndexFile::kMaxKeyWidth) len = IndexFile::kMaxKeyWidth;
  out.resize(start + TrimmedLength(out.data() + start, len));
}

bool SharedTable::InTag(const TagRuntime& t, const char* rec) {
  if (!t.cond) return true;
  EvalContext ctx;
  ctx.record = rec;
  if (t.cond->usesMemo()) ctx.memo = [&](int f) { return ReadMemo(rec, f); };
  return t.cond->EvalBool(ctx);
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
    // The records and their memos reach the disk before the header counts
    // them, and before the index that is built from them.
    SyncWritten();
    dbf.EndRun();
    if (indexDeferred) {
      SyncWritten();
      FinishDeferredIndex();
      rebuilt = true;
    }
    SyncWritten();
    FlushIndex();
    SyncWritten();
  }
  return rebuilt;
}

void SharedTable::FinishDeferredIndex() {
  indexDeferred = false;
  std::vector<IndexTagDef> defs;
  for (auto& t : tags) defs.push_back(t.def);
  try {
    RebuildIndex(indexPath, defs, false, std::move(loadKeys), deferredFrom);
  } catch (...) {
    // Its file is still marked as being changed: closed unwritten, it is
    // rebuilt at the next open instead of trusted.
    index.Close();
    hasIndex = false;
    throw;
  }
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

int SharedTable::AddTag(const std::string& indexFile, const IndexTagDef& def) {
  if (!exclusive) throw Error(ErrorCode::Usage, "creating a tag needs the table " + path + " opened exclusively");
  RequireIndexWritable(indexFile);
  IndexTagDef d = def;
  std::transform(d.name.begin(), d.name.end(), d.name.begin(), [](unsigned char c) { return (char)std::toupper(c); });
  if (d.name.empty() || d.name.size() > 10)
    throw Error(ErrorCode::Usage, "invalid tag name \"" + def.name + "\" for " + indexFile);
  Compile(d);  // reject a bad expression before touching any file
  std::vector<IndexTagDef> defs;
  if (hasIndex && indexFile == indexPath) {
    for (auto& t : tags) defs.push_back(t.def);
  } else if (FileExists(indexFile)) {
    // A file whose tag list is unreadable, or that is no index file, is
    // replaced; one of a newer format is not.
    IndexFile::Probe probe = IndexFile::Inspect(indexFile);
    if (probe.kind == IndexFile::Kind::Newer) throw Error(ErrorCode::Unsupported, probe.problem);
    if (probe.kind == IndexFile::Kind::Readable) defs = std::move(probe.tags);
  }
  auto same = std::find_if(defs.begin(), defs.end(), [&](const IndexTagDef& x) { return x.name == d.name; });
  int number;
  if (same != defs.end()) {
    *same = d;
    number = (int)(same - defs.begin()) + 1;
  } else {
    if (defs.size() >= (size_t)IndexFile::kMaxTags)
      throw Error(ErrorCode::Usage, "index file " + indexFile + " holds the most tags it can");
    defs.push_back(d);
    number = (int)defs.size();
  }
  RequireWritable();
  if (hasIndex) FlushIndex();
  RebuildIndex(indexFile, defs, false);
  return number;
}

void SharedTable::OpenIndexFile(const std::string& indexFile) {
  if (hasIndex && CanonicalPath(indexFile) == CanonicalPath(indexPath)) return;
  if (!FileExists(indexFile)) throw Error(ErrorCode::NotFound, "index file " + indexFile + " does not exist");
  if (hasIndex) FlushIndex();
  index.Close();
  hasIndex = false;
  OpenIndex(indexFile);
}

void SharedTable::Reindex() {
  if (!exclusive) throw Error(ErrorCode::Usage, "reindexing needs the table " + path + " opened exclusively");
  RequireWritable();
  // A record an append left uncounted (a stopped import) is counted now,
  // before the index is built for the table as it is.
  if (dbf.headerBehind()) {
    dbf.WriteCountAndDate();
    dbf.file().Sync();
  }
  if (!hasIndex) return;
  RequireIndexWritable(indexPath);
  std::vector<IndexTagDef> defs;
  for (auto& t : tags) defs.push_back(t.def);
  RebuildIndex(indexPath, defs, false);
}

}  // namespace xbase
