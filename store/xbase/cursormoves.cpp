// A cursor's moves over the records its view shows: along the active tag
// (with its key range, the unique tag's first-of-a-key rule and the tests
// the tree cannot make) or in record-number order.
#include <algorithm>

#include "cursor.h"

namespace xbase {

void Table::Impl::Moves::SyncPos() {
  if (!m_.tagged() || m_.recno == 0) return;
  if (posVersion == m_.sh->index.version() && pos.valid()) return;
  m_.sh->index.Seek(m_.tag, posKey, posRecno, pos);
  posVersion = m_.sh->index.version();
}

bool Table::Impl::Moves::LoadPos() {
  if (!pos.valid()) return false;
  uint32_t r;
  std::string_view k = m_.sh->index.KeyAt(m_.tag, pos, r);
  if (!m_.InRange(k)) return false;
  posKey.assign(k.data(), k.size());
  posRecno = r;
  posVersion = m_.sh->index.version();
  return true;
}

bool Table::Impl::Moves::EntryVisible() {
  if (posRecno == 0 || posRecno > m_.dbf().count()) return false;
  if (!m_.filter && !m_.NeedDeletedTest()) return true;
  std::string r;
  m_.ReadRec(posRecno, r);
  return m_.PassesRecord(r.data());
}

void Table::Impl::Moves::SetCurrentFromPos() {
  m_.recno = posRecno;
  m_.ReadRec(m_.recno, m_.rec);
  m_.recStamp = m_.Stamp();
}

void Table::Impl::Moves::RangeStart() {
  if (m_.range) {
    if (m_.rangeEmpty) {
      pos = TreePos{};
      return;
    }
    m_.sh->index.SeekPrefix(m_.tag, m_.prefix, false, pos);
  } else {
    m_.sh->index.Select(m_.tag, 0, pos);
  }
}

void Table::Impl::Moves::RangeEnd() {
  if (m_.range) {
    if (m_.rangeEmpty) {
      pos = TreePos{};
      return;
    }
    TreePos after;
    m_.sh->index.SeekPrefix(m_.tag, m_.prefix, true, after);
    if (after.valid()) {
      pos = after;
      if (!m_.sh->index.Prior(m_.tag, pos)) pos = TreePos{};
    } else {
      m_.sh->index.Last(m_.tag, pos);
    }
  } else {
    m_.sh->index.Last(m_.tag, pos);
  }
}

bool Table::Impl::Moves::ForwardFromPos(const std::string* skipKey) {
  while (LoadPos()) {
    bool dup = skipKey && m_.uniqueTag() && ComparePadded(posKey, *skipKey) == 0;
    if (!dup) {
      if (m_.uniqueTag()) {
        // The first visible entry of this key's group.
        std::string key = posKey;
        if (EntryVisible()) return true;
        while (m_.sh->index.Next(m_.tag, pos) && LoadPos() && ComparePadded(posKey, key) == 0)
          if (EntryVisible()) return true;
        if (!pos.valid() || !LoadPos()) return false;
        continue;
      }
      if (EntryVisible()) return true;
    }
    if (!m_.sh->index.Next(m_.tag, pos)) return false;
  }
  return false;
}

bool Table::Impl::Moves::BackwardFromPos() {
  while (LoadPos()) {
    if (m_.uniqueTag()) {
      // Go to the start of this key's group, then take its first visible
      // entry.
      std::string key = posKey;
      TreePos groupEnd = pos;
      TreePos p = pos;
      for (;;) {
        TreePos q = p;
        if (!m_.sh->index.Prior(m_.tag, q)) break;
        pos = q;
        if (!LoadPos() || ComparePadded(posKey, key) != 0) break;
        p = q;
      }
      pos = p;
      while (LoadPos() && ComparePadded(posKey, key) == 0) {
        if (EntryVisible()) return true;
        if (pos.page == groupEnd.page && pos.slot == groupEnd.slot) break;
        if (!m_.sh->index.Next(m_.tag, pos)) break;
      }
      pos = p;
      if (!m_.sh->index.Prior(m_.tag, pos)) return false;
      continue;
    }
    if (EntryVisible()) return true;
    if (!m_.sh->index.Prior(m_.tag, pos)) return false;
  }
  return false;
}

// The first record of the view met walking by record number from `from`
// one `step` at a time (+1 or -1) becomes the current one.
bool Table::Impl::Moves::NaturalWalk(uint32_t from, int step) {
  std::string r;
  for (uint32_t i = step > 0 ? from : std::min(from, m_.dbf().count()); i >= 1 && i <= m_.dbf().count();
       i += (uint32_t)step) {
    m_.ReadRec(i, r);
    if (m_.PassesRecord(r.data())) {
      m_.recno = i;
      m_.rec.swap(r);
      m_.recStamp = m_.Stamp();
      return true;
    }
  }
  return false;
}

bool Table::Impl::Moves::NaturalForward(uint32_t from) { return NaturalWalk(from, 1); }
bool Table::Impl::Moves::NaturalBackward(uint32_t from) { return NaturalWalk(from, -1); }

bool Table::Impl::Moves::MoveFirst() {
  if (m_.tagged()) {
    RangeStart();
    if (ForwardFromPos(nullptr)) {
      SetCurrentFromPos();
      return true;
    }
    return false;
  }
  return NaturalForward(1);
}

bool Table::Impl::Moves::MoveLast() {
  if (m_.tagged()) {
    RangeEnd();
    if (BackwardFromPos()) {
      SetCurrentFromPos();
      return true;
    }
    return false;
  }
  return NaturalBackward(m_.dbf().count());
}

void Table::Impl::Moves::StayAt(const std::string& key, uint32_t r) {
  m_.sh->index.Seek(m_.tag, key, r, pos);
  posKey = key;
  posRecno = r;
  posVersion = m_.sh->index.version();
}

bool Table::Impl::Moves::MoveNext() {
  if (m_.recno == 0) return false;
  if (m_.tagged()) {
    SyncPos();
    TreePos save = pos;
    std::string key = posKey;
    uint32_t r = posRecno;
    // When the tree changed under the cursor, Seek put pos on the first
    // entry at or after the current one, which may be the current one.
    if (pos.valid()) {
      uint32_t rr;
      std::string_view k = m_.sh->index.KeyAt(m_.tag, pos, rr);
      bool same = rr == r && ComparePadded(k, key) == 0;
      if (same && !m_.sh->index.Next(m_.tag, pos)) {
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
  return NaturalMove([&] { return NaturalForward(m_.recno + 1); });
}

bool Table::Impl::Moves::MovePrior() {
  if (m_.recno == 0) return false;
  if (m_.tagged()) {
    SyncPos();
    std::string key = posKey;
    uint32_t r = posRecno;
    TreePos p = pos;
    bool moved = false;
    if (p.valid()) {
      // pos is at or after the current entry; step back once past it.
      TreePos q = p;
      if (m_.sh->index.Prior(m_.tag, q)) {
        pos = q;
        moved = true;
      }
    } else {
      m_.sh->index.Last(m_.tag, pos);
      moved = pos.valid();
    }
    if (moved && m_.uniqueTag()) {
      // Step back past the rest of the current key's group.
      while (LoadPos() && ComparePadded(posKey, key) == 0) {
        if (!m_.sh->index.Prior(m_.tag, pos)) {
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
  return NaturalMove([&] { return m_.recno > 1 && NaturalBackward(m_.recno - 1); });
}
}  // namespace xbase
