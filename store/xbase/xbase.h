// The embedded xBase engine: DBF tables with an FPT-layout memo file (.SMT)
// and a compound index file (.nsx) of our own format.
//
// Plain C++20 and the standard library only. Everything that reads a file
// checks what it reads against the physical facts of that file first and
// reports a problem as an xbase::Error naming the file; nothing is trusted.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xbase {

enum class ErrorCode {
  Io,           // the operating system refused a read, write, open or rename
  Corrupt,      // a file is damaged: its content contradicts itself or its size
  Unsupported,  // a file of a kind or version the engine does not read
  Locked,       // the file is held by another user of it (exclusive use)
  Expression,   // a malformed key, condition or query expression
  Usage,        // an operation that is not allowed in the current state
  NotFound,     // a field, tag or file that does not exist
};

// Text as a message may show it: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 are written as \xNN, everything else as it is.
// Bytes read from a file never reach a terminal or a window raw through it.
std::string Printable(std::string_view text);

// Every message is made printable (see Printable) where it is made, so that
// the bytes of a damaged file quoted in it stay inert wherever it is shown.
class Error : public std::runtime_error {
 public:
  Error(ErrorCode code, const std::string& message)
      : std::runtime_error(Printable(message)), code_(code) {}
  ErrorCode code() const { return code_; }

 private:
  ErrorCode code_;
};

// A field of a table. Types the engine writes: C (character) and M (memo).
// N, F, D and L fields of tables written by other tools are read and written
// as their raw text.
struct FieldDef {
  std::string name;  // at most 10 characters, stored upper case
  char type = 'C';
  int width = 0;     // bytes
  int decimals = 0;
};

enum class State { Inactive, Browse, Edit, Insert };
const char* StateName(State s);  // "Inactive", "Browse", "Edit", "Insert"

struct TagInfo {
  std::string name;
  std::string key;        // key expression as given
  std::string condition;  // condition expression, may be empty
  bool unique = false;
  int keyWidth = 0;
};

class FoldedSearch;
class SharedTable;  // one open file set, shared by every cursor on it

// The process-wide engine settings and the registry of open files. Every
// Table opened through one Environment on the same path shares one
// SharedTable, so all cursors see each other's changes at once.
class Environment {
 public:
  Environment();
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  static Environment& Default();

  // Deleted on: records marked deleted are invisible to navigation, counts
  // and queries.
  void SetDeleted(bool on) { deleted_ = on; }
  bool Deleted() const { return deleted_; }

  // Kept for the caller's configuration; the engine never shows messages.
  void SetErrorLevel(int level) { errorLevel_ = level; }
  int ErrorLevel() const { return errorLevel_; }

  // Upper bound, in bytes, of the index page cache of each open index file.
  void SetIndexCacheBytes(size_t bytes) { indexCacheBytes_ = bytes; }
  size_t IndexCacheBytes() const { return indexCacheBytes_; }

  // Whether a table file is open through this environment.
  bool IsOpen(const std::string& dbfPath) const;

  // Told how far a pass over a table's records has come (0 to 1) while a
  // pack or an index build runs, once per batch of records, on the thread
  // that runs it: a program keeps its window painted with it. It must not
  // use the engine. None by default.
  void SetProgress(std::function<void(double)> f) { progress_ = std::move(f); }
  const std::function<void(double)>& Progress() const { return progress_; }

  // How many index files this environment rebuilt from their tables, and
  // how many it compared with their tables in a full pass (a table whose
  // modification time alone changed), since it was made. A clean open does
  // neither; tests and diagnostics tell the three apart by them.
  uint64_t IndexRebuilds() const { return indexRebuilds_; }
  uint64_t IndexVerifications() const { return indexVerifications_; }

 private:
  friend class Table;
  friend class SharedTable;
  struct Registry;
  std::unique_ptr<Registry> registry_;
  bool deleted_ = true;
  int errorLevel_ = 0;
  size_t indexCacheBytes_ = 128u << 20;
  uint64_t indexRebuilds_ = 0, indexVerifications_ = 0;
  std::function<void(double)> progress_;
};

// Creates a new, empty table. Fails when the file exists. A table with memo
// fields gets its memo file beside it (same base name, extension .SMT).
// Field names are stored upper case. Throws Error.
void CreateTable(const std::string& dbfPath, const std::vector<FieldDef>& fields);

// Path of the memo / index file that belongs with a table file.
std::string MemoPathFor(const std::string& dbfPath);
std::string IndexPathFor(const std::string& dbfPath);

// What a file at an index path is, told from its first pages alone (the
// trees are not read: a stale or damaged tree is rebuilt by the open).
struct IndexFileInfo {
  enum class Kind {
    Missing,     // no such file
    Readable,    // an index file whose tag list reads
    NotAnIndex,  // not an index file of this engine
    Newer,       // an index file of a later format: never read or replaced
    Damaged,     // an index file whose tag list cannot be read
  };
  Kind kind = Kind::Missing;
  std::vector<TagInfo> tags;  // Readable: its tags, names upper case
  std::string problem;        // NotAnIndex, Newer, Damaged: a sentence naming the file
};
IndexFileInfo InspectIndexFile(const std::string& indexPath);

// Writes the index file of a table anew holding exactly `tags`, filled from
// the records, whatever the file held before: nothing, a damaged file,
// another table's tags, or something that is no index at all. An index
// holds nothing the table does not, so nothing is lost. An index file of a
// newer format is never replaced (Unsupported). The tags are checked
// against the table before any file is touched (Usage, Expression). Needs
// the table to itself: Locked while it is open, in this process too.
void RebuildIndexFile(const std::string& dbfPath, const std::string& indexPath, const std::vector<TagInfo>& tags,
                      Environment& env = Environment::Default());

struct Bookmark {
  uint32_t recno = 0;  // 0 = none
  bool valid() const { return recno != 0; }
  bool operator==(const Bookmark&) const = default;
};

class RecordReader;

// One record handed out by a bulk read (Table::ForEachRecord,
// Table::ForEachRecordOf). Valid only during the call that hands it out.
struct RecordRef {
  uint32_t recno = 0;
  const char* bytes = nullptr;  // deletion flag, then the fields at their offsets
  // A character field without its trailing blanks (field by number, as
  // Table::FieldIndex gives it).
  std::string_view Text(int field) const;
  // The whole text of a memo field. Descriptions of a batch are read ahead
  // in file order at the first of them asked for; a damaged one throws here the Error that reading it
  // throws, so the caller can go on with the next record.
  std::string Memo(int field) const;
  RecordReader* reader = nullptr;
  size_t slot = 0;
};

struct LocateOptions {
  bool partialKey = false;       // the field begins with the value
  bool caseInsensitive = false;  // compare without regard to letter case
};

// A cursor over one table: the dataset of the program. Not thread-safe; one
// thread uses the engine.
class Table {
 public:
  explicit Table(Environment& env = Environment::Default());
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // --- configuration, before Open ---------------------------------------
  void SetDatabaseName(const std::string& folder);  // folder of the table
  void SetTableName(const std::string& file);       // "VTLDataA.dbf"
  void SetIndexTag(const std::string& tag);         // "" = natural order
  void SetExclusive(bool on);
  // Reading only: the files are opened read-only, every write (Append,
  // Edit, Post, Delete, tags, pack) is refused with ErrorCode::Usage, and a
  // stale index is rebuilt as a private copy, never written. For a reader
  // beside a program that may be writing the table.
  void SetReadOnly(bool on);
  bool ReadOnly() const { return readOnly_; }
  // The fields the table must have: each by name (any case) with its type
  // and, for character fields, its width; other fields may be there too.
  // Open refuses a table without them (ErrorCode::Unsupported, naming the
  // file and the field), before anything is compiled against its fields.
  void SetRequiredFields(std::vector<FieldDef> fields);
  // The tags the table's index file holds. When that file is missing and
  // cannot be created (a read-only folder or medium), or cannot be written
  // and is no index holding these tags, Open builds them into a private
  // index in the system's temporary folder, so the table is still read in
  // key order; writing is then refused.
  void SetMissingIndexTags(std::vector<TagInfo> tags);
  const std::string& DatabaseName() const { return folder_; }
  const std::string& TableName() const { return file_; }
  const std::string& IndexTag() const { return tagName_; }
  bool Exclusive() const { return exclusive_; }
  std::string Path() const;  // folder + "/" + file
  // The environment the table was made on; a second cursor over the same
  // file made on it shares the open file.
  Environment& Env() const { return env_; }

  // Opens the table, its memo file and the index file of the same base name
  // when it exists. A damaged or stale index is rebuilt. Exclusive use takes
  // an OS lock; it fails with ErrorCode::Locked while anyone else has the
  // file open, and a shared open fails while someone has it exclusively.
  // A shared open for writing also fails while another program has the
  // table open for writing: one program at a time changes a table.
  void Open();
  void Close();  // posts a changed record first, cancels an unchanged one
  bool Active() const;
  State GetState() const { return state_; }
  // Whether the open table can be written: not opened for reading only, and
  // the table, its memo file and its index file may all be written. When
  // one of them may not, every write is refused whole, before any file is
  // touched. RequireWritable throws that refusal (the file named).
  bool CanWrite() const;
  void RequireWritable() const;
  // What a table open for reading passes over in its header: the header
  // counts more records than the file holds whole (what a crash can leave,
  // or damage), or fewer by more than the one an append in progress leaves,
  // and the table reads as the whole records there are. A
  // sentence naming the file and both figures; "" when the header is
  // right. A table opened for writing refuses such a header as damage;
  // RepairRecordCount puts it right.
  std::string HeaderProblem() const;

  // --- fields ------------------------------------------------------------
  const std::vector<FieldDef>& Fields() const;
  int FieldIndex(std::string_view name) const;  // any case; -1 when absent
  // Field value of the current record (of the edit buffer while editing):
  // character fields without trailing blanks, a memo as its whole text, ""
  // when there is no current record.
  std::string FieldByName(std::string_view name) const;
  // Sets a field of the edit buffer (Edit or Insert state). Text longer than
  // the field is cut to its width without splitting a UTF-8 character.
  void SetFieldByName(std::string_view name, std::string_view value);
  void SetField(int index, std::string_view value);  // by FieldIndex

  // --- acting on many records by number (a selection) ------------------------
  // One field of a record of the view given a new value, or the record
  // deleted, without moving the view or reading the record more than once:
  // what a batch over thousands of selected records needs. Not while
  // editing. False (nothing done) when the record is not in the view. The
  // view's current record may have left it; position the view (First,
  // GotoBookmark) before reading it again.
  bool SetFieldOf(uint32_t recno, int index, std::string_view value);
  bool DeleteRecordOf(uint32_t recno);
  bool Modified() const { return modified_; }

  // --- navigation over the visible records ---------------------------------
  // Visible: not deleted (when the environment's Deleted is on), in the
  // active tag (its condition holds), and matching the query.
  void First();
  void Last();
  void Next();
  void Prior();
  int64_t MoveBy(int64_t distance);  // returns how far it actually moved
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  bool IsEmpty();
  uint32_t RecNo() const;  // physical record number, 1-based; 0 = none
  bool IsDeletedRecord() const;

  int64_t RecordCount();   // number of visible records
  int64_t RecordIndex();   // 0-based place of the current record; -1 none
  bool MoveToIndex(int64_t index);  // false when out of range

  Bookmark GetBookmark() const;
  bool BookmarkValid(const Bookmark& b);
  bool GotoBookmark(const Bookmark& b);  // false (and no move) when not visible

  // Finds the first visible record, in view order, whose field equals the
  // value (or begins with it, partialKey). Moves there and returns true, or
  // stays and returns false.
  bool Locate(std::string_view field, std::string_view value, LocateOptions opt = {});

  // Re-reads the current record and tells the data-aware side.
  void Refresh();

  // --- editing ---------------------------------------------------------------
  void Append();  // a new blank record, state Insert
  void Insert();  // the same: records are always added at the end of the file
  void Edit();    // on an empty view starts an Insert
  void Post();    // writes the record, keeps it current
  void Cancel();
  void Delete();  // marks the current record deleted, moves to the next one

  // --- query -----------------------------------------------------------------
  // Restricts the view to the records for which the expression holds; "" lifts
  // the restriction. Given to a closed table, it applies when it opens. A
  // malformed expression throws ErrorCode::Expression naming it.
  void SetQuery(const std::string& expression);
  const std::string& Query() const { return query_; }
  int64_t QueryRecCount() { return RecordCount(); }

  // --- index and maintenance ---------------------------------------------------
  // Creates (or replaces) a tag in the index file and fills it from the
  // records. Needs exclusive use. Returns the tag's number, 1 or more.
  int IndexTag(const std::string& indexPath, const std::string& tag,
               const std::string& keyExpression, const std::string& condition,
               bool unique);
  void IndexOpen(const std::string& indexPath);  // needs exclusive use
  void Reindex();  // rebuilds every tag; needs exclusive use
  // Removes deleted records for good, rebuilds the tags and compacts the
  // memo file. Needs exclusive use. New files replace the old ones only when
  // they are complete.
  void Pack();
  std::vector<TagInfo> Tags() const;
  // Writes out what the open files still hold in memory (the index's
  // changed pages, stamped for the table) and syncs every file written, so
  // that a copy of the files taken now is the table as posted; a record
  // being edited is not part of it. Nothing to do on a closed table or one
  // open for reading.
  void Flush();

  // Many posts in a row (the add batch). Records are still written through
  // one by one; the index is written out once at EndBatch. Nests.
  void BeginBatch();
  void EndBatch();
  // A batch of appends by a command that has the table to itself (an
  // import), ended by EndBatch. With many records against the table's size
  // the index is built anew from the records at the end instead of taking
  // them one by one; a process stopped meanwhile leaves an index that the
  // next open rebuilds. Only appends (and Post) may come in between: the
  // active tag does not show the new records until the batch ends.
  void BeginLoad();

  // Record numbers of the visible records (query ignored) whose field holds
  // the text, in the active tag's order; one sequential pass over the file
  // through a bounded buffer. Beyond the hits themselves it keeps one bit
  // per record, whatever the number of hits.
  std::vector<uint32_t> FindContaining(std::string_view field, std::string_view text,
                                       bool caseInsensitive = true);
  // The same pass with the test given: the records whose field text
  // (without its padding; a memo's whole text) `matches` accepts. `matches`
  // runs on several threads at once. `progress`, when given, hears on the
  // calling thread how far the pass is (0 to 1) and stops it by returning
  // false, which gives no records.
  std::vector<uint32_t> FindWhere(std::string_view field, const std::function<bool(std::string_view)>& matches,
                                  const std::function<bool(double)>& progress = {});
  // FindWhere with the program's case-folded search as the test. The bytes
  // of a stretch of records are sieved for the few places where the text
  // could begin, so the records that cannot hold it are not looked at one
  // by one.
  std::vector<uint32_t> FindFolded(std::string_view field, const FoldedSearch& search,
                                   const std::function<bool(double)>& progress = {});
  // Bulk reading. Calls f for every visible record in view order, from the
  // first, until f returns false; the cursor does not move. Records are
  // read a batch at a time in a few large reads: in natural order straight
  // through, in a tag's order a stretch of entries at once, their records
  // read by ascending number with neighbours read together; another thread
  // reads the next batch while f goes through one. Memory stays bounded
  // whatever the size of the table. f must not write to the table.
  void ForEachRecord(const std::function<bool(const RecordRef&)>& f);
  // The same for the given records, in the given order (numbers past the
  // end of the table are passed over; visibility is not tested again).
  void ForEachRecordOf(const std::vector<uint32_t>& recnos, const std::function<bool(const RecordRef&)>& f);
  // The numbers of the visible records in view order, until f returns
  // false; the records themselves are read only when the tag alone cannot
  // tell which are visible (a filter, deleted records shown apart).
  void ForEachRecno(const std::function<bool(uint32_t)>& f);

  // --- notifications -------------------------------------------------------------
  // OnDataChange: the current record changed (move, post, re-read) or, with
  // a field name, a field of the edit buffer changed. OnStateChange: the
  // state changed. Both are held back between DisableControls and
  // EnableControls; the last EnableControls sends OnStateChange when the
  // state differs from the one at the first DisableControls, then one
  // OnDataChange.
  std::function<void(const std::string& field)> OnDataChange;
  std::function<void()> OnStateChange;
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disableCount_ > 0; }

 private:
  struct Impl;
  friend struct Impl;
  std::vector<uint32_t> Find(std::string_view field, const std::function<bool(std::string_view)>& matches,
                             const std::function<bool(double)>& progress, const FoldedSearch* sieve);
  Environment& env_;
  std::string folder_, file_, tagName_, query_;
  bool exclusive_ = false;
  bool readOnly_ = false;
  std::vector<FieldDef> required_;
  std::vector<TagInfo> missingIndexTags_;
  State state_ = State::Inactive;
  bool modified_ = false;
  bool eof_ = true, bof_ = true;
  int disableCount_ = 0;
  State disabledState_ = State::Inactive;
  std::unique_ptr<Impl> impl_;
};

// Verifies a table: header against file size, every record's deletion flag
// and memo reference, the memo file's header, every tag against the
// records, and (when given) the fields the table must have. Returns one
// line per problem, every damaged record listed; empty when sound. Opens
// the files read-only and changes nothing. A table that another program
// changes while it is checked is not called damaged: its problems are
// replaced by one line saying so.
// `repairable`, when given, is set when a problem found is one that
// RepairRecordCount and a rebuild of the index put right (the header's
// record count, an index that does not match the records, what a stopped
// index build left).
std::vector<std::string> CheckTable(const std::string& dbfPath, const std::vector<FieldDef>& required = {},
                                    bool* repairable = nullptr);

// What a table's files show of every change a writer makes (the table
// header's record count and change counter, the memo header, the index
// file's state page, the sizes), as an opaque text. A reader beside a
// program that writes takes it before its first read and after its last:
// the same text both times means it read one state of the table.
std::string TableFilesState(const std::string& dbfPath);

// Puts the header's record count right, with the table to itself (Locked
// while any program has it open): a count higher than the records the
// file holds whole, or one too low (a record an append left uncounted) or
// more (whole records past the count), becomes the number of whole records, with the end mark after them, and
// is synced. The index files are not touched: rebuild them afterwards (the
// count is part of what they are stamped with). Returns what it put right
// as a sentence naming the table; "" when the count was right.
// `required`: the fields the table must have (see Table::SetRequiredFields);
// a table without them is refused before anything is written.
std::string RepairRecordCount(const std::string& dbfPath, const std::vector<FieldDef>& required = {},
                              Environment& env = Environment::Default());

// The first way the fields `have` of a table fall short of `need` (see
// Table::SetRequiredFields) as a sentence naming the table and the field;
// empty when they fit.
std::string FieldsProblem(const std::string& dbfPath, const std::vector<FieldDef>& have,
                          const std::vector<FieldDef>& need);

// Text helpers shared with the layers above.
// Upper / lower case of UTF-8 text: ASCII and the common European letters
// (Latin-1, Latin Extended-A, Greek, Cyrillic); byte length is kept.
std::string Utf8Upper(std::string_view s);
std::string Utf8Lower(std::string_view s);
// An expression that evaluates to exactly `text`, whatever quote characters
// it holds: one literal in "…", '…' or […], or a concatenation of them.
std::string QuoteLiteral(std::string_view text);
// The longest prefix of s of at most `bytes` bytes that ends on a character
// boundary.
std::string_view CutToWidth(std::string_view s, size_t bytes);

}  // namespace xbase
