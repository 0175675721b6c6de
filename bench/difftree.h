// The folder tree the compare measures run on, made by the command-line
// and the window benchmarks alike: `files` files (empty or a few bytes) in
// 1,000 folders, every file with one time, and 1 % of them changed after
// the catalog was scanned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace bench {

inline constexpr int64_t kTreeTime = 1500000000;  // every file's time, an even second

// The path of file number i of a tree of `files` files.
std::string TreeFileOf(const std::filesystem::path& tree, size_t i, size_t files);

// Makes the tree unless `marker` beside it says it holds `files` files;
// true when it was made.
bool MakeTree(const std::filesystem::path& tree, const std::filesystem::path& marker, size_t files);

// Changes 1 % of a tree's files, spread over it: half touched with another
// time, a quarter removed, a quarter joined by a new file beside them.
void ChangeOnePercent(const std::filesystem::path& tree, size_t files);

}  // namespace bench
