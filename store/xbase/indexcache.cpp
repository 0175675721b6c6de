// The index file's page cache: pages read on demand and checked, kept in
// clock order up to a byte budget, written back when evicted or flushed;
// the dirty flag on disk around every change.
#include "indexpage.h"
#include "xbase.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace xbase {

using namespace nsx;

IndexFile::~IndexFile() { Close(); }

[[noreturn]] void IndexFile::Damaged(const std::string& what) const {
  // Leave the file marked dirty so that the next open rebuilds it.
  damaged_ = true;
  if (file_.IsOpen() && file_.Writable()) {
    try {
      const_cast<IndexFile*>(this)->WriteState(true);
    } catch (...) {
    }
  }
  throw Error(ErrorCode::Corrupt,
              "index file " + path_ + " is damaged (" + what + "); it is rebuilt when the table is next opened");
}

void IndexFile::Close() {
  table_.clear();
  resident_.clear();
  hand_ = 0;
  changed_.clear();
  file_.Close();
}

IndexFile::PageP* IndexFile::Slot(uint32_t no) {
  if (no >= table_.size()) table_.resize(std::max<size_t>(no + 1, table_.size() * 2));
  return &table_[no];
}

IndexFile::PageP IndexFile::Fetch(uint32_t no, int tag) {
  if (no < table_.size() && table_[no]) {
    PageP& p = table_[no];
    p->ref = true;
    if (p->tag() != tag) Damaged("page " + std::to_string(no) + " belongs to another tag");
    return p;
  }
  if (no < kFirstTreePage || no >= pageCount_) Damaged("page number " + std::to_string(no) + " out of range");
  auto p = std::make_shared<Page>();
  p->no = no;
  if (file_.ReadSome((uint64_t)no * kPageSize, p->d, kPageSize) != kPageSize)
    Damaged("page " + std::to_string(no) + " is cut short");
  if (Get32(p->d) != Crc32(p->d + 4, kPageSize - 4)) Damaged("page " + std::to_string(no) + " fails its checksum");
  if (p->tag() != tag) Damaged("page " + std::to_string(no) + " belongs to another tag");
  std::string problem = p->Check(maxRecno_, pageCount_);
  if (!problem.empty()) Damaged("page " + std::to_string(no) + ": " + problem);
  p->ref = true;
  *Slot(no) = p;
  resident_.push_back(no);
  EvictIfNeeded();
  return p;
}

void IndexFile::ReleaseCache() {
  for (size_t i = 0; i < resident_.size();) {
    PageP& p = table_[resident_[i]];
    if (p && (p.use_count() > 1 || p->changed)) {
      ++i;
      continue;
    }
    p.reset();
    resident_[i] = resident_.back();
    resident_.pop_back();
  }
  hand_ = 0;
#ifdef __GLIBC__
  // Freed pages amid the heap stay with the process otherwise.
  malloc_trim(0);
#endif
}

void IndexFile::EvictIfNeeded() {
  size_t limit = std::max<size_t>(cacheBytes_ / kPageSize, 64);
  if (resident_.size() <= limit) return;
  size_t budget = 2 * resident_.size() + 2;
  while (resident_.size() > limit && budget-- > 0) {
    if (hand_ >= resident_.size()) hand_ = 0;
    uint32_t no = resident_[hand_];
    PageP& p = table_[no];
    if (!p) {
      resident_[hand_] = resident_.back();
      resident_.pop_back();
      continue;
    }
    if (p.use_count() > 1) {  // in use by the caller
      ++hand_;
      continue;
    }
    if (p->ref) {
      p->ref = false;
      ++hand_;
      continue;
    }
    if (p->changed) {
      Put32(p->d, Crc32(p->d + 4, kPageSize - 4));
      file_.WriteAt((uint64_t)p->no * kPageSize, p->d, kPageSize);
      p->changed = false;
    }
    p.reset();
    resident_[hand_] = resident_.back();
    resident_.pop_back();
  }
}

void IndexFile::BeginChange() {
  if (!file_.Writable()) throw Error(ErrorCode::Io, "index file " + path_ + " is read-only");
  if (!dirtyOnDisk_) {
    // On disk before any page of the change or the table write it follows
    // can be: a power cut then leaves an index the next open rebuilds.
    WriteState(true);
    file_.Sync();
    dirtyOnDisk_ = true;
  }
  ++version_;
}

void IndexFile::WriteState(bool dirty) {
  unsigned char s[kStateBytes];
  EncodeState(s, pageCount_, freeHead_, dirty, TableStamp{}, roots_);
  if (!dirty) return;  // the clean state is written by Flush with the table's figures
  file_.WriteAt(0, s, kStateBytes);
}

void IndexFile::MarkChanged(const PageP& p) {
  if (!p->changed) {
    p->changed = true;
    changed_.push_back(p->no);
  }
}

IndexFile::PageP IndexFile::NewPage(int tag, uint8_t kind) {
  uint32_t no;
  if (freeHead_ != 0) {
    no = freeHead_;
    uint32_t next = 0;
    if (no < table_.size() && table_[no]) {
      next = table_[no]->next();
    } else {
      unsigned char d[kHdr];
      file_.ReadAt((uint64_t)no * kPageSize, d, kHdr);
      if (d[4] != kFree) Damaged("free page " + std::to_string(no) + " is in use");
      next = Get32(d + 16);
    }
    if (next != 0 && (next < kFirstTreePage || next >= pageCount_)) Damaged("free page list broken");
    freeHead_ = next;
  } else {
    no = pageCount_++;
  }
  auto p = std::make_shared<Page>();
  p->Init(no, kind, (uint8_t)tag);
  p->ref = true;
  PageP* slot = Slot(no);
  if (!*slot) resident_.push_back(no);
  *slot = p;
  MarkChanged(p);
  EvictIfNeeded();
  return p;
}

void IndexFile::FreePage(const PageP& p) {
  uint8_t t = p->tag();
  p->Init(p->no, kFree, t);
  p->setNext(freeHead_);
  freeHead_ = p->no;
  MarkChanged(p);
}

void IndexFile::Flush(const TableStamp& table) {
  if (!dirtyOnDisk_ && (table == stamp_ || !file_.Writable())) return;
  for (uint32_t no : changed_) {
    if (no >= table_.size() || !table_[no] || !table_[no]->changed) continue;
    Page& p = *table_[no];
    Put32(p.d, Crc32(p.d + 4, kPageSize - 4));
    file_.WriteAt((uint64_t)no * kPageSize, p.d, kPageSize);
    p.changed = false;
  }
  changed_.clear();
  // Pages handed out but freed again before being written still count.
  if (file_.Size() < (uint64_t)pageCount_ * kPageSize) file_.Truncate((uint64_t)pageCount_ * kPageSize);
  // Every page is on disk before the state that calls them clean (the
  // caller has synced the table the stamp describes).
  file_.SyncIfWritten();
  unsigned char s[kStateBytes];
  EncodeState(s, pageCount_, freeHead_, false, table, roots_);
  file_.WriteAt(0, s, kStateBytes);
  dirtyOnDisk_ = false;
  stamp_ = table;
}

}  // namespace xbase
