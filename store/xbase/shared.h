// One open table with its memo and index files, shared by every cursor on
// it within an Environment. Holds the OS locks and does every write, so that
// the order of writes keeps the files sound whenever the process stops, and
// a write that fails leaves the files as they were.
// The index file's life (verify, rebuild, private copies, tags, reindex) is
// the part it owns, SharedTable::IndexLife.
#pragma once

#include <map>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbf.h"
#include "expr.h"
#include "index.h"
#include "memo.h"
#include "xbase.h"

namespace xbase {

class KeySorter;

struct TagRuntime {
  IndexTagDef def;
  std::unique_ptr<Expr> key, cond;
  bool excludesDeleted = false;  // the condition leaves deleted records out
  int leadingField = -1;         // the key starts with this plain field
};

class SharedTable {
 public:
  // `readOnly`: the files are opened for reading only and every write is
  // refused; a stale index is rebuilt as a private copy.
  SharedTable(Environment& env, std::string path, bool exclusive, bool readOnly = false);
  ~SharedTable();

  // The life of the table's index file: opened and checked against the
  // records, rebuilt when stale, damaged or missing (in place, or as a
  // private copy while another program uses the table or the index cannot
  // be written), given new tags, reindexed, built anew after a load, and
  // fed a pack's new entries (sharedindex.cpp; the comparison in
  // check.cpp, the pack's feeds in pack.cpp). It changes the table's
  // index, hasIndex, indexPath and tags.
  class IndexLife {
   public:
    explicit IndexLife(SharedTable& sh) : sh_(sh) {}
    IndexLife(const IndexLife&) = delete;
    IndexLife& operator=(const IndexLife&) = delete;

    // Opens the index file, verifying it when only the table's time
    // differs and rebuilding it when stale.
    void Open(const std::string& file);
    // Opens another index file in place of the open one (exclusive use).
    void OpenFile(const std::string& indexFile);
    // Rebuilds an index that cannot be used as it is: in place with the
    // table to ourselves, else as a private copy while another program
    // uses it.
    void RebuildStale(const std::string& file, const std::vector<IndexTagDef>& defs);
    // After damage was met in the open index: rebuilds it from the records
    // with the tags it had. False when there is no damaged index.
    bool RebuildDamaged();
    // The index file is missing: made in its place where the table may be
    // written, else built as a private copy for reading.
    void BuildMissing(const std::vector<IndexTagDef>& defs);
    // Builds `defs` into a private index for reading; `why` ends the reason
    // writes are refused ("table … cannot be written: its index file … <why>").
    void BuildPrivate(const std::vector<IndexTagDef>& defs, const std::string& why);
    // Writes the index file anew with these tags, filled from the records.
    // `fed`: the keys of the records from `fedFrom` on, already collected
    // (a load's); only the records before them are read.
    void Rebuild(const std::string& file, const std::vector<IndexTagDef>& defs, bool privateCopy,
                 std::unique_ptr<KeySorter> fed = nullptr, uint32_t fedFrom = 0);
    // Builds the index of a load anew from the records (see BeginLoad). On
    // failure the index is closed unwritten and rebuilt at the next open.
    void FinishDeferred();
    // Removes the private copy this table made, if any (at the close).
    void DropPrivateCopy();

    // Maintenance (exclusive use). Each writes the new index beside the old
    // one and renames it into place only when it is complete and on disk.
    int AddTag(const std::string& indexFile, const IndexTagDef& def);
    void Reindex();
    // Throws, naming the file, when the tags cannot be rebuilt into this
    // index file: the table is open for reading only, or the file may not
    // be written.
    void RequireFileWritable(const std::string& indexFile) const;

    // Compiles a tag definition against the table; throws Expression.
    TagRuntime Compile(const IndexTagDef& def) const;
    // Compares every tag of an open index with the records in one
    // sequential pass over the table and one walk along each tag's leaves,
    // without sorting. Returns one line per tag that differs; empty when
    // exact.
    std::vector<std::string> Compare(IndexFile& idx, const std::vector<TagRuntime>& rt);

    // A pack's new index entries: from the index's leaves under the
    // records' new numbers (false when the index cannot be read to its
    // end), or from the records of the new table file.
    bool FeedFromIndex(KeySorter& entries, const std::vector<uint32_t>& newNumber);
    void FeedFromRecords(const File& table, uint64_t headerLength, uint32_t count, KeySorter& entries);
    // The entries of one record in every tag (`key`: a reused buffer).
    void AddKeysOf(KeySorter& entries, const char* rec, uint32_t recno, std::string& key);

   private:
    // Calls f with the key of every record in every tag, in record order,
    // in one sequential pass over the table.
    void ForEachKey(const std::vector<TagRuntime>& rt,
                    const std::function<void(size_t tag, uint32_t recno, const std::string& key)>& f,
                    uint32_t before = UINT32_MAX);

    SharedTable& sh_;
    std::string privateIndex_;  // a rebuilt index kept apart while others use the table
  };

  // Opens the table, its memo file and (withIndex) its index file, which
  // is rebuilt when stale or verified when only the table's time differs.
  // `required`: the fields the table must have (FieldsProblem), checked
  // before anything is compiled against its fields.
  // `missingIndexTags`: built into a private index when the index file is
  // missing and cannot be created (see Table::SetMissingIndexTags).
  void Open(const std::vector<FieldDef>& required = {}, bool withIndex = true,
            const std::vector<TagInfo>& missingIndexTags = {});
  void Close();

  Environment& env;
  const std::string path;
  const bool exclusive;
  const bool readOnly;
  // Opened to put the record count right (RepairRecordCount): a header
  // that counts more records than the file holds does not refuse the open.
  bool repairing = false;
  DbfFile dbf;
  MemoFile memo;
  IndexFile index;
  bool hasIndex = false;
  std::string indexPath;
  std::vector<TagRuntime> tags;
  std::vector<FieldDef> fieldDefs;  // of the open table
  uint64_t changes = 0;  // bumps with every write of a record
  // Keys of the record written last (per tag; empty when not in the tag).
  uint32_t lastRecno = 0;
  std::vector<std::string> lastKeys;
  std::vector<bool> lastIn;
  int batchDepth = 0;
  bool loading = false;        // the open batch is a load (BeginLoad)
  bool indexDeferred = false;  // the load's records are not in the index yet
  uint32_t loadStart = 0;      // records when the load began
  // The keys of the load's records from deferredFrom on, gathered as they
  // are posted so that the build reads only the records before them; gone
  // when anything else changed the table meanwhile.
  std::unique_ptr<KeySorter> loadKeys;
  uint32_t deferredFrom = 0;
  IndexLife indexLife;

  // Reading.
  std::string ReadMemo(const char* rec, int field);
  // Whether every memo the record names is there whole.
  bool WholeRecord(const char* rec);
  // The trimmed key; touches nothing but its arguments, so any thread may.
  static void KeyOf(const TagRuntime& t, const char* rec, std::string& out);
  bool InTag(const TagRuntime& t, const char* rec);

  // Throws, naming the file, when the table cannot be written as a whole:
  // opened read-only, or the table, its memo file or its index file may not
  // be written. Every write checks it before it touches any file, so a
  // write is refused whole instead of half done.
  void RequireWritable() const;
  bool Writable() const { return writeBlock_.empty(); }

  // Writing. Each either completes or, when a write or sync fails, puts the
  // files back as they were and throws; outside a batch the records and
  // memos are on disk when it returns, and the index is either on disk or
  // marked there for rebuilding.
  uint32_t Append(std::string& rec, const std::vector<std::pair<int, std::string>>& memos);
  // `old`, when given, holds the record's bytes as they are on disk (read
  // by the caller just before), which spares reading them again.
  void Update(uint32_t recno, std::string& rec, const std::vector<std::pair<int, std::string>>& memos,
              const std::string* old = nullptr);
  void MarkDeleted(uint32_t recno, const std::string* old = nullptr);
  void BeginBatch() {
    if (batchDepth++ == 0 && !readOnly && dbf.writable()) dbf.BeginRun();
  }
  // A batch of appends with the table to ourselves (exclusive use). Once
  // the batch has added many records against the table's size, the index
  // stops taking them one by one and is built anew from the records when
  // the batch ends or the table closes; meanwhile the index file stays
  // marked as being changed, so a process stopped before then leaves an
  // index the next open rebuilds. Only appends may come in between.
  void BeginLoad();
  // True when it built the index anew.
  bool EndBatch();
  // Writes out the index's changes and stamps it for the table as it is.
  void FlushIndex();
  // Syncs every file written since its last sync.
  void SyncWritten();
  // The index written out (when it may be) and every written file synced:
  // the files on disk are the table as posted.
  void Flush();

  // Removes the deleted records for good (exclusive use): writes new files
  // beside the old ones and renames them into place only when they are
  // complete and on disk (pack.cpp).
  void Pack();

  // A walk that reads each index page once (a comparison, a pack) keeps a
  // few pages in memory, not the cache the browsing has; the cache is given
  // back when the walk ends, however it ends.
  struct WalkCache {
    explicit WalkCache(SharedTable& sh) : sh(sh) { sh.index.SetCacheBytes(4u << 20); }
    ~WalkCache() { sh.index.SetCacheBytes(sh.env.IndexCacheBytes()); }
    WalkCache(const WalkCache&) = delete;
    WalkCache& operator=(const WalkCache&) = delete;
    SharedTable& sh;
  };

 private:
  class WriteScope;
  void LockOrThrow();
  // The open files a change may write: table, memo, index (no allocation,
  // as it runs for every post).
  struct FileSet {
    File* at[3];
    size_t n = 0;
    File** begin() { return at; }
    File** end() { return at + n; }
  };
  FileSet Files();
  void RollBack(uint64_t indexVersion) noexcept;
  void WriteMemos(std::string& rec, const std::vector<std::pair<int, std::string>>& memos);
  // Completes a pack that stopped after its journal was written and removes
  // the new files of one that stopped before (pack.cpp).
  void CompletePendingPack();
  void FinishPack(const std::string& journal);
  bool CanWriteIndex() const { return !readOnly && dbf.writable() && indexWritable_; }
  bool failed_ = false;       // a failed write could not be undone in memory
  bool indexWritable_ = true;
  // Why the table cannot be written (empty when it can), and the kind of
  // error a write then raises.
  std::string writeBlock_;
  ErrorCode writeBlockCode_ = ErrorCode::Io;
};

// The open tables of an Environment by canonical path: every cursor opened
// on a path while one is open shares its SharedTable.
struct Environment::Registry {
  std::map<std::string, std::weak_ptr<SharedTable>> open;
};

// Companion files: the memo (.SMT, else an existing .fpt) and the index
// (.nsx) of a table, in whatever letter case they exist.
inline const std::vector<std::string> kMemoExtensions = {".SMT", ".smt", ".fpt", ".FPT"};
inline const std::vector<std::string> kIndexExtensions = {".nsx", ".NSX"};
std::string FindCompanion(const std::string& dbfPath, const std::vector<std::string>& exts);

// The tags as the index file stores them: names in upper case, checked.
std::vector<IndexTagDef> CheckedTagDefs(const std::vector<TagInfo>& tags, const std::string& indexPath);
// Whether the index file can be opened for `tags`: it reads as an index
// file (or is of a newer format, which the open reports) and holds a tag of
// each name. One that cannot, on a table whose index cannot be written, is
// passed over for a private index built from the records.
bool IndexServesTags(const std::string& indexPath, const std::vector<TagInfo>& tags);

}  // namespace xbase
