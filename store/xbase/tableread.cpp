// Bulk reading: many records in view order (or in a given order) through
// bounded, reused buffers, a few large reads per batch instead of a read per
// record.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cursor.h"

namespace xbase {

namespace {

constexpr size_t kBatchBytes = 8u << 20;  // the records of one batch
constexpr size_t kRunBytes = 1u << 20;    // one read at most
constexpr size_t kGapBytes = 64u << 10;   // records this close are read together
constexpr size_t kMemoBytes = 16u << 20;  // descriptions read ahead per batch

bool IsMemoType(char t) { return t == 'M' || t == 'G' || t == 'B' || t == 'P'; }

}  // namespace

// The records of one batch: read by ascending number, neighbours in one
// read, and handed out by the place the caller gave them; with them the
// batch's memos, read in file order.
class RecordReader {
 public:
  explicit RecordReader(SharedTable& sh)
      : sh_(sh), recLen_(sh.dbf.recordLength()), per_(std::max<size_t>(1, kBatchBytes / recLen_)) {
    const auto& fields = sh.dbf.fields();
    memoSlotOf_.assign(fields.size(), -1);
    for (size_t i = 0; i < fields.size(); ++i) {
      if (!IsMemoType(fields[i].def.type)) continue;
      memoSlotOf_[i] = (int)memoFields_.size();
      memoFields_.push_back((int)i);
    }
    buf_.resize(per_ * recLen_);
  }

  size_t capacity() const { return per_; }

  // Reads records `recnos[0..n)` (n <= capacity) into slots 0..n-1; a
  // number past the table's end leaves its slot empty.
  void Load(const uint32_t* recnos, size_t n) {
    sorted_.clear();
    for (size_t i = 0; i < n; ++i) sorted_.emplace_back(recnos[i], (uint32_t)i);
    if (!std::is_sorted(sorted_.begin(), sorted_.end())) std::sort(sorted_.begin(), sorted_.end());
    where_.assign(n, kAbsent);
    const uint32_t count = sh_.dbf.count();
    const uint64_t gap = std::max<uint64_t>(1, kGapBytes / recLen_);
    const uint64_t run = std::max<uint64_t>(1, kRunBytes / recLen_);
    size_t out = 0;
    for (size_t i = 0; i < sorted_.size();) {
      const uint32_t first = sorted_[i].first;
      if (first == 0 || first > count) {
        ++i;
        continue;
      }
      size_t j = i;
      uint32_t last = first;
      while (j + 1 < sorted_.size()) {
        const uint32_t r = sorted_[j + 1].first;
        if (r > count || r - last > gap || (uint64_t)r - first + 1 > run) break;
        last = r;
        ++j;
      }
      const uint32_t span = last - first + 1;
      if (span == j - i + 1) {
        // Every record of the stretch is wanted: read straight into place.
        sh_.dbf.ReadRecords(first, span, buf_.data() + out * recLen_);
        for (size_t k = i; k <= j; ++k) where_[sorted_[k].second] = (uint32_t)out++;
      } else {
        scratch_.resize((size_t)span * recLen_);
        sh_.dbf.ReadRecords(first, span, scratch_.data());
        for (size_t k = i; k <= j; ++k) {
          std::memcpy(buf_.data() + out * recLen_, scratch_.data() + (size_t)(sorted_[k].first - first) * recLen_,
                      recLen_);
          where_[sorted_[k].second] = (uint32_t)out++;
        }
      }
      i = j + 1;
    }
    LoadMemos(n);
  }

  const char* Bytes(size_t slot) const {
    return where_[slot] == kAbsent ? nullptr : buf_.data() + (size_t)where_[slot] * recLen_;
  }

  std::string_view Text(size_t slot, int field) const {
    const DbfField& f = sh_.dbf.fields()[(size_t)field];
    const char* p = Bytes(slot) + f.offset;
    return std::string_view(p, PaddedLength(p, (size_t)f.def.width));
  }

  std::string Memo(size_t slot, int field) const {
    const int k = (size_t)field < memoSlotOf_.size() ? memoSlotOf_[(size_t)field] : -1;
    if (k < 0) return sh_.ReadMemo(Bytes(slot), field);
    const MemoAt& at = memos_[slot * memoFields_.size() + (size_t)k];
    switch (at.state) {
      case MemoAt::kRead: return arena_.substr(at.at, at.len);
      case MemoAt::kFailed: throw Error(errors_[at.at].first, errors_[at.at].second);
      default: return sh_.ReadMemo(Bytes(slot), field);
    }
  }

 private:
  static constexpr uint32_t kAbsent = UINT32_MAX;
  struct MemoAt {
    enum : uint8_t { kLater, kRead, kFailed };
    uint32_t at = 0, len = 0;  // kRead: place in the arena; kFailed: the error's number
    uint8_t state = kLater;
  };

  // Reads the batch's memos in the order of their blocks, so that the memo
  // file is read front to back through its window; what a damaged memo
  // throws is kept for the record it belongs to.
  void LoadMemos(size_t n) {
    arena_.clear();
    errors_.clear();
    memos_.assign(n * memoFields_.size(), MemoAt{});
    if (memoFields_.empty()) return;
    blocks_.clear();
    for (size_t slot = 0; slot < n; ++slot) {
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
    for (const auto& [block, index] : blocks_) {
      if (arena_.size() >= kMemoBytes) break;  // the rest are read when asked for
      MemoAt& at = memos_[index];
      try {
        const std::string text = sh_.memo.Read(block);
        at.at = (uint32_t)arena_.size();
        at.len = (uint32_t)text.size();
        arena_ += text;
        at.state = MemoAt::kRead;
      } catch (const Error& e) {
        Failed(at, e);
      }
    }
  }

  void Failed(MemoAt& at, const Error& e) {
    at.state = MemoAt::kFailed;
    at.at = (uint32_t)errors_.size();
    errors_.emplace_back(e.code(), e.what());
  }

  SharedTable& sh_;
  const size_t recLen_, per_;
  std::vector<int> memoFields_, memoSlotOf_;
  std::vector<char> buf_, scratch_;
  std::vector<std::pair<uint32_t, uint32_t>> sorted_;  // (record, slot)
  std::vector<uint32_t> where_;                        // slot -> place in buf_
  std::vector<MemoAt> memos_;
  std::vector<std::pair<uint32_t, uint32_t>> blocks_;  // (block, memo entry)
  std::string arena_;
  std::vector<std::pair<ErrorCode, std::string>> errors_;
};

std::string_view RecordRef::Text(int field) const { return reader->Text(slot, field); }
std::string RecordRef::Memo(int field) const { return reader->Memo(slot, field); }

void Table::ForEachRecord(const std::function<bool(const RecordRef&)>& f) {
  Impl& m = *impl_;
  m.RequireOpen("ForEachRecord");
  m.LeaveEdit();
  SharedTable& sh = *m.sh;
  RecordReader reader(sh);
  std::vector<uint32_t> batch;
  batch.reserve(reader.capacity());
  // A unique tag shows the first visible record of each key: the keys of a
  // batch go with it, and the key shown last carries over to the next.
  const bool unique = m.uniqueTag();
  std::string keys, lastKey;
  std::vector<size_t> keyEnds;
  bool shownAny = false;
  const uint64_t version = sh.hasIndex ? sh.index.version() : 0;
  const auto flush = [&]() -> bool {
    reader.Load(batch.data(), batch.size());
    for (size_t i = 0; i < batch.size(); ++i) {
      const char* rec = reader.Bytes(i);
      if (!rec || !m.PassesRecord(rec)) continue;
      if (unique) {
        const size_t from = i == 0 ? 0 : keyEnds[i - 1];
        const std::string_view key(keys.data() + from, keyEnds[i] - from);
        if (shownAny && ComparePadded(lastKey, key) == 0) continue;
        lastKey.assign(key);
        shownAny = true;
      }
      if (!f(RecordRef{batch[i], rec, &reader, i})) return false;
    }
    batch.clear();
    keys.clear();
    keyEnds.clear();
    if (sh.hasIndex && sh.index.version() != version)
      throw Error(ErrorCode::Usage, "the table " + Path() + " was written during a bulk read of it");
    return true;
  };

  const uint32_t count = m.dbf().count();
  if (!m.tagged()) {
    for (uint32_t first = 1; first <= count;) {
      const uint32_t k = (uint32_t)std::min<uint64_t>(reader.capacity(), (uint64_t)count - first + 1);
      for (uint32_t i = 0; i < k; ++i) batch.push_back(first + i);
      if (!flush()) return;
      first += k;
    }
    return;
  }
  TreePos p;
  if (m.range) {
    if (m.rangeEmpty) return;
    sh.index.SeekPrefix(m.tag, m.prefix, false, p);
  } else {
    sh.index.Select(m.tag, 0, p);
  }
  while (p.valid()) {
    uint32_t r;
    const std::string_view key = sh.index.KeyAt(m.tag, p, r);
    if (!m.InRange(key)) break;
    if (r != 0 && r <= count) {
      batch.push_back(r);
      if (unique) {
        keys.append(key);
        keyEnds.push_back(keys.size());
      }
      if (batch.size() == reader.capacity() && !flush()) return;
    }
    if (!sh.index.Next(m.tag, p)) break;
  }
  if (!batch.empty()) flush();
}

void Table::ForEachRecordOf(const std::vector<uint32_t>& recnos, const std::function<bool(const RecordRef&)>& f) {
  Impl& m = *impl_;
  m.RequireOpen("ForEachRecordOf");
  m.LeaveEdit();
  RecordReader reader(*m.sh);
  for (size_t first = 0; first < recnos.size(); first += reader.capacity()) {
    const size_t n = std::min(reader.capacity(), recnos.size() - first);
    reader.Load(recnos.data() + first, n);
    for (size_t i = 0; i < n; ++i) {
      const char* rec = reader.Bytes(i);
      if (rec && !f(RecordRef{recnos[first + i], rec, &reader, i})) return;
    }
  }
}

}  // namespace xbase
