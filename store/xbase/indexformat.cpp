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

}  // namespace nsx

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
