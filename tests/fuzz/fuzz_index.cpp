// Fuzzes the index file: a sound table and memo file with the input as its
// .nsx, opened in the order of tag CatFlTl (the open rebuilds the index or
// refuses it) and walked.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::SoundTable& sound = fuzz::Sound();
  fuzz::Put("X.dbf", sound.dbf);
  fuzz::Put("X.SMT", sound.smt);
  fuzz::Put("X.nsx", std::string_view(reinterpret_cast<const char*>(data), size));
  if (!fuzz::WalkTable("X.dbf", "CatFlTl", false)) {
    // Damage found while reading marks the index for rebuilding: the next
    // open must then work.
    fuzz::WalkTable("X.dbf", "CatFlTl", false);
  }
  return 0;
}
