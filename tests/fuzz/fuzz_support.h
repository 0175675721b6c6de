// Shared pieces of the fuzz targets: a private folder in memory, a sound
// records table to put fuzzed companions beside, and a walk over a table that
// reads everything and stops the process on a contradiction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

// A folder of this process's own, in memory where the system has one
// (/dev/shm), else in the temporary folder, or under $VANTRELL_FUZZ_TMP;
// removed when the process ends normally.
const std::string& Folder();
std::string PathOf(std::string_view name);
void Put(std::string_view name, std::string_view bytes);
void Drop(std::string_view name);

// The files of a small sound records table (tag CatFlTl, memos of several
// blocks, a few deleted records), built once with the engine. The same
// every run, so seeds made from them stay valid.
struct SoundTable {
  std::string dbf, smt, nsx;
};
const SoundTable& Sound();

// Writes the sound table file under `name` with the fixed modification time
// its index was made for: the index keeps the table's size and time, and a
// table file written anew would otherwise make every index stale, so that
// no input would reach what lies past the open.
void PutSoundTable(std::string_view name);

// Opens Folder()/table (with `tag`, or in file order), walks it to the end
// and back reading every field, counts, moves by index, and runs CheckTable.
// Returns false when the engine refused the files with an xbase::Error.
// Anything else the engine does wrong ends the process (abort), which is
// what a fuzzer reports: another exception, a walk that never ends, counts
// that disagree.
bool WalkTable(std::string_view table, std::string_view tag, bool showDeleted);

[[noreturn]] void Fail(const std::string& what);

}  // namespace fuzz

// The entry point every target defines.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
