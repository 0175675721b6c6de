// The entries of an index build put in order in bounded memory: whatever
// the table's size, at most a fixed budget of keys is held at once. Entries
// beyond it are sorted in runs written to a scratch file and merged back
// while the index is written, so building the index of a large table needs
// no more memory than that of a small one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "file.h"
#include "paths.h"

namespace xbase {

class KeySorter {
 public:
  static constexpr size_t kDefaultBudget = 40u << 20;

  // `scratchPath`: the file for sorted runs, made only when the entries
  // outgrow `budget` bytes, and removed when the sorter goes.
  KeySorter(size_t tags, std::string scratchPath, size_t budget = kDefaultBudget);
  ~KeySorter();
  KeySorter(const KeySorter&) = delete;
  KeySorter& operator=(const KeySorter&) = delete;

  // Adds one entry; keys are given without trailing blanks.
  void Add(size_t tag, std::string_view key, uint32_t recno);
  // After the last Add: entries are handed out by Next, ordered by tag,
  // then key (compared as if padded with blanks), then record number.
  void Finish();
  // The next entry of `tag` (tags are read in increasing order); false
  // when that tag has no more. The key stays valid until the next call.
  bool Next(size_t tag, std::string_view& key, uint32_t& recno);
  // Before the first Add: the entries will come already in their order
  // (tag, key, record number), so nothing is sorted.
  void SetInOrder() { inOrder_ = true; }
  // Whether some entries went to the scratch file.
  bool Spilled() const { return !runs_.empty(); }

 private:
  struct Item {
    uint64_t digit;  // eight key bytes from the depth being sorted on
    uint32_t off;    // of the key in arena_
    uint32_t recno;
    uint16_t len;
    uint16_t tag;
  };
  struct Run {
    uint64_t at = 0, end = 0;  // the run's bytes in the scratch file
    std::vector<char> buf;
    size_t pos = 0, len = 0;   // of buf
    // The current entry.
    uint16_t tag = 0;
    uint32_t recno = 0;
    std::string key;
    bool done = false;
  };
  void SortItems();
  // Orders items of one tag whose keys agree (padded) before `depth`.
  void SortFrom(Item* begin, Item* end, size_t depth);
  void Spill();
  bool Advance(Run& r);
  bool Less(const Run& a, const Run& b) const;
  bool Fill(Run& r, size_t need);

  size_t tags_;
  std::string scratchPath_;
  size_t budget_;
  std::vector<char> arena_;
  std::vector<Item> items_;
  File scratch_;
  uint64_t scratchEnd_ = 0;
  std::vector<Run> runs_;
  std::vector<size_t> heap_;  // run numbers, smallest entry first
  size_t next_ = 0;           // in items_ when nothing was spilled
  std::string current_;       // the key Next handed out last
  bool finished_ = false;
  bool inOrder_ = false;
};

}  // namespace xbase
