#include <algorithm>
#include <functional>

#include "shared.h"
#include "text.h"
#include "xbase.h"

namespace xbase {

std::vector<std::string> SharedTable::CompareIndex(IndexFile& idx, const std::vector<TagRuntime>& rt) {
  // The key each record must have in each tag, as a hash by record number
  // (0: not in the tag, 1: already met in the tag); each entry met along
  // the leaves must be its record's, in order, and met once.
  constexpr uint64_t kNotIn = 0, kMet = 1;
  auto hashOf = [](std::string_view key) {
    uint64_t h = std::hash<std::string_view>()(key);
    return h <= kMet ? h + 2 : h;
  };
  const uint32_t n = dbf.count(), recLen = dbf.recordLength();
  std::vector<std::vector<uint64_t>> want(rt.size(), std::vector<uint64_t>((size_t)n + 1, kNotIn));
  std::vector<uint64_t> inTag(rt.size(), 0);
  const uint32_t per = std::max<uint32_t>(1, (1u << 20) / recLen);
  std::vector<char> buf((size_t)per * recLen);
  std::string key;
  for (uint32_t first = 1; first <= n; first += per) {
    uint32_t k = std::min(per, n - first + 1);
    dbf.ReadRecords(first, k, buf.data());
    for (uint32_t i = 0; i < k; ++i) {
      const char* r = buf.data() + (size_t)i * recLen;
      for (size_t t = 0; t < rt.size(); ++t) {
        if (!InTag(rt[t], r)) continue;
        key.clear();
        KeyOf(rt[t], r, key);
        want[t][first + i] = hashOf(key);
        ++inTag[t];
      }
    }
  }
  std::vector<std::string> problems;
  for (size_t t = 0; t < rt.size(); ++t) {
    uint64_t met = 0;
    bool bad = false;
    std::string lastKey;
    uint32_t lastRec = 0;
    idx.ForEach((int)t, [&](std::string_view k, uint32_t recno) {
      if (bad) return;
      if (recno == 0 || recno > n || want[t][recno] != hashOf(k)) {
        bad = true;
        return;
      }
      if (met > 0) {
        int c = ComparePadded(lastKey, k);
        if (c > 0 || (c == 0 && lastRec >= recno)) bad = true;
      }
      want[t][recno] = kMet;
      ++met;
      lastKey.assign(k);
      lastRec = recno;
    });
    if (bad || met != inTag[t])
      problems.push_back("index file " + idx.path() + ", tag " + rt[t].def.name + " does not match the records");
  }
  return problems;
}

std::vector<std::string> CheckTable(const std::string& dbfPath) {
  std::vector<std::string> problems;
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

  // Every tag against the records. An index written for this content of
  // the table under another modification time (a copy) is compared as one
  // written for it: the comparison is the check either way.
  std::string ip = IndexPathFor(dbfPath);
  if (FileExists(ip)) {
    try {
      IndexFile index;
      if (index.Open(ip, false, dbf.Stamp()) == IndexFile::Fit::Stale) {
        problems.push_back("index file " + ip + " does not match its table (it is rebuilt when the table is opened)");
      } else {
        auto structural = index.Verify();
        problems.insert(problems.end(), structural.begin(), structural.end());
        if (structural.empty()) {
          SharedTable probe(Environment::Default(), dbfPath, false);
          probe.dbf.Open(dbfPath, false);
          std::vector<TagRuntime> rt;
          for (const IndexTagDef& d : index.tags()) rt.push_back(probe.Compile(d));
          auto differ = probe.CompareIndex(index, rt);
          problems.insert(problems.end(), differ.begin(), differ.end());
          probe.dbf.Close();
        }
      }
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

}  // namespace xbase
