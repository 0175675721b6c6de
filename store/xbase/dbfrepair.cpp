// A record count that disagrees with the table file: the records an
// unfinished batch left, and the repair of a header that counts too few or
// too many records. Normal appends and the header's reading are in dbf.cpp.
#include "dbf.h"

namespace xbase {

void DbfFile::SettleUnfinishedRun(const std::function<bool(const char* record)>& whole) {
  if (!unfinishedRun_) return;
  // The whole records of the run, up to the first that is not: a process
  // stopped mid-run leaves them all, a power cut what reached the disk.
  const uint64_t size = file_.Size();
  count_ += WholeRecordsAfter(count_, size, whole);
  // The cut and the end mark reach the disk before the header counts the
  // records kept and loses the mark: a power cut in between leaves the
  // mark, and the same records are kept again.
  const uint64_t end = RecordOffset(count_ + 1);
  if (size != end + 1) {
    file_.Truncate(end);
    const char eof = 0x1A;
    file_.WriteAt(end, &eof, 1);
  }
  file_.SyncIfWritten();
  WriteCountClearingRunMark();
  file_.Sync();
  unfinishedRun_ = runMarked_ = false;
  InvalidateCache();
  NoteChange();
}

uint32_t DbfFile::WholeRecordsAfter(uint32_t after, uint64_t size,
                                    const std::function<bool(const char* record)>& whole) {
  uint32_t n = 0;
  // Only the deletion flag is read unless the caller looks at the record.
  std::string rec(whole ? recLen_ : 1, ' ');
  while (after + n < UINT32_MAX && RecordOffset(after + n + 2) <= size) {
    file_.ReadAt(RecordOffset(after + n + 1), rec.data(), rec.size());
    if ((rec[0] != ' ' && rec[0] != '*') || (whole && !whole(rec.data()))) break;
    ++n;
  }
  return n;
}

std::string DbfFile::RepairCount() {
  if (!headerAhead_ && !headerBehind_ && !headerFarBehind_) return {};
  const uint32_t was = headerCount_;
  // The end mark follows the last whole record, over the start of any
  // record that never became whole.
  const char mark = 0x1A;
  file_.WriteAt(RecordOffset(count_ + 1), &mark, 1);
  WriteCountAndDate();
  file_.Sync();
  headerAhead_ = headerFarBehind_ = false;
  headerCount_ = count_;
  return "table " + path_ + ": the header counted " + std::to_string(was) + " records; it now counts the " +
         std::to_string(count_) + (count_ == 1 ? " record" : " records") + " the file holds whole";
}

}  // namespace xbase
