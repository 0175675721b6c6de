// File's undo log: the bytes a change replaces, kept from BeginUndo on and
// written back by RollBack, and the size and last bytes the file's own
// writes tell, which spare a read for the common case of appending.
#include <algorithm>
#include <cstring>

#include "file.h"
#include "xbase.h"

namespace xbase {

void File::ForgetSize() {
  sizeKnown_ = false;
  tail_.clear();
}

void File::Wrote(uint64_t offset, const void* buf, size_t n) {
  if (!sizeKnown_) return;
  constexpr size_t kTail = 16;
  const uint64_t end = offset + n;
  if (end >= size_) {
    size_ = end;
    size_t k = std::min(n, kTail);
    tailAt_ = end - k;
    tail_.assign((const char*)buf + (n - k), k);
  } else if (!tail_.empty() && end > tailAt_) {
    // Overwrites part of the known tail: patch it.
    uint64_t from = std::max(offset, tailAt_);
    std::memcpy(tail_.data() + (from - tailAt_), (const char*)buf + (from - offset), (size_t)(end - from));
  }
  // Never over the mapped head: stores there bypass this bookkeeping.
  if (!tail_.empty() && map_ && tailAt_ < mapLen_) tail_.clear();
}

void File::BeginUndo(bool keepTime) {
  EndUndo();
  undo_.on = handle_ != nullptr;
  undo_.keepTime = keepTime;
  heldLost_ = false;
}

void File::EndUndo() {
  undo_.on = undo_.captured = undo_.headKept = false;
  undo_.keepTime = true;
  undo_.kept.clear();  // keeps its room for the next change
}

void File::Capture() {
  if (undo_.captured) return;
  if (undo_.keepTime || !sizeKnown_) {
    WriteHeld();
    int e = Handle().Stat(undo_.size, undo_.modifiedNs);
    if (e) ThrowIoError("cannot stat", path_, e);
    if (!sizeKnown_ || size_ != undo_.size) tail_.clear();
    size_ = undo_.size;
    sizeKnown_ = true;
  } else {
    undo_.size = size_;
  }
  undo_.captured = true;
}

void File::Keep(uint64_t offset, size_t n) {
  if (!tail_.empty() && offset >= tailAt_ && offset + n <= tailAt_ + tail_.size()) {
    undo_.kept.emplace_back(offset, tail_.substr((size_t)(offset - tailAt_), n));
    return;
  }
  std::string old(n, '\0');
  old.resize(ReadSome(offset, old.data(), n));
  undo_.kept.emplace_back(offset, std::move(old));
}

bool File::RollBack() noexcept {
  // Held bytes of earlier changes are theirs: they are written before this
  // change is undone.
  try {
    WriteHeld();
  } catch (...) {
  }
  if (!undo_.on || !undo_.captured || !handle_) {
    undo_ = Undo{};
    return true;
  }
  Undo u = std::move(undo_);
  undo_ = Undo{};
  ForgetSize();
  bool ok = true;
  // After a lost held piece the file ends short of what the change
  // thought: bytes kept beyond that end are not written back (they would
  // leave a gap of zeros), and the file is only ever cut, never grown.
  const bool lost = heldLost_;
  heldLost_ = false;
  uint64_t size = 0, mtime = 0;
  const uint64_t realEnd = lost && handle_->Stat(size, mtime) == 0 ? size : UINT64_MAX;
  // Newest first, the head copy in its place among the rest.
  for (size_t i = u.kept.size() + 1; i-- > 0;) {
    try {
      if (u.headKept && i == u.headAt && !u.head.empty()) RawWrite(0, u.head.data(), u.head.size());
    } catch (...) {
      ok = false;
    }
    try {
      if (i > 0 && u.kept[i - 1].first < realEnd)
        RawWrite(u.kept[i - 1].first, u.kept[i - 1].second.data(),
                 (size_t)std::min<uint64_t>(u.kept[i - 1].second.size(), realEnd - u.kept[i - 1].first));
    } catch (...) {
      ok = false;
    }
  }
  if (handle_->Stat(size, mtime) != 0 || (size != u.size && (!lost || size > u.size) && handle_->Truncate(u.size) != 0))
    ok = false;
  if (handle_->Sync() == 0) unsynced_ = false;
  // Last, after every write: the time the file had.
  if (u.keepTime) handle_->SetModified(u.modifiedNs);
  ForgetSize();
  return ok;
}

}  // namespace xbase
