// Navigation over the visible records: moves, positions, counts,
// bookmarks, and holding back what the data-aware controls are told.
#include <algorithm>
#include <string>

#include "cursor.h"

namespace xbase {

void Table::First() {
  impl_->RequireOpen("First");
  impl_->LeaveEdit();
  impl_->GoFirst();
  impl_->Notify();
}

void Table::Last() {
  impl_->RequireOpen("Last");
  impl_->LeaveEdit();
  if (impl_->moves.MoveLast()) {
    eof_ = true;
    bof_ = false;
  } else {
    impl_->SetEmpty();
  }
  impl_->Notify();
}

void Table::Next() {
  impl_->RequireOpen("Next");
  impl_->LeaveEdit();
  if (impl_->recno == 0) {
    eof_ = true;
    return;
  }
  if (impl_->moves.MoveNext()) {
    eof_ = bof_ = false;
    impl_->Notify();
  } else {
    eof_ = true;
  }
}

void Table::Prior() {
  impl_->RequireOpen("Prior");
  impl_->LeaveEdit();
  if (impl_->recno == 0) {
    bof_ = true;
    return;
  }
  if (impl_->moves.MovePrior()) {
    eof_ = bof_ = false;
    impl_->Notify();
  } else {
    bof_ = true;
  }
}

int64_t Table::MoveBy(int64_t distance) {
  impl_->RequireOpen("MoveBy");
  impl_->LeaveEdit();
  int64_t moved = 0;
  if (impl_->recno == 0) return 0;
  if (impl_->FastTag() && distance != 0) {
    int64_t here = RecordIndex();
    int64_t n = RecordCount();
    int64_t target = std::clamp<int64_t>(here + distance, 0, n - 1);
    if (target != here) MoveToIndex(target);
    if (here + distance >= n) eof_ = true;
    if (here + distance < 0) bof_ = true;
    return target - here;
  }
  while (moved < distance && impl_->moves.MoveNext()) ++moved;
  while (moved > distance && impl_->moves.MovePrior()) --moved;
  eof_ = moved < distance;
  bof_ = moved > distance;
  if (moved != 0) impl_->Notify();
  return moved;
}

bool Table::IsEmpty() {
  if (!Active()) return true;
  if (state_ == State::Insert) return false;
  return impl_->recno == 0;
}

uint32_t Table::RecNo() const { return impl_->recno; }

bool Table::IsDeletedRecord() const {
  if (impl_->recno == 0) return false;
  return impl_->Current()[0] == '*';
}

int64_t Table::RecordCount() {
  if (!Active()) return 0;
  return impl_->Count();
}

int64_t Table::RecordIndex() {
  Impl& m = *impl_;
  if (!m.sh || m.recno == 0) return -1;
  if (m.FastTag()) {
    m.moves.SyncPos();
    TreePos p;
    uint64_t r = m.sh->index.Seek(m.tag, m.moves.posKey, m.moves.posRecno, p);
    uint64_t start = 0;
    if (m.range) {
      TreePos a;
      start = m.sh->index.SeekPrefix(m.tag, m.prefix, false, a);
    }
    return (int64_t)(r - start);
  }
  // Walk the view from its start.
  uint32_t cur = m.recno;
  Bookmark keep{cur};
  int64_t i = 0;
  bool found = false;
  if (m.moves.MoveFirst()) {
    do {
      if (m.recno == cur) {
        found = true;
        break;
      }
      ++i;
    } while (m.moves.MoveNext());
  }
  m.Reposition(keep.recno);
  return found ? i : -1;
}

bool Table::MoveToIndex(int64_t index) {
  Impl& m = *impl_;
  m.RequireOpen("MoveToIndex");
  if (index < 0) return false;
  m.LeaveEdit();
  if (m.FastTag()) {
    uint64_t start = 0;
    TreePos a;
    if (m.range) {
      if (m.rangeEmpty) return false;
      start = m.sh->index.SeekPrefix(m.tag, m.prefix, false, a);
    }
    m.sh->index.Select(m.tag, start + (uint64_t)index, a);
    TreePos save = m.moves.pos;
    m.moves.pos = a;
    if (!m.moves.LoadPos()) {
      m.moves.pos = save;
      return false;
    }
    m.moves.SetCurrentFromPos();
    eof_ = bof_ = false;
    m.Notify();
    return true;
  }
  uint32_t keep = m.recno;
  if (!m.moves.MoveFirst()) return false;
  for (int64_t i = 0; i < index; ++i) {
    if (!m.moves.MoveNext()) {
      m.Reposition(keep);
      return false;
    }
  }
  eof_ = bof_ = false;
  m.Notify();
  return true;
}

Bookmark Table::GetBookmark() const { return Bookmark{impl_->recno}; }

bool Table::BookmarkValid(const Bookmark& b) {
  if (!Active() || !b.valid()) return false;
  Impl& m = *impl_;
  TreePos p = m.moves.pos;
  std::string k = m.moves.posKey;
  uint32_t r = m.moves.posRecno;
  bool ok = m.Visible(b.recno);
  m.moves.pos = p;
  m.moves.posKey = k;
  m.moves.posRecno = r;
  return ok;
}

bool Table::GotoBookmark(const Bookmark& b) {
  Impl& m = *impl_;
  m.RequireOpen("GotoBookmark");
  m.LeaveEdit();
  if (!b.valid()) return false;
  TreePos p = m.moves.pos;
  std::string k = m.moves.posKey;
  uint32_t r = m.moves.posRecno;
  if (!m.Visible(b.recno)) {
    m.moves.pos = p;
    m.moves.posKey = k;
    m.moves.posRecno = r;
    return false;
  }
  m.recno = b.recno;
  m.ReadRec(m.recno, m.rec);
  m.recStamp = m.Stamp();
  eof_ = bof_ = false;
  m.Notify();
  return true;
}

void Table::Refresh() {
  Impl& m = *impl_;
  if (!m.sh) return;
  m.LeaveEdit();
  m.countCache = -1;
  m.Reposition(m.recno);
  m.Notify();
}

void Table::DisableControls() {
  if (disableCount_++ == 0) disabledState_ = state_;
}

void Table::EnableControls() {
  if (disableCount_ == 0) return;
  if (--disableCount_ == 0) {
    impl_->pendingData = false;
    if (disabledState_ != state_ && OnStateChange) OnStateChange();
    if (OnDataChange) OnDataChange(std::string());
  }
}

}  // namespace xbase
