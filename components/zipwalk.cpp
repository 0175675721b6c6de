#include "zipwalk.h"

#include <zlib.h>


#include <cstring>
#include <vector>

#include "text.h"
#include "zipbytes.h"

namespace zip {

namespace {

// The walk of local headers looks for the first header this many bytes
// into a self-extracting program, and tries at most this many bytes.
constexpr int64_t kExeSearchStart = 14000;
constexpr int64_t kSearchLimit = 60000;

constexpr uint16_t kFlagDescriptor = 1 << 3;  // sizes and CRC follow the data
constexpr uint16_t kFlagUtf8 = 1 << 11;       // the name is UTF-8

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

// The entry's name: the Info-ZIP Unicode path field's when it stands for
// the stored name (its CRC matches) and is UTF-8, else the stored name.
QString EntryName(const char* raw, size_t size, uint16_t flags, const ExtraFacts& x) {
  if (x.unicodeName != nullptr &&
      x.unicodeNameCrc == ::crc32(0, reinterpret_cast<const Bytef*>(raw), (uInt)size) &&
      xbase::ValidUtf8(std::string_view(x.unicodeName, x.unicodeNameSize)))
    return QString::fromUtf8(x.unicodeName, x.unicodeNameSize);
  return DecodeEntryName(raw, size, (flags & kFlagUtf8) != 0);
}

// The fields of a local header after its signature, up to the name's
// length; returns the general purpose flags.
uint16_t ReadHeaderFields(const char* p, ZipDirEntry* e) {
  e->modTime = U16(p + 6);
  e->modDate = U16(p + 8);
  e->crc32 = U32(p + 10);
  e->compressedSize = U32(p + 14);
  e->uncompressedSize = U32(p + 18);
  return U16(p + 2);
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
    const uint16_t flags = ReadHeaderFields(h, &e);
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
    e.name = EntryName(name.data(), nameLen, flags, x);
    if ((flags & kFlagDescriptor) && e.compressedSize == 0) {
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

Listing WalkLocalHeaders(const QString& path, bool selfExtracting) {
  Listing out;
  FileReader in;
  if (!in.Open(path)) {
    out.error = QStringLiteral("The zip file %1 cannot be opened: %2").arg(path, in.ErrorText());
    return out;
  }
  HeaderWalk(in, out).Run(selfExtracting);
  return out;
}

}  // namespace zip
