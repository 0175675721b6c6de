#include <algorithm>
#include <functional>

#include "indexpage.h"
#include "pack.h"
#include "shared.h"
#include "text.h"
#include "xbase.h"

namespace xbase {

namespace {

// A sum over a set of (record, key) entries that does not depend on their
// order: two independent 64-bit mixes of each entry, added up, and the
// count. Equal sums tell, but for a chance of about 2^-128, that two sets
// hold the same entries; the comparison so needs no memory per record.
struct EntrySum {
  uint64_t a = 0, b = 0, count = 0;
  static uint64_t Mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  }
  void Add(uint32_t recno, std::string_view key) {
    const uint64_t h = std::hash<std::string_view>()(key);
    a += Mix(h ^ (recno * 0x9E3779B97F4A7C15ull));
    b += Mix((h + 0xD1B54A32D192ED03ull) ^ ((uint64_t)recno << 29 | recno));
    ++count;
  }
  bool operator==(const EntrySum&) const = default;
};

}  // namespace

std::vector<std::string> SharedTable::IndexLife::Compare(IndexFile& idx, const std::vector<TagRuntime>& rt) {
  // The entries each tag must hold, one per record in it, against those
  // its leaves hold; the leaves must also run in key order (equal keys by
  // record number).
  const uint32_t n = sh_.dbf.count();
  std::vector<EntrySum> want(rt.size());
  ForEachKey(rt, [&](size_t t, uint32_t recno, const std::string& key) { want[t].Add(recno, key); });
  std::vector<std::string> problems;
  for (size_t t = 0; t < rt.size(); ++t) {
    EntrySum met;
    bool bad = false;
    std::string lastKey;
    uint32_t lastRec = 0;
    idx.ForEach((int)t, [&](std::string_view k, uint32_t recno) {
      if (bad) return;
      if (recno == 0 || recno > n) {
        bad = true;
        return;
      }
      if (met.count > 0) {
        int c = ComparePadded(lastKey, k);
        if (c > 0 || (c == 0 && lastRec >= recno)) bad = true;
      }
      met.Add(recno, k);
      lastKey.assign(k);
      lastRec = recno;
    });
    if (bad || !(met == want[t]))
      problems.push_back("index file " + idx.path() + ", tag " + rt[t].def.name + " does not match the records");
  }
  return problems;
}

namespace {

// The bytes a writer changes with every change of a file, and its size.
void AppendStateOf(const std::string& path, uint64_t bytes, std::string& out) {
  std::string head(bytes, '\0');
  uint64_t size = 0;
  size_t got = 0;
  try {
    if (PathExists(path)) {
      File f;
      f.Open(path, File::Mode::ReadOnly);
      size = f.Size();
      got = f.ReadSome(0, head.data(), head.size());
    }
  } catch (const Error& e) {
    out += e.what();
  }
  head.resize(got);
  out += std::to_string(size) + ':' + std::to_string(got) + ':' + head;
}

std::vector<std::string> Problems(const std::string& dbfPath, const std::vector<FieldDef>& required,
                                  bool& repairable) {
  std::vector<std::string> problems;
  // The files as they are before anything is read, to tell at the end
  // whether a writer changed them meanwhile.
  const std::string before = TableFilesState(dbfPath);
  std::string pending = PendingPackProblem(dbfPath);
  if (!pending.empty()) problems.push_back(pending);
  DbfFile dbf;
  try {
    dbf.Open(dbfPath, false);
  } catch (const Error& e) {
    problems.push_back(e.what());
    return problems;
  }
  // Alone with the table, or beside a program that has it open (and may be
  // appending to it right now). The exclusive lock is only a question; the
  // check goes on under a shared one, which keeps out nothing but a pack.
  const bool alone = dbf.file().TryLock(File::Lock::Exclusive);
  if (!dbf.file().TryLock(File::Lock::Shared)) {
    problems.push_back("table " + dbfPath + " is opened exclusively by another program; it cannot be checked now");
    return problems;
  }
  const uint32_t n = dbf.count(), recLen = dbf.recordLength();
  if (std::string p = FieldsProblem(dbfPath, dbf.fieldDefs(), required); !p.empty()) problems.push_back(p);
  // A complete record past the counted ones is read as part of the table
  // and counted at the next write; beside a running program it may be an
  // append in progress, so it is told only when the table is ours alone.
  if (dbf.headerAhead()) {
    problems.push_back("table " + dbfPath + " is damaged: the header counts " + std::to_string(dbf.headerCount()) +
                       " records, but the file holds " + std::to_string(n) + (n == 1 ? " whole record" : " whole records") +
                       " (a count written before its records, or damage); those are read, and a program that writes "
                       "refuses the table until its count is repaired");
    repairable = true;
  }
  if (dbf.headerFarBehind()) {
    problems.push_back("table " + dbfPath + " is damaged: the header counts " + std::to_string(dbf.headerCount()) +
                       " records, but the file holds " + std::to_string(n) + " whole records (a wrong count, or "
                       "appends never counted); those are read, and a program that writes refuses the table until "
                       "its count is repaired");
    repairable = true;
  }
  // A batch of appends marks the header until it ends; with the table ours
  // alone, the mark is left by a batch that never ended (a power cut, a
  // killed program), whose records past the count are not yet the table's.
  if (dbf.RunMarked() && alone) {
    const uint64_t size = dbf.file().Size();
    const uint64_t whole = size > dbf.headerLength() ? (size - dbf.headerLength()) / recLen : 0;
    const uint64_t past = whole > n ? whole - n : 0;
    problems.push_back("table " + dbfPath + ": a batch of additions that never ended left " + std::to_string(past) +
                       (past == 1 ? " record" : " records") + " past the " + std::to_string(n) +
                       " the header counts; the next command that writes the table keeps those that are whole");
    repairable = true;
  }
  if (dbf.headerBehind() && alone) repairable = true;
  if (dbf.headerBehind() && alone)
    problems.push_back("table " + dbfPath + ": the header counts " + std::to_string(n - 1) + " records, but record " +
                       std::to_string(n) + " follows them complete (an append cut short, or a wrong count); it is "
                       "kept, read as part of the table and counted at the next write");

  MemoFile memo;
  bool haveMemo = false;
  if (dbf.hasMemo()) {
    std::string mp = MemoPathFor(dbfPath);
    try {
      memo.Open(mp, false);
      haveMemo = true;
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }
  std::string ip = IndexPathFor(dbfPath);

  std::vector<int> memoFields;
  for (size_t i = 0; i < dbf.fields().size(); ++i)
    if (dbf.fields()[i].def.type == 'M') memoFields.push_back((int)i);

  // Every record: its deletion flag and its memo references; every damaged
  // one is listed.
  uint32_t per = std::max<uint32_t>(1, (1u << 20) / recLen);
  std::vector<char> buf((size_t)per * recLen);
  uint64_t memoEnd = 0;  // the furthest end of a memo a record points to
  uint32_t memoEndRecord = 0, memoEndBlock = 0;
  try {
    for (uint32_t first = 1; first <= n; first += per) {
      uint32_t k = std::min(per, n - first + 1);
      dbf.ReadRecords(first, k, buf.data());
      for (uint32_t i = 0; i < k; ++i) {
        const char* r = buf.data() + (size_t)i * recLen;
        uint32_t recno = first + i;
        if (r[0] != ' ' && r[0] != '*')
          problems.push_back("table " + dbfPath + ": record " + std::to_string(recno) +
                             " has an invalid deletion flag");
        for (int f : memoFields) {
          std::string problem;
          try {
            uint32_t block = dbf.MemoBlock(r, dbf.fields()[(size_t)f]);
            if (block != 0) {
              if (!haveMemo) {
                problem = "refers to a memo but there is no memo file";
              } else {
                uint64_t end = 0;
                problem = memo.Verify(block, &end);
                if (problem.empty() && end > memoEnd) {
                  memoEnd = end;
                  memoEndRecord = recno;
                  memoEndBlock = block;
                }
              }
            }
          } catch (const Error& e) {
            problem = e.what();
          }
          if (!problem.empty())
            problems.push_back("table " + dbfPath + ": record " + std::to_string(recno) + ", field " +
                               dbf.fields()[(size_t)f].def.name + ": " + problem);
        }
      }
    }
  } catch (const Error& e) {
    problems.push_back(e.what());
  }
  // The memo file's header must hand out only blocks after every memo; one
  // that points inside them would have new descriptions written over old
  // ones by a tool that trusts it (this engine writes after the end of the
  // file whatever the header says).
  if (haveMemo && memoEnd > 0) {
    try {
      memo.Refresh();
      if (memoEnd > (uint64_t)memo.nextFree() * memo.blockSize())
        problems.push_back("memo file " + memo.path() + " is damaged: its header gives block " +
                           std::to_string(memo.nextFree()) + " as the next free one, inside the memo of record " +
                           std::to_string(memoEndRecord) + " (block " + std::to_string(memoEndBlock) +
                           "); new descriptions are written after the end of the file, so none is written over");
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }

  // Every tag against the records. An index written for this content of
  // the table under another modification time (a copy) is compared as one
  // written for it: the comparison is the check either way.
  if (PathExists(ip)) {
    try {
      IndexFile index;
      // The check walks the index once: a few pages in memory are enough,
      // whatever the index's size.
      index.SetCacheBytes(4u << 20);
      if (index.Open(ip, false, dbf.Stamp()) == IndexFile::Fit::Stale) {
        // Beside a program that writes the table, an index written for an
        // earlier state of it is the normal case between two of its writes.
        if (alone) {
          problems.push_back("index file " + ip + " does not match its table (it is rebuilt when the table is opened)");
          repairable = true;
        }
      } else {
        index.SetRecordLimit(dbf.count());
        auto structural = index.Verify();
        problems.insert(problems.end(), structural.begin(), structural.end());
        repairable = repairable || !structural.empty();
        if (structural.empty()) {
          SharedTable probe(Environment::Default(), dbfPath, false, true);
          probe.dbf.Open(dbfPath, false);
          std::vector<TagRuntime> rt;
          for (const IndexTagDef& d : index.tags()) rt.push_back(probe.indexLife.Compile(d));
          auto differ = probe.indexLife.Compare(index, rt);
          problems.insert(problems.end(), differ.begin(), differ.end());
          repairable = repairable || !differ.empty();
          probe.dbf.Close();
        }
      }
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }

  // What a writer did meanwhile is not damage: the reader says so instead.
  if (!problems.empty() && !alone && TableFilesState(dbfPath) != before) {
    repairable = false;
    return {"table " + dbfPath + " changed while it was being checked (another program is writing to it); "
            "check it again when the program is idle or closed"};
  }
  return problems;
}

}  // namespace

std::string TableFilesState(const std::string& dbfPath) {
  // Every change a writer makes shows here before it is complete: the
  // table header's record count and change counter (raised with every
  // record written), the memo header's next free block, the index file's
  // state page (marked as being changed before the first page of a change
  // is written, stamped with the table's counter after the last).
  std::string state;
  AppendStateOf(dbfPath, 32, state);
  AppendStateOf(MemoPathFor(dbfPath), 8, state);
  AppendStateOf(IndexPathFor(dbfPath), nsx::kStateBytes, state);
  return state;
}

std::vector<std::string> CheckTable(const std::string& dbfPath, const std::vector<FieldDef>& required,
                                    bool* repairable) {
  bool canRepair = false;
  std::vector<std::string> problems = Problems(dbfPath, required, canRepair);
  if (repairable) *repairable = canRepair && !problems.empty();
  // A problem quotes what the files hold (a field's name, a memo pointer):
  // every line is made printable.
  for (std::string& p : problems) p = Printable(p);
  return problems;
}

}  // namespace xbase
