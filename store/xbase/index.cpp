#include "index.h"

#include <algorithm>
#include <cstring>

#include "text.h"
#include "xbase.h"

namespace xbase {

namespace {

constexpr uint32_t kHdr = 20;        // page header bytes
constexpr uint32_t kStateBytes = 512;
constexpr uint32_t kFirstTreePage = 3;
constexpr uint8_t kLeaf = 1, kBranch = 2, kFree = 3;
constexpr char kStateMagic[4] = {'V', 'T', 'N', 'X'};
constexpr char kDirMagic[4] = {'V', 'T', 'N', 'D'};
constexpr uint32_t kFormatVersion = 1;

uint16_t Get16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
uint64_t Get64(const unsigned char* p) { return (uint64_t)Get32(p) | ((uint64_t)Get32(p + 4) << 32); }
void Put16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}
void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}
void Put64(unsigned char* p, uint64_t v) {
  Put32(p, (uint32_t)v);
  Put32(p + 4, (uint32_t)(v >> 32));
}

int CompareEntry(std::string_view k1, uint32_t r1, std::string_view k2, uint32_t r2) {
  int c = ComparePadded(k1, k2);
  if (c != 0) return c;
  return r1 < r2 ? -1 : r1 > r2 ? 1 : 0;
}

// The first `n` bytes of a key padded with blanks, compared with a prefix.
int ComparePrefix(std::string_view key, std::string_view prefix) {
  size_t common = std::min(key.size(), prefix.size());
  int c = std::memcmp(key.data(), prefix.data(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  for (size_t i = common; i < prefix.size(); ++i) {
    unsigned char p = (unsigned char)prefix[i];
    if (p != ' ') return ' ' < p ? -1 : 1;
  }
  return 0;
}

std::string EncodeEntry(std::string_view key, uint32_t recno, bool branch, uint32_t child = 0,
                        uint32_t count = 0) {
  std::string e(2 + key.size() + 4 + (branch ? 8 : 0), '\0');
  unsigned char* p = (unsigned char*)e.data();
  Put16(p, (uint16_t)key.size());
  std::memcpy(p + 2, key.data(), key.size());
  Put32(p + 2 + key.size(), recno);
  if (branch) {
    Put32(p + 6 + key.size(), child);
    Put32(p + 10 + key.size(), count);
  }
  return e;
}

}  // namespace

struct IndexFile::Page {
  uint32_t no = 0;
  bool changed = false;
  bool ref = false;  // used since the clock hand last passed
  unsigned char d[kPageSize];

  uint8_t kind() const { return d[4]; }
  uint8_t tag() const { return d[5]; }
  int n() const { return Get16(d + 6); }
  void setN(int v) { Put16(d + 6, (uint16_t)v); }
  uint32_t heap() const { return Get16(d + 8) == 0 ? kPageSize : Get16(d + 8); }
  void setHeap(uint32_t v) { Put16(d + 8, (uint16_t)(v == kPageSize ? 0 : v)); }
  uint32_t garbage() const { return Get16(d + 10); }
  void setGarbage(uint32_t v) { Put16(d + 10, (uint16_t)v); }
  uint32_t prev() const { return Get32(d + 12); }
  uint32_t next() const { return Get32(d + 16); }
  void setPrev(uint32_t v) { Put32(d + 12, v); }
  void setNext(uint32_t v) { Put32(d + 16, v); }
  bool branch() const { return kind() == kBranch; }
  uint32_t off(int i) const { return Get16(d + kHdr + 2 * i); }
  void setOff(int i, uint32_t v) { Put16(d + kHdr + 2 * i, (uint16_t)v); }
  std::string_view key(int i) const {
    const unsigned char* p = d + off(i);
    return std::string_view((const char*)p + 2, Get16(p));
  }
  uint32_t recno(int i) const {
    const unsigned char* p = d + off(i);
    return Get32(p + 2 + Get16(p));
  }
  uint32_t child(int i) const {
    const unsigned char* p = d + off(i);
    return Get32(p + 6 + Get16(p));
  }
  uint32_t count(int i) const {
    const unsigned char* p = d + off(i);
    return Get32(p + 10 + Get16(p));
  }
  void setCount(int i, uint32_t v) {
    unsigned char* p = d + off(i);
    Put32(p + 10 + Get16(p), v);
  }
  uint32_t entrySize(int i) const { return 2 + Get16(d + off(i)) + 4 + (branch() ? 8 : 0); }
  uint32_t freeSpace() const { return heap() - (kHdr + 2 * (uint32_t)n()); }
  std::string entry(int i) const { return std::string((const char*)d + off(i), entrySize(i)); }
  uint64_t total() const {
    if (!branch()) return (uint64_t)n();
    uint64_t t = 0;
    for (int i = 0; i < n(); ++i) t += count(i);
    return t;
  }

  void Init(uint32_t number, uint8_t k, uint8_t t) {
    std::memset(d, 0, kPageSize);
    no = number;
    d[4] = k;
    d[5] = t;
    setHeap(kPageSize);
  }

  void Compact() {
    std::vector<std::string> all;
    all.reserve((size_t)n());
    for (int i = 0; i < n(); ++i) all.push_back(entry(i));
    Fill(all, 0, all.size());
  }

  // Replaces the entries with all[from, to).
  void Fill(const std::vector<std::string>& all, size_t from, size_t to) {
    uint32_t h = kPageSize;
    int k = 0;
    for (size_t i = from; i < to; ++i, ++k) {
      h -= (uint32_t)all[i].size();
      std::memcpy(d + h, all[i].data(), all[i].size());
      setOff(k, h);
    }
    setN(k);
    setHeap(h);
    setGarbage(0);
  }

  bool TryInsert(int at, const std::string& e) {
    uint32_t need = (uint32_t)e.size() + 2;
    if (freeSpace() < need) {
      if (freeSpace() + garbage() < need) return false;
      Compact();
    }
    uint32_t h = heap() - (uint32_t)e.size();
    std::memcpy(d + h, e.data(), e.size());
    int cnt = n();
    std::memmove(d + kHdr + 2 * (at + 1), d + kHdr + 2 * at, 2 * (size_t)(cnt - at));
    setOff(at, h);
    setHeap(h);
    setN(cnt + 1);
    return true;
  }

  void Remove(int at) {
    setGarbage(garbage() + entrySize(at));
    int cnt = n();
    std::memmove(d + kHdr + 2 * at, d + kHdr + 2 * (at + 1), 2 * (size_t)(cnt - at - 1));
    setN(cnt - 1);
  }

  // Checks the page against what its file allows: slots inside the page,
  // record numbers of the table, child pages of the file, entries in order.
  // Returns a problem or "".
  std::string Check(uint32_t maxRecno, uint32_t pageCount) const {
    if (kind() != kLeaf && kind() != kBranch) return "unknown page kind";
    uint32_t cnt = (uint32_t)n();
    if (kHdr + 2 * cnt > heap() || heap() > kPageSize) return "slot table overruns the page";
    uint32_t es = branch() ? 14 : 6;
    for (uint32_t i = 0; i < cnt; ++i) {
      uint32_t o = off((int)i);
      if (o < heap() || o + es > kPageSize) return "entry outside the page";
      uint32_t kl = Get16(d + o);
      if (kl > (uint32_t)kMaxKeyWidth || o + es + kl > kPageSize) return "entry outside the page";
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < cnt; ++i) {
      if (branch()) {
        if (child((int)i) < kFirstTreePage || child((int)i) >= pageCount) return "child page out of range";
        total += count((int)i);
        if (count((int)i) == 0 || total > maxRecno) return "entry counts exceed the table";
      } else if (recno((int)i) == 0 || recno((int)i) > maxRecno) {
        return "record number out of range";
      }
      if (i > (branch() ? 1u : 0u) &&
          CompareEntry(key((int)i - 1), recno((int)i - 1), key((int)i), recno((int)i)) >= 0)
        return "entries out of order";
    }
    if (!branch() && (prev() >= pageCount || next() >= pageCount)) return "sibling page out of range";
    return {};
  }
};

IndexFile::~IndexFile() { Close(); }

[[noreturn]] void IndexFile::Damaged(const std::string& what) const {
  // Leave the file marked dirty so that the next open rebuilds it.
  if (file_.IsOpen() && file_.Writable()) {
    try {
      const_cast<IndexFile*>(this)->WriteState(true);
    } catch (...) {
    }
  }
  throw Error(ErrorCode::Corrupt,
              "index file " + path_ + " is damaged (" + what + "); it is rebuilt when the table is next opened");
}

// ---- whole-file writing ------------------------------------------------------

namespace {

void EncodeDirectory(const std::vector<IndexTagDef>& tags, unsigned char* page, const std::string& path) {
  std::memset(page, 0, IndexFile::kPageSize);
  std::memcpy(page, kDirMagic, 4);
  Put32(page + 4, (uint32_t)tags.size());
  size_t at = 8;
  for (auto& t : tags) {
    size_t need = 12 + 2 + 1 + 1 + 2 + 2 + t.key.size() + t.condition.size();
    if (at + need > IndexFile::kPageSize - 4)
      throw Error(ErrorCode::Usage, "the tag expressions are too long for index file " + path);
    std::memcpy(page + at, t.name.data(), std::min<size_t>(t.name.size(), 11));
    at += 12;
    Put16(page + at, (uint16_t)t.keyWidth);
    page[at + 2] = t.unique ? 1 : 0;
    Put16(page + at + 4, (uint16_t)t.key.size());
    Put16(page + at + 6, (uint16_t)t.condition.size());
    at += 8;
    std::memcpy(page + at, t.key.data(), t.key.size());
    at += t.key.size();
    std::memcpy(page + at, t.condition.data(), t.condition.size());
    at += t.condition.size();
  }
  Put32(page + IndexFile::kPageSize - 4, Crc32(page, IndexFile::kPageSize - 4));
}

bool DecodeDirectory(const unsigned char* page, std::vector<IndexTagDef>& tags) {
  if (std::memcmp(page, kDirMagic, 4) != 0) return false;
  if (Get32(page + IndexFile::kPageSize - 4) != Crc32(page, IndexFile::kPageSize - 4)) return false;
  uint32_t n = Get32(page + 4);
  if (n > (uint32_t)IndexFile::kMaxTags) return false;
  size_t at = 8;
  tags.clear();
  for (uint32_t i = 0; i < n; ++i) {
    if (at + 20 > IndexFile::kPageSize - 4) return false;
    IndexTagDef t;
    size_t nl = 0;
    while (nl < 12 && page[at + nl]) ++nl;
    t.name.assign((const char*)page + at, nl);
    at += 12;
    t.keyWidth = Get16(page + at);
    t.unique = page[at + 2] != 0;
    size_t kl = Get16(page + at + 4), cl = Get16(page + at + 6);
    at += 8;
    if (at + kl + cl > IndexFile::kPageSize - 4) return false;
    t.key.assign((const char*)page + at, kl);
    at += kl;
    t.condition.assign((const char*)page + at, cl);
    at += cl;
    if (t.name.empty() || t.key.empty() || t.keyWidth <= 0 || t.keyWidth > IndexFile::kMaxKeyWidth) return false;
    tags.push_back(std::move(t));
  }
  return true;
}

void EncodeState(unsigned char* p, uint32_t pageCount, uint32_t freeHead, bool dirty, uint32_t dbfCount,
                 uint64_t dbfStamp, const std::vector<uint32_t>& roots) {
  std::memset(p, 0, kStateBytes);
  std::memcpy(p, kStateMagic, 4);
  Put32(p + 4, kFormatVersion);
  Put32(p + 8, IndexFile::kPageSize);
  Put32(p + 12, pageCount);
  Put32(p + 16, freeHead);
  Put32(p + 20, dirty ? 1 : 0);
  Put32(p + 24, dbfCount);
  Put64(p + 28, dbfStamp);
  Put32(p + 36, (uint32_t)roots.size());
  for (size_t i = 0; i < roots.size(); ++i) Put32(p + 40 + 4 * i, roots[i]);
  Put32(p + kStateBytes - 4, Crc32(p, kStateBytes - 4));
}

// Writes pages sequentially through a large buffer.
class PageWriter {
 public:
  explicit PageWriter(File& f) : f_(f) {}
  uint32_t next() const { return next_; }
  unsigned char* Add() {
    if (buf_.size() >= (1u << 20)) Drain();
    buf_.resize(buf_.size() + IndexFile::kPageSize);
    ++next_;
    return buf_.data() + buf_.size() - IndexFile::kPageSize;
  }
  // Finishes the last added page (CRC) — call before the next Add.
  static void Seal(unsigned char* page) {
    Put32(page, Crc32(page + 4, IndexFile::kPageSize - 4));
  }
  void Drain() {
    if (buf_.empty()) return;
    f_.WriteAt((uint64_t)(next_ - buf_.size() / IndexFile::kPageSize) * IndexFile::kPageSize, buf_.data(),
               buf_.size());
    buf_.clear();
  }

 private:
  File& f_;
  std::vector<unsigned char> buf_;
  uint32_t next_ = kFirstTreePage;
};

}  // namespace

void IndexFile::Build(const std::string& path, const std::vector<IndexTagDef>& tags,
                      std::vector<std::vector<Entry>>& entries, uint32_t dbfCount, uint64_t dbfStamp) {
  File f;
  f.Open(path, File::Mode::Truncate);
  PageWriter w(f);
  std::vector<uint32_t> roots;
  // Leaves are filled to about 90% so that the first inserts do not split
  // every page.
  const uint32_t fillLimit = kHdr + (kPageSize - kHdr) * 9 / 10;
  for (size_t t = 0; t < tags.size(); ++t) {
    struct Child {
      std::string key;
      uint32_t recno, page;
      uint64_t count;
    };
    std::vector<Child> level;
    auto& es = entries[t];
    Page pg;
    size_t i = 0;
    if (es.empty()) {
      unsigned char* p = w.Add();
      pg.Init(w.next() - 1, kLeaf, (uint8_t)t);
      std::memcpy(p, pg.d, kPageSize);
      PageWriter::Seal(p);
      roots.push_back(w.next() - 1);
      continue;
    }
    uint32_t prevLeaf = 0;
    while (i < es.size()) {
      uint32_t no = w.next();
      pg.Init(no, kLeaf, (uint8_t)t);
      pg.setPrev(prevLeaf);
      uint32_t used = kHdr;
      size_t start = i;
      int k = 0;
      uint32_t h = kPageSize;
      while (i < es.size()) {
        uint32_t es_ = 2 + (uint32_t)es[i].key.size() + 4;
        if (k > 0 && used + es_ + 2 > fillLimit) break;
        h -= es_;
        Put16(pg.d + h, (uint16_t)es[i].key.size());
        std::memcpy(pg.d + h + 2, es[i].key.data(), es[i].key.size());
        Put32(pg.d + h + 2 + es[i].key.size(), es[i].recno);
        pg.setOff(k, h);
        used += es_ + 2;
        ++k;
        ++i;
      }
      pg.setN(k);
      pg.setHeap(h);
      // Leaves are written one after another, so the next one is the next page.
      pg.setNext(i < es.size() ? no + 1 : 0);
      unsigned char* p = w.Add();
      std::memcpy(p, pg.d, kPageSize);
      PageWriter::Seal(p);
      prevLeaf = no;
      level.push_back({es[start].key, es[start].recno, no, (uint64_t)k});
    }
    std::vector<Entry>().swap(es);  // free memory as early as possible
    while (level.size() > 1) {
      std::vector<Child> up;
      size_t j = 0;
      while (j < level.size()) {
        uint32_t no = w.next();
        pg.Init(no, kBranch, (uint8_t)t);
        uint32_t used = kHdr, h = kPageSize;
        int k = 0;
        size_t start = j;
        uint64_t total = 0;
        while (j < level.size()) {
          std::string e = EncodeEntry(level[j].key, level[j].recno, true, level[j].page, (uint32_t)level[j].count);
          if (k > 1 && used + e.size() + 2 > fillLimit) break;
          h -= (uint32_t)e.size();
          std::memcpy(pg.d + h, e.data(), e.size());
          pg.setOff(k, h);
          used += (uint32_t)e.size() + 2;
          total += level[j].count;
          ++k;
          ++j;
        }
        // Do not leave a single child for the last page of a level.
        pg.setN(k);
        pg.setHeap(h);
        unsigned char* p = w.Add();
        std::memcpy(p, pg.d, kPageSize);
        PageWriter::Seal(p);
        up.push_back({level[start].key, level[start].recno, no, total});
      }
      level.swap(up);
    }
    roots.push_back(level[0].page);
  }
  w.Drain();
  uint32_t pageCount = w.next();
  std::vector<unsigned char> head(3 * kPageSize, 0);
  EncodeState(head.data(), pageCount, 0, false, dbfCount, dbfStamp, roots);
  EncodeDirectory(tags, head.data() + kPageSize, path);
  std::memcpy(head.data() + 2 * kPageSize, head.data() + kPageSize, kPageSize);
  f.WriteAt(0, head.data(), head.size());
  f.Sync();
}

std::vector<IndexTagDef> IndexFile::ReadDirectory(const std::string& path) {
  File f;
  f.Open(path, File::Mode::ReadOnly);
  std::vector<unsigned char> page(kPageSize);
  std::vector<IndexTagDef> tags;
  for (uint32_t copy = 1; copy <= 2; ++copy) {
    if (f.ReadSome((uint64_t)copy * kPageSize, page.data(), kPageSize) == kPageSize &&
        DecodeDirectory(page.data(), tags))
      return tags;
  }
  throw Error(ErrorCode::Corrupt, "index file " + path +
                                      " is damaged beyond repair: its tag list cannot be read; delete it "
                                      "and create the tags again");
}

bool IndexFile::Open(const std::string& path, bool writable, uint32_t dbfCount, uint64_t dbfStamp) {
  Close();
  path_ = path;
  tags_ = ReadDirectory(path);
  if (writable)
    file_.OpenBest(path);
  else
    file_.Open(path, File::Mode::ReadOnly);
  unsigned char s[kStateBytes];
  uint64_t size = file_.Size();
  bool ok = file_.ReadSome(0, s, kStateBytes) == kStateBytes && std::memcmp(s, kStateMagic, 4) == 0 &&
            Get32(s + kStateBytes - 4) == Crc32(s, kStateBytes - 4) && Get32(s + 4) == kFormatVersion &&
            Get32(s + 8) == kPageSize;
  if (ok) {
    pageCount_ = Get32(s + 12);
    freeHead_ = Get32(s + 16);
    uint32_t ntags = Get32(s + 36);
    ok = Get32(s + 20) == 0 && Get32(s + 24) == dbfCount && Get64(s + 28) == dbfStamp &&
         ntags == tags_.size() && (uint64_t)pageCount_ * kPageSize == size && pageCount_ >= kFirstTreePage &&
         (freeHead_ == 0 || (freeHead_ >= kFirstTreePage && freeHead_ < pageCount_));
    roots_.clear();
    for (uint32_t i = 0; ok && i < ntags; ++i) {
      uint32_t r = Get32(s + 40 + 4 * i);
      ok = r >= kFirstTreePage && r < pageCount_;
      roots_.push_back(r);
    }
  }
  if (!ok) {
    file_.Close();
    return false;
  }
  dirtyOnDisk_ = false;
  maxRecno_ = dbfCount;
  return true;
}

void IndexFile::Close() {
  table_.clear();
  resident_.clear();
  hand_ = 0;
  changed_.clear();
  file_.Close();
}

int IndexFile::FindTag(std::string_view name) const {
  for (size_t i = 0; i < tags_.size(); ++i) {
    const std::string& n = tags_[i].name;
    if (n.size() != name.size()) continue;
    bool eq = true;
    for (size_t k = 0; k < n.size() && eq; ++k)
      eq = std::toupper((unsigned char)n[k]) == std::toupper((unsigned char)name[k]);
    if (eq) return (int)i;
  }
  return -1;
}

// ---- the page cache ------------------------------------------------------------

IndexFile::PageP* IndexFile::Slot(uint32_t no) {
  if (no >= table_.size()) table_.resize(std::max<size_t>(no + 1, table_.size() * 2));
  return &table_[no];
}

IndexFile::PageP IndexFile::Fetch(uint32_t no, int tag) {
  if (no < table_.size() && table_[no]) {
    PageP& p = table_[no];
    p->ref = true;
    if (p->tag() != tag) Damaged("page " + std::to_string(no) + " belongs to another tag");
    return p;
  }
  if (no < kFirstTreePage || no >= pageCount_) Damaged("page number " + std::to_string(no) + " out of range");
  auto p = std::make_shared<Page>();
  p->no = no;
  if (file_.ReadSome((uint64_t)no * kPageSize, p->d, kPageSize) != kPageSize)
    Damaged("page " + std::to_string(no) + " is cut short");
  if (Get32(p->d) != Crc32(p->d + 4, kPageSize - 4)) Damaged("page " + std::to_string(no) + " fails its checksum");
  if (p->tag() != tag) Damaged("page " + std::to_string(no) + " belongs to another tag");
  std::string problem = p->Check(maxRecno_, pageCount_);
  if (!problem.empty()) Damaged("page " + std::to_string(no) + ": " + problem);
  p->ref = true;
  *Slot(no) = p;
  resident_.push_back(no);
  EvictIfNeeded();
  return p;
}

void IndexFile::EvictIfNeeded() {
  size_t limit = std::max<size_t>(cacheBytes_ / kPageSize, 64);
  if (resident_.size() <= limit) return;
  size_t budget = 2 * resident_.size() + 2;
  while (resident_.size() > limit && budget-- > 0) {
    if (hand_ >= resident_.size()) hand_ = 0;
    uint32_t no = resident_[hand_];
    PageP& p = table_[no];
    if (!p) {
      resident_[hand_] = resident_.back();
      resident_.pop_back();
      continue;
    }
    if (p.use_count() > 1) {  // in use by the caller
      ++hand_;
      continue;
    }
    if (p->ref) {
      p->ref = false;
      ++hand_;
      continue;
    }
    if (p->changed) {
      Put32(p->d, Crc32(p->d + 4, kPageSize - 4));
      file_.WriteAt((uint64_t)p->no * kPageSize, p->d, kPageSize);
      p->changed = false;
    }
    p.reset();
    resident_[hand_] = resident_.back();
    resident_.pop_back();
  }
}

void IndexFile::BeginChange() {
  if (!file_.Writable()) throw Error(ErrorCode::Io, "index file " + path_ + " is read-only");
  if (!dirtyOnDisk_) {
    WriteState(true);
    dirtyOnDisk_ = true;
  }
  ++version_;
}

void IndexFile::WriteState(bool dirty) {
  unsigned char s[kStateBytes];
  EncodeState(s, pageCount_, freeHead_, dirty, 0, 0, roots_);
  if (!dirty) return;  // the clean state is written by Flush with the table's figures
  file_.WriteAt(0, s, kStateBytes);
}

void IndexFile::MarkChanged(const PageP& p) {
  if (!p->changed) {
    p->changed = true;
    changed_.push_back(p->no);
  }
}

IndexFile::PageP IndexFile::NewPage(int tag, uint8_t kind) {
  uint32_t no;
  if (freeHead_ != 0) {
    no = freeHead_;
    uint32_t next = 0;
    if (no < table_.size() && table_[no]) {
      next = table_[no]->next();
    } else {
      unsigned char d[kHdr];
      file_.ReadAt((uint64_t)no * kPageSize, d, kHdr);
      if (d[4] != kFree) Damaged("free page " + std::to_string(no) + " is in use");
      next = Get32(d + 16);
    }
    if (next != 0 && (next < kFirstTreePage || next >= pageCount_)) Damaged("free page list broken");
    freeHead_ = next;
  } else {
    no = pageCount_++;
  }
  auto p = std::make_shared<Page>();
  p->Init(no, kind, (uint8_t)tag);
  p->ref = true;
  PageP* slot = Slot(no);
  if (!*slot) resident_.push_back(no);
  *slot = p;
  MarkChanged(p);
  EvictIfNeeded();
  return p;
}

void IndexFile::FreePage(const PageP& p) {
  uint8_t t = p->tag();
  p->Init(p->no, kFree, t);
  p->setNext(freeHead_);
  freeHead_ = p->no;
  MarkChanged(p);
}

void IndexFile::Flush(uint32_t dbfCount, uint64_t dbfStamp) {
  if (!dirtyOnDisk_) return;
  for (uint32_t no : changed_) {
    if (no >= table_.size() || !table_[no] || !table_[no]->changed) continue;
    Page& p = *table_[no];
    Put32(p.d, Crc32(p.d + 4, kPageSize - 4));
    file_.WriteAt((uint64_t)no * kPageSize, p.d, kPageSize);
    p.changed = false;
  }
  changed_.clear();
  // Pages handed out but freed again before being written still count.
  if (file_.Size() < (uint64_t)pageCount_ * kPageSize) file_.Truncate((uint64_t)pageCount_ * kPageSize);
  unsigned char s[kStateBytes];
  EncodeState(s, pageCount_, freeHead_, false, dbfCount, dbfStamp, roots_);
  file_.WriteAt(0, s, kStateBytes);
  dirtyOnDisk_ = false;
}

// ---- tree operations -------------------------------------------------------------

template <class Less>
uint64_t IndexFile::Descend(int tag, const Less& goRight, std::vector<std::pair<PageP, int>>* path,
                            TreePos& pos) {
  uint64_t before = 0;
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      pos.page = no;
      pos.slot = 0;
      return before;
    }
    int n = p->n();
    if (n == 0) Damaged("empty branch page " + std::to_string(no));
    // Last child i >= 1 whose first entry lies on the left of the target.
    int lo = 1, hi = n;  // find first i in [1, n) with !goRight(e_i)
    while (lo < hi) {
      int mid = (lo + hi) / 2;
      if (goRight(p->key(mid), p->recno(mid)))
        lo = mid + 1;
      else
        hi = mid;
    }
    int j = lo - 1;
    for (int i = 0; i < j; ++i) before += p->count(i);
    if (path) path->emplace_back(p, j);
    no = p->child(j);
  }
}

namespace {
// First slot of a leaf for which less() is false.
template <class Less>
int LowerSlot(const auto& p, const Less& less) {
  int lo = 0, hi = p.n();
  while (lo < hi) {
    int mid = (lo + hi) / 2;
    if (less(p.key(mid), p.recno(mid)))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}
}  // namespace

void IndexFile::Insert(int tag, std::string_view key, uint32_t recno) {
  key = TrimRight(key);
  if (key.size() > (size_t)kMaxKeyWidth) key = key.substr(0, kMaxKeyWidth);
  BeginChange();
  std::vector<std::pair<PageP, int>> path;
  TreePos pos;
  auto lessEq = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) <= 0; };
  Descend(tag, lessEq, &path, pos);
  PageP leaf = Fetch(pos.page, tag);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  int slot = LowerSlot(*leaf, less);

  // Inserts e at `at` in page p, splitting it when full. Returns the new
  // right page or null.
  auto place = [&](const PageP& p, int at, const std::string& e) -> PageP {
    MarkChanged(p);
    if (p->TryInsert(at, e)) return nullptr;
    // Split: the entries (with e in its place) are shared out by bytes
    // between p and a new page on its right.
    Page copy;
    std::memcpy(copy.d, p->d, kPageSize);
    const int cnt = copy.n();
    auto sizeOf = [&](int i) -> uint32_t { return i == at ? (uint32_t)e.size() : copy.entrySize(i < at ? i : i - 1); };
    auto bytesOf = [&](int i) -> const unsigned char* {
      return i == at ? (const unsigned char*)e.data() : copy.d + copy.off(i < at ? i : i - 1);
    };
    uint32_t total = 0;
    for (int i = 0; i <= cnt; ++i) total += sizeOf(i) + 2;
    int m = 0;
    uint32_t acc = 0;
    while (m < cnt && acc + sizeOf(m) + 2 <= total / 2) acc += sizeOf(m++) + 2;
    if (m == 0) m = 1;
    PageP right = NewPage(tag, p->kind());
    auto fill = [&](Page& dst, int from, int to) {
      uint32_t h = kPageSize;
      int k = 0;
      for (int i = from; i < to; ++i, ++k) {
        uint32_t sz = sizeOf(i);
        h -= sz;
        std::memcpy(dst.d + h, bytesOf(i), sz);
        dst.setOff(k, h);
      }
      dst.setN(k);
      dst.setHeap(h);
      dst.setGarbage(0);
    };
    fill(*p, 0, m);
    fill(*right, m, cnt + 1);
    if (!p->branch()) {
      right->setNext(p->next());
      right->setPrev(p->no);
      if (p->next() != 0) {
        PageP after = Fetch(p->next(), tag);
        after->setPrev(right->no);
        MarkChanged(after);
      }
      p->setNext(right->no);
    }
    return right;
  };

  PageP leftP = leaf;
  PageP right = place(leaf, slot, EncodeEntry(key, recno, false));
  for (int level = (int)path.size() - 1; level >= 0; --level) {
    PageP parent = path[(size_t)level].first;
    int j = path[(size_t)level].second;
    MarkChanged(parent);
    if (!right) {
      parent->setCount(j, parent->count(j) + 1);
      leftP = parent;
      continue;
    }
    parent->setCount(j, (uint32_t)leftP->total());
    std::string e = EncodeEntry(right->key(0), right->recno(0), true, right->no, (uint32_t)right->total());
    leftP = parent;
    right = place(parent, j + 1, e);
  }
  if (right) {
    // The root split: a new root above both halves.
    PageP root = NewPage(tag, kBranch);
    root->TryInsert(0, EncodeEntry("", 0, true, leftP->no, (uint32_t)leftP->total()));
    root->TryInsert(1, EncodeEntry(right->key(0), right->recno(0), true, right->no, (uint32_t)right->total()));
    roots_[(size_t)tag] = root->no;
  }
}

bool IndexFile::Erase(int tag, std::string_view key, uint32_t recno) {
  key = TrimRight(key);
  if (key.size() > (size_t)kMaxKeyWidth) key = key.substr(0, kMaxKeyWidth);
  std::vector<std::pair<PageP, int>> path;
  TreePos pos;
  auto lessEq = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) <= 0; };
  Descend(tag, lessEq, &path, pos);
  PageP leaf = Fetch(pos.page, tag);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  int slot = LowerSlot(*leaf, less);
  if (slot >= leaf->n() || CompareEntry(leaf->key(slot), leaf->recno(slot), key, recno) != 0) return false;
  BeginChange();
  MarkChanged(leaf);
  leaf->Remove(slot);
  for (auto& [p, j] : path) {
    MarkChanged(p);
    p->setCount(j, p->count(j) - 1);
  }
  // Drop pages that became empty (the root stays).
  PageP child = leaf;
  for (int level = (int)path.size() - 1; level >= 0 && child->n() == 0; --level) {
    PageP parent = path[(size_t)level].first;
    int j = path[(size_t)level].second;
    if (!child->branch()) {
      if (child->prev()) {
        PageP b = Fetch(child->prev(), tag);
        b->setNext(child->next());
        MarkChanged(b);
      }
      if (child->next()) {
        PageP a = Fetch(child->next(), tag);
        a->setPrev(child->prev());
        MarkChanged(a);
      }
    }
    parent->Remove(j);
    FreePage(child);
    child = parent;
  }
  // A root with one child gives way to the child; an empty branch root
  // becomes an empty leaf.
  for (;;) {
    PageP root = Fetch(roots_[(size_t)tag], tag);
    if (!root->branch()) break;
    if (root->n() == 0) {
      root->Init(root->no, kLeaf, (uint8_t)tag);
      MarkChanged(root);
      break;
    }
    if (root->n() != 1) break;
    roots_[(size_t)tag] = root->child(0);
    FreePage(root);
  }
  return true;
}

uint64_t IndexFile::Count(int tag) {
  PageP root = Fetch(roots_[(size_t)tag], tag);
  return root->total();
}

uint64_t IndexFile::SeekPrefix(int tag, std::string_view prefix, bool upper, TreePos& pos) {
  auto goRight = [&](std::string_view k, uint32_t) {
    int c = ComparePrefix(k, prefix);
    return upper ? c <= 0 : c < 0;
  };
  uint64_t before = Descend(tag, goRight, nullptr, pos);
  PageP leaf = Fetch(pos.page, tag);
  int slot = LowerSlot(*leaf, goRight);
  pos.slot = slot;
  if (slot >= leaf->n()) {
    uint32_t nx = leaf->next();
    pos.page = nx;
    pos.slot = 0;
    if (nx != 0 && Fetch(nx, tag)->n() == 0) pos.page = 0;
  }
  return before + (uint64_t)slot;
}

uint64_t IndexFile::Seek(int tag, std::string_view key, uint32_t recno, TreePos& pos) {
  key = TrimRight(key);
  auto less = [&](std::string_view k, uint32_t r) { return CompareEntry(k, r, key, recno) < 0; };
  uint64_t before = Descend(tag, less, nullptr, pos);
  PageP leaf = Fetch(pos.page, tag);
  int slot = LowerSlot(*leaf, less);
  pos.slot = slot;
  if (slot >= leaf->n()) {
    pos.page = leaf->next();
    pos.slot = 0;
  }
  return before + (uint64_t)slot;
}

void IndexFile::Select(int tag, uint64_t rank, TreePos& pos) {
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      if (rank >= (uint64_t)p->n()) {
        pos = TreePos{};
        return;
      }
      pos.page = no;
      pos.slot = (int)rank;
      return;
    }
    int i = 0;
    for (; i < p->n(); ++i) {
      if (rank < p->count(i)) break;
      rank -= p->count(i);
    }
    if (i == p->n()) {
      pos = TreePos{};
      return;
    }
    no = p->child(i);
  }
}

bool IndexFile::Next(int tag, TreePos& pos) {
  if (!pos.valid()) return false;
  PageP p = Fetch(pos.page, tag);
  if (pos.slot + 1 < p->n()) {
    ++pos.slot;
    return true;
  }
  uint32_t nx = p->next();
  for (int guard = 0; nx != 0 && guard < 1000000; ++guard) {
    PageP q = Fetch(nx, tag);
    if (q->branch()) Damaged("leaf chain reaches a branch page");
    if (q->n() > 0) {
      pos.page = nx;
      pos.slot = 0;
      return true;
    }
    nx = q->next();
  }
  pos = TreePos{};
  return false;
}

bool IndexFile::Prior(int tag, TreePos& pos) {
  if (!pos.valid()) return false;
  PageP p = Fetch(pos.page, tag);
  if (pos.slot > 0) {
    --pos.slot;
    return true;
  }
  uint32_t pv = p->prev();
  for (int guard = 0; pv != 0 && guard < 1000000; ++guard) {
    PageP q = Fetch(pv, tag);
    if (q->branch()) Damaged("leaf chain reaches a branch page");
    if (q->n() > 0) {
      pos.page = pv;
      pos.slot = q->n() - 1;
      return true;
    }
    pv = q->prev();
  }
  pos = TreePos{};
  return false;
}

void IndexFile::Last(int tag, TreePos& pos) {
  uint32_t no = roots_[(size_t)tag];
  for (int depth = 0;; ++depth) {
    if (depth > 32) Damaged("the tree is deeper than possible");
    PageP p = Fetch(no, tag);
    if (!p->branch()) {
      if (p->n() == 0) {
        pos = TreePos{};
        return;
      }
      pos.page = no;
      pos.slot = p->n() - 1;
      return;
    }
    no = p->child(p->n() - 1);
  }
}

std::string_view IndexFile::KeyAt(int tag, const TreePos& pos, uint32_t& recno) {
  PageP p = Fetch(pos.page, tag);
  if (pos.slot < 0 || pos.slot >= p->n()) Damaged("position outside page " + std::to_string(pos.page));
  recno = p->recno(pos.slot);
  // The page stays in the cache while the caller reads the key: it was
  // just used, so it is the last to be evicted.
  return p->key(pos.slot);
}

void IndexFile::ForEach(int tag, const std::function<void(std::string_view, uint32_t)>& f) {
  TreePos pos;
  Select(tag, 0, pos);
  while (pos.valid()) {
    PageP p = Fetch(pos.page, tag);
    for (int i = pos.slot; i < p->n(); ++i) f(p->key(i), p->recno(i));
    pos.slot = p->n() - 1;
    if (!Next(tag, pos)) break;
  }
}

std::vector<std::string> IndexFile::Verify() {
  std::vector<std::string> problems;
  for (size_t t = 0; t < tags_.size(); ++t) {
    const std::string where = "index file " + path_ + ", tag " + tags_[t].name + ": ";
    try {
      std::string lastKey;
      uint32_t lastRec = 0;
      bool any = false;
      uint32_t lastLeaf = 0;
      uint64_t seen = 0;
      // Depth-first walk checking counts, order and the leaf chain.
      std::function<uint64_t(uint32_t, int)> walk = [&](uint32_t no, int depth) -> uint64_t {
        if (depth > 32) Damaged("the tree is deeper than possible");
        PageP p = Fetch(no, (int)t);
        if (!p->branch()) {
          if (p->prev() != lastLeaf) problems.push_back(where + "leaf chain broken at page " + std::to_string(no));
          lastLeaf = no;
          for (int i = 0; i < p->n(); ++i) {
            if (any && CompareEntry(lastKey, lastRec, p->key(i), p->recno(i)) >= 0)
              problems.push_back(where + "keys out of order in page " + std::to_string(no));
            lastKey = std::string(p->key(i));
            lastRec = p->recno(i);
            any = true;
          }
          seen += (uint64_t)p->n();
          return (uint64_t)p->n();
        }
        uint64_t sum = 0;
        for (int i = 0; i < p->n(); ++i) {
          uint64_t c = walk(p->child(i), depth + 1);
          if (c != p->count(i))
            problems.push_back(where + "wrong count in branch page " + std::to_string(no));
          sum += c;
        }
        return sum;
      };
      walk(roots_[t], 0);
      if (problems.size() > 20) problems.resize(20);
    } catch (const Error& e) {
      problems.push_back(e.what());
    }
  }
  return problems;
}

}  // namespace xbase
