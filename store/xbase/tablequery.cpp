// Finding records: the query, Locate, FindContaining and FindWhere.
#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <string>
#include <vector>

#include "cursor.h"
#include "fold.h"

namespace xbase {

void Table::SetQuery(const std::string& expression) {
  Impl& m = *impl_;
  if (!m.sh) {
    query_ = expression;
    return;
  }
  m.LeaveEdit();
  std::string old = query_;
  query_ = expression;
  try {
    m.CompileQuery();
  } catch (...) {
    query_ = old;
    m.CompileQuery();
    throw;
  }
  m.GoFirst();
  m.Notify();
}

bool Table::Locate(std::string_view field, std::string_view value, LocateOptions opt) {
  Impl& m = *impl_;
  m.RequireOpen("Locate");
  m.LeaveEdit();
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool memo = f.def.type == 'M';
  std::string want = opt.caseInsensitive ? Utf8Lower(value) : std::string(value);
  if (!opt.partialKey) want = std::string(TrimRight(want));
  uint32_t keep = m.recno;
  auto matches = [&]() {
    std::string v;
    if (memo) {
      v = m.sh->ReadMemo(m.rec.data(), fi);
    } else {
      v = std::string(TrimRight(std::string_view(m.rec.data() + f.offset, (size_t)f.def.width)));
    }
    if (opt.caseInsensitive) v = Utf8Lower(v);
    if (opt.partialKey) return v.compare(0, want.size(), want) == 0;
    return v == want;
  };
  if (m.moves.MoveFirst()) {
    do {
      if (matches()) {
        eof_ = bof_ = false;
        m.Notify();
        return true;
      }
    } while (m.moves.MoveNext());
  }
  m.Reposition(keep);
  return false;
}

namespace {

// What one stretch of records gave the search: its hits in record order and,
// while the hits are few enough to be ordered by key, each hit's key.
struct ScanPart {
  std::vector<uint32_t> hits;
  std::string keys;
  std::vector<uint32_t> keyEnds;
};

// Stretches are read into a buffer small enough to stay in the processor's
// cache while it is scanned.
constexpr size_t kScanBytes = 256u << 10;
// A large table is looked at where it lies in the system's file cache,
// a stretch of this size mapped at a time: copying it into a buffer costs
// several times more than looking at it. The last kUnmappedTail bytes of
// the file are read all the same: another program undoing a failed append
// may cut them off meanwhile, and a mapped byte the file no longer holds
// would end the program where a read reports.
constexpr size_t kMappedScanBytes = 4u << 20;
constexpr uint64_t kUnmappedTail = 1u << 20;
// Tables smaller than this are scanned by the calling thread alone.
constexpr uint64_t kParallelScanBytes = 8u << 20;

}  // namespace

std::vector<uint32_t> Table::FindContaining(std::string_view field, std::string_view text, bool caseInsensitive) {
  if (text.empty()) return {};
  if (caseInsensitive) {
    // The program's one case folding, as the search window uses it.
    const FoldedSearch search(text);
    return FindFolded(field, search);
  }
  const std::string needle(text);
  return FindWhere(field, [&](std::string_view v) { return v.find(needle) != std::string_view::npos; });
}

std::vector<uint32_t> Table::FindWhere(std::string_view field, const std::function<bool(std::string_view)>& matches,
                                       const std::function<bool(double)>& progress) {
  return Find(field, matches, progress, nullptr);
}

std::vector<uint32_t> Table::FindFolded(std::string_view field, const FoldedSearch& search,
                                        const std::function<bool(double)>& progress) {
  return Find(field, [&](std::string_view v) { return search(v); }, progress, &search);
}

std::vector<uint32_t> Table::Find(std::string_view field, const std::function<bool(std::string_view)>& matches,
                                  const std::function<bool(double)>& progress, const FoldedSearch* sieve) {
  Impl& m = *impl_;
  m.RequireOpen("FindWhere");
  std::vector<uint32_t> hits;
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  const bool memo = f.def.type == 'M';
  const bool deletedOff = !env_.Deleted();
  const TagRuntime* tagRt = m.tagged() ? &m.rt() : nullptr;
  SharedTable& sh = *m.sh;

  const uint32_t total = m.dbf().count();
  const uint32_t recLen = m.dbf().recordLength();
  const File& file = m.dbf().file();
  const uint64_t dataEnd = total == 0 ? 0 : m.dbf().RecordOffset(total) + recLen;
  const uint64_t fileSize = dataEnd >= 2 * kMappedScanBytes ? file.Size() : 0;
  const uint64_t mapLimit = fileSize > kUnmappedTail ? fileSize - kUnmappedTail : 0;
  const bool mapping = mapLimit >= 2 * kMappedScanBytes;
  const uint32_t readPer = std::max<uint32_t>(1, (uint32_t)(kScanBytes / recLen));
  const uint32_t per = mapping ? std::max<uint32_t>(1, (uint32_t)(kMappedScanBytes / recLen)) : readPer;
  const uint32_t parts = total == 0 ? 0 : (total - 1) / per + 1;
  const size_t w = (size_t)f.def.width;
  // Fields are searched without their padding: a needle that ends in a
  // blank could match it, and any other match lies before it anyway.
  // Ordering the hits as the tag orders them: up to kKeyedHits hits are
  // sorted by their keys; past that the hits are marked one bit per record
  // and taken in the order of the tag's leaves. Walking every leaf costs
  // about as much as sorting a sixteenth of the records' keys, and the keys
  // kept stay within a few MiB.
  const size_t kKeyedHits = std::clamp<size_t>(total / 16, 4096, 65536);

  // The stretches are shared out among threads, each with its own buffer:
  // reading the file is most of the work, and the records of one stretch
  // need nothing of another's. Descriptions and tag conditions that read
  // them go through the memo file's one reader, so those searches keep to
  // the calling thread.
  const bool memoCond = tagRt && tagRt->cond && tagRt->cond->usesMemo();
  unsigned threads = 1;
  if (!memo && !memoCond && (uint64_t)total * recLen >= kParallelScanBytes)
    threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  std::vector<ScanPart> results(parts);
  std::atomic<uint32_t> nextPart{0};
  std::atomic<size_t> hitCount{0};
  std::atomic<bool> failed{false};
  std::mutex errorLock;
  std::exception_ptr error;

  std::atomic<bool> stopped{false};
  std::atomic<uint32_t> partsDone{0};
  const std::thread::id caller = std::this_thread::get_id();
  const auto scan = [&]() {
    try {
      std::vector<char> buf;
      std::string memoText;
      // The record `recno` at r.
      const auto lookAt = [&](const char* r, uint32_t recno, ScanPart& out) {
        if (!deletedOff && r[0] == '*') return;
        bool hit;
        if (memo) {
          memoText = sh.ReadMemo(r, fi);
          hit = matches(memoText);
        } else {
          const char* fp = r + f.offset;
          hit = matches(std::string_view(fp, PaddedLength(fp, w)));
        }
        if (!hit || (tagRt && !sh.InTag(*tagRt, r))) return;
        out.hits.push_back(recno);
        // Keys are kept only while the hits may still be few enough.
        if (tagRt && hitCount.fetch_add(1, std::memory_order_relaxed) < kKeyedHits)
          SharedTable::KeyOf(*tagRt, r, out.keys);
        if (tagRt) out.keyEnds.push_back((uint32_t)out.keys.size());
      };
      // The records first..first+k-1 at `base`; with a sieve, only those
      // it offers.
      const auto look = [&](const char* base, uint32_t first, uint32_t k, ScanPart& out) {
        if (!sieve || memo) {
          for (uint32_t i = 0; i < k; ++i) lookAt(base + (size_t)i * recLen, first + i, out);
          return;
        }
        sieve->Sieve(FieldColumn{base, k, recLen, f.offset, w},
                     [&](size_t i) { lookAt(base + i * recLen, first + (uint32_t)i, out); });
      };
      for (uint32_t part; !failed && !stopped && (part = nextPart++) < parts;) {
        const uint32_t first = 1 + part * per;
        const uint32_t k = std::min(per, total - first + 1);
        const uint64_t at = m.dbf().RecordOffset(first);
        const size_t bytes = (size_t)k * recLen;
        ScanPart& out = results[part];
        const MappedBytes view = at + bytes <= mapLimit ? file.MapForReading(at, bytes) : MappedBytes();
        if (view.data()) {
          look(view.data(), first, k, out);
        } else {
          buf.resize((size_t)readPer * recLen);
          for (uint32_t from = first; from < first + k; from += readPer) {
            const uint32_t n = std::min(readPer, first + k - from);
            file.ReadAt(m.dbf().RecordOffset(from), buf.data(), (size_t)n * recLen);
            look(buf.data(), from, n, out);
          }
        }
        const uint32_t done = ++partsDone;
        // The caller hears how far the pass is between its own stretches.
        if (progress && std::this_thread::get_id() == caller && !progress((double)done / parts)) stopped = true;
      }
    } catch (...) {
      failed = true;
      std::lock_guard<std::mutex> hold(errorLock);
      if (!error) error = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(scan);
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the others do the work
    }
  }
  scan();
  for (std::thread& t : helpers) t.join();
  if (error) std::rethrow_exception(error);
  if (stopped) return {};

  if (!tagRt || hitCount > kKeyedHits) {
    for (const ScanPart& p : results) hits.insert(hits.end(), p.hits.begin(), p.hits.end());
    if (!tagRt) return hits;
    // The tag's leaves give the order; a unique tag keeps the first hit of
    // each key.
    std::vector<bool> marked((size_t)total + 1, false);
    for (const uint32_t r : hits) marked[r] = true;
    hits.clear();
    std::string lastKey;
    const SharedTable::WalkCache walk(sh);
    sh.index.ForEach(m.tag, [&](std::string_view k, uint32_t recno) {
      if (recno == 0 || recno > total || !marked[recno]) return;
      if (tagRt->def.unique) {
        if (!hits.empty() && ComparePadded(lastKey, k) == 0) return;
        lastKey.assign(k);
      }
      marked[recno] = false;
      hits.push_back(recno);
    });
    return hits;
  }
  // Few hits: ordered by their keys.
  std::vector<std::pair<std::string_view, uint32_t>> keyed;
  keyed.reserve(hitCount);
  for (const ScanPart& p : results)
    for (size_t i = 0; i < p.hits.size(); ++i) {
      const size_t from = i == 0 ? 0 : p.keyEnds[i - 1];
      keyed.emplace_back(std::string_view(p.keys).substr(from, p.keyEnds[i] - from), p.hits[i]);
    }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
    int c = ComparePadded(a.first, b.first);
    return c != 0 ? c < 0 : a.second < b.second;
  });
  for (size_t i = 0; i < keyed.size(); ++i) {
    if (tagRt->def.unique && i > 0 && ComparePadded(keyed[i - 1].first, keyed[i].first) == 0) continue;
    hits.push_back(keyed[i].second);
  }
  return hits;
}

}  // namespace xbase
