// Bulk build: a whole index file written in one sequential pass from
// sorted entries, leaves filled to about 90%, branch levels above them.
#include "indexpage.h"
#include "keysort.h"
#include "xbase.h"

namespace xbase {

using namespace nsx;

namespace {

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
                      KeySorter& entries, const TableStamp& table) {
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
    Page pg;
    std::string_view key;
    uint32_t recno = 0;
    bool have = entries.Next(t, key, recno);
    if (!have) {
      unsigned char* p = w.Add();
      pg.Init(w.next() - 1, kLeaf, (uint8_t)t);
      std::memcpy(p, pg.d, kPageSize);
      PageWriter::Seal(p);
      roots.push_back(w.next() - 1);
      continue;
    }
    uint32_t prevLeaf = 0;
    while (have) {
      uint32_t no = w.next();
      pg.Init(no, kLeaf, (uint8_t)t);
      pg.setPrev(prevLeaf);
      uint32_t used = kHdr;
      int k = 0;
      uint32_t h = kPageSize;
      Child first{};
      while (have) {
        uint32_t es_ = 2 + (uint32_t)key.size() + 4;
        if (k > 0 && used + es_ + 2 > fillLimit) break;
        if (k == 0) first = {std::string(key), recno, no, 0};
        h -= es_;
        Put16(pg.d + h, (uint16_t)key.size());
        std::memcpy(pg.d + h + 2, key.data(), key.size());
        Put32(pg.d + h + 2 + key.size(), recno);
        pg.setOff(k, h);
        used += es_ + 2;
        ++k;
        have = entries.Next(t, key, recno);
      }
      pg.setN(k);
      pg.setHeap(h);
      // Leaves are written one after another, so the next one is the next page.
      pg.setNext(have ? no + 1 : 0);
      unsigned char* p = w.Add();
      std::memcpy(p, pg.d, kPageSize);
      PageWriter::Seal(p);
      prevLeaf = no;
      first.count = (uint64_t)k;
      level.push_back(std::move(first));
    }
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
  EncodeState(head.data(), pageCount, 0, false, table, roots);
  EncodeDirectory(tags, head.data() + kPageSize, path);
  std::memcpy(head.data() + 2 * kPageSize, head.data() + kPageSize, kPageSize);
  f.WriteAt(0, head.data(), head.size());
  f.Sync();
}

}  // namespace xbase
