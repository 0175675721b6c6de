// The table file: a dBASE header, field descriptors, fixed-length records
// with their deletion flag, and the 0x1A end mark.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "file.h"
#include "paths.h"
#include "xbase.h"

namespace xbase {

// What an index file records of its table, to know at the next open whether
// it still describes it. A table's modification time alone does not do:
// a plain copy of the data folder changes it while nothing else changed.
// So the stamp is what travels with the table and changes with its content:
//  - a change counter the engine keeps in the header's reserved bytes 20..27
//    (the dBASE multi-user area, zero in files of FoxPro-format tools) and
//    raises with every record it writes;
//  - the record count and the file size, which change with every append or
//    pack, by this engine or by another tool;
//  - the modification time, kept only as a hint: another tool that edits a
//    record in place changes nothing but the time. When the time alone
//    differs, the index is compared with the records in one pass (no sort,
//    nothing written but the new stamp) instead of being rebuilt.
struct TableStamp {
  uint64_t changes = 0;
  uint32_t count = 0;
  uint64_t size = 0;
  uint64_t modifiedNs = 0;
  // Everything but the time agrees.
  bool SameContent(const TableStamp& o) const { return changes == o.changes && count == o.count && size == o.size; }
  // Times agree to 100 ns, the finest that Windows keeps: a stamp made on
  // one system matches the same file seen from the other.
  bool operator==(const TableStamp& o) const {
    return SameContent(o) && modifiedNs / 100 == o.modifiedNs / 100;
  }
};

struct DbfField {
  FieldDef def;
  uint32_t offset = 0;  // within the record, after the deletion flag
};

class DbfFile {
 public:
  static constexpr uint8_t kVersion = 0xF5;  // FoxPro table with memo

  // Writes a new empty table. Fails if the file exists.
  static void Create(const std::string& path, const std::vector<FieldDef>& fields);

  // Reads and checks the header. `writable` asks for write access.
  // `repairing`: a header that counts more records than the file holds is
  // taken as the whole records there are (see RepairCount) even though the
  // file is open for writing.
  void Open(const std::string& path, bool writable, bool repairing = false);
  // Takes over a file already open (and locked) as the table at `path`.
  void Adopt(File&& f, const std::string& path);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  File& file() { return file_; }
  const std::string& path() const { return path_; }
  bool writable() const { return file_.Writable(); }

  const std::vector<DbfField>& fields() const { return fields_; }
  std::vector<FieldDef> fieldDefs() const;
  int FieldIndex(std::string_view name) const;
  uint32_t count() const { return count_; }
  uint32_t recordLength() const { return recLen_; }
  uint32_t headerLength() const { return headerLen_; }
  uint8_t version() const { return version_; }
  bool hasMemo() const { return hasMemo_; }
  uint64_t RecordOffset(uint32_t recno) const {
    return headerLen_ + (uint64_t)(recno - 1) * recLen_;
  }

  // recno is 1-based; buf receives recordLength() bytes.
  void ReadRecord(uint32_t recno, char* buf);
  // Reads `n` records from `first` into buf (n * recordLength bytes).
  void ReadRecords(uint32_t first, uint32_t n, char* buf);
  void WriteRecord(uint32_t recno, const char* buf);
  void WriteDeletionFlag(uint32_t recno, char flag);
  // Writes the record after the last one with the end mark and, once that
  // is on disk, the new count and date in the header, so that a power cut
  // never leaves a count that takes in a record the disk does not hold.
  // Within a run (BeginRun) the count waits for EndRun. Returns the new
  // record's number.
  uint32_t AppendRecord(const char* buf);
  // A run of appends (a batch): the records go to the file as they come and
  // the header counts them all at EndRun, after they are on disk; one sync
  // for the run instead of one per record. Until then the header carries
  // the mark of an unfinished run (byte 14, the dBASE "incomplete
  // transaction" flag), written to disk before the run's first record:
  // other readers see the table as it was before the run, and a run that
  // never ended (a power cut, a killed process) is settled by the next
  // program that opens the table for writing (SettleUnfinishedRun).
  void BeginRun() { runOpen_ = true; }
  // Syncs the run's records, then writes the count and date with the mark
  // cleared (to disk at the next sync). Nothing to do without a run.
  void EndRun();
  bool RunOpen() const { return runOpen_; }
  // Opened for writing after a run that never ended: its records past the
  // count are taken into the table as far as each is whole (`whole` also
  // tells, when given; a power cut may have kept only part of them), the
  // rest cut off, and the header counts them without the mark. Done by the
  // first write when not called before.
  bool UnfinishedRun() const { return unfinishedRun_; }
  // Whether the header carries the mark of a run (ours, another program's,
  // or one that never ended).
  bool RunMarked() const { return runMarked_; }
  void SettleUnfinishedRun(const std::function<bool(const char* record)>& whole);
  // Re-reads the record count from the header (another process may append).
  void Reload();
  // Whether the header counts one record less than the file holds complete
  // (see SettleCount); the first write puts the header right.
  bool headerBehind() const { return headerBehind_; }
  // Whether the header counts more records than the file holds whole (a
  // count that reached the disk before its records, or damage). A file
  // opened for reading (or repairing) then reads as the whole records
  // there are; one opened for writing is refused as damaged.
  bool headerAhead() const { return headerAhead_; }
  // Whether the header counts fewer records than the file holds whole, by
  // more than an append in progress leaves (damage, or appends another
  // program never counted). Read only (or repairing), the table is every
  // whole record there is; opened for writing, it is refused as damaged.
  bool headerFarBehind() const { return headerFarBehind_; }
  // The record count the header gives.
  uint32_t headerCount() const { return headerCount_; }
  // With the table to oneself, opened for repairing: writes the header's
  // count as the records the file holds whole (counting one it left
  // behind), the end mark after them, and syncs. A sentence of what it put
  // right; "" when the count was right.
  std::string RepairCount();

  // A blank record: deletion flag ' ' and every field blank.
  std::string BlankRecord() const;

  // Memo block number stored in a memo field (0 = no memo). Throws Corrupt
  // when the field holds something other than a number.
  uint32_t MemoBlock(const char* record, const DbfField& f) const;
  void SetMemoBlock(char* record, const DbfField& f, uint32_t block) const;

  // The table's stamp as it is on disk now (see TableStamp).
  TableStamp Stamp() const { return StampOf(file_); }
  static TableStamp StampOf(const File& f);

  // Writes header bytes 1..7 (date and record count) and the change counter.
  void WriteCountAndDate();

 private:
  void InvalidateCache() { cacheFirst_ = cacheCount_ = 0; }
  // Raises the change counter in the header after a record was written.
  void NoteChange();
  // How many whole records follow record `after` in a file of `size`
  // bytes, up to the first that does not start with a deletion flag (or,
  // given `whole`, that it refuses).
  uint32_t WholeRecordsAfter(uint32_t after, uint64_t size,
                             const std::function<bool(const char* record)>& whole = {});
  // Writes the record count and date with the mark of a run cleared, in
  // one write.
  void WriteCountClearingRunMark();
  // The header's record count, and whether it carries the mark of an
  // unfinished run of appends.
  uint32_t ReadHeaderCount(bool* unfinishedRun = nullptr) const;
  void BeforeWrite() {
    if (unfinishedRun_) SettleUnfinishedRun({});
    if (headerBehind_) WriteCountAndDate();
  }
  // Sets count_ from the header's count and the file's size, read so that
  // a program appending meanwhile cannot make a sound table look damaged.
  void SettleCount(uint32_t headerCount, bool unfinishedRun);
  void ReadHeader();
  File file_;
  std::string path_;
  std::vector<DbfField> fields_;
  uint32_t count_ = 0, recLen_ = 0, headerLen_ = 0;
  uint8_t version_ = 0;
  uint64_t changes_ = 0;  // the header's change counter as last written here
  bool hasMemo_ = false;
  bool headerBehind_ = false;
  bool headerAhead_ = false;
  bool headerFarBehind_ = false;
  bool repairing_ = false;
  uint32_t headerCount_ = 0;
  bool runOpen_ = false;    // a run of appends of ours is under way
  bool runMarked_ = false;  // the header on disk carries the mark of a run
  bool unfinishedRun_ = false;  // records of a run that never ended lie past the count
  // A read-ahead window for sequential reads.
  std::vector<char> cache_;
  uint32_t cacheFirst_ = 0, cacheCount_ = 0, lastRead_ = 0;
  std::string appendBuf_;
};

}  // namespace xbase
