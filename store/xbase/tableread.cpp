// Bulk reading: many records in view order (or in a given order) through
// bounded, reused buffers, a few large reads per batch instead of a read per
// record.
#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cursor.h"

namespace xbase {

namespace {

// The records of one batch. Records in index order lie scattered over the
// file: the larger the batch, the more of them lie close together and come
// in one read. Two batches are in memory at once (one read ahead).
constexpr size_t kBatchBytes = 24u << 20;
constexpr size_t kMemoBytes = 8u << 20;           // descriptions read ahead per batch
constexpr size_t kMemoWindowBytes = 4u << 20;
constexpr size_t kSplitGather = 8192;  // records of a batch worth a second thread
// Records gathered one by one: a wanted record that lies at most this far
// past the one before comes in the same read. A read costs as much as
// copying some 16 KiB from the file cache (an export of 10,000,000 records
// in index order takes a fifth less time than with 4 KiB); a read costs
// Windows more (and a scattered read there is a copy), so it takes in
// longer gaps.
#ifdef _WIN32
constexpr uint64_t kGatherGap = 64u << 10;
#else
constexpr uint64_t kGatherGap = 16u << 10;
#endif
// A description's header is read with this many bytes after it, enough
// for most descriptions whole.
constexpr uint64_t kMemoGuess = 1u << 10;

bool IsMemoType(char t) { return t == 'M' || t == 'G' || t == 'B' || t == 'P'; }

// Asks for bytes to be brought into the processor's cache ahead of use:
// records handed out in index order lie scattered over the batch.
inline void Prefetch(const char* p, size_t n) {
#if defined(__GNUC__) || defined(__clang__)
  if (p)
    for (size_t at = 0; at < n; at += 64) __builtin_prefetch(p + at);
#else
  (void)p;
  (void)n;
#endif
}

}  // namespace

// The records of one batch: read by ascending number, neighbours in one
// read, and handed out by the place the caller gave them; with them the
// batch's memos, read in file order.
class RecordReader {
 public:
  explicit RecordReader(SharedTable& sh)
      : sh_(sh),
        recLen_(sh.dbf.recordLength()),
        per_(std::max<size_t>(1, kBatchBytes / recLen_)) {
    const auto& fields = sh.dbf.fields();
    memoSlotOf_.assign(fields.size(), -1);
    for (size_t i = 0; i < fields.size(); ++i) {
      if (!IsMemoType(fields[i].def.type)) continue;
      memoSlotOf_[i] = (int)memoFields_.size();
      memoFields_.push_back((int)i);
    }
  }

  size_t capacity() const { return per_; }
  // Whether the caller asked for a memo of the batch.
  bool memosRead() const { return memosLoaded_; }

  // Reads records `recnos[0..n)` (n <= capacity) into slots 0..n-1; a
  // number past `count` (the table's end) leaves its slot empty. A batch of
  // neighbours is one read; any other is taken by ascending number, each
  // record with those that follow closely, so that only the pages holding
  // wanted records are read. Touches nothing of the table but the file's
  // bytes, so that another thread may load a batch while the caller goes
  // through the one before. With `withMemos`, the batch's memos are read
  // too, as the first one asked for would read them.
  void Load(const uint32_t* recnos, size_t n, uint32_t count, bool withMemos = false) {
    LoadRecords(recnos, n, count);
    if (withMemos) LoadMemos(n, true);
  }

  const char* Bytes(size_t slot) const {
    return where_[slot] == kAbsent ? nullptr : buf_.data() + (size_t)where_[slot] * recLen_;
  }

  std::string_view Text(size_t slot, int field) const {
    const DbfField& f = sh_.dbf.fields()[(size_t)field];
    const char* p = Bytes(slot) + f.offset;
    return std::string_view(p, PaddedLength(p, (size_t)f.def.width));
  }

  std::string Memo(size_t slot, int field) {
    const int k = (size_t)field < memoSlotOf_.size() ? memoSlotOf_[(size_t)field] : -1;
    if (k < 0) return sh_.ReadMemo(Bytes(slot), field);
    if (!memosLoaded_) LoadMemos(loaded_);
    const MemoAt& at = memos_[slot * memoFields_.size() + (size_t)k];
    switch (at.state) {
      case MemoAt::kRead: return arena_.substr(at.at, at.len);
      case MemoAt::kFailed: throw Error(errors_[at.at].first, errors_[at.at].second);
      default: return sh_.ReadMemo(Bytes(slot), field);
    }
  }

 private:
  void LoadRecords(const uint32_t* recnos, size_t n, uint32_t count) {
    where_.resize(n);
    // Each record goes to its slot's place, so that the caller then reads
    // the batch front to back.
    if (buf_.size() < n * recLen_) buf_.resize(n * recLen_);
    if (n > 0 && recnos[0] != 0 && (uint64_t)recnos[0] + n - 1 <= count &&
        (n == 1 || recnos[n - 1] == recnos[0] + n - 1) && IsRun(recnos, n)) {
      sh_.dbf.file().ReadAt(sh_.dbf.RecordOffset(recnos[0]), buf_.data(), n * recLen_);
      for (size_t i = 0; i < n; ++i) where_[i] = (uint32_t)i;
      Loaded(n);
      return;
    }
    sorted_.clear();
    for (size_t i = 0; i < n; ++i) sorted_.push_back((uint64_t)recnos[i] << 32 | i);
    if (!std::is_sorted(sorted_.begin(), sorted_.end())) SortByRecord(count);
    std::fill(where_.begin(), where_.end(), kAbsent);
    // A large batch is gathered by two threads, each over its own half of
    // the file: the records go to places of their own, so the two share
    // nothing but reads of the file.
    const size_t half = n >= kSplitGather ? n / 2 : n;
    std::exception_ptr error;
    std::thread other;
    if (half < n) {
      try {
        other = std::thread([&] {
          try {
            Gather(half, n, count, otherGap_);
          } catch (...) {
            error = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        Gather(half, n, count, otherGap_);  // no thread to be had: this one does it
      }
    }
    try {
      Gather(0, half, count, gap_);
    } catch (...) {
      if (other.joinable()) other.join();
      throw;
    }
    if (other.joinable()) other.join();
    if (error) std::rethrow_exception(error);
    Loaded(n);
  }

  static constexpr uint32_t kAbsent = UINT32_MAX;

  // Sorts sorted_ by record number, equal numbers in the order given (as
  // the slot is the key's low half): by digits of 11 bits, as many as the
  // largest number has.
  void SortByRecord(uint32_t largest) {
    if (sorted_.size() < 512) {
      std::sort(sorted_.begin(), sorted_.end());
      return;
    }
    sortTemp_.resize(sorted_.size());
    for (int shift = 32; shift < 64 && (shift == 32 || (largest >> (shift - 32)) != 0); shift += 11) {
      size_t counts[2048] = {};
      for (const uint64_t e : sorted_) ++counts[(e >> shift) & 2047];
      size_t sum = 0;
      for (size_t& c : counts) sum += std::exchange(c, sum);
      for (const uint64_t e : sorted_) sortTemp_[counts[(e >> shift) & 2047]++] = e;
      sorted_.swap(sortTemp_);
    }
  }

  // Reads the records sorted_[from..to) to their slots: each with the
  // wanted records that follow it closely, in one read straight to their
  // places (the bytes between them go to `gap`), as a read costs more than
  // a few pages more copied.
  void Gather(size_t from, size_t to, uint32_t count, std::vector<char>& gap) {
    constexpr size_t kMaxPieces = 1024;
    gap.resize(kGatherGap);
    ReadPiece pieces[kMaxPieces];
    const File& file = sh_.dbf.file();
    for (size_t i = from; i < to;) {
      const uint32_t recno = (uint32_t)(sorted_[i] >> 32);
      if (recno == 0 || recno > count) {
        ++i;
        continue;
      }
      const uint64_t at = sh_.dbf.RecordOffset(recno);
      uint64_t end = at + recLen_;
      size_t k = 0, j = i;
      pieces[k++] = ReadPiece{Place((uint32_t)sorted_[j++]), recLen_};
      for (; j < to && k + 2 <= kMaxPieces; ++j) {
        const uint32_t next = (uint32_t)(sorted_[j] >> 32);
        const uint64_t nextAt = sh_.dbf.RecordOffset(next);
        if (next > count || nextAt < end || nextAt > end + kGatherGap) break;
        if (nextAt > end) pieces[k++] = ReadPiece{gap.data(), (size_t)(nextAt - end)};
        pieces[k++] = ReadPiece{Place((uint32_t)sorted_[j]), recLen_};
        end = nextAt + recLen_;
      }
      if (file.ReadPieces(at, pieces, k) < end - at)
        throw Error(ErrorCode::Corrupt, file.Path() + ": file ends before offset " + std::to_string(end));
      for (; i < j; ++i) where_[(uint32_t)sorted_[i]] = (uint32_t)sorted_[i];
    }
  }
  char* Place(uint32_t slot) { return buf_.data() + (size_t)slot * recLen_; }

  static bool IsRun(const uint32_t* recnos, size_t n) {
    for (size_t i = 1; i < n; ++i)
      if (recnos[i] != recnos[i - 1] + 1) return false;
    return true;
  }
  struct MemoAt {
    enum : uint8_t { kLater, kRead, kFailed };
    uint32_t at = 0, len = 0;  // kRead: place in the arena; kFailed: the error's number
    uint8_t state = kLater;
  };

  // A new batch: its memos are read when the first of them is asked for.
  void Loaded(size_t n) {
    loaded_ = n;
    memosLoaded_ = false;
  }

  // Reads the batch's memos in the order of their blocks, so that the memo
  // file is read front to back through its window; what a damaged memo
  // throws is kept for the record it belongs to.
  // Ahead (in another thread than the caller's, while it goes through the
  // batch before), a memo that needs more than the window is left for the
  // caller's thread to read when asked for: the memo file's own reading is
  // that thread's alone.
  void LoadMemos(size_t n, bool ahead = false) {
    memosLoaded_ = true;
    arena_.clear();
    errors_.clear();
    memos_.assign(n * memoFields_.size(), MemoAt{});
    if (memoFields_.empty()) return;
    blocks_.clear();
    const size_t memoAt = sh_.dbf.fields()[(size_t)memoFields_[0]].offset;
    for (size_t slot = 0; slot < n; ++slot) {
      if (slot + 8 < n) Prefetch(Bytes(slot + 8) ? Bytes(slot + 8) + memoAt : nullptr, 1);
      const char* rec = Bytes(slot);
      if (!rec) continue;
      for (size_t k = 0; k < memoFields_.size(); ++k) {
        MemoAt& at = memos_[slot * memoFields_.size() + k];
        try {
          const uint32_t block = sh_.dbf.MemoBlock(rec, sh_.dbf.fields()[(size_t)memoFields_[k]]);
          if (block == 0)
            at.state = MemoAt::kRead;
          else
            blocks_.emplace_back(block, (uint32_t)(slot * memoFields_.size() + k));
        } catch (const Error& e) {
          Failed(at, e);
        }
      }
    }
    if (!sh_.memo.IsOpen()) return;  // read one by one, each telling there is no memo file
    std::sort(blocks_.begin(), blocks_.end());
    const uint64_t blockSize = sh_.memo.blockSize();
    for (size_t b = 0; b < blocks_.size(); ++b) {
      if (arena_.size() >= kMemoBytes) break;  // the rest are read when asked for
      const auto [block, index] = blocks_[b];
      MemoAt& at = memos_[index];
      // Descriptions close behind this one are read with it.
      const uint64_t from = block * blockSize;
      uint64_t readTo = from + kMemoGuess;
      if (!MemoWindow().Holds(from, kMemoGuess))
        for (size_t c = b + 1; c < blocks_.size(); ++c) {
          const uint64_t next = blocks_[c].first * blockSize;
          if (next > readTo + kGatherGap || next + kMemoGuess - from > kMemoWindowBytes) break;
          readTo = next + kMemoGuess;
        }
      try {
        at.at = (uint32_t)arena_.size();
        if (!sh_.memo.AppendVia(MemoWindow(), block, readTo, arena_)) {
          if (ahead) continue;
          arena_ += sh_.memo.Read(block);
        }
        at.len = (uint32_t)(arena_.size() - at.at);
        at.state = MemoAt::kRead;
      } catch (const Error& e) {
        Failed(at, e);
      }
    }
  }

  ReadWindow& MemoWindow() {
    if (!memoWindow_) memoWindow_ = std::make_unique<ReadWindow>(sh_.memo.file(), kMemoWindowBytes);
    return *memoWindow_;
  }

  void Failed(MemoAt& at, const Error& e) {
    at.state = MemoAt::kFailed;
    at.at = (uint32_t)errors_.size();
    errors_.emplace_back(e.code(), e.what());
  }

  SharedTable& sh_;
  const size_t recLen_, per_;
  std::vector<int> memoFields_, memoSlotOf_;
  std::vector<char> gap_, otherGap_;  // where the bytes between records gathered go
  std::unique_ptr<ReadWindow> memoWindow_;  // made at the first memo read
  size_t loaded_ = 0;         // records in the batch
  bool memosLoaded_ = false;  // whether the batch's memos were read
  std::vector<char> buf_;  // the batch's records
  std::vector<uint64_t> sorted_, sortTemp_;  // record << 32 | slot
  std::vector<uint32_t> where_;                        // slot -> place in buf_
  std::vector<MemoAt> memos_;
  std::vector<std::pair<uint32_t, uint32_t>> blocks_;  // (block, memo entry)
  std::string arena_;
  std::vector<std::pair<ErrorCode, std::string>> errors_;
};

// One batch on its way: the numbers of its records (with their keys, for
// a unique tag) and the reader that holds the records once read.
struct Batch {
  explicit Batch(SharedTable& sh) : reader(sh) {}
  void Clear() {
    recnos.clear();
    keys.clear();
    keyEnds.clear();
  }
  std::vector<uint32_t> recnos;
  std::string keys;
  std::vector<size_t> keyEnds;  // where each record's key ends in keys
  RecordReader reader;
};

// Batches read one ahead: while the caller goes through one batch, another
// thread reads the next, so that reading the file and using its records
// share the processor's cores. Two batches take turns: one is filled with
// numbers and then read, while the other, read before, is gone through.
class ReadAhead {
 public:
  explicit ReadAhead(SharedTable& sh) : sh_(sh), first_(sh), second_(sh) {}
  ~ReadAhead() {
    if (reading_.joinable()) reading_.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  size_t capacity() const { return first_.reader.capacity(); }
  Batch& filling() { return *fill_; }

  // Starts reading the batch being filled (in this thread when it is the
  // last and nothing else is read meanwhile), then hands `use` the batch
  // read before it, and with `last` this one too, each then emptied for
  // filling. False when `use` is: the caller stops. A batch that could not
  // be read throws here, before any later batch is used.
  bool Hand(bool last, const std::function<bool(Batch&)>& use) {
    Batch* full = fill_;
    Batch* ready = Join();
    if (full->recnos.empty()) {
      full = nullptr;
    } else if (last && !ready) {
      full->reader.Load(full->recnos.data(), full->recnos.size(), sh_.dbf.count(), memosWanted_);
      ready = full;
      full = nullptr;
    } else {
      Start(*full);
    }
    fill_ = full == &first_ ? &second_ : &first_;
    if (ready && !Use(*ready, use)) return false;
    if (last && full) return Use(*Join(), use);
    return true;
  }

 private:
  bool Use(Batch& b, const std::function<bool(Batch&)>& use) {
    const bool go = use(b);
    // A caller that reads memos reads them in every batch: the next ones'
    // are read ahead with their records.
    memosWanted_ = b.reader.memosRead();
    b.Clear();
    return go;
  }
  void Start(Batch& b) {
    inFlight_ = &b;
    failed_ = nullptr;
    const uint32_t count = sh_.dbf.count();
    const bool memos = memosWanted_;
    try {
      reading_ = std::thread([this, &b, count, memos] {
        try {
          b.reader.Load(b.recnos.data(), b.recnos.size(), count, memos);
        } catch (...) {
          failed_ = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      b.reader.Load(b.recnos.data(), b.recnos.size(), count, memos);  // no thread to be had: this one reads
    }
  }
  // The batch being read, once read; null when none is.
  Batch* Join() {
    if (reading_.joinable()) reading_.join();
    Batch* b = std::exchange(inFlight_, nullptr);
    if (failed_) std::rethrow_exception(std::exchange(failed_, nullptr));
    return b;
  }

  SharedTable& sh_;
  Batch first_, second_;
  Batch* fill_ = &first_;
  Batch* inFlight_ = nullptr;
  bool memosWanted_ = false;
  std::thread reading_;
  std::exception_ptr failed_;
};

std::string_view RecordRef::Text(int field) const { return reader->Text(slot, field); }
std::string RecordRef::Memo(int field) const { return reader->Memo(slot, field); }

void Table::ForEachRecord(const std::function<bool(const RecordRef&)>& f) {
  Impl& m = *impl_;
  m.RequireOpen("ForEachRecord");
  m.LeaveEdit();
  SharedTable& sh = *m.sh;
  ReadAhead batches(sh);
  const size_t recLen = sh.dbf.recordLength();
  // A unique tag shows the first visible record of each key: the keys of a
  // batch go with it, and the key shown last carries over to the next.
  const bool unique = m.uniqueTag();
  std::string lastKey;
  bool shownAny = false;
  const uint64_t version = sh.hasIndex ? sh.index.version() : 0;
  const auto use = [&](Batch& b) -> bool {
    const RecordReader& reader = b.reader;
    for (size_t i = 0; i < b.recnos.size(); ++i) {
      if (i + 4 < b.recnos.size()) Prefetch(reader.Bytes(i + 4), recLen);
      const char* rec = reader.Bytes(i);
      if (!rec || !m.PassesRecord(rec)) continue;
      if (unique) {
        const size_t from = i == 0 ? 0 : b.keyEnds[i - 1];
        const std::string_view key(b.keys.data() + from, b.keyEnds[i] - from);
        if (shownAny && ComparePadded(lastKey, key) == 0) continue;
        lastKey.assign(key);
        shownAny = true;
      }
      if (!f(RecordRef{b.recnos[i], rec, &b.reader, i})) return false;
    }
    if (sh.hasIndex && sh.index.version() != version)
      throw Error(ErrorCode::Usage, "the table " + Path() + " was written during a bulk read of it");
    return true;
  };

  const uint32_t count = m.dbf().count();
  if (!m.tagged()) {
    for (uint32_t first = 1; first <= count;) {
      const uint32_t k = (uint32_t)std::min<uint64_t>(batches.capacity(), (uint64_t)count - first + 1);
      std::vector<uint32_t>& recnos = batches.filling().recnos;
      for (uint32_t i = 0; i < k; ++i) recnos.push_back(first + i);
      first += k;
      if (!batches.Hand(first > count, use)) return;
    }
    return;
  }
  // One pass over the tag's leaves: a few pages are kept, not the cache.
  const SharedTable::WalkCache walk(sh);
  const bool completed = m.moves.ForEachEntry([&](std::string_view key, uint32_t r) {
    Batch& b = batches.filling();
    b.recnos.push_back(r);
    if (unique) {
      b.keys.append(key);
      b.keyEnds.push_back(b.keys.size());
    }
    return b.recnos.size() < batches.capacity() || batches.Hand(false, use);
  });
  if (completed) batches.Hand(true, use);
}

void Table::ForEachRecno(const std::function<bool(uint32_t)>& f) {
  Impl& m = *impl_;
  m.RequireOpen("ForEachRecno");
  m.LeaveEdit();
  if (!m.FastTag()) {
    ForEachRecord([&](const RecordRef& r) { return f(r.recno); });
    return;
  }
  // The tag alone tells which records the view shows: no record is read.
  m.moves.ForEachEntry([&](std::string_view, uint32_t r) { return f(r); });
}

void Table::ForEachRecordOf(const std::vector<uint32_t>& recnos, const std::function<bool(const RecordRef&)>& f) {
  Impl& m = *impl_;
  m.RequireOpen("ForEachRecordOf");
  m.LeaveEdit();
  ReadAhead batches(*m.sh);
  const auto use = [&](Batch& b) -> bool {
    for (size_t i = 0; i < b.recnos.size(); ++i) {
      const char* rec = b.reader.Bytes(i);
      if (rec && !f(RecordRef{b.recnos[i], rec, &b.reader, i})) return false;
    }
    return true;
  };
  for (size_t first = 0; first < recnos.size();) {
    const size_t n = std::min(batches.capacity(), recnos.size() - first);
    batches.filling().recnos.assign(recnos.begin() + (std::ptrdiff_t)first, recnos.begin() + (std::ptrdiff_t)(first + n));
    first += n;
    if (!batches.Hand(first == recnos.size(), use)) return;
  }
}

}  // namespace xbase
