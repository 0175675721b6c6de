// The index file's format: the tag directory and state page encoded and
// decoded, and the checks an index file passes before it is used.
#include <cctype>

#include "indexpage.h"
#include "xbase.h"

namespace xbase {

using namespace nsx;

namespace nsx {

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

// The state page, format 2. Offsets: 0 magic, 4 format, 8 page size,
// 12 page count, 16 free-page head, 20 dirty flag, 24 the table's record
// count, 28 its change counter (8 bytes), 36 tag count, 40 the tags' roots
// (4 bytes each, up to kMaxTags), 104 the table's size, 112 its
// modification time (8 bytes each); the CRC in the last 4 bytes. Format 1
// kept a hash of size and time at 28 and nothing at 104.
static_assert(40 + 4 * IndexFile::kMaxTags <= 104, "roots overlap the table's size");

void EncodeState(unsigned char* p, uint32_t pageCount, uint32_t freeHead, bool dirty, const TableStamp& table,
                 const std::vector<uint32_t>& roots) {
  std::memset(p, 0, kStateBytes);
  std::memcpy(p, kStateMagic, 4);
  Put32(p + 4, kFormatVersion);
  Put32(p + 8, IndexFile::kPageSize);
  Put32(p + 12, pageCount);
  Put32(p + 16, freeHead);
  Put32(p + 20, dirty ? 1 : 0);
  Put32(p + 24, table.count);
  Put64(p + 28, table.changes);
  Put32(p + 36, (uint32_t)roots.size());
  for (size_t i = 0; i < roots.size(); ++i) Put32(p + 40 + 4 * i, roots[i]);
  Put64(p + 104, table.size);
  Put64(p + 112, table.modifiedNs);
  Put32(p + kStateBytes - 4, Crc32(p, kStateBytes - 4));
}

bool DecodeState(const unsigned char* p, StateFields& st) {
  if (std::memcmp(p, kStateMagic, 4) != 0 || Get32(p + kStateBytes - 4) != Crc32(p, kStateBytes - 4)) return false;
  st.version = Get32(p + 4);
  st.pageSize = Get32(p + 8);
  st.pageCount = Get32(p + 12);
  st.freeHead = Get32(p + 16);
  st.dirty = Get32(p + 20) != 0;
  st.table.count = Get32(p + 24);
  st.table.changes = Get64(p + 28);
  uint32_t ntags = Get32(p + 36);
  if (ntags > (uint32_t)IndexFile::kMaxTags) return false;
  st.roots.clear();
  for (uint32_t i = 0; i < ntags; ++i) st.roots.push_back(Get32(p + 40 + 4 * i));
  st.table.size = Get64(p + 104);
  st.table.modifiedNs = Get64(p + 112);
  return true;
}

}  // namespace nsx

// Three outcomes, as for tables: a file that carries none of the marks of
// an index file is not ours; one whose intact state page names a later
// format is ours but newer, and is never read or written; one with our
// marks whose tag list cannot be read is damaged. A file too short to carry
// a mark counts as damaged: an index cut short looks like that.
IndexFile::Probe IndexFile::Inspect(const std::string& path) {
  Probe r;
  File f;
  f.Open(path, File::Mode::ReadOnly);
  const uint64_t size = f.Size();
  unsigned char s[kStateBytes];
  const size_t got = f.ReadSome(0, s, kStateBytes);
  const bool stateMark = got >= 4 && std::memcmp(s, kStateMagic, 4) == 0;
  StateFields st;
  if (got == kStateBytes && DecodeState(s, st) && st.version > kFormatVersion) {
    r.kind = Kind::Newer;
    r.problem = "index file " + path + " was written by a newer version of the program (index format " +
                std::to_string(st.version) + "; this version reads format " + std::to_string(kFormatVersion) +
                "); it is left as it is";
    return r;
  }
  std::vector<unsigned char> page(kPageSize);
  bool dirMark = false;
  for (uint32_t copy = 1; copy <= 2; ++copy) {
    const size_t n = f.ReadSome((uint64_t)copy * kPageSize, page.data(), kPageSize);
    dirMark = dirMark || (n >= 4 && std::memcmp(page.data(), kDirMagic, 4) == 0);
    if (n == kPageSize && DecodeDirectory(page.data(), r.tags)) {
      r.kind = Kind::Readable;
      return r;
    }
  }
  r.tags.clear();
  if (stateMark || dirMark || size < 4) {
    r.kind = Kind::Damaged;
    r.problem = "index file " + path +
                " is damaged beyond repair: its tag list cannot be read; delete it and create the tags again";
  } else {
    r.kind = Kind::NotAnIndex;
    r.problem = path + " is not an index file of this program";
  }
  return r;
}

std::vector<IndexTagDef> IndexFile::ReadDirectory(const std::string& path) {
  Probe p = Inspect(path);
  switch (p.kind) {
    case Kind::Readable:
      return std::move(p.tags);
    case Kind::Damaged:
      throw Error(ErrorCode::Corrupt, p.problem);
    case Kind::NotAnIndex:
    case Kind::Newer:
      break;
  }
  throw Error(ErrorCode::Unsupported, p.problem);
}

IndexFile::Fit IndexFile::Open(const std::string& path, bool writable, const TableStamp& table) {
  Close();
  path_ = path;
  damaged_ = false;
  tags_ = ReadDirectory(path);
  if (writable)
    file_.OpenBest(path);
  else
    file_.Open(path, File::Mode::ReadOnly);
  unsigned char s[kStateBytes];
  uint64_t size = file_.Size();
  StateFields st;
  // An older format is read no further: its tag list is the same, so it is
  // rebuilt from it.
  bool ok = file_.ReadSome(0, s, kStateBytes) == kStateBytes && DecodeState(s, st) &&
            st.version == kFormatVersion && st.pageSize == kPageSize;
  if (ok) {
    pageCount_ = st.pageCount;
    freeHead_ = st.freeHead;
    ok = !st.dirty && st.table.SameContent(table) && st.roots.size() == tags_.size() &&
         (uint64_t)pageCount_ * kPageSize == size && pageCount_ >= kFirstTreePage &&
         (freeHead_ == 0 || (freeHead_ >= kFirstTreePage && freeHead_ < pageCount_));
    roots_ = st.roots;
    for (uint32_t r : roots_) ok = ok && r >= kFirstTreePage && r < pageCount_;
  }
  if (!ok) {
    file_.Close();
    return Fit::Stale;
  }
  dirtyOnDisk_ = false;
  maxRecno_ = table.count;
  stamp_ = st.table;
  return st.table == table ? Fit::Current : Fit::TimeDiffers;
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
}  // namespace xbase
