// Fuzzes the table file: the input is a whole .dbf (header, field
// descriptors, records), opened beside a sound memo file and walked.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fuzz::SoundTable& sound = fuzz::Sound();
  fuzz::Put("T.dbf", std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::Put("T.SMT", sound.smt);  // memo pointers of the input land in a sound memo file
  fuzz::Drop("T.nsx");
  fuzz::WalkTable("T.dbf", "", true);
  fuzz::WalkTable("T.dbf", "", false);
  return 0;
}
