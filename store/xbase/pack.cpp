// Pack: the table written again without its deleted records, the memo file
// without the memos no record uses, the index built afresh, and the journal
// that makes the switch to the new files happen whole whenever the process
// stops.
#include "pack.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>

#include "keysort.h"
#include "shared.h"

namespace xbase {

namespace {

constexpr size_t kScanBytes = 1u << 20;
constexpr uint64_t kMaxJournalBytes = 4096;
constexpr int kOpenAttempts = 20;
const std::string kDbfSuffix = ".pack-dbf";
const std::string kMemoSuffix = ".pack-memo";
const std::string kIndexSuffix = ".pack-idx";

// A file of the table's folder, by its plain name.
std::string InFolderOf(const std::string& dbfPath, const std::string& name) {
  std::string folder = FolderOf(dbfPath);
  if (folder.empty()) return name;
  char last = folder.back();
  return (last == '/' || last == '\\') ? folder + name : folder + "/" + name;
}

bool PlainName(const std::string& n) {
  if (n.empty() || n == "." || n == "..") return false;
  for (unsigned char c : n)
    if (c < 0x20 || c == '/' || c == '\\' || c == ':') return false;
  return true;
}

// The suffix of the new file that replaces `name` when it is one of the
// table's own files (the table, its memo or its index); "" otherwise.
const std::string& SuffixFor(const std::string& dbfName, const std::string& name) {
  static const std::string none;
  if (name == dbfName) return kDbfSuffix;
  for (auto& e : kMemoExtensions)
    if (name == WithExtension(dbfName, e)) return kMemoSuffix;
  for (auto& e : kIndexExtensions)
    if (name == WithExtension(dbfName, e)) return kIndexSuffix;
  return none;
}

std::string FolderKey(const std::string& path) {
  std::string f = FolderOf(path);
  return CanonicalPath(f.empty() ? "." : f);
}

// Whether an index file is the table's own: only that one is replaced
// together with the table; one from elsewhere is rebuilt when it is next
// opened.
bool OwnIndex(const std::string& dbfPath, const std::string& indexPath) {
  return SuffixFor(BaseName(dbfPath), BaseName(indexPath)) == kIndexSuffix &&
         FolderKey(dbfPath) == FolderKey(indexPath);
}

// A journal line as a message shows it.
std::string Shown(const std::string& line) {
  std::string out;
  for (unsigned char c : line.substr(0, 200)) {
    if (c == '\t')
      out += " -> ";
    else
      out += c < 0x20 ? '?' : (char)c;
  }
  return out;
}

void WriteJournal(const std::string& journal, const std::vector<PackStep>& steps) {
  std::string text;
  for (const PackStep& s : steps) text += s.from + '\t' + s.to + '\n';
  const std::string tmp = journal + ".tmp";
  File f;
  f.Open(tmp, File::Mode::Truncate);
  f.WriteAt(0, text.data(), text.size());
  f.Sync();
  f.Close();
  RenameFile(tmp, journal);
  SyncFolderOf(journal);
}

// Whether a regular file itself (not a link to one, nor a file that also
// has a name elsewhere) is at the path.
bool PlainFileAt(const std::string& path) {
  std::error_code ec;
  const auto p = std::filesystem::u8path(path);
  if (std::filesystem::symlink_status(p, ec).type() != std::filesystem::file_type::regular) return false;
  // A second name means the file lives elsewhere too: once in the table's
  // place, every write to the table would change that other file. (A file
  // system that keeps no count is taken at its word.)
  return NameCountOf(path) <= 1;
}

// What completing a journal does: rename `from` onto `to` (full paths),
// unless that was done already.
struct Move {
  std::string from, to;
  bool table = false;
  bool pending = false;
};

// Each step is done (its new file is gone and the file it replaces is
// there) or still to do (its new file is there); anything else means files
// were lost, and nothing is renamed.
std::vector<Move> PlanFinish(const std::string& dbfPath, const std::string& journal,
                             const std::vector<PackStep>& steps) {
  std::vector<Move> plan;
  for (const PackStep& s : steps) {
    Move m;
    const std::string suffix = s.from.substr(s.to.size());
    m.to = FollowLink(InFolderOf(dbfPath, s.to));
    m.from = m.to + suffix;
    m.table = suffix == kDbfSuffix;
    m.pending = PathExists(m.from);
    // A pack writes its new files itself, as plain files: a link (to a file
    // elsewhere, which would take the table's place), a folder or a pipe
    // under that name was put there by someone else.
    if (m.pending && !PlainFileAt(m.from))
      throw Error(ErrorCode::Corrupt, "pack journal " + journal + " cannot be completed: " + m.from +
                                          " is not a file a pack writes (a link, a file with another name, a folder or a pipe); nothing was "
                                          "renamed and the journal is kept");
    if (!m.pending && !PathExists(m.to))
      throw Error(ErrorCode::Corrupt, "pack journal " + journal + " cannot be completed: neither " + m.from + " nor " +
                                          m.to + " exists; the journal is kept");
    plan.push_back(std::move(m));
  }
  return plan;
}

}  // namespace

std::string PackJournalPath(const std::string& dbfPath) { return dbfPath + ".pack"; }

std::string PackFileFor(const std::string& target, const std::string& suffix) { return FollowLink(target) + suffix; }

std::vector<PackStep> ReadPackJournal(const std::string& dbfPath) {
  const std::string journal = PackJournalPath(dbfPath);
  std::string text;
  try {
    File f;
    f.Open(journal, File::Mode::ReadOnly);
    uint64_t size = f.Size();
    if (size > kMaxJournalBytes)
      throw Error(ErrorCode::Corrupt, "pack journal " + journal + " is not a pack journal (" + std::to_string(size) +
                                          " bytes); nothing was renamed");
    text.resize((size_t)size);
    f.ReadAt(0, text.data(), text.size());
  } catch (const Error& e) {
    if (e.code() == ErrorCode::Corrupt) throw;
    throw Error(e.code(), "pack journal " + journal + " cannot be read: " + e.what());
  }
  const std::string dbfName = BaseName(dbfPath);
  std::vector<PackStep> steps;
  std::set<std::string> kinds;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.empty()) continue;
    PackStep step;
    size_t tab = line.find('\t');
    bool ok = false;
    if (tab != std::string::npos) {
      step.from = line.substr(0, tab);
      step.to = line.substr(tab + 1);
      if (PlainName(step.from) && PlainName(step.to)) {
        const std::string& suffix = SuffixFor(dbfName, step.to);
        ok = !suffix.empty() && step.from == step.to + suffix && kinds.insert(suffix).second;
      }
    }
    if (!ok)
      throw Error(ErrorCode::Corrupt, "pack journal " + journal + " names files that are not the new and old files of table " +
                                          dbfPath + " (\"" + Shown(line) + "\"); nothing was renamed");
    steps.push_back(std::move(step));
  }
  if (!kinds.count(kDbfSuffix))
    throw Error(ErrorCode::Corrupt, "pack journal " + journal + " does not name the new table file; nothing was renamed");
  return steps;
}

std::string PendingPackProblem(const std::string& dbfPath) {
  const std::string journal = PackJournalPath(dbfPath);
  if (!PathExists(journal)) return {};
  try {
    PlanFinish(dbfPath, journal, ReadPackJournal(dbfPath));
  } catch (const Error& e) {
    return e.what();
  }
  return "table " + dbfPath + " has an unfinished pack (journal " + journal +
         "); it is completed when the table is next opened";
}

// ---- completing a pack ----------------------------------------------------------------

void SharedTable::CompletePendingPack() {
  const std::string journal = PackJournalPath(path);
  const bool pending = PathExists(journal);
  // New files of a pack that stopped before its journal existed.
  std::vector<std::string> leftovers;
  auto consider = [&](const std::string& p) {
    if (PathExists(p)) leftovers.push_back(p);
  };
  consider(journal + ".tmp");
  consider(PackFileFor(path, kDbfSuffix));
  for (auto& e : kMemoExtensions) consider(PackFileFor(WithExtension(path, e), kMemoSuffix));
  for (auto& e : kIndexExtensions) consider(PackFileFor(WithExtension(path, e), kIndexSuffix));
  // What an index build that stopped left: its new file and scratch files.
  // A build in progress holds the table exclusively, so they are removed
  // only by an opener that may write and gets the table to itself.
  if (!readOnly)
    for (auto& e : kIndexExtensions)
      for (const char* part : {".rebuild", ".rebuild.sort", ".load.sort"})
        consider(WithExtension(path, e) + part);
  if (!pending && leftovers.empty()) return;

  // Only with the table to ourselves: a pack running elsewhere holds it.
  for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
    File probe;
    probe.Open(path, File::Mode::ReadOnly);
    if (!probe.TryLock(File::Lock::Exclusive)) {
      if (!pending) return;  // the leftovers wait for a moment the table is free
      if (probe.TryLock(File::Lock::Shared))
        throw Error(ErrorCode::Locked, "table " + path + " has an unfinished pack (journal " + journal +
                                           ") and is open in another program; it is completed when the table is "
                                           "next opened while no other program uses it");
      throw Error(ErrorCode::Locked, "table " + path + " is opened exclusively by another program");
    }
    if (!probe.IsFileAt(path)) continue;  // replaced meanwhile: look again
    if (pending) FinishPack(journal);
    for (const std::string& p : leftovers) TryRemoveFile(p);
    return;
  }
  throw Error(ErrorCode::Locked, "table " + path + " keeps being replaced by another program; try again later");
}

void SharedTable::FinishPack(const std::string& journal) {
  std::vector<Move> plan = PlanFinish(path, journal, ReadPackJournal(path));
  try {
    // The new table file is locked before it takes the table's place, so
    // that a program opening the table meanwhile waits for the rest.
    File newTable;
    std::set<std::string> folders;
    for (const Move& m : plan) {
      if (m.pending && m.table) {
        newTable.Open(m.from, File::Mode::ReadOnly);
        newTable.TryLock(File::Lock::Exclusive);
      }
      folders.insert(FolderOf(m.to));
    }
    for (const Move& m : plan)
      if (m.pending) RenameFile(m.from, m.to);
    for (const Move& m : plan)
      if (folders.erase(FolderOf(m.to))) SyncFolderOf(m.to);
    RemoveFile(journal);
    SyncFolderOf(journal);
  } catch (const Error& e) {
    throw Error(e.code(), "the unfinished pack of table " + path + " (journal " + journal +
                              ") could not be completed: " + e.what());
  }
}

// ---- packing ---------------------------------------------------------------------------

bool SharedTable::IndexLife::FeedFromIndex(KeySorter& entries, const std::vector<uint32_t>& newNumber) {
  entries.SetInOrder();
  const WalkCache walk(sh_);
  try {
    for (size_t t = 0; t < sh_.tags.size(); ++t)
      sh_.index.ForEach((int)t, [&](std::string_view key, uint32_t recno) {
        const uint32_t to = recno < newNumber.size() ? newNumber[recno] : 0;
        if (to != 0) entries.Add(t, key, to);
      });
  } catch (const Error& e) {
    // Damage sends the pack to the records for the keys; a read the disk
    // refused ends it.
    if (e.code() != ErrorCode::Corrupt) throw;
    return false;
  }
  return true;
}

void SharedTable::IndexLife::FeedFromRecords(const File& table, uint64_t headerLength, uint32_t count,
                                             KeySorter& entries) {
  const uint32_t recLen = sh_.dbf.recordLength();
  const uint32_t per = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
  std::vector<char> in((size_t)per * recLen);
  std::string key;
  for (uint32_t first = 1; first <= count; first += per) {
    const uint32_t k = std::min(per, count - first + 1);
    table.ReadAt(headerLength + (uint64_t)(first - 1) * recLen, in.data(), (size_t)k * recLen);
    for (uint32_t i = 0; i < k; ++i) AddKeysOf(entries, in.data() + (size_t)i * recLen, first + i, key);
  }
}

void SharedTable::IndexLife::AddKeysOf(KeySorter& entries, const char* rec, uint32_t recno, std::string& key) {
  for (size_t t = 0; t < sh_.tags.size(); ++t) {
    if (!sh_.InTag(sh_.tags[t], rec)) continue;
    key.clear();
    sh_.KeyOf(sh_.tags[t], rec, key);
    entries.Add(t, key, recno);
  }
}

void SharedTable::Pack() {
  if (!exclusive) throw Error(ErrorCode::Usage, "packing needs the table " + path + " opened exclusively");
  RequireWritable();
  if (hasIndex) {
    FlushIndex();
    index.file().SyncIfWritten();
    index.ReleaseCache();
  }
  const uint32_t recLen = dbf.recordLength();
  const uint32_t n = dbf.count();
  const std::string journal = PackJournalPath(path);
  // Each new file is written beside the file it replaces (a linked file's
  // target), so that the renames keep links and stay within a folder.
  const std::string dbfTarget = FollowLink(path);
  const std::string newDbf = dbfTarget + kDbfSuffix;
  const std::string memoPath = memo.IsOpen() ? memo.path() : std::string();
  const std::string memoTarget = memoPath.empty() ? std::string() : FollowLink(memoPath);
  const std::string newMemo = memoPath.empty() ? std::string() : memoTarget + kMemoSuffix;
  const bool hadIndex = hasIndex;
  const std::string idx = indexPath;
  const bool packIndex = hasIndex && OwnIndex(path, idx);
  const std::string indexTarget = packIndex ? FollowLink(idx) : std::string();
  const std::string newIndex = packIndex ? indexTarget + kIndexSuffix : std::string();
  std::vector<int> memoFields;
  for (size_t i = 0; i < dbf.fields().size(); ++i) {
    char t = dbf.fields()[i].def.type;
    if (t == 'M' || t == 'G' || t == 'B' || t == 'P') memoFields.push_back((int)i);
  }

  // 1. The new table, memo file and index, written beside the old ones and
  // synced; the keys are taken while the records are copied. Then the
  // journal. A failure up to here removes what was written: the table stays
  // as it was.
  std::vector<std::string> made;
  File out;
  MemoFile newMemoFile;
  try {
    std::vector<char> header(dbf.headerLength());
    dbf.file().ReadAt(0, header.data(), header.size());
    made.push_back(newDbf);
    out.Open(newDbf, File::Mode::Truncate);
    // Locked from the start: once renamed into place it is the table, and no
    // other program may take it before this one has reopened it.
    out.TryLock(File::Lock::Exclusive);
    if (!newMemo.empty()) {
      made.push_back(newMemo);
      MemoFile::Create(newMemo, memo.blockSize());
      newMemoFile.Open(newMemo, true);
      newMemoFile.BeginBulk();
    }
    // The scratch file the sorter may need sits beside the new index and
    // goes with the sorter. The index, current since it was flushed above,
    // already holds the keys in their order: the kept records keep theirs
    // under their new numbers, so the new index is fed from the old one's
    // leaves, with no key to compute and nothing to sort. Without such an
    // index (a load's deferred one) the keys are taken while the records
    // are copied.
    std::unique_ptr<KeySorter> entries;
    if (packIndex) entries = std::make_unique<KeySorter>(tags.size(), newIndex + ".sort");
    const bool fromOldIndex = packIndex && !indexDeferred;
    std::vector<uint32_t> newNumber;  // old record number -> new (0: dropped)
    if (fromOldIndex) newNumber.assign((size_t)n + 1, 0);
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
        if (fromOldIndex)
          newNumber[first + i] = kept;
        else if (entries)
          indexLife.AddKeysOf(*entries, rec, kept, key);
      }
      if (!outBuf.empty()) {
        out.WriteAt(outAt, outBuf.data(), outBuf.size());
        outAt += outBuf.size();
      }
      if (env.Progress()) env.Progress()((double)(first + k - 1) / n);
    }
    char eof = 0x1A;
    out.WriteAt(outAt, &eof, 1);
    header[14] = 0;  // no unfinished run of appends in the new table
    header[4] = (char)(kept & 0xFF);
    header[5] = (char)((kept >> 8) & 0xFF);
    header[6] = (char)((kept >> 16) & 0xFF);
    header[7] = (char)((kept >> 24) & 0xFF);
    out.WriteAt(0, header.data(), header.size());
    out.Sync();
    const TableStamp newStamp = DbfFile::StampOf(out);
    if (newMemoFile.IsOpen()) {
      newMemoFile.EndBulk();
      newMemoFile.file().Sync();
      newMemoFile.Close();
    }
    if (fromOldIndex && !indexLife.FeedFromIndex(*entries, newNumber)) {
      // The old index could not be read to its end (a damaged page): the
      // keys are taken from the records as written instead.
      entries = std::make_unique<KeySorter>(tags.size(), newIndex + ".sort");
      indexLife.FeedFromRecords(out, header.size(), kept, *entries);
    }
    if (packIndex) {
      std::vector<IndexTagDef> defs;
      for (auto& t : tags) defs.push_back(t.def);
      made.push_back(newIndex);
      IndexFile::Build(newIndex, defs, *entries, newStamp);
      entries.reset();
    }

    // Once the journal exists the pack is completed even if this process
    // stops now. It names the files as this folder knows them.
    std::vector<PackStep> steps{{BaseName(path) + kDbfSuffix, BaseName(path)}};
    if (!newMemo.empty()) steps.push_back({BaseName(memoPath) + kMemoSuffix, BaseName(memoPath)});
    if (packIndex) steps.push_back({BaseName(idx) + kIndexSuffix, BaseName(idx)});
    made.push_back(journal + ".tmp");
    made.push_back(journal);
    WriteJournal(journal, steps);
  } catch (...) {
    newMemoFile.Close();
    out.Close();
    // The journal first: no new file goes while a journal names it.
    for (auto it = made.rbegin(); it != made.rend(); ++it) TryRemoveFile(*it);
    throw;
  }
  made.pop_back();  // the journal
  made.pop_back();  // its temporary name

  // 2. The new files take the old ones' places. This process keeps the old
  // table locked throughout, and the new one since before its rename.
  struct Rename {
    std::string from, to;
  };
  std::vector<Rename> renames{{newDbf, dbfTarget}};
  if (!newMemo.empty()) renames.push_back({newMemo, memoTarget});
  if (packIndex) renames.push_back({newIndex, indexTarget});
  size_t done = 0;
  std::string failure;
  for (int round = 0; round < 2 && done < renames.size(); ++round) {
    try {
      for (; done < renames.size(); ++done) RenameFile(renames[done].from, renames[done].to);
    } catch (const Error& e) {
      if (done == 0 && TryRemoveFile(journal)) {
        // Nothing was replaced: the pack is given up, the table stays as it was.
        out.Close();
        for (const std::string& f : made) TryRemoveFile(f);
        throw;
      }
      // Part of the files are new: only going forward keeps every record
      // with its own memo.
      failure = e.what();
    }
  }
  try {
    if (done < renames.size()) throw Error(ErrorCode::Io, failure);
    std::set<std::string> folders;
    for (const Rename& r : renames)
      if (folders.insert(FolderOf(r.to)).second) SyncFolderOf(r.to);
    RemoveFile(journal);
    SyncFolderOf(journal);
  } catch (const Error& e) {
    // The old files are no longer all the table's: this process lets go of
    // them, and the next open completes the pack from the journal.
    out.Close();
    index.Close();
    hasIndex = false;
    tags.clear();
    memo.Close();
    dbf.Close();
    throw Error(e.code(), std::string(e.what()) + "; the pack of table " + path + " is completed when it is next opened");
  }

  // 3. Reopen on the new files: the new table file is the one already open
  // and locked.
  index.Close();
  hasIndex = false;
  memo.Close();
  out.Moved(path);
  dbf.Adopt(std::move(out), path);
  if (!memoPath.empty()) memo.Open(memoPath, true);
  if (hadIndex) indexLife.Open(idx);
  ++changes;
}

}  // namespace xbase
