#include "shared.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

#include "text.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace xbase {

namespace {

constexpr size_t kScanBytes = 1u << 20;

std::string JournalPath(const std::string& dbf) { return dbf + ".pack"; }

void SortEntries(std::vector<std::vector<IndexFile::Entry>>& entries) {
  for (auto& e : entries) {
    std::sort(e.begin(), e.end(), [](const IndexFile::Entry& a, const IndexFile::Entry& b) {
      int c = ComparePadded(a.key, b.key);
      return c != 0 ? c < 0 : a.recno < b.recno;
    });
  }
}

}  // namespace

std::string FindCompanion(const std::string& dbfPath, const std::vector<std::string>& exts) {
  for (auto& e : exts) {
    std::string p = WithExtension(dbfPath, e);
    if (FileExists(p)) return p;
  }
  return WithExtension(dbfPath, exts.front());
}

std::string MemoPathFor(const std::string& dbfPath) {
  return FindCompanion(dbfPath, {".SMT", ".smt", ".fpt", ".FPT"});
}

std::string IndexPathFor(const std::string& dbfPath) { return FindCompanion(dbfPath, {".nsx", ".NSX"}); }

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

void RebuildIndexFile(const std::string& dbfPath, const std::string& indexPath, const std::vector<TagInfo>& tags,
                      Environment& env) {
  if (env.IsOpen(dbfPath))
    throw Error(ErrorCode::Locked, "table " + dbfPath + " is open; its index file " + indexPath +
                                       " can be rebuilt only while the table is closed");
  if (FileExists(indexPath)) {
    IndexFile::Probe probe = IndexFile::Inspect(indexPath);
    if (probe.kind == IndexFile::Kind::Newer) throw Error(ErrorCode::Unsupported, probe.problem);
  }
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
  SharedTable table(env, dbfPath, true);
  table.Open({}, false);
  table.RebuildIndex(indexPath, defs, false);
  table.Close();
}

SharedTable::SharedTable(Environment& e, std::string p, bool excl, bool ro)
    : env(e), path(std::move(p)), exclusive(excl), readOnly(ro) {}

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

}  // namespace

void SharedTable::RequireIndexWritable(const std::string& indexFile) const {
  if (readOnly) throw Error(ErrorCode::Usage, "table " + path + " is open for reading only");
  if (FileExists(indexFile) && !CanOpenForWriting(indexFile))
    throw Error(ErrorCode::Io, "index file " + indexFile + " is read-only");
}

void SharedTable::RequireWritable() const {
  if (!writeBlock_.empty()) throw Error(writeBlockCode_, writeBlock_);
}

SharedTable::~SharedTable() {
  try {
    Close();
  } catch (...) {
  }
}

void SharedTable::LockOrThrow() {
  if (dbf.file().TryLock(exclusive ? File::Lock::Exclusive : File::Lock::Shared)) return;
  dbf.Close();
  if (exclusive)
    throw Error(ErrorCode::Locked, "table " + path + " is in use by another program and cannot be opened exclusively");
  throw Error(ErrorCode::Locked, "table " + path + " is opened exclusively by another program");
}

void SharedTable::RecoverPack() {
  // A pack that stopped after its journal was written is completed; one
  // that stopped before leaves the old files, and its new files are removed.
  std::string journal = JournalPath(path);
  if (FileExists(journal)) {
    std::ifstream in(journal, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      auto tab = line.find('\t');
      if (tab == std::string::npos) continue;
      std::string from = line.substr(0, tab), to = line.substr(tab + 1);
      if (FileExists(from)) RenameFile(from, to);
    }
    in.close();
    SyncFolderOf(path);
    RemoveFile(journal);
  }
  RemoveFile(journal + ".tmp");
  RemoveFile(path + ".pack-dbf");
}

void SharedTable::Open(const std::vector<FieldDef>& required, bool withIndex) {
  if (FileExists(JournalPath(path)) || FileExists(path + ".pack-dbf")) {
    // Only with the table to ourselves.
    File probe;
    probe.Open(path, File::Mode::ReadOnly);
    if (probe.TryLock(File::Lock::Exclusive)) {
      RecoverPack();
      probe.Unlock();
    }
  }
  dbf.Open(path, !readOnly);
  LockOrThrow();
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
      if (!FileExists(mp))
        throw Error(ErrorCode::NotFound, "memo file " + mp + " of table " + path + " is missing");
      memo.Open(mp, dbf.writable());
      if (dbf.writable() && !memo.file().Writable() && writeBlock_.empty())
        writeBlock_ = "table " + path + " cannot be written: its memo file " + mp + " is read-only";
      if (!readOnly) RemoveFile(mp + ".pack-memo");
    }
    indexPath = IndexPathFor(path);
    if (!readOnly) RemoveFile(indexPath + ".pack-idx");
    indexWritable_ = true;
    if (withIndex && FileExists(indexPath)) {
      indexWritable_ = !dbf.writable() || CanOpenForWriting(indexPath);
      if (!indexWritable_ && writeBlock_.empty())
        writeBlock_ = "table " + path + " cannot be written: its index file " + indexPath + " is read-only";
      OpenIndex(indexPath);
    }
  } catch (...) {
    Close();
    throw;
  }
}

void SharedTable::Close() {
  if (dbf.IsOpen() && hasIndex && index.IsOpen() && CanWriteIndex()) {
    try {
      FlushIndex();
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
    RemoveFile(privateIndex_);
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
      exact = CompareIndex(index, rt).empty();
      if (exact) index.Flush(now);
    } catch (const Error&) {
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

bool SharedTable::RebuildDamagedIndex() {
  if (!hasIndex || !index.damaged()) return false;
  std::vector<IndexTagDef> defs;
  for (auto& t : tags) defs.push_back(t.def);
  RebuildStale(indexPath, defs);
  return true;
}

void SharedTable::CollectEntries(std::vector<TagRuntime>& rt,
                                 std::vector<std::vector<IndexFile::Entry>>& entries) {
  entries.assign(rt.size(), {});
  uint32_t n = dbf.count();
  uint32_t recLen = dbf.recordLength();
  for (auto& e : entries) e.reserve(n);
  uint32_t per = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
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
        entries[t].push_back({key, first + i});
      }
    }
  }
  SortEntries(entries);
}

void SharedTable::RebuildIndex(const std::string& file, const std::vector<IndexTagDef>& defs, bool privateCopy) {
  std::vector<TagRuntime> rt;
  for (auto& d : defs) rt.push_back(Compile(d));
  std::vector<IndexTagDef> finalDefs;
  for (auto& t : rt) finalDefs.push_back(t.def);
  std::vector<std::vector<IndexFile::Entry>> entries;
  CollectEntries(rt, entries);
  index.Close();
  hasIndex = false;
  const TableStamp stamp = dbf.Stamp();
  ++env.indexRebuilds_;
  std::string target;
  if (privateCopy) {
#ifdef _WIN32
    target = file + ".private";
#else
    target = file + ".private-" + std::to_string((long)::getpid());
#endif
    IndexFile::Build(target, finalDefs, entries, stamp);
    privateIndex_ = target;
  } else {
    target = file;
    std::string tmp = file + ".rebuild";
    IndexFile::Build(tmp, finalDefs, entries, stamp);
    RenameFile(tmp, file);
    SyncFolderOf(file);
  }
  index.SetCacheBytes(env.IndexCacheBytes());
  if (index.Open(target, true, stamp) != IndexFile::Fit::Current)
    throw Error(ErrorCode::Io, "index file " + target + " could not be read back after it was written");
  index.SetRecordLimit(dbf.count());
  indexPath = file;
  tags = std::move(rt);
  hasIndex = true;
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
  if (hasIndex) index.Flush(dbf.Stamp());
}

void SharedTable::EndBatch() {
  if (batchDepth > 0 && --batchDepth == 0) FlushIndex();
}

uint32_t SharedTable::Append(std::string& rec, const std::vector<std::pair<int, std::string>>& memos) {
  RequireWritable();
  WriteMemos(rec, memos);
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
  for (size_t t = 0; t < tags.size(); ++t)
    if (in[t]) index.Insert((int)t, keys[t], recno);
  lastRecno = recno;
  if (batchDepth == 0) FlushIndex();
  return recno;
}

void SharedTable::Update(uint32_t recno, std::string& rec, const std::vector<std::pair<int, std::string>>& memos) {
  RequireWritable();
  std::string old(dbf.recordLength(), ' ');
  dbf.ReadRecord(recno, old.data());
  WriteMemos(rec, memos);
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
  lastRecno = recno;
  if (batchDepth == 0) FlushIndex();
}

void SharedTable::MarkDeleted(uint32_t recno) {
  RequireWritable();
  std::string rec(dbf.recordLength(), ' ');
  dbf.ReadRecord(recno, rec.data());
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
  if (any) index.BeginChangePublic();
  lastRecno = 0;
  dbf.WriteDeletionFlag(recno, '*');
  ++changes;
  for (size_t t = 0; t < tags.size(); ++t)
    if (drop[t]) index.Erase((int)t, keys[t], recno);
  if (batchDepth == 0) FlushIndex();
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
  if (!hasIndex) return;
  RequireIndexWritable(indexPath);
  std::vector<IndexTagDef> defs;
  for (auto& t : tags) defs.push_back(t.def);
  RebuildIndex(indexPath, defs, false);
}

void SharedTable::Pack() {
  if (!exclusive) throw Error(ErrorCode::Usage, "packing needs the table " + path + " opened exclusively");
  RequireWritable();
  if (hasIndex) FlushIndex();
  const uint32_t recLen = dbf.recordLength();
  const uint32_t n = dbf.count();
  const std::string newDbf = path + ".pack-dbf";
  const std::string memoPath = memo.IsOpen() ? memo.path() : std::string();
  const std::string newMemo = memoPath.empty() ? std::string() : memoPath + ".pack-memo";
  std::vector<int> memoFields;
  for (size_t i = 0; i < dbf.fields().size(); ++i) {
    char t = dbf.fields()[i].def.type;
    if (t == 'M' || t == 'G' || t == 'B' || t == 'P') memoFields.push_back((int)i);
  }

  // 1. The new table, memo file and index, written beside the old ones; the
  // keys are taken while the records are copied.
  std::vector<char> header(dbf.headerLength());
  dbf.file().ReadAt(0, header.data(), header.size());
  File out;
  out.Open(newDbf, File::Mode::Truncate);
  MemoFile newMemoFile;
  if (!newMemo.empty()) {
    MemoFile::Create(newMemo, memo.blockSize());
    newMemoFile.Open(newMemo, true);
    newMemoFile.BeginBulk();
  }
  std::vector<std::vector<IndexFile::Entry>> entries(hasIndex ? tags.size() : 0);
  uint32_t per = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
  std::vector<char> in((size_t)per * recLen);
  std::vector<char> outBuf;
  outBuf.reserve(in.size() + 1);
  uint64_t outAt = header.size();
  uint32_t kept = 0;
  std::string key;
  for (uint32_t first = 1; first <= n; first += per) {
    uint32_t k = std::min(per, n - first + 1);
    dbf.ReadRecords(first, k, in.data());
    outBuf.clear();
    for (uint32_t i = 0; i < k; ++i) {
      char* rec = in.data() + (size_t)i * recLen;
      if (rec[0] == '*') continue;
      for (int f : memoFields) {
        const DbfField& fd = dbf.fields()[(size_t)f];
        uint32_t block = dbf.MemoBlock(rec, fd);
        uint32_t nb = 0;
        if (block != 0) nb = newMemoFile.Write(memo.Read(block));
        dbf.SetMemoBlock(rec, fd, nb);
      }
      outBuf.insert(outBuf.end(), rec, rec + recLen);
      ++kept;
      for (size_t t = 0; t < entries.size(); ++t) {
        if (!InTag(tags[t], rec)) continue;
        key.clear();
        KeyOf(tags[t], rec, key);
        entries[t].push_back({key, kept});
      }
    }
    if (!outBuf.empty()) {
      out.WriteAt(outAt, outBuf.data(), outBuf.size());
      outAt += outBuf.size();
    }
  }
  char eof = 0x1A;
  out.WriteAt(outAt, &eof, 1);
  header[4] = (char)(kept & 0xFF);
  header[5] = (char)((kept >> 8) & 0xFF);
  header[6] = (char)((kept >> 16) & 0xFF);
  header[7] = (char)((kept >> 24) & 0xFF);
  out.WriteAt(0, header.data(), header.size());
  out.Sync();
  const TableStamp newStamp = DbfFile::StampOf(out);
  out.Close();
  if (newMemoFile.IsOpen()) {
    newMemoFile.EndBulk();
    newMemoFile.file().Sync();
    newMemoFile.Close();
  }

  // 2. The new index.
  std::string newIndex;
  if (hasIndex) {
    std::vector<IndexTagDef> defs;
    for (auto& t : tags) defs.push_back(t.def);
    SortEntries(entries);
    newIndex = indexPath + ".pack-idx";
    IndexFile::Build(newIndex, defs, entries, newStamp);
  }

  // 3. Commit: the journal names every replacement; once it exists the pack
  // is completed even if this process stops now.
  std::string journal = JournalPath(path);
  {
    std::ofstream j(journal + ".tmp", std::ios::binary | std::ios::trunc);
    j << newDbf << '\t' << path << '\n';
    if (!newMemo.empty()) j << newMemo << '\t' << memoPath << '\n';
    if (!newIndex.empty()) j << newIndex << '\t' << indexPath << '\n';
    j.flush();
    if (!j) throw Error(ErrorCode::Io, "cannot write the pack journal " + journal);
  }
  {
    File jf;
    jf.Open(journal + ".tmp", File::Mode::ReadWrite);
    jf.Sync();
  }
  RenameFile(journal + ".tmp", journal);
  SyncFolderOf(journal);

  // 4. Swap the files in, then reopen on the new ones.
  std::string idx = indexPath;
  bool had = hasIndex;
  index.Close();
  hasIndex = false;
  memo.Close();
  dbf.file().Unlock();
  dbf.Close();
  RenameFile(newDbf, path);
  if (!newMemo.empty()) RenameFile(newMemo, memoPath);
  if (!newIndex.empty()) RenameFile(newIndex, idx);
  SyncFolderOf(path);
  RemoveFile(journal);
  dbf.Open(path, true);
  LockOrThrow();
  if (!memoPath.empty()) memo.Open(memoPath, true);
  if (had) OpenIndex(idx);
  ++changes;
}

}  // namespace xbase
