#include "keysort.h"

#include <algorithm>
#include <cstring>

#include "text.h"
#include "xbase.h"

namespace xbase {

namespace {

// Bytes before each key in a run: tag, key length, record number.
constexpr size_t kEntryHead = 8;
constexpr size_t kWriteBytes = 1u << 20;
constexpr size_t kMaxReadBytes = 1u << 20;
constexpr size_t kMinReadBytes = 64u << 10;

void Put16(char* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(char* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t Get16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
uint32_t Get32(const char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

KeySorter::KeySorter(size_t tags, std::string scratchPath, size_t budget)
    : tags_(tags), scratchPath_(std::move(scratchPath)), budget_(std::max<size_t>(budget, 1u << 16)) {}

KeySorter::~KeySorter() {
  if (scratch_.IsOpen()) {
    scratch_.Close();
    TryRemoveFile(scratchPath_);
  }
}

void KeySorter::Add(size_t tag, std::string_view key, uint32_t recno) {
  if (items_.empty() && arena_.capacity() == 0) {
    // Room for the budget is only reserved: pages are taken as keys come.
    arena_.reserve(budget_);
    items_.reserve(budget_ / sizeof(Item));
  }
  if (!items_.empty() && arena_.size() + key.size() + (items_.size() + 1) * sizeof(Item) > budget_) Spill();
  items_.push_back(Item{0, (uint32_t)arena_.size(), recno, (uint16_t)key.size(), (uint16_t)tag});
  arena_.insert(arena_.end(), key.begin(), key.end());
}

void KeySorter::SortItems() {
  if (inOrder_) return;
  if (tags_ > 1)
    std::sort(items_.begin(), items_.end(), [](const Item& x, const Item& y) { return x.tag < y.tag; });
  for (auto b = items_.begin(); b != items_.end();) {
    auto e = std::find_if(b, items_.end(), [&](const Item& x) { return x.tag != b->tag; });
    SortFrom(&*b, &*b + (e - b), 0);
    b = e;
  }
}

// A radix sort on eight bytes at a time, each item holding its current eight
// bytes: most comparisons then touch the items alone, not the keys, and a
// long prefix that many keys share (a catalog name) costs one pass.
void KeySorter::SortFrom(Item* begin, Item* end, size_t depth) {
  const char* a = arena_.data();
  auto rest = [a, depth](const Item& x) {
    const size_t from = std::min<size_t>(depth, x.len);
    return std::string_view(a + x.off + from, x.len - from);
  };
  if (end - begin <= 16) {
    std::sort(begin, end, [&](const Item& x, const Item& y) {
      const int c = ComparePadded(rest(x), rest(y));
      return c != 0 ? c < 0 : x.recno < y.recno;
    });
    return;
  }
  bool longer = false;
  for (Item* it = begin; it != end; ++it) {
    // The key's bytes from the depth as one big-endian number, padded with
    // blanks as keys are compared.
    unsigned char b[8];
    std::memset(b, ' ', 8);
    if (it->len > depth) {
      std::memcpy(b, a + it->off + depth, std::min<size_t>(8, it->len - depth));
      longer = longer || it->len > depth + 8;
    }
    uint64_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    it->digit = v;
  }
  const bool same = std::all_of(begin, end, [&](const Item& x) { return x.digit == begin->digit; });
  if (same && longer) {
    SortFrom(begin, end, depth + 8);  // bytes all keys share: nothing to order on here
    return;
  }
  std::sort(begin, end, [](const Item& x, const Item& y) {
    return x.digit != y.digit ? x.digit < y.digit : x.recno < y.recno;
  });
  if (!longer) return;  // every key ends within these bytes: the order is final
  for (Item* b = begin; b != end;) {
    Item* e = b + 1;
    while (e != end && e->digit == b->digit) ++e;
    if (e - b > 1) SortFrom(b, e, depth + 8);
    b = e;
  }
}

void KeySorter::Spill() {
  SortItems();
  if (!scratch_.IsOpen()) scratch_.Open(scratchPath_, File::Mode::Truncate);
  Run run;
  run.at = scratchEnd_;
  std::vector<char> out;
  out.reserve(kWriteBytes + kEntryHead + 0xFFFF);
  for (const Item& it : items_) {
    const size_t at = out.size();
    out.resize(at + kEntryHead + it.len);
    Put16(out.data() + at, it.tag);
    Put16(out.data() + at + 2, it.len);
    Put32(out.data() + at + 4, it.recno);
    std::memcpy(out.data() + at + kEntryHead, arena_.data() + it.off, it.len);
    if (out.size() >= kWriteBytes) {
      scratch_.WriteAt(scratchEnd_, out.data(), out.size());
      scratchEnd_ += out.size();
      out.clear();
    }
  }
  if (!out.empty()) {
    scratch_.WriteAt(scratchEnd_, out.data(), out.size());
    scratchEnd_ += out.size();
  }
  run.end = scratchEnd_;
  runs_.push_back(std::move(run));
  arena_.clear();
  items_.clear();
}

void KeySorter::Finish() {
  if (finished_) return;
  finished_ = true;
  if (runs_.empty()) {
    SortItems();
    next_ = 0;
    return;
  }
  if (!items_.empty()) Spill();
  std::vector<char>().swap(arena_);
  std::vector<Item>().swap(items_);
  // The read buffers share the budget.
  const size_t each = std::clamp(budget_ / 2 / runs_.size(), kMinReadBytes, kMaxReadBytes);
  for (size_t i = 0; i < runs_.size(); ++i) {
    runs_[i].buf.resize(each);
    if (Advance(runs_[i])) heap_.push_back(i);
  }
  std::make_heap(heap_.begin(), heap_.end(), [this](size_t x, size_t y) { return Less(runs_[y], runs_[x]); });
}

bool KeySorter::Less(const Run& a, const Run& b) const {
  if (a.tag != b.tag) return a.tag < b.tag;
  int c = ComparePadded(a.key, b.key);
  return c != 0 ? c < 0 : a.recno < b.recno;
}

bool KeySorter::Fill(Run& r, size_t need) {
  if (r.len - r.pos >= need) return true;
  std::memmove(r.buf.data(), r.buf.data() + r.pos, r.len - r.pos);
  r.len -= r.pos;
  r.pos = 0;
  const size_t want = (size_t)std::min<uint64_t>(r.buf.size() - r.len, r.end - r.at);
  if (want > 0) {
    scratch_.ReadAt(r.at, r.buf.data() + r.len, want);
    r.at += want;
    r.len += want;
  }
  return r.len >= need;
}

bool KeySorter::Advance(Run& r) {
  if (!Fill(r, kEntryHead)) {
    if (r.len != r.pos) throw Error(ErrorCode::Corrupt, "scratch file " + scratchPath_ + " is cut short");
    r.done = true;
    return false;
  }
  const char* p = r.buf.data() + r.pos;
  r.tag = Get16(p);
  const uint16_t len = Get16(p + 2);
  r.recno = Get32(p + 4);
  if (!Fill(r, kEntryHead + len)) throw Error(ErrorCode::Corrupt, "scratch file " + scratchPath_ + " is cut short");
  r.key.assign(r.buf.data() + r.pos + kEntryHead, len);
  r.pos += kEntryHead + len;
  return true;
}

bool KeySorter::Next(size_t tag, std::string_view& key, uint32_t& recno) {
  if (!finished_) Finish();
  if (runs_.empty()) {
    if (next_ >= items_.size() || items_[next_].tag != tag) return false;
    const Item& it = items_[next_++];
    key = std::string_view(arena_.data() + it.off, it.len);
    recno = it.recno;
    return true;
  }
  if (heap_.empty() || runs_[heap_.front()].tag != tag) return false;
  const auto greater = [this](size_t x, size_t y) { return Less(runs_[y], runs_[x]); };
  std::pop_heap(heap_.begin(), heap_.end(), greater);
  Run& r = runs_[heap_.back()];
  current_.swap(r.key);
  key = current_;
  recno = r.recno;
  if (Advance(r))
    std::push_heap(heap_.begin(), heap_.end(), greater);
  else
    heap_.pop_back();
  return true;
}

}  // namespace xbase
