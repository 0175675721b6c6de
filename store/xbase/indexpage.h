// The index file's layout on disk, shared by the parts that read and write
// it: little-endian fields, the page header, the entries of leaf and branch
// pages, the state page and the tag directory. Only the index files include
// this header.
//
// Page 0: the state (first 512 bytes, CRC-32 in its last 4): magic "VTNX",
// format version, page size, page count, head of the free-page list, dirty
// flag, the stamp of the table it was written for (TableStamp), the tags'
// roots.
// Pages 1 and 2: two copies of the tag directory (magic "VTND", CRC in the
// last 4 bytes). Pages 3 on: tree pages (CRC-32 in the first 4 bytes over
// the rest; kind, tag, entry count, heap start, garbage, leaf siblings),
// with a slot table of entry offsets after the 20-byte header and the
// entries packed from the end of the page.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "index.h"
#include "text.h"

namespace xbase {

namespace nsx {

inline constexpr uint32_t kHdr = 20;        // page header bytes
inline constexpr uint32_t kStateBytes = 512;
inline constexpr uint32_t kFirstTreePage = 3;
inline constexpr uint8_t kLeaf = 1, kBranch = 2, kFree = 3;
inline constexpr char kStateMagic[4] = {'V', 'T', 'N', 'X'};
inline constexpr char kDirMagic[4] = {'V', 'T', 'N', 'D'};
inline constexpr uint32_t kFormatVersion = 2;

inline uint16_t Get16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline uint64_t Get64(const unsigned char* p) { return (uint64_t)Get32(p) | ((uint64_t)Get32(p + 4) << 32); }
inline void Put16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}
inline void Put32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = (unsigned char)(v >> (8 * i));
}
inline void Put64(unsigned char* p, uint64_t v) {
  Put32(p, (uint32_t)v);
  Put32(p + 4, (uint32_t)(v >> 32));
}

inline int CompareEntry(std::string_view k1, uint32_t r1, std::string_view k2, uint32_t r2) {
  int c = ComparePadded(k1, k2);
  if (c != 0) return c;
  return r1 < r2 ? -1 : r1 > r2 ? 1 : 0;
}

// The first `n` bytes of a key padded with blanks, compared with a prefix.
inline int ComparePrefix(std::string_view key, std::string_view prefix) {
  size_t common = std::min(key.size(), prefix.size());
  int c = std::memcmp(key.data(), prefix.data(), common);
  if (c != 0) return c < 0 ? -1 : 1;
  for (size_t i = common; i < prefix.size(); ++i) {
    unsigned char p = (unsigned char)prefix[i];
    if (p != ' ') return ' ' < p ? -1 : 1;
  }
  return 0;
}

inline std::string EncodeEntry(std::string_view key, uint32_t recno, bool branch, uint32_t child = 0,
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

// The tag directory page: names, key widths, options and expressions.
// Encoding throws Usage when the expressions do not fit a page.
void EncodeDirectory(const std::vector<IndexTagDef>& tags, unsigned char* page, const std::string& path);
bool DecodeDirectory(const unsigned char* page, std::vector<IndexTagDef>& tags);

// The state page (the first kStateBytes of page 0).
struct StateFields {
  uint32_t version = 0, pageSize = 0, pageCount = 0, freeHead = 0;
  bool dirty = false;
  TableStamp table;
  std::vector<uint32_t> roots;
};
void EncodeState(unsigned char* p, uint32_t pageCount, uint32_t freeHead, bool dirty, const TableStamp& table,
                 const std::vector<uint32_t>& roots);
// False when the page is not a state page or fails its checksum.
bool DecodeState(const unsigned char* p, StateFields& st);

}  // namespace nsx

struct IndexFile::Page {
  uint32_t no = 0;
  bool changed = false;
  bool ref = false;  // used since the clock hand last passed
  unsigned char d[kPageSize];

  uint8_t kind() const { return d[4]; }
  uint8_t tag() const { return d[5]; }
  int n() const { return nsx::Get16(d + 6); }
  void setN(int v) { nsx::Put16(d + 6, (uint16_t)v); }
  uint32_t heap() const { return nsx::Get16(d + 8) == 0 ? kPageSize : nsx::Get16(d + 8); }
  void setHeap(uint32_t v) { nsx::Put16(d + 8, (uint16_t)(v == kPageSize ? 0 : v)); }
  uint32_t garbage() const { return nsx::Get16(d + 10); }
  void setGarbage(uint32_t v) { nsx::Put16(d + 10, (uint16_t)v); }
  uint32_t prev() const { return nsx::Get32(d + 12); }
  uint32_t next() const { return nsx::Get32(d + 16); }
  void setPrev(uint32_t v) { nsx::Put32(d + 12, v); }
  void setNext(uint32_t v) { nsx::Put32(d + 16, v); }
  bool branch() const { return kind() == nsx::kBranch; }
  uint32_t off(int i) const { return nsx::Get16(d + nsx::kHdr + 2 * i); }
  void setOff(int i, uint32_t v) { nsx::Put16(d + nsx::kHdr + 2 * i, (uint16_t)v); }
  std::string_view key(int i) const {
    const unsigned char* p = d + off(i);
    return std::string_view((const char*)p + 2, nsx::Get16(p));
  }
  uint32_t recno(int i) const {
    const unsigned char* p = d + off(i);
    return nsx::Get32(p + 2 + nsx::Get16(p));
  }
  uint32_t child(int i) const {
    const unsigned char* p = d + off(i);
    return nsx::Get32(p + 6 + nsx::Get16(p));
  }
  uint32_t count(int i) const {
    const unsigned char* p = d + off(i);
    return nsx::Get32(p + 10 + nsx::Get16(p));
  }
  void setCount(int i, uint32_t v) {
    unsigned char* p = d + off(i);
    nsx::Put32(p + 10 + nsx::Get16(p), v);
  }
  uint32_t entrySize(int i) const { return 2 + nsx::Get16(d + off(i)) + 4 + (branch() ? 8 : 0); }
  uint32_t freeSpace() const { return heap() - (nsx::kHdr + 2 * (uint32_t)n()); }
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
    std::memmove(d + nsx::kHdr + 2 * (at + 1), d + nsx::kHdr + 2 * at, 2 * (size_t)(cnt - at));
    setOff(at, h);
    setHeap(h);
    setN(cnt + 1);
    return true;
  }

  void Remove(int at) {
    setGarbage(garbage() + entrySize(at));
    int cnt = n();
    std::memmove(d + nsx::kHdr + 2 * at, d + nsx::kHdr + 2 * (at + 1), 2 * (size_t)(cnt - at - 1));
    setN(cnt - 1);
  }

  // Checks the page against what its file allows: slots inside the page,
  // record numbers of the table, child pages of the file, entries in order.
  // Returns a problem or "".
  std::string Check(uint32_t maxRecno, uint32_t pageCount) const {
    if (kind() != nsx::kLeaf && kind() != nsx::kBranch) return "unknown page kind";
    uint32_t cnt = (uint32_t)n();
    if (nsx::kHdr + 2 * cnt > heap() || heap() > kPageSize) return "slot table overruns the page";
    uint32_t es = branch() ? 14 : 6;
    for (uint32_t i = 0; i < cnt; ++i) {
      uint32_t o = off((int)i);
      if (o < heap() || o + es > kPageSize) return "entry outside the page";
      uint32_t kl = nsx::Get16(d + o);
      if (kl > (uint32_t)kMaxKeyWidth || o + es + kl > kPageSize) return "entry outside the page";
    }
    uint64_t total = 0;
    for (uint32_t i = 0; i < cnt; ++i) {
      if (branch()) {
        if (child((int)i) < nsx::kFirstTreePage || child((int)i) >= pageCount) return "child page out of range";
        total += count((int)i);
        if (count((int)i) == 0 || total > maxRecno) return "entry counts exceed the table";
      } else if (recno((int)i) == 0 || recno((int)i) > maxRecno) {
        return "record number out of range";
      }
      if (i > (branch() ? 1u : 0u) &&
          nsx::CompareEntry(key((int)i - 1), recno((int)i - 1), key((int)i), recno((int)i)) >= 0)
        return "entries out of order";
    }
    if (!branch() && (prev() >= pageCount || next() >= pageCount)) return "sibling page out of range";
    return {};
  }
};

}  // namespace xbase
