// The life of a shared table's index: inspected, opened and checked
// against the records, rebuilt when stale or damaged (in place, or as a
// private copy while another program uses the table), given new tags, and
// built anew after a load.
#include "shared.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <cctype>
#include <cstring>

#include "keysort.h"
#include "text.h"

#include "paths.h"

namespace xbase {

namespace {

constexpr size_t kScanBytes = 1u << 20;

// Private index copies (and their sort files) named for a process that is
// gone, left by a copy of the program that was killed, are removed when a
// new one is made beside them: each can be as large as the index itself.
// `target` is the new copy, "<name>.private-<pid>".
void RemoveOrphanedPrivateCopies(const std::string& target) {
  namespace fs = std::filesystem;
  const fs::path path = fs::u8path(target);
  const std::u8string name8 = path.filename().u8string();
  const std::string name(name8.begin(), name8.end());
  const size_t mark = name.rfind(".private-");
  if (mark == std::string::npos) return;
  const std::string prefix = name.substr(0, mark + std::strlen(".private-"));
  std::error_code ec;
  for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::u8string other8 = it->path().filename().u8string();
    const std::string other(other8.begin(), other8.end());
    if (other.size() <= prefix.size() || other.compare(0, prefix.size(), prefix) != 0) continue;
    const size_t digits = other.find_first_not_of("0123456789", prefix.size());
    const size_t length = (digits == std::string::npos ? other.size() : digits) - prefix.size();
    if (length == 0 || length > 9 || (digits != std::string::npos && other[digits] != '.')) continue;
    const unsigned long pid = std::stoul(other.substr(prefix.size(), length));
    // Only a process that is certainly gone: a live one, or one that cannot
    // be asked (another user's), keeps its files.
    if (pid == 0 || pid == CurrentProcessNumber() || !ProcessHasEnded(pid)) continue;
    std::error_code removeError;
    fs::remove(it->path(), removeError);
  }
}

}  // namespace

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

std::vector<IndexTagDef> CheckedTagDefs(const std::vector<TagInfo>& tags, const std::string& indexPath) {
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
  const std::vector<IndexTagDef> defs = CheckedTagDefs(tags, indexPath);
  SharedTable table(env, dbfPath, true);
  table.Open({}, false);
  table.indexLife.Rebuild(indexPath, defs, false);
  table.Close();
}

bool IndexServesTags(const std::string& indexPath, const std::vector<TagInfo>& tags) {
  const IndexFile::Probe probe = IndexFile::Inspect(indexPath);
  if (probe.kind == IndexFile::Kind::Newer) return true;
  if (probe.kind != IndexFile::Kind::Readable) return false;
  for (const TagInfo& t : tags)
    if (std::none_of(probe.tags.begin(), probe.tags.end(),
                     [&](const IndexTagDef& d) { return Utf8Upper(d.name) == Utf8Upper(t.name); }))
      return false;
  return true;
}

TagRuntime SharedTable::IndexLife::Compile(const IndexTagDef& def) const {
  TagRuntime t;
  t.def = def;
  t.key = Expr::Parse(def.key, sh_.dbf);
  if (t.key->type() != Expr::Type::String)
    throw Error(ErrorCode::Expression, ExpressionError(def.key, sh_.dbf, "a key must be text"));
  if (t.key->usesMemo())
    throw Error(ErrorCode::Expression, ExpressionError(def.key, sh_.dbf, "a memo field cannot be part of a key"));
  if (t.key->width() <= 0 || t.key->width() > IndexFile::kMaxKeyWidth)
    throw Error(ErrorCode::Expression,
                ExpressionError(def.key, sh_.dbf,
                                "the key is " + std::to_string(t.key->width()) + " bytes wide (at most " +
                                    std::to_string(IndexFile::kMaxKeyWidth) + ")"));
  t.def.keyWidth = t.key->width();
  if (!def.condition.empty()) {
    t.cond = Expr::Parse(def.condition, sh_.dbf);
    if (t.cond->type() != Expr::Type::Bool)
      throw Error(ErrorCode::Expression, ExpressionError(def.condition, sh_.dbf, "a condition must be logical"));
    t.excludesDeleted = t.cond->ExcludesDeleted();
  }
  t.leadingField = t.key->LeadingField();
  return t;
}

void SharedTable::IndexLife::Open(const std::string& file) {
  sh_.indexPath = file;
  sh_.index.SetCacheBytes(sh_.env.IndexCacheBytes());
  const TableStamp now = sh_.dbf.Stamp();
  IndexFile::Fit fit = sh_.index.Open(file, sh_.CanWriteIndex(), now);
  // Entries may name a complete record the header does not count yet.
  if (sh_.index.IsOpen()) sh_.index.SetRecordLimit(sh_.dbf.count());
  std::vector<IndexTagDef> defs = fit != IndexFile::Fit::Stale ? sh_.index.tags() : IndexFile::ReadDirectory(file);
  std::vector<TagRuntime> rt;
  try {
    for (auto& d : defs) rt.push_back(Compile(d));
  } catch (const Error& e) {
    sh_.index.Close();
    throw Error(ErrorCode::Unsupported,
                "index file " + file + " does not belong to table " + sh_.path + ": " + e.what());
  }
  if (fit == IndexFile::Fit::TimeDiffers) {
    // The same content by every figure the table keeps, only another time:
    // a copy of the files, or another tool's edit in place. One pass tells
    // which; an exact index is only stamped anew.
    ++sh_.env.indexVerifications_;
    bool exact = false;
    try {
      const WalkCache walk(sh_);
      exact = Compare(sh_.index, rt).empty();
      if (exact) sh_.index.Flush(now);
    } catch (const Error& e) {
      if (e.code() != ErrorCode::Corrupt) throw;  // a read error is no reason to rebuild
      exact = false;
    }
    if (!exact) fit = IndexFile::Fit::Stale;
  }
  if (fit == IndexFile::Fit::Stale) {
    sh_.index.Close();
    RebuildStale(file, defs);
    return;
  }
  sh_.tags = std::move(rt);
  sh_.hasIndex = true;
}

void SharedTable::IndexLife::RebuildStale(const std::string& file, const std::vector<IndexTagDef>& defs) {
  // With the table to ourselves the file is replaced; while another program
  // uses it, a private copy serves this program until it closes the table.
  bool mine = sh_.exclusive && sh_.CanWriteIndex();
  if (!mine && sh_.CanWriteIndex()) {
    if (sh_.dbf.file().TryLock(File::Lock::Exclusive)) {
      mine = true;
    } else if (!sh_.dbf.file().TryLock(File::Lock::Shared)) {
      throw Error(ErrorCode::Locked, "table " + sh_.path + " is opened exclusively by another program");
    }
  }
  Rebuild(file, defs, !mine);
  if (mine && !sh_.exclusive) sh_.dbf.file().TryLock(File::Lock::Shared);
}

void SharedTable::IndexLife::BuildMissing(const std::vector<IndexTagDef>& defs) {
  // Where the table may be written the index file is made in its place;
  // where that fails (a read-only folder) a private copy serves reading.
  if (!sh_.readOnly && sh_.dbf.writable()) {
    try {
      Rebuild(sh_.indexPath, defs, false);
      return;
    } catch (const Error&) {
    }
  }
  BuildPrivate(defs, "is missing and cannot be created");
}

void SharedTable::IndexLife::BuildPrivate(const std::vector<IndexTagDef>& defs, const std::string& why) {
  // The table refuses writes: they would leave its own index file behind.
  sh_.indexWritable_ = false;
  if (sh_.writeBlock_.empty())
    sh_.writeBlock_ = "table " + sh_.path + " cannot be written: its index file " + sh_.indexPath + " " + why;
  Rebuild(sh_.indexPath, defs, true);
}

bool SharedTable::IndexLife::RebuildDamaged() {
  if (!sh_.hasIndex || !sh_.index.damaged()) return false;
  std::vector<IndexTagDef> defs;
  for (auto& t : sh_.tags) defs.push_back(t.def);
  RebuildStale(sh_.indexPath, defs);
  return true;
}

void SharedTable::IndexLife::ForEachKey(
    const std::vector<TagRuntime>& rt,
    const std::function<void(size_t tag, uint32_t recno, const std::string& key)>& f, uint32_t before) {
  const uint32_t n = std::min(sh_.dbf.count(), before == 0 ? 0u : before - 1);
  const uint32_t recLen = sh_.dbf.recordLength();
  const uint32_t per = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
  std::vector<char> buf((size_t)per * recLen);
  std::string key;
  for (uint32_t first = 1; first <= n; first += per) {
    uint32_t k = std::min(per, n - first + 1);
    sh_.dbf.ReadRecords(first, k, buf.data());
    for (uint32_t i = 0; i < k; ++i) {
      const char* rec = buf.data() + (size_t)i * recLen;
      for (size_t t = 0; t < rt.size(); ++t) {
        if (!sh_.InTag(rt[t], rec)) continue;
        key.clear();
        sh_.KeyOf(rt[t], rec, key);
        f(t, first + i, key);
      }
    }
    if (sh_.env.Progress()) sh_.env.Progress()((double)(first + k - 1) / n);
  }
}

void SharedTable::IndexLife::Rebuild(const std::string& file, const std::vector<IndexTagDef>& defs,
                                     bool privateCopy, std::unique_ptr<KeySorter> fed, uint32_t fedFrom) {
  std::vector<TagRuntime> rt;
  for (auto& d : defs) rt.push_back(Compile(d));
  std::vector<IndexTagDef> finalDefs;
  for (auto& t : rt) finalDefs.push_back(t.def);
  // The new file is complete and on disk before it takes the old one's
  // place; until then a failure leaves the old index as it was, and open.
  std::string target, written;
  if (privateCopy) {
    target = file + ".private-" + std::to_string(CurrentProcessNumber());
    // A table that cannot be written (a read-only medium or share) keeps
    // its private index in the system's temporary folder instead.
    if (!sh_.CanWriteIndex()) {
      std::error_code ec;
      const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
      if (!ec) {
        const std::u8string t = (temp / (u8"vantrell-" + std::filesystem::u8path(target).filename().u8string())).u8string();
        target.assign(t.begin(), t.end());
      }
    }
    written = target;
    RemoveOrphanedPrivateCopies(target);
  } else {
    target = file;
    written = file + ".rebuild";
  }
  const TableStamp stamp = sh_.dbf.Stamp();
  ++sh_.env.indexRebuilds_;
  if (sh_.index.IsOpen()) sh_.index.ReleaseCache();
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
  sh_.index.Close();
  sh_.hasIndex = false;
  sh_.index.SetCacheBytes(sh_.env.IndexCacheBytes());
  if (sh_.index.Open(target, true, stamp) != IndexFile::Fit::Current)
    throw Error(ErrorCode::Io, "index file " + target + " could not be read back after it was written");
  sh_.index.SetRecordLimit(sh_.dbf.count());
  sh_.indexPath = file;
  sh_.tags = std::move(rt);
  sh_.hasIndex = true;
  if (!privateCopy) SyncFolderOf(file);
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

void SharedTable::IndexLife::DropPrivateCopy() {
  if (privateIndex_.empty()) return;
  TryRemoveFile(privateIndex_);
  privateIndex_.clear();
}

void SharedTable::IndexLife::FinishDeferred() {
  sh_.indexDeferred = false;
  std::vector<IndexTagDef> defs;
  for (auto& t : sh_.tags) defs.push_back(t.def);
  try {
    Rebuild(sh_.indexPath, defs, false, std::move(sh_.loadKeys), sh_.deferredFrom);
  } catch (...) {
    // Its file is still marked as being changed: closed unwritten, it is
    // rebuilt at the next open instead of trusted.
    sh_.index.Close();
    sh_.hasIndex = false;
    throw;
  }
}

int SharedTable::IndexLife::AddTag(const std::string& indexFile, const IndexTagDef& def) {
  if (!sh_.exclusive)
    throw Error(ErrorCode::Usage, "creating a tag needs the table " + sh_.path + " opened exclusively");
  RequireFileWritable(indexFile);
  IndexTagDef d = def;
  std::transform(d.name.begin(), d.name.end(), d.name.begin(), [](unsigned char c) { return (char)std::toupper(c); });
  if (d.name.empty() || d.name.size() > 10)
    throw Error(ErrorCode::Usage, "invalid tag name \"" + def.name + "\" for " + indexFile);
  Compile(d);  // reject a bad expression before touching any file
  std::vector<IndexTagDef> defs;
  if (sh_.hasIndex && indexFile == sh_.indexPath) {
    for (auto& t : sh_.tags) defs.push_back(t.def);
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
  sh_.RequireWritable();
  if (sh_.hasIndex) sh_.FlushIndex();
  Rebuild(indexFile, defs, false);
  return number;
}

void SharedTable::IndexLife::OpenFile(const std::string& indexFile) {
  if (sh_.hasIndex && CanonicalPath(indexFile) == CanonicalPath(sh_.indexPath)) return;
  if (!FileExists(indexFile)) throw Error(ErrorCode::NotFound, "index file " + indexFile + " does not exist");
  if (sh_.hasIndex) sh_.FlushIndex();
  sh_.index.Close();
  sh_.hasIndex = false;
  Open(indexFile);
}

void SharedTable::IndexLife::Reindex() {
  if (!sh_.exclusive) throw Error(ErrorCode::Usage, "reindexing needs the table " + sh_.path + " opened exclusively");
  sh_.RequireWritable();
  // A record an append left uncounted (a stopped import) is counted now,
  // before the index is built for the table as it is.
  if (sh_.dbf.headerBehind()) {
    sh_.dbf.WriteCountAndDate();
    sh_.dbf.file().Sync();
  }
  if (!sh_.hasIndex) return;
  RequireFileWritable(sh_.indexPath);
  std::vector<IndexTagDef> defs;
  for (auto& t : sh_.tags) defs.push_back(t.def);
  Rebuild(sh_.indexPath, defs, false);
}

}  // namespace xbase
