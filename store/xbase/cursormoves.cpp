// A cursor's moves over the records its view shows: along the active tag
// (with its key range, the unique tag's first-of-a-key rule and the tests
// the tree cannot make) or in record-number order.
#include <algorithm>

#include "cursor.h"

namespace xbase {

void Table::Impl::SyncPos() {
  if (!tagged() || recno == 0) return;
  if (posVersion == sh->index.version() && pos.valid()) return;
  sh->index.Seek(tag, posKey, posRecno, pos);
  posVersion = sh->index.version();
}

bool Table::Impl::LoadPos() {
  if (!pos.valid()) return false;
  uint32_t r;
  std::string_view k = sh->index.KeyAt(tag, pos, r);
  if (!InRange(k)) return false;
  posKey.assign(k.data(), k.size());
  posRecno = r;
  posVersion = sh->index.version();
  return true;
}

bool Table::Impl::EntryVisible() {
  if (posRecno == 0 || posRecno > dbf().count()) return false;
  if (!filter && !NeedDeletedTest()) return true;
  std::string r;
  ReadRec(posRecno, r);
  return PassesRecord(r.data());
}

void Table::Impl::SetCurrentFromPos() {
  recno = posRecno;
  ReadRec(recno, rec);
  recStamp = Stamp();
}

void Table::Impl::RangeStart() {
  if (range) {
    if (rangeEmpty) {
      pos = TreePos{};
      return;
    }
    sh->index.SeekPrefix(tag, prefix, false, pos);
  } else {
    sh->index.Select(tag, 0, pos);
  }
}

void Table::Impl::RangeEnd() {
  if (range) {
    if (rangeEmpty) {
      pos = TreePos{};
      return;
    }
    TreePos after;
    sh->index.SeekPrefix(tag, prefix, true, after);
    if (after.valid()) {
      pos = after;
      if (!sh->index.Prior(tag, pos)) pos = TreePos{};
    } else {
      sh->index.Last(tag, pos);
    }
  } else {
    sh->index.Last(tag, pos);
  }
}

bool Table::Impl::ForwardFromPos(const std::string* skipKey) {
  while (LoadPos()) {
    bool dup = skipKey && uniqueTag() && ComparePadded(posKey, *skipKey) == 0;
    if (!dup) {
      if (uniqueTag()) {
        // The first visible entry of this key's group.
        std::string key = posKey;
        if (EntryVisible()) return true;
        while (sh->index.Next(tag, pos) && LoadPos() && ComparePadded(posKey, key) == 0)
          if (EntryVisible()) return true;
        if (!pos.valid() || !LoadPos()) return false;
        continue;
      }
      if (EntryVisible()) return true;
    }
    if (!sh->index.Next(tag, pos)) return false;
  }
  return false;
}

bool Table::Impl::BackwardFromPos() {
  while (LoadPos()) {
    if (uniqueTag()) {
      // Go to the start of this key's group, then take its first visible
      // entry.
      std::string key = posKey;
      TreePos groupEnd = pos;
      TreePos p = pos;
      for (;;) {
        TreePos q = p;
        if (!sh->index.Prior(tag, q)) break;
        pos = q;
        if (!LoadPos() || ComparePadded(posKey, key) != 0) break;
        p = q;
      }
      pos = p;
      while (LoadPos() && ComparePadded(posKey, key) == 0) {
        if (EntryVisible()) return true;
        if (pos.page == groupEnd.page && pos.slot == groupEnd.slot) break;
        if (!sh->index.Next(tag, pos)) break;
      }
      pos = p;
      if (!sh->index.Prior(tag, pos)) return false;
      continue;
    }
    if (EntryVisible()) return true;
    if (!sh->index.Prior(tag, pos)) return false;
  }
  return false;
}

bool Table::Impl::NaturalForward(uint32_t from) {
  std::string r;
  for (uint32_t i = from; i >= 1 && i <= dbf().count(); ++i) {
    ReadRec(i, r);
    if (VisibleNatural(r.data())) {
      recno = i;
      rec.swap(r);
      recStamp = Stamp();
      return true;
    }
  }
  return false;
}

bool Table::Impl::NaturalBackward(uint32_t from) {
  std::string r;
  for (uint32_t i = std::min(from, dbf().count()); i >= 1; --i) {
    ReadRec(i, r);
    if (VisibleNatural(r.data())) {
      recno = i;
      rec.swap(r);
      recStamp = Stamp();
      return true;
    }
  }
  return false;
}

bool Table::Impl::MoveFirst() {
  if (tagged()) {
    RangeStart();
    if (ForwardFromPos(nullptr)) {
      SetCurrentFromPos();
      return true;
    }
    return false;
  }
  return NaturalForward(1);
}

bool Table::Impl::MoveLast() {
  if (tagged()) {
    RangeEnd();
    if (BackwardFromPos()) {
      SetCurrentFromPos();
      return true;
    }
    return false;
  }
  return NaturalBackward(dbf().count());
}

void Table::Impl::StayAt(const std::string& key, uint32_t r) {
  sh->index.Seek(tag, key, r, pos);
  posKey = key;
  posRecno = r;
  posVersion = sh->index.version();
}

bool Table::Impl::MoveNext() {
  if (recno == 0) return false;
  if (tagged()) {
    SyncPos();
    TreePos save = pos;
    std::string key = posKey;
    uint32_t r = posRecno;
    // When the tree changed under the cursor, Seek put pos on the first
    // entry at or after the current one, which may be the current one.
    if (pos.valid()) {
      uint32_t rr;
      std::string_view k = sh->index.KeyAt(tag, pos, rr);
      bool same = rr == r && ComparePadded(k, key) == 0;
      if (same && !sh->index.Next(tag, pos)) {
        pos = save;
        return false;
      }
    } else {
      pos = save;
      return false;
    }
    if (ForwardFromPos(&key)) {
      SetCurrentFromPos();
      return true;
    }
    StayAt(key, r);
    return false;
  }
  return NaturalMove([&] { return NaturalForward(recno + 1); });
}

bool Table::Impl::MovePrior() {
  if (recno == 0) return false;
  if (tagged()) {
    SyncPos();
    std::string key = posKey;
    uint32_t r = posRecno;
    TreePos p = pos;
    bool moved = false;
    if (p.valid()) {
      // pos is at or after the current entry; step back once past it.
      TreePos q = p;
      if (sh->index.Prior(tag, q)) {
        pos = q;
        moved = true;
      }
    } else {
      sh->index.Last(tag, pos);
      moved = pos.valid();
    }
    if (moved && uniqueTag()) {
      // Step back past the rest of the current key's group.
      while (LoadPos() && ComparePadded(posKey, key) == 0) {
        if (!sh->index.Prior(tag, pos)) {
          moved = false;
          break;
        }
      }
    }
    if (moved && BackwardFromPos()) {
      SetCurrentFromPos();
      return true;
    }
    StayAt(key, r);
    return false;
  }
  return NaturalMove([&] { return recno > 1 && NaturalBackward(recno - 1); });
}
}  // namespace xbase
