#include <algorithm>

#include "pack.h"
#include "shared.h"
#include "text.h"
#include "xbase.h"

namespace xbase {

std::vector<std::string> CheckTable(const std::string& dbfPath) {
  std::vector<std::string> problems;
  std::string pending = PendingPackProblem(dbfPath);
  if (!pending.empty()) problems.push_back(pending);
  DbfFile dbf;
  try {
    dbf.Open(dbfPath, false);
  } catch (const Error& e) {
    problems.push_back(e.what());
    return problems;
  }
  if (!dbf.file().TryLock(File::Lock::Shared)) {
    problems.push_back("table " + dbfPath + " is opened exclusively by another program; it cannot be checked now");
    return problems;
  }
  const uint32_t n = dbf.count(), recLen = dbf.recordLength();
  uint64_t size = dbf.file().Size();
  uint64_t end = dbf.RecordOffset(n + 1);
  if (size > end + 1) {
    // Bytes past the end mark are the remains of an append that never
    // completed; they are harmless and written over by the next append.
  }
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
  std::vector<int> memoFields;
  for (size_t i = 0; i < dbf.fields().size(); ++i)
    if (dbf.fields()[i].def.type == 'M') memoFields.push_back((int)i);

  // Every record: its deletion flag and its memo references.
  uint32_t per = std::max<uint32_t>(1, (1u << 20) / recLen);
  std::vector<char> buf((size_t)per * recLen);
  size_t badFlags = 0, badMemos = 0;
  try {
    for (uint32_t first = 1; first <= n; first += per) {
      uint32_t k = std::min(per, n - first + 1);
      dbf.ReadRecords(first, k, buf.data());
      for (uint32_t i = 0; i < k; ++i) {
        const char* r = buf.data() + (size_t)i * recLen;
        uint32_t recno = first + i;
        if (r[0] != ' ' && r[0] != '*') {
          if (++badFlags <= 10)
            problems.push_back("table " + dbfPath + ": record " + std::to_string(recno) +
                               " has an invalid deletion flag");
        }
        for (int f : memoFields) {
          std::string problem;
          try {
            uint32_t block = dbf.MemoBlock(r, dbf.fields()[(size_t)f]);
            if (block != 0) {
              if (!haveMemo)
                problem = "refers to a memo but there is no memo file";
              else
                problem = memo.Verify(block);
            }
          } catch (const Error& e) {
            problem = e.what();
          }
          if (!problem.empty() && ++badMemos <= 10)
            problems.push_back("table " + dbfPath + ": record " + std::to_string(recno) + ", field " +
                               dbf.fields()[(size_t)f].def.name + ": " + problem);
        }
      }
    }
  } catch (const Error& e) {
    problems.push_back(e.what());
  }

  // Every tag against the records.
  std::string ip = IndexPathFor(dbfPath);
  if (PathExists(ip)) {
    try {
      IndexFile index;
      if (!index.Open(ip, false, n, dbf.Stamp())) {
        problems.push_back("index file " + ip + " does not match its table (it is rebuilt when the table is opened)");
      } else {
        auto structural = index.Verify();
        problems.insert(problems.end(), structural.begin(), structural.end());
        if (structural.empty()) {
          SharedTable probe(Environment::Default(), dbfPath, false);
          for (size_t t = 0; t < index.tags().size(); ++t) {
            TagRuntime rt;
            // Compile against this table's fields.
            probe.dbf.Open(dbfPath, false);
            rt = probe.Compile(index.tags()[t]);
            std::vector<std::pair<std::string, uint32_t>> expected;
            std::string rec(recLen, ' ');
            for (uint32_t first = 1; first <= n; first += per) {
              uint32_t k = std::min(per, n - first + 1);
              dbf.ReadRecords(first, k, buf.data());
              for (uint32_t i = 0; i < k; ++i) {
                const char* r = buf.data() + (size_t)i * recLen;
                if (!probe.InTag(rt, r)) continue;
                std::string key;
                probe.KeyOf(rt, r, key);
                expected.emplace_back(std::move(key), first + i);
              }
            }
            std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
              int c = ComparePadded(a.first, b.first);
              return c != 0 ? c < 0 : a.second < b.second;
            });
            size_t at = 0;
            bool mismatch = false;
            index.ForEach((int)t, [&](std::string_view key, uint32_t recno) {
              if (mismatch) return;
              if (at >= expected.size() || expected[at].second != recno ||
                  ComparePadded(expected[at].first, key) != 0)
                mismatch = true;
              ++at;
            });
            if (mismatch || at != expected.size())
              problems.push_back("index file " + ip + ", tag " + index.tags()[t].name +
                                 " does not match the records");
            probe.dbf.Close();
          }
        }
      }
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

}  // namespace xbase
