#include "dbf.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

#include "text.h"

namespace xbase {

namespace {

uint32_t Le32(const unsigned char* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
uint16_t Le16(const unsigned char* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
void PutLe32(unsigned char* p, uint32_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
  p[2] = (unsigned char)(v >> 16);
  p[3] = (unsigned char)(v >> 24);
}
uint64_t Le64(const unsigned char* p) { return (uint64_t)Le32(p) | ((uint64_t)Le32(p + 4) << 32); }
void PutLe64(unsigned char* p, uint64_t v) {
  PutLe32(p, (uint32_t)v);
  PutLe32(p + 4, (uint32_t)(v >> 32));
}
void PutLe16(unsigned char* p, uint16_t v) {
  p[0] = (unsigned char)v;
  p[1] = (unsigned char)(v >> 8);
}

void TodayYmd(unsigned char* p) {
  // The local date, worked out again only when the second changes.
  static thread_local std::time_t cachedAt = -1;
  static thread_local unsigned char cached[3];
  std::time_t t = std::time(nullptr);
  if (t == cachedAt) {
    std::memcpy(p, cached, 3);
    return;
  }
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  p[0] = (unsigned char)(tm.tm_year % 256);  // years since 1900
  p[1] = (unsigned char)(tm.tm_mon + 1);
  p[2] = (unsigned char)tm.tm_mday;
  std::memcpy(cached, p, 3);
  cachedAt = t;
}

bool KnownVersion(uint8_t v) {
  switch (v) {
    case 0x02: case 0x03: case 0x04: case 0x05: case 0x30: case 0x31: case 0x32:
    case 0x43: case 0x63: case 0x83: case 0x8B: case 0x8E: case 0xCB: case 0xF5: case 0xFB:
      return true;
    default:
      return false;
  }
}

bool ValidName(const std::string& n) {
  if (n.empty() || n.size() > 10) return false;
  if (!std::isalpha((unsigned char)n[0]) && n[0] != '_') return false;
  for (char c : n)
    if (!std::isalnum((unsigned char)c) && c != '_') return false;
  return true;
}

std::string UpperAscii(std::string s) {
  for (char& c : s) c = (char)std::toupper((unsigned char)c);
  return s;
}

constexpr uint32_t kCacheBytes = 64 * 1024;
// Where the header keeps the engine's change counter (see TableStamp).
constexpr uint32_t kChangesAt = 20;
// The dBASE "incomplete transaction" byte: the mark of an unfinished run of
// appends (see DbfFile::BeginRun).
constexpr uint32_t kRunMarkAt = 14;

}  // namespace

void DbfFile::Create(const std::string& path, const std::vector<FieldDef>& defs) {
  if (defs.empty()) throw Error(ErrorCode::Usage, "a table needs at least one field: " + path);
  if (defs.size() > 255) throw Error(ErrorCode::Usage, "too many fields for a table: " + path);
  std::vector<unsigned char> hdr(32 + 32 * defs.size() + 1, 0);
  uint32_t recLen = 1;
  bool memo = false;
  for (size_t i = 0; i < defs.size(); ++i) {
    FieldDef d = defs[i];
    d.name = UpperAscii(d.name);
    d.type = (char)std::toupper((unsigned char)d.type);
    if (!ValidName(d.name)) throw Error(ErrorCode::Usage, "invalid field name \"" + defs[i].name + "\" for " + path);
    for (size_t j = 0; j < i; ++j)
      if (UpperAscii(defs[j].name) == d.name)
        throw Error(ErrorCode::Usage, "field " + d.name + " is defined twice for " + path);
    switch (d.type) {
      case 'C': case 'N': case 'F': break;
      case 'M': memo = true; d.width = 10; break;
      case 'D': d.width = 8; break;
      case 'L': d.width = 1; break;
      default: throw Error(ErrorCode::Usage, std::string("unsupported field type ") + d.type + " for " + path);
    }
    if (d.width < 1 || d.width > 255)
      throw Error(ErrorCode::Usage, "field " + d.name + " has an invalid width for " + path);
    if (d.decimals < 0 || d.decimals > 15 || (d.type != 'N' && d.type != 'F' && d.decimals != 0))
      d.decimals = (d.type == 'N' || d.type == 'F') ? std::clamp(d.decimals, 0, 15) : 0;
    unsigned char* f = &hdr[32 + 32 * i];
    std::memcpy(f, d.name.data(), d.name.size());
    f[11] = (unsigned char)d.type;
    PutLe32(f + 12, recLen);
    f[16] = (unsigned char)d.width;
    f[17] = (unsigned char)d.decimals;
    recLen += (uint32_t)d.width;
  }
  if (recLen > 65535) throw Error(ErrorCode::Usage, "records too long for " + path);
  hdr[0] = kVersion;
  TodayYmd(&hdr[1]);
  PutLe32(&hdr[4], 0);
  PutLe16(&hdr[8], (uint16_t)hdr.size());
  PutLe16(&hdr[10], (uint16_t)recLen);
  hdr[28] = memo ? 0x02 : 0x00;
  hdr.back() = 0x0D;
  hdr.push_back(0x1A);
  File f;
  f.Open(path, File::Mode::Create);
  try {
    f.WriteAt(0, hdr.data(), hdr.size());
    f.Sync();
  } catch (...) {
    f.Close();
    TryRemoveFile(path);  // ours: Create refuses a file that was there
    throw;
  }
}

void DbfFile::Open(const std::string& path, bool writable, bool repairing) {
  Close();
  path_ = path;
  repairing_ = repairing;
  if (writable)
    file_.OpenBest(path);
  else
    file_.Open(path, File::Mode::ReadOnly);
  ReadHeader();
}

void DbfFile::Adopt(File&& f, const std::string& path) {
  Close();
  file_ = std::move(f);
  path_ = path;
  ReadHeader();
}

void DbfFile::ReadHeader() {
  const std::string& path = path_;
  uint64_t size = file_.Size();
  auto corrupt = [&](const std::string& what) -> Error {
    return Error(ErrorCode::Corrupt, "table " + path + " is damaged: " + what);
  };
  if (size < 32) throw corrupt("the file is shorter than a table header (" + std::to_string(size) + " bytes)");
  unsigned char h[32];
  file_.ReadAt(0, h, 32);
  version_ = h[0];
  if (!KnownVersion(version_))
    throw Error(ErrorCode::Unsupported, path + " is not a dBASE table (version byte " + std::to_string(h[0]) + ")");
  if (version_ == 0x02)
    throw Error(ErrorCode::Unsupported, path + " is a dBASE II table, which is not supported");
  count_ = Le32(h + 4);
  changes_ = Le64(h + kChangesAt);
  headerLen_ = Le16(h + 8);
  recLen_ = Le16(h + 10);
  if (headerLen_ < 33 || headerLen_ > size)
    throw corrupt("header length " + std::to_string(headerLen_) + " does not fit the file");
  std::vector<unsigned char> desc(headerLen_ - 32);
  file_.ReadAt(32, desc.data(), desc.size());
  fields_.clear();
  hasMemo_ = false;
  uint32_t offset = 1;
  size_t i = 0;
  bool terminated = false;
  for (; i + 1 <= desc.size(); i += 32) {
    if (desc[i] == 0x0D) {
      terminated = true;
      break;
    }
    if (i + 32 > desc.size()) break;
    const unsigned char* f = &desc[i];
    DbfField fld;
    size_t nlen = 0;
    while (nlen < 11 && f[nlen] != 0) ++nlen;
    fld.def.name = UpperAscii(std::string((const char*)f, nlen));
    fld.def.type = (char)std::toupper(f[11]);
    fld.def.width = f[16];
    fld.def.decimals = f[17];
    if (fld.def.name.empty() || fld.def.name.find_first_of(" \t\r\n") != std::string::npos)
      throw corrupt("field descriptor " + std::to_string(fields_.size() + 1) + " has no valid name");
    switch (fld.def.type) {
      case 'C':
        // FoxPro and Clipper keep the high byte of a long character field
        // in the decimals byte.
        if (fld.def.decimals != 0 && version_ != 0xF5 && version_ != 0x30 && version_ != 0x31) {
          fld.def.width += fld.def.decimals * 256;
          fld.def.decimals = 0;
        } else {
          fld.def.decimals = 0;
        }
        break;
      case 'M': case 'G': case 'B': case 'P':
        if (fld.def.width != 10 && fld.def.width != 4)
          throw corrupt("memo field " + fld.def.name + " has width " + std::to_string(fld.def.width));
        hasMemo_ = true;
        break;
      case 'N': case 'F': case 'D': case 'L': case 'I': case 'Y': case 'T': case '@': case '+': case 'O': case 'Q': case 'V':
        break;
      default:
        throw corrupt("field " + fld.def.name + " has unknown type byte " + std::to_string(f[11]));
    }
    if (fld.def.width == 0) throw corrupt("field " + fld.def.name + " has width 0");
    fld.offset = offset;
    offset += (uint32_t)fld.def.width;
    fields_.push_back(fld);
  }
  if (!terminated) throw corrupt("the field list has no end mark (0x0D) within the header");
  if (fields_.empty()) throw corrupt("the table has no fields");
  if (offset != recLen_)
    throw corrupt("record length " + std::to_string(recLen_) + " differs from the fields' total " + std::to_string(offset));
  SettleCount(count_, h[kRunMarkAt] != 0);
  cache_.clear();
  InvalidateCache();
  lastRead_ = 0;
}

uint32_t DbfFile::ReadHeaderCount(bool* unfinishedRun) const {
  unsigned char c[kRunMarkAt - 3];
  file_.ReadAt(4, c, sizeof c);
  if (unfinishedRun) *unfinishedRun = c[kRunMarkAt - 4] != 0;
  return Le32(c);
}

void DbfFile::SettleCount(uint32_t headerCount, bool unfinishedRun) {
  auto corrupt = [&](const std::string& what) -> Error {
    return Error(ErrorCode::Corrupt, "table " + path_ + " is damaged: " + what);
  };
  // Another program may be appending meanwhile. It writes each record (and
  // the end mark) before the count that includes it, so the count is read,
  // then the size, then the count again: when both counts agree, the size
  // was taken while that count held, and at most the one record being
  // appended lies past it.
  uint64_t size = 0;
  for (int attempt = 0;; ++attempt) {
    size = file_.Size();
    bool mark = false;
    uint32_t again = ReadHeaderCount(&mark);
    if (again == headerCount && mark == unfinishedRun) break;
    if (attempt == 50)
      throw Error(ErrorCode::Locked, "table " + path_ +
                                         " is being written by another program faster than it can be read; try again");
    headerCount = again;
    unfinishedRun = mark;
  }
  uint64_t need = (uint64_t)headerLen_ + (uint64_t)headerCount * recLen_;
  runMarked_ = unfinishedRun;
  unfinishedRun_ = false;
  headerAhead_ = headerFarBehind_ = false;
  if (need > size) {
    // A count written before its records reached the disk (a crash), or a
    // damaged one. Read only, or to be repaired, the table is the records
    // the file holds whole; written to, it is refused.
    const uint32_t whole = (uint32_t)std::min<uint64_t>((size - headerLen_) / recLen_, headerCount);
    if (file_.Writable() && !repairing_)
      throw corrupt("the header counts " + std::to_string(headerCount) + " records (" + std::to_string(need) +
                    " bytes) but the file has " + std::to_string(size) + " bytes, " + std::to_string(whole) +
                    (whole == 1 ? " whole record" : " whole records"));
    headerAhead_ = true;
    headerCount_ = headerCount;
    headerBehind_ = false;
    count_ = whole;
    return;
  }
  headerCount_ = headerCount;
  if (unfinishedRun) {
    headerBehind_ = false;
    if (runOpen_) {
      // Our own run: every whole record written so far is the table's.
      count_ = (uint32_t)std::min<uint64_t>((size - headerLen_) / recLen_, UINT32_MAX);
    } else {
      // A run under way in another program, or one that never ended: the
      // table is what the header counts until a program that may write it
      // settles the run (SettleUnfinishedRun).
      count_ = headerCount;
      unfinishedRun_ = file_.Writable();
    }
    return;
  }
  // A complete record right after the counted ones is data: an append that
  // stopped (or was caught) between writing the record and counting it, or
  // a count one too low. It belongs to the table, so that nothing is ever
  // appended over it; the header is put right at the next write.
  headerBehind_ = headerCount < UINT32_MAX && size >= need + recLen_;
  count_ = headerBehind_ ? headerCount + 1 : headerCount;
  need = (uint64_t)headerLen_ + (uint64_t)count_ * recLen_;
  // After the last record: the end mark, and at most the start of one more
  // record that an append left unfinished (written over by the next
  // append). More than that means the count is wrong, and trusting it
  // would hide records and let new ones overwrite them.
  if (size >= need + recLen_) {
    // Read only, or to be repaired, the table is every whole record there
    // is, up to the first that does not start with a deletion flag;
    // written to, it is refused until its count is repaired.
    const uint32_t whole = !file_.Writable() || repairing_ ? count_ + WholeRecordsAfter(count_, size) : count_;
    if (whole == count_)
      throw corrupt("the header counts " + std::to_string(headerCount) + " records but the file holds " +
                    std::to_string((size - headerLen_) / recLen_) + " records' worth of bytes");
    headerBehind_ = false;
    headerFarBehind_ = true;
    count_ = whole;
  }
}

void DbfFile::Close() {
  file_.Close();
  fields_.clear();
  count_ = 0;
  headerBehind_ = headerAhead_ = headerFarBehind_ = repairing_ = false;
  runOpen_ = runMarked_ = unfinishedRun_ = false;
  InvalidateCache();
}

void DbfFile::Reload() {
  bool mark = false;
  uint32_t n = ReadHeaderCount(&mark);
  SettleCount(n, mark);
  InvalidateCache();
}

void DbfFile::WriteCountClearingRunMark() {
  unsigned char h[kRunMarkAt];
  file_.ReadAt(1, h, sizeof h);
  TodayYmd(h);
  PutLe32(h + 3, count_);
  h[kRunMarkAt - 1] = 0;
  file_.WriteAt(1, h, sizeof h);
}

void DbfFile::EndRun() {
  if (!runOpen_) return;
  if (!runMarked_) {
    runOpen_ = false;
    return;
  }
  // The run's records are on disk before the header counts them; the count
  // and the cleared mark go in one write.
  file_.SyncIfWritten();
  WriteCountClearingRunMark();
  runOpen_ = runMarked_ = false;
  NoteChange();
}

std::vector<FieldDef> DbfFile::fieldDefs() const {
  std::vector<FieldDef> out;
  out.reserve(fields_.size());
  for (auto& f : fields_) out.push_back(f.def);
  return out;
}

int DbfFile::FieldIndex(std::string_view name) const {
  // Names are stored upper case; compare ASCII letters without regard to case.
  for (size_t i = 0; i < fields_.size(); ++i) {
    const std::string& n = fields_[i].def.name;
    if (n.size() != name.size()) continue;
    size_t k = 0;
    for (; k < n.size(); ++k) {
      unsigned char c = (unsigned char)name[k];
      if ((unsigned)(c - 'a') < 26u) c = (unsigned char)(c - 32);
      if (c != (unsigned char)n[k]) break;
    }
    if (k == n.size()) return (int)i;
  }
  return -1;
}

void DbfFile::ReadRecord(uint32_t recno, char* buf) {
  if (recno == 0 || recno > count_)
    throw Error(ErrorCode::Usage, "record " + std::to_string(recno) + " does not exist in " + path_);
  if (recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_) {
    std::memcpy(buf, cache_.data() + (size_t)(recno - cacheFirst_) * recLen_, recLen_);
    lastRead_ = recno;
    return;
  }
  if (lastRead_ != 0 && recno == lastRead_ + 1) {
    // Sequential reading: fetch a window of records at once.
    uint32_t n = std::max<uint32_t>(1, kCacheBytes / recLen_);
    n = std::min(n, count_ - recno + 1);
    cache_.resize((size_t)n * recLen_);
    file_.ReadAt(RecordOffset(recno), cache_.data(), cache_.size());
    cacheFirst_ = recno;
    cacheCount_ = n;
    std::memcpy(buf, cache_.data(), recLen_);
  } else {
    file_.ReadAt(RecordOffset(recno), buf, recLen_);
  }
  lastRead_ = recno;
}

void DbfFile::ReadRecords(uint32_t first, uint32_t n, char* buf) {
  if (n == 0) return;
  if (first == 0 || (uint64_t)first + n - 1 > count_)
    throw Error(ErrorCode::Usage, "records out of range in " + path_);
  file_.ReadAt(RecordOffset(first), buf, (size_t)n * recLen_);
}

void DbfFile::WriteRecord(uint32_t recno, const char* buf) {
  if (recno == 0 || recno > count_)
    throw Error(ErrorCode::Usage, "record " + std::to_string(recno) + " does not exist in " + path_);
  BeforeWrite();
  file_.WriteAt(RecordOffset(recno), buf, recLen_);
  if (recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_)
    std::memcpy(cache_.data() + (size_t)(recno - cacheFirst_) * recLen_, buf, recLen_);
  NoteChange();
}

void DbfFile::WriteDeletionFlag(uint32_t recno, char flag) {
  if (recno == 0 || recno > count_)
    throw Error(ErrorCode::Usage, "record " + std::to_string(recno) + " does not exist in " + path_);
  BeforeWrite();
  file_.WriteAt(RecordOffset(recno), &flag, 1);
  if (recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_)
    cache_[(size_t)(recno - cacheFirst_) * recLen_] = flag;
  NoteChange();
}

uint32_t DbfFile::AppendRecord(const char* buf) {
  if (count_ == UINT32_MAX) throw Error(ErrorCode::Usage, "table " + path_ + " is full");
  if (unfinishedRun_) SettleUnfinishedRun({});
  if (headerBehind_) {
    // A record an earlier append left uncounted is counted, on disk, before
    // another follows it: a stop after the new record would otherwise leave
    // two whole records past the count, which reads as a damaged count.
    WriteCountAndDate();
    file_.Sync();
  }
  if (runOpen_ && !runMarked_) {
    // The run's mark is on disk before any of its records.
    const char mark = 1;
    file_.WriteAt(kRunMarkAt, &mark, 1);
    file_.Sync();
    runMarked_ = true;
  }
  uint32_t recno = count_ + 1;
  // Record and end mark in one write; the count in the header follows once
  // they are on disk, so a process stopped or a power cut between the two
  // leaves a sound table with the record past the count (see SettleCount).
  appendBuf_.assign(buf, recLen_);
  appendBuf_.push_back((char)0x1A);
  file_.WriteAt(RecordOffset(recno), appendBuf_.data(), appendBuf_.size());
  count_ = recno;
  if (runOpen_) {
    NoteChange();
    return recno;
  }
  file_.Sync();
  WriteCountAndDate();
  return recno;
}

void DbfFile::WriteCountAndDate() {
  unsigned char h[7];
  TodayYmd(h);
  PutLe32(h + 3, count_);
  headerBehind_ = false;
  // The header is written on every append: through a mapping of its bytes
  // where the system offers one, which spares a call per record.
  if (char* head = file_.MapHead(32)) {
    std::memcpy(head + 1, h, 7);
  } else {
    file_.WriteAt(1, h, 7);
  }
  NoteChange();
}

void DbfFile::NoteChange() {
  // Through the mapping the counter is raised where it lies, so writers in
  // other processes sharing the table never write the same value twice.
  if (char* head = file_.MapHead(32)) {
    unsigned char* at = (unsigned char*)head + kChangesAt;
    changes_ = Le64(at) + 1;
    PutLe64(at, changes_);
    return;
  }
  unsigned char v[8];
  PutLe64(v, ++changes_);
  file_.WriteAt(kChangesAt, v, 8);
}

TableStamp DbfFile::StampOf(const File& f) {
  TableStamp s;
  unsigned char h[32];
  if (f.ReadSome(0, h, 32) == 32) {
    s.count = Le32(h + 4);
    s.changes = Le64(h + kChangesAt);
  }
  s.size = f.Size();
  s.modifiedNs = f.ModifiedNs();
  return s;
}

std::string DbfFile::BlankRecord() const { return std::string(recLen_, ' '); }

uint32_t DbfFile::MemoBlock(const char* record, const DbfField& f) const {
  const char* p = record + f.offset;
  if (f.def.width == 4) return Le32((const unsigned char*)p);
  uint64_t v = 0;
  bool any = false;
  for (int i = 0; i < f.def.width; ++i) {
    char c = p[i];
    if (c == ' ' || c == 0) {
      if (any) {
        // trailing blanks after digits are allowed
        for (int k = i; k < f.def.width; ++k)
          if (p[k] != ' ' && p[k] != 0)
            throw Error(ErrorCode::Corrupt, "table " + path_ + " is damaged: memo field " + f.def.name +
                                                " holds \"" + std::string(p, f.def.width) + "\"");
        break;
      }
      continue;
    }
    if (c < '0' || c > '9')
      throw Error(ErrorCode::Corrupt, "table " + path_ + " is damaged: memo field " + f.def.name + " holds \"" +
                                          std::string(p, f.def.width) + "\"");
    any = true;
    v = v * 10 + (uint64_t)(c - '0');
    if (v > UINT32_MAX)
      throw Error(ErrorCode::Corrupt, "table " + path_ + " is damaged: memo block number too large in " + f.def.name);
  }
  return (uint32_t)v;
}

void DbfFile::SetMemoBlock(char* record, const DbfField& f, uint32_t block) const {
  char* p = record + f.offset;
  if (f.def.width == 4) {
    PutLe32((unsigned char*)p, block);
    return;
  }
  std::memset(p, ' ', f.def.width);
  if (block == 0) return;
  std::string digits = std::to_string(block);
  if ((int)digits.size() > f.def.width) throw Error(ErrorCode::Usage, "memo block number too large for " + path_);
  std::memcpy(p + f.def.width - digits.size(), digits.data(), digits.size());
}

}  // namespace xbase
