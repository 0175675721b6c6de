// Fuzzes the memo file: a sound table whose memo field points into the
// input, taken as its .SMT; every memo is read.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::PutSoundTable("M.dbf");
  fuzz::Put("M.SMT", std::string_view(reinterpret_cast<const char*>(data), size));
  fuzz::Drop("M.nsx");
  fuzz::WalkTable("M.dbf", "", true);
  return 0;
}
