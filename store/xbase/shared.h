// One open table with its memo and index files, shared by every cursor on
// it within an Environment. Holds the OS lock and does every write, so that
// the order of writes keeps the files sound whenever the process stops.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dbf.h"
#include "expr.h"
#include "index.h"
#include "memo.h"
#include "xbase.h"

namespace xbase {

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

  // Opens the table, its memo file and (withIndex) its index file, which
  // is rebuilt when stale or verified when only the table's time differs.
  // `required`: the fields the table must have (FieldsProblem), checked
  // before anything is compiled against its fields.
  void Open(const std::vector<FieldDef>& required = {}, bool withIndex = true);
  void Close();

  Environment& env;
  const std::string path;
  const bool exclusive;
  const bool readOnly;
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

  // Reading.
  std::string ReadMemo(const char* rec, int field);
  void KeyOf(const TagRuntime& t, const char* rec, std::string& out);  // trimmed key
  bool InTag(const TagRuntime& t, const char* rec);

  // Throws, naming the file, when the table cannot be written as a whole:
  // opened read-only, or the table, its memo file or its index file may not
  // be written. Every write checks it before it touches any file, so a
  // write is refused whole instead of half done.
  void RequireWritable() const;
  bool Writable() const { return writeBlock_.empty(); }
  // The same for rebuilding the tags into an index file.
  void RequireIndexWritable(const std::string& indexFile) const;

  // Writing; each leaves the files sound when it returns (outside a batch).
  uint32_t Append(std::string& rec, const std::vector<std::pair<int, std::string>>& memos);
  void Update(uint32_t recno, std::string& rec, const std::vector<std::pair<int, std::string>>& memos);
  void MarkDeleted(uint32_t recno);
  void BeginBatch() { ++batchDepth; }
  void EndBatch();
  // Writes out the index's changes and stamps it for the table as it is.
  void FlushIndex();

  // Maintenance (exclusive use).
  int AddTag(const std::string& indexFile, const IndexTagDef& def);
  void Reindex();
  void Pack();
  void OpenIndexFile(const std::string& indexFile);
  // After damage was met in the open index: rebuilds it from the records
  // with the tags it had. False when there is no damaged index.
  bool RebuildDamagedIndex();
  // Writes the index file anew with these tags, filled from the records.
  void RebuildIndex(const std::string& file, const std::vector<IndexTagDef>& defs, bool privateCopy);

  // Compares every tag of an open index with the records in one sequential
  // pass over the table and one walk along each tag's leaves, without
  // sorting. Returns one line per tag that differs; empty when exact.
  std::vector<std::string> CompareIndex(IndexFile& idx, const std::vector<TagRuntime>& rt);

  // Compiles a tag definition against this table; throws Expression.
  TagRuntime Compile(const IndexTagDef& def) const;

 private:
  void LockOrThrow();
  void OpenIndex(const std::string& file);
  // Rebuilds an index that cannot be used as it is: in place with the table
  // to ourselves, else as a private copy while another program uses it.
  void RebuildStale(const std::string& file, const std::vector<IndexTagDef>& defs);
  void CollectEntries(std::vector<TagRuntime>& rt, std::vector<std::vector<IndexFile::Entry>>& entries);
  void WriteMemos(std::string& rec, const std::vector<std::pair<int, std::string>>& memos);
  void RecoverPack();
  bool CanWriteIndex() const { return !readOnly && dbf.writable() && indexWritable_; }
  std::string privateIndex_;  // a rebuilt index kept apart while others use the table
  bool indexWritable_ = true;
  // Why the table cannot be written (empty when it can), and the kind of
  // error a write then raises.
  std::string writeBlock_;
  ErrorCode writeBlockCode_ = ErrorCode::Io;
};

// Companion files: the memo (.SMT, else an existing .fpt) and the index
// (.nsx) of a table, in whatever letter case they exist.
std::string FindCompanion(const std::string& dbfPath, const std::vector<std::string>& exts);

}  // namespace xbase
