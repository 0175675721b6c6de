// Fuzzes the index file: a sound table and memo file with the input as its
// .nsx, opened in the order of tag CatFlTl (the open rebuilds the index or
// refuses it) and walked.
//
// The first input byte chooses how the rest is taken. Even: as it is, so
// nearly every change fails a page checksum and the index is rebuilt. Odd:
// every page gets a valid checksum first, so the fuzzer reaches what lies
// behind the checksums (the state page's figures, the tag list, the pages'
// slots, keys and child pointers) as a damaged file could present it.
#include <cstring>

#include "fuzz_support.h"
#include "robust_support.h"

namespace {

constexpr size_t kPage = 4096;

uint32_t Crc32(const unsigned char* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

void PutLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Checksums where the engine keeps them: the state (first 512 bytes, CRC at
// 508), the two tag-list pages (CRC in their last 4 bytes), and the tree
// pages (CRC in their first 4 bytes, over the rest).
void Seal(std::string& nsx) {
  auto* b = reinterpret_cast<unsigned char*>(nsx.data());
  if (nsx.size() >= 512) PutLe32(b + 508, Crc32(b, 508));
  for (size_t page = 1; (page + 1) * kPage <= nsx.size(); ++page) {
    unsigned char* p = b + page * kPage;
    if (page <= 2)
      PutLe32(p + kPage - 4, Crc32(p, kPage - 4));
    else
      PutLe32(p, Crc32(p + 4, kPage - 4));
  }
}

// The sound files written anew must open without a rebuild, or no input
// would get past the open.
void CheckSoundIndexHolds() {
  const fuzz::SoundTable& sound = fuzz::Sound();
  fuzz::PutSoundTable("X.dbf");
  fuzz::Put("X.SMT", sound.smt);
  fuzz::Put("X.nsx", sound.nsx);
  fuzz::WalkTable("X.dbf", "CatFlTl", false);
  if (robust::ReadFile(fuzz::PathOf("X.nsx")) != sound.nsx)
    fuzz::Fail("the sound index is rebuilt when its files are written anew; see PutSoundTable");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool checked = (CheckSoundIndexHolds(), true);
  (void)checked;
  if (size == 0) return 0;
  const fuzz::SoundTable& sound = fuzz::Sound();
  std::string nsx(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) Seal(nsx);
  fuzz::PutSoundTable("X.dbf");
  fuzz::Put("X.SMT", sound.smt);
  fuzz::Put("X.nsx", nsx);
  if (!fuzz::WalkTable("X.dbf", "CatFlTl", false)) {
    // Damage found while reading marks the index for rebuilding; the next
    // open rebuilds it (or refuses an index whose tag list is lost).
    fuzz::WalkTable("X.dbf", "CatFlTl", false);
  }
  return 0;
}
