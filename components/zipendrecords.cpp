#include "zipendrecords.h"

#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <vector>

#include "zipbytes.h"

namespace zip {

namespace {

constexpr int64_t kMaxComment = 65535;

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
  if (eocdPos >= kZip64LocatorSize &&
      in.ReadAt(eocdPos - kZip64LocatorSize, loc, kZip64LocatorSize) == kZip64LocatorSize &&
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
  if (in.HasSignature(physical, kCentralHeaderSig)) return accept(physical);
  if (offset + size <= (uint64_t)end && in.HasSignature((int64_t)offset, kCentralHeaderSig))
    return accept((int64_t)offset);
  return false;
}

}  // namespace

bool CentralDirectory::ClaimsTooManyEntries() const { return found && entries > size / kCentralHeaderSize; }

CentralDirectory FindCentralDirectory(const QString& path) {
  CentralDirectory cd;
  try {
    FileReader in;
    if (!QFileInfo(path).isFile() || !in.Open(path)) return cd;
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
      cd.endRecord = true;
      if (LocateDirectory(in, tailStart + i, p, &cd)) return cd;
    }
  } catch (const std::exception&) {
    return CentralDirectory{};
  }
  return cd;
}

}  // namespace zip
