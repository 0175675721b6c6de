// The index file (.nsx): one or more tags, each a B+tree of (key, record
// number) entries with the number of entries of each subtree kept in the
// branch pages, so counts and positions of a key range come from one
// descent.
//
// Layout: fixed-size pages. Page 0 holds the file state (the stamp of the
// table it was written for, a dirty flag, the tags' roots);
// pages 1 and 2 hold two copies of the tag directory (names, expressions,
// options); then the trees. Every page carries a CRC. The dirty flag is set
// on disk before the first page of a change is written and cleared after
// the last, so an index that a stopped process left half-written is known
// and rebuilt at the next open. A clean open reads three pages.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf.h"
#include "file.h"
#include "paths.h"

namespace xbase {

class KeySorter;

struct IndexTagDef {
  std::string name;  // upper case, at most 10 characters
  std::string key;
  std::string condition;
  bool unique = false;
  int keyWidth = 0;
};

// A position in a tree: page and slot of an entry.
struct TreePos {
  uint32_t page = 0;
  int slot = -1;
  bool valid() const { return page != 0; }
};

class IndexFile {
 public:
  static constexpr uint32_t kPageSize = 4096;
  static constexpr int kMaxTags = 16;
  static constexpr int kMaxKeyWidth = 480;

  ~IndexFile();

  // Writes a complete index file for the given tags from the sorted
  // entries, in one sequential pass.
  static void Build(const std::string& path, const std::vector<IndexTagDef>& tags, KeySorter& entries,
                    const TableStamp& table);

  // What a file at an index path is, told from its first pages alone.
  enum class Kind {
    Readable,    // an index file whose tag list reads (its trees are not looked at)
    NotAnIndex,  // none of the marks of an index file
    Newer,       // an index file of a later format
    Damaged,     // an index file whose tag list cannot be read
  };
  struct Probe {
    Kind kind = Kind::Damaged;
    std::vector<IndexTagDef> tags;  // when Readable
    std::string problem;            // otherwise: a sentence naming the file
  };
  // Throws only when the file cannot be opened (NotFound, Io).
  static Probe Inspect(const std::string& path);

  // Reads the tag directory only (for a rebuild). Throws Unsupported for a
  // file that is not an index file or is of a newer format, Corrupt when
  // both copies of the directory are damaged.
  static std::vector<IndexTagDef> ReadDirectory(const std::string& path);

  // How an opened index file fits its table.
  enum class Fit {
    Current,      // written for the table as it is
    TimeDiffers,  // written for this content, but the table's time is another:
                  // open, to be compared with the records before it is trusted
    Stale,        // left closed: to be rebuilt (state damaged, left dirty, an
                  // older format, or written for other content)
  };
  // Opens the file; throws what ReadDirectory throws.
  Fit Open(const std::string& path, bool writable, const TableStamp& table);
  void Close();
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& path() const { return path_; }
  File& file() { return file_; }
  const std::vector<IndexTagDef>& tags() const { return tags_; }
  int FindTag(std::string_view name) const;  // any case; -1 when absent

  void SetCacheBytes(size_t bytes) { cacheBytes_ = bytes; }
  // Lets go of every cached page that holds no unwritten change and is not
  // in use, and hands the memory back to the system: before a long job
  // that needs no pages of this file (a rebuild, a pack, a load).
  void ReleaseCache();

  // Changes: mark the file dirty on disk (once), change pages in memory;
  // Flush writes the changed pages and the clean state stamped for the
  // table as it is now. With no changed page it still writes the new stamp
  // when the table changed since the last one (an edit of no key), so a
  // clean reopen finds the index current; otherwise it writes nothing.
  void Insert(int tag, std::string_view key, uint32_t recno);
  bool Erase(int tag, std::string_view key, uint32_t recno);
  void Flush(const TableStamp& table);
  bool HasChanges() const { return dirtyOnDisk_; }
  // Damage was met in this file since it was opened (it is then marked on
  // disk for rebuilding, where it can be written).
  bool damaged() const { return damaged_; }
  // Marks the file as being changed on disk before the table is written.
  void BeginChangePublic() { BeginChange(); }
  // The table's record count: entries naming other records are damage.
  void SetRecordLimit(uint32_t n) { maxRecno_ = n; }
  // A number that changes with every change of any tree.
  uint64_t version() const { return version_; }

  // Reading.
  uint64_t Count(int tag);
  // First entry whose key (padded) begins at or after `prefix`, compared
  // over the prefix's length (upper = false), or first entry whose key
  // begins after it (upper = true). Returns the entry's rank; pos is
  // invalid at the end.
  uint64_t SeekPrefix(int tag, std::string_view prefix, bool upper, TreePos& pos);
  // First entry >= (key, recno). Returns its rank.
  uint64_t Seek(int tag, std::string_view key, uint32_t recno, TreePos& pos);
  // The entry of a given rank (pos invalid when out of range).
  void Select(int tag, uint64_t rank, TreePos& pos);
  bool Next(int tag, TreePos& pos);
  bool Prior(int tag, TreePos& pos);
  void Last(int tag, TreePos& pos);
  // Key (without trailing blanks) and record number at a position.
  std::string_view KeyAt(int tag, const TreePos& pos, uint32_t& recno);

  // Walks every page of every tree checking structure, order and counts;
  // returns problems found. Used by the check command.
  std::vector<std::string> Verify();
  // Calls f for every entry of a tag in order.
  void ForEach(int tag, const std::function<void(std::string_view key, uint32_t recno)>& f);

 private:
  struct Page;
  using PageP = std::shared_ptr<Page>;

  PageP Fetch(uint32_t no, int tag);
  PageP NewPage(int tag, uint8_t kind);
  void FreePage(const PageP& p);
  void MarkChanged(const PageP& p);
  void BeginChange();
  void WriteState(bool dirty);
  void EvictIfNeeded();
  [[noreturn]] void Damaged(const std::string& what) const;

  // Descends from the root choosing the last child whose first entry is
  // less than the target; returns the leaf, fills path (page, slot) and the
  // number of entries before the leaf.
  template <class Less>
  uint64_t Descend(int tag, const Less& less, std::vector<std::pair<PageP, int>>* path, TreePos& pos);

  File file_;
  std::string path_;
  std::vector<IndexTagDef> tags_;
  std::vector<uint32_t> roots_;
  uint32_t pageCount_ = 0, freeHead_ = 0, maxRecno_ = 0;
  bool dirtyOnDisk_ = false;
  mutable bool damaged_ = false;
  TableStamp stamp_;  // the table stamp the file's state page holds
  uint64_t version_ = 0;
  size_t cacheBytes_ = 48u << 20;
  // Page cache: pages by number, and the resident ones in clock order (a
  // page used since the hand last passed it gets a second chance).
  std::vector<PageP> table_;
  std::vector<uint32_t> resident_;
  size_t hand_ = 0;
  PageP* Slot(uint32_t no);
  std::vector<uint32_t> changed_;  // pages changed since the last flush
};

}  // namespace xbase
