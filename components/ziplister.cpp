#include "ziplister.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <new>

namespace zip {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;

constexpr int kLocalHeaderSize = 30;    // signature included
constexpr int kCentralHeaderSize = 46;  // signature included
constexpr int kEndSize = 22;
constexpr int kZip64EndSize = 56;
constexpr int kZip64LocatorSize = 20;
constexpr int64_t kMaxComment = 65535;

// The walk of local headers looks for the first header this many bytes
// into a self-extracting program, and tries at most this many bytes.
constexpr int64_t kExeSearchStart = 14000;
constexpr int64_t kSearchLimit = 60000;

constexpr uint16_t kFlagDescriptor = 1 << 3;  // sizes and CRC follow the data
constexpr uint16_t kFlagUtf8 = 1 << 11;       // the name is UTF-8

uint16_t U16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint16_t(b[0] | b[1] << 8);
}
uint32_t U32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
uint64_t U64(const char* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[i] = c;
  }
  return t;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

uint32_t Crc32(const char* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = kCrcTable[(c ^ (unsigned char)p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

// Code page 437, bytes 0x80 to 0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const unsigned char* s, size_t n) {
  size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (n - i < len) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k)
      if ((s[i + k] & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

// Reads a file at given offsets through a window of 64 KiB, so the many
// small reads of a header walk cost few system calls. Every read is clipped
// to the file: asking past the end gives fewer bytes, never stale ones.
class FileReader {
 public:
  bool Open(const QString& path) {
    file_.setFileName(path);
    if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
    size_ = file_.size();
    return true;
  }
  QString ErrorText() const { return file_.errorString(); }
  int64_t size() const { return size_; }

  // Copies up to n bytes at offset into out; returns how many.
  int64_t ReadAt(int64_t offset, char* out, int64_t n) {
    if (offset < 0 || n <= 0 || offset >= size_) return 0;
    n = std::min(n, size_ - offset);
    if (offset >= windowStart_ && offset + n <= windowStart_ + windowLen_) {
      std::memcpy(out, window_.data() + (offset - windowStart_), (size_t)n);
      return n;
    }
    if (n > kWindow / 2) return Direct(offset, out, n);
    window_.resize(kWindow);
    windowStart_ = offset;
    windowLen_ = std::max<int64_t>(0, Direct(offset, window_.data(), kWindow));
    const int64_t got = std::min(n, windowLen_);
    if (got > 0) std::memcpy(out, window_.data(), (size_t)got);
    return got;
  }

  // The bytes from offset on that the window holds (refilled to start
  // there when it holds less than 64 of them and the file has more): *got
  // of them, 0 past the end. The pointer is good until the next read.
  const char* Peek(int64_t offset, int64_t* got) {
    *got = 0;
    if (offset < 0 || offset >= size_) return nullptr;
    const int64_t windowEnd = windowStart_ + windowLen_;
    if (offset < windowStart_ || offset >= windowEnd || (windowEnd < size_ && windowEnd - offset < 64)) {
      window_.resize(kWindow);
      windowStart_ = offset;
      windowLen_ = std::max<int64_t>(0, Direct(offset, window_.data(), kWindow));
    }
    *got = windowStart_ + windowLen_ - offset;
    return window_.data() + (offset - windowStart_);
  }

  // Reads n bytes at offset without the window (for large blocks).
  int64_t Direct(int64_t offset, char* out, int64_t n) {
    if (offset < 0 || offset >= size_) return 0;
    n = std::min(n, size_ - offset);
    if (!file_.seek(offset)) return 0;
    int64_t done = 0;
    while (done < n) {
      const qint64 r = file_.read(out + done, n - done);
      if (r <= 0) break;
      done += r;
    }
    return done;
  }

 private:
  static constexpr int64_t kWindow = 64 * 1024;
  QFile file_;
  int64_t size_ = 0;
  std::vector<char> window_;
  int64_t windowStart_ = 0, windowLen_ = 0;
};

// What the extra field of a header says about the entry.
struct ExtraFacts {
  bool hasZip64 = false;
  const char* zip64 = nullptr;  // the data of the Zip64 extended information field
  uint16_t zip64Size = 0;
  const char* unicodeName = nullptr;  // Info-ZIP Unicode path field: its UTF-8 name
  uint16_t unicodeNameSize = 0;
  uint32_t unicodeNameCrc = 0;  // the CRC of the stored name it stands for
};

ExtraFacts ReadExtra(const char* p, size_t n) {
  ExtraFacts f;
  size_t i = 0;
  while (n - i >= 4) {
    const uint16_t tag = U16(p + i), len = U16(p + i + 2);
    if (len > n - i - 4) break;  // a field that runs out of the extra block ends it
    const char* data = p + i + 4;
    if (tag == 0x0001) {
      f.hasZip64 = true;
      f.zip64 = data;
      f.zip64Size = len;
    } else if (tag == 0x7075 && len >= 5 && (unsigned char)data[0] == 1) {
      f.unicodeNameCrc = U32(data + 1);
      f.unicodeName = data + 5;
      f.unicodeNameSize = uint16_t(len - 5);
    }
    i += 4 + len;
  }
  return f;
}

// Applies the Zip64 field: each 32-bit value at its all-ones marker is
// replaced by the next 64-bit value of the field, in the format's order.
// A value the field does not hold keeps its marker.
void ApplyZip64(const ExtraFacts& x, uint64_t* usize, uint64_t* csize, uint64_t* offset) {
  if (!x.hasZip64) return;
  size_t at = 0;
  for (uint64_t* v : {usize, csize, offset}) {
    if (v == nullptr || *v != 0xFFFFFFFFu) continue;
    if (at + 8 > x.zip64Size) return;
    *v = U64(x.zip64 + at);
    at += 8;
  }
}

QString EntryName(const char* raw, size_t size, uint16_t flags, const ExtraFacts& x) {
  if (x.unicodeName != nullptr && x.unicodeNameCrc == Crc32(raw, size) &&
      IsValidUtf8(reinterpret_cast<const unsigned char*>(x.unicodeName), x.unicodeNameSize))
    return QString::fromUtf8(x.unicodeName, x.unicodeNameSize);
  return DecodeEntryName(raw, size, (flags & kFlagUtf8) != 0);
}

// The fields the central and the local headers share, from the version
// needed to extract onwards (the local header's layout).
void ReadCommonFields(const char* p, ZipDirEntry* e) {
  e->versionNeeded = U16(p);
  e->flags = U16(p + 2);
  e->method = U16(p + 4);
  e->modTime = U16(p + 6);
  e->modDate = U16(p + 8);
  e->crc32 = U32(p + 10);
  e->compressedSize = U32(p + 14);
  e->uncompressedSize = U32(p + 18);
}

bool HasSignature(FileReader& in, int64_t at, uint32_t sig) {
  char b[4];
  return in.ReadAt(at, b, 4) == 4 && U32(b) == sig;
}

// The central directory an end record at eocdPos describes, when it lies
// inside the file. Its place is found from the physical layout first (the
// directory ends where the end records begin), so a self-extracting prefix
// that the offsets do not count is measured; the stated offset is the
// fallback for archives with something between the directory and its end.
bool LocateDirectory(FileReader& in, int64_t eocdPos, const char* eocd, CentralDirectory* cd) {
  uint64_t entries = U16(eocd + 10);
  uint64_t size = U32(eocd + 12);
  uint64_t offset = U32(eocd + 16);
  int64_t end = eocdPos;
  bool zip64 = false;
  char loc[kZip64LocatorSize];
  if (eocdPos >= kZip64LocatorSize && in.ReadAt(eocdPos - kZip64LocatorSize, loc, kZip64LocatorSize) == kZip64LocatorSize &&
      U32(loc) == kZip64LocatorSig) {
    const int64_t limit = eocdPos - kZip64LocatorSize;  // the Zip64 record ends before the locator
    const uint64_t stated = U64(loc + 8);
    for (const int64_t at : {stated <= (uint64_t)limit ? (int64_t)stated : int64_t(-1), limit - kZip64EndSize}) {
      char rec[kZip64EndSize];
      if (at < 0 || at + kZip64EndSize > limit || in.ReadAt(at, rec, kZip64EndSize) != kZip64EndSize ||
          U32(rec) != kZip64EndSig)
        continue;
      entries = U64(rec + 32);
      size = U64(rec + 40);
      offset = U64(rec + 48);
      end = at;
      zip64 = true;
      break;
    }
  }
  if (size > (uint64_t)end) return false;
  const int64_t physical = end - (int64_t)size;
  auto accept = [&](int64_t start) {
    cd->found = true;
    cd->offset = start;
    cd->size = size;
    cd->entries = entries;
    cd->zip64 = zip64;
    cd->archiveStart = offset <= (uint64_t)INT64_MAX ? start - (int64_t)offset : 0;
    return true;
  };
  if (size == 0) return entries == 0 && accept(physical);
  if (HasSignature(in, physical, kCentralHeaderSig)) return accept(physical);
  if (offset + size <= (uint64_t)end && HasSignature(in, (int64_t)offset, kCentralHeaderSig))
    return accept((int64_t)offset);
  return false;
}

// The central directory of the archive, from the end record nearest the
// end of the file whose directory lies where it says; *sawEnd tells whether
// any end record was there at all.
CentralDirectory FindDirectory(FileReader& in, bool* sawEnd) {
  CentralDirectory cd;
  *sawEnd = false;
  const int64_t tailSize = std::min<int64_t>(in.size(), kEndSize + kMaxComment);
  if (tailSize < kEndSize) return cd;
  const int64_t tailStart = in.size() - tailSize;
  std::vector<char> tail((size_t)tailSize);
  if (in.Direct(tailStart, tail.data(), tailSize) != tailSize) return cd;
  // One whose directory is not where it says (a signature inside a
  // comment, say) gives way to the next one back.
  for (int64_t i = tailSize - kEndSize; i >= 0; --i) {
    const char* p = tail.data() + i;
    if (p[0] != 'P' || p[1] != 'K' || U32(p) != kEndSig) continue;
    *sawEnd = true;
    if (LocateDirectory(in, tailStart + i, p, &cd)) return cd;
  }
  return CentralDirectory{};
}

// Reads the central directory in one read and decodes its headers. False
// when it is damaged (a header out of place, a field past its end, an entry
// whose data would lie outside the archive): the caller then walks the local
// headers. Counts that disagree with the headers present give a message.
bool ReadDirectory(FileReader& in, const CentralDirectory& cd, Listing* out) {
  if (cd.size > (uint64_t)in.size()) return false;
  std::vector<char> buf((size_t)cd.size);
  if (in.Direct(cd.offset, buf.data(), (int64_t)cd.size) != (int64_t)cd.size) return false;
  std::vector<ZipDirEntry> entries;
  entries.reserve((size_t)std::min<uint64_t>(cd.entries, cd.size / kCentralHeaderSize));
  const char* p = buf.data();
  const size_t n = buf.size();
  size_t at = 0;
  while (n - at >= kCentralHeaderSize) {
    const char* h = p + at;
    const uint32_t sig = U32(h);
    if (sig != kCentralHeaderSig) {
      // The digital signature record may close the directory.
      if (sig == 0x05054b50) break;
      return false;
    }
    const size_t nameLen = U16(h + 28), extraLen = U16(h + 30), commentLen = U16(h + 32);
    if (nameLen + extraLen + commentLen > n - at - kCentralHeaderSize) return false;
    ZipDirEntry e;
    ReadCommonFields(h + 6, &e);
    const char* name = h + kCentralHeaderSize;
    const ExtraFacts x = ReadExtra(name + nameLen, extraLen);
    uint64_t localOffset = U32(h + 42);
    ApplyZip64(x, &e.uncompressedSize, &e.compressedSize, &localOffset);
    // The entry's local header must lie in the archive, before the directory.
    if (localOffset > (uint64_t)INT64_MAX) return false;
    const int64_t local = (int64_t)localOffset + cd.archiveStart;
    if (local < 0 || local > cd.offset - kLocalHeaderSize) return false;
    e.name = EntryName(name, nameLen, e.flags, x);
    entries.push_back(std::move(e));
    at += kCentralHeaderSize + nameLen + extraLen + commentLen;
  }
  const uint64_t listed = entries.size();
  // Without Zip64 records the count has 16 bits; writers that pass 65535
  // entries without them keep only its low bits.
  const bool countAgrees = listed == cd.entries || (!cd.zip64 && (listed & 0xFFFF) == cd.entries);
  out->entries = std::move(entries);
  if (!countAgrees)
    out->error = QStringLiteral("The zip file says it holds %1 entries, but its central directory lists %2.")
                     .arg(cd.entries)
                     .arg(listed);
  return true;
}

// The walk of the local file headers from the start of the file, for an
// archive whose central directory cannot be read.
class HeaderWalk {
 public:
  HeaderWalk(FileReader& in, Listing& out) : in_(in), out_(out) {}

  void Run(bool exe) {
    pos_ = exe ? kExeSearchStart : 0;
    for (;;) {
      if (!Search()) return Fail(kNoEntriesFound);
      if (!Entries()) return;
    }
  }

 private:
  // Looks for a local header signature from pos_; true with pos_ after it.
  bool Search() {
    char b[4];
    for (;;) {
      if (in_.ReadAt(pos_, b, 1) != 1) return false;
      if (++tried_ > kSearchLimit) return false;
      if (b[0] != 'P') {
        ++pos_;
        continue;
      }
      if (in_.ReadAt(pos_, b, 4) == 4 && U32(b) == kLocalHeaderSig) {
        pos_ += 4;
        return true;
      }
      // The byte after a failed "P" may itself start the signature.
      ++pos_;
    }
  }

  // Reads entries from the local header whose signature ends at pos_,
  // going from one to the next. False when the walk is over; true to
  // search again.
  bool Entries() {
    for (;;) {
      switch (LocalHeader()) {
        case Step::Next:
          break;
        case Step::Search:
          return true;
        case Step::Done:
          return false;
      }
      // Between entries: signatures at 4-byte steps.
      for (;;) {
        char b[4];
        if (in_.ReadAt(pos_, b, 4) != 4) {
          Fail(kReadError);
          return false;
        }
        pos_ += 4;
        const uint32_t sig = U32(b);
        if (sig == kLocalHeaderSig) break;
        if (sig == kCentralHeaderSig || sig == kEndSig) return false;  // complete
      }
    }
  }

  enum class Step { Next, Search, Done };

  Step LocalHeader() {
    char h[kLocalHeaderSize - 4];
    ZipDirEntry e;
    if (in_.ReadAt(pos_, h, sizeof h) != (int64_t)sizeof h) return Broken(kReadError2);
    ReadCommonFields(h, &e);
    const uint16_t nameLen = U16(h + 22), extraLen = U16(h + 24);
    std::vector<char> name(nameLen), extra(extraLen);
    if (in_.ReadAt(pos_ + (int64_t)sizeof h, name.data(), nameLen) != nameLen) return Broken(kReadError2);
    pos_ += (int64_t)sizeof h + nameLen;
    const int64_t lastDataEnd = in_.size() - kEndSize;  // no entry's data reaches the end record
    if (pos_ + extraLen > lastDataEnd) return Broken(kReadError3);
    if (in_.ReadAt(pos_, extra.data(), extraLen) != extraLen) return Broken(kReadError4);
    const ExtraFacts x = ReadExtra(extra.data(), extraLen);
    ApplyZip64(x, &e.uncompressedSize, &e.compressedSize, nullptr);
    const int64_t dataStart = pos_ + extraLen;
    if (e.compressedSize > (uint64_t)(lastDataEnd - dataStart)) return Broken(kReadError3);
    e.name = EntryName(name.data(), nameLen, e.flags, x);
    if ((e.flags & kFlagDescriptor) && e.compressedSize == 0) {
      // The sizes follow the data, which must be searched for its end.
      out_.entries.push_back(std::move(e));
      if (!SkipDescribedData(dataStart, x.hasZip64, &out_.entries.back())) {
        Fail(kReadError);
        return Step::Done;
      }
      return Step::Next;
    }
    pos_ = dataStart + (int64_t)e.compressedSize;
    if (pos_ > in_.size()) {
      Fail(kReadError5);
      return Step::Done;
    }
    out_.entries.push_back(std::move(e));
    return Step::Next;
  }

  // A header that cannot be read whole: an error once entries are listed,
  // else the search goes on after it.
  Step Broken(const char* message) {
    if (out_.entries.empty()) return Step::Search;
    Fail(message);
    return Step::Done;
  }

  // For an entry whose sizes follow its data: finds where the data ends and
  // leaves pos_ at what follows. The data ends at a data descriptor whose
  // compressed size matches the bytes before it, or at the next header when
  // a descriptor without signature before it matches; failing both, at the
  // first header signature after the data starts. The entry takes the
  // descriptor's CRC and sizes. False when nothing follows the data.
  bool SkipDescribedData(int64_t dataStart, bool zip64, ZipDirEntry* e) {
    // A descriptor has 32-bit sizes, or 64-bit ones for a Zip64 entry; both
    // are tried, the entry's own kind first.
    const int kinds[2] = {zip64 ? 8 : 4, zip64 ? 4 : 8};
    auto sizeAt = [](const char* p, int bytes) { return bytes == 8 ? U64(p) : (uint64_t)U32(p); };
    // The descriptor (without signature) at `at`, when its compressed size
    // is the data's length; the entry takes its CRC and sizes.
    auto take = [&](int64_t at, int64_t dataEnd, int bytes) {
      char d[4 + 2 * 8];
      const int size = 4 + 2 * bytes;
      if (at < dataStart || in_.ReadAt(at, d, size) != size || sizeAt(d + 4, bytes) != (uint64_t)(dataEnd - dataStart))
        return 0;
      e->crc32 = U32(d);
      e->compressedSize = sizeAt(d + 4, bytes);
      e->uncompressedSize = sizeAt(d + 4 + bytes, bytes);
      return size;
    };
    // The search costs what it reads; once the walk has read about twice
    // the file this way, the first header signature ends the data, so the
    // walk stays linear however many such entries a file holds.
    int64_t fallback = -1;
    int64_t at = dataStart;
    auto found = [&](int64_t next) {
      scanBudget_ -= at - dataStart;
      pos_ = next;
      return true;
    };
    while (at <= in_.size() - 4) {
      int64_t got = 0;
      const char* p = in_.Peek(at, &got);
      if (got < 4) break;
      const char* q = static_cast<const char*>(std::memchr(p, 'P', (size_t)(got - 3)));
      if (q == nullptr) {
        at += got - 3;
        continue;
      }
      at += q - p;
      const uint32_t sig = U32(q);  // q is invalid after the next read
      if (sig == kDescriptorSig) {
        for (int bytes : kinds)
          if (int size = take(at + 4, at, bytes)) return found(at + 4 + size);
      } else if (sig == kLocalHeaderSig || sig == kCentralHeaderSig || sig == kEndSig) {
        for (int bytes : kinds)
          if (take(at - (4 + 2 * bytes), at - (4 + 2 * bytes), bytes)) return found(at);
        if (fallback < 0) fallback = at;
        if (scanBudget_ - (at - dataStart) <= 0) break;
      }
      ++at;
    }
    if (fallback < 0) return false;
    return found(fallback);
  }

  void Fail(const char* message) { out_.error = QString::fromLatin1(message); }

  FileReader& in_;
  Listing& out_;
  int64_t pos_ = 0;
  int64_t tried_ = 0;  // bytes tried as the start of a signature while searching
  int64_t scanBudget_ = 2 * in_.size() + (1 << 20);  // bytes the data searches may read
};

}  // namespace

bool ZipDirEntry::directory() const { return name.endsWith(u'/'); }

QDateTime ZipDirEntry::modified() const {
  const QDate date(1980 + (modDate >> 9), (modDate >> 5) & 0x0F, modDate & 0x1F);
  const QTime time(modTime >> 11, (modTime >> 5) & 0x3F, 2 * (modTime & 0x1F));
  if (!date.isValid() || !time.isValid()) return QDateTime();
  return QDateTime(date, time);
}

QString DecodeEntryName(const char* bytes, size_t size, bool utf8Flag) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  while (i < size && b[i] < 0x80) ++i;
  if (i == size) return QString::fromLatin1(bytes, (qsizetype)size);
  if (utf8Flag || IsValidUtf8(b, size)) return QString::fromUtf8(bytes, (qsizetype)size);
  QString s((qsizetype)size, Qt::Uninitialized);
  QChar* out = s.data();
  for (size_t k = 0; k < size; ++k) out[k] = b[k] < 0x80 ? QChar(b[k]) : QChar(kCp437High[b[k] - 0x80]);
  return s;
}

CentralDirectory FindCentralDirectory(const QString& path) {
  try {
    FileReader in;
    bool sawEnd = false;
    if (!QFileInfo(path).isFile() || !in.Open(path)) return {};
    return FindDirectory(in, &sawEnd);
  } catch (const std::exception&) {
    return {};
  }
}

Listing ListArchive(const QString& path) {
  Listing out;
  if (path.isEmpty() || !QFileInfo(path).isFile()) return out;
  try {
    FileReader in;
    if (!in.Open(path)) {
      out.error = QStringLiteral("The zip file %1 cannot be opened: %2").arg(path, in.ErrorText());
      return out;
    }
    bool sawEnd = false;
    const CentralDirectory cd = FindDirectory(in, &sawEnd);
    if (cd.found && ReadDirectory(in, cd, &out)) return out;
    out = Listing{};
    HeaderWalk(in, out).Run(QFileInfo(path).suffix().compare(QLatin1String("exe"), Qt::CaseInsensitive) == 0);
    // The archive has its end record but the directory was not fit to read:
    // the entries are listed, and extracting them may well fail.
    if (sawEnd && out.error.isEmpty())
      out.error = QStringLiteral(
          "The central directory of the zip file is damaged; its entries were found by reading the "
          "file from the start.");
  } catch (const std::bad_alloc&) {
    out.error = QStringLiteral("The zip file cannot be listed: not enough memory.");
  } catch (const std::exception& e) {
    out.error = QStringLiteral("The zip file cannot be listed: %1").arg(QString::fromLocal8Bit(e.what()));
  }
  return out;
}

}  // namespace zip
