// The state of one cursor (Table) over a shared open table: its tag, its
// query, the current record and its place in the tag, the edit buffer, and
// the moves over the visible records every Table operation is built from.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "shared.h"
#include "text.h"
#include "xbase.h"

namespace xbase {

struct Table::Impl {
  Table& t;
  std::shared_ptr<SharedTable> sh;
  int tag = -1;

  // The query: compiled expression, the key range it fixes (when its
  // leading condition fixes a prefix of the active tag's key), and whether
  // records must still be tested one by one.
  std::unique_ptr<Expr> query;
  bool range = false, rangeEmpty = false, filter = false;
  std::string prefix;

  // The current record.
  uint32_t recno = 0;
  std::string rec;
  uint64_t recStamp = 0;
  // Its place in the active tag.
  TreePos pos;
  std::string posKey;
  uint32_t posRecno = 0;
  uint64_t posVersion = 0;

  // Editing.
  std::string edit;
  std::map<int, std::string> memoEdits;
  uint32_t beforeInsert = 0;

  // Cached count of the visible records.
  int64_t countCache = -1;
  uint64_t countStamp = 0;
  bool countDeleted = true;

  bool pendingData = false;

  explicit Impl(Table& table) : t(table) {}

  Environment& env() { return t.env_; }
  DbfFile& dbf() { return sh->dbf; }
  bool tagged() const { return tag >= 0; }
  TagRuntime& rt() { return sh->tags[(size_t)tag]; }
  bool uniqueTag() { return tagged() && rt().def.unique; }

  uint64_t Stamp() const { return sh->changes * 1000003ull + (sh->hasIndex ? sh->index.version() : 0); }

  // Records in the tag are those its condition lets through; this says
  // whether a deleted one can be among them.
  bool NeedDeletedTest() { return env().Deleted() && !(tagged() && rt().excludesDeleted); }

  // Whether counts and positions come straight from the tree.
  bool FastTag() { return tagged() && !filter && !uniqueTag() && !NeedDeletedTest(); }

  void ReadRec(uint32_t r, std::string& out) {
    out.resize(dbf().recordLength());
    dbf().ReadRecord(r, out.data());
  }

  // The tests a record of the view must pass that the tree does not make.
  bool PassesRecord(const char* r) {
    if (env().Deleted() && r[0] == '*') return false;
    if (filter && query) {
      EvalContext ctx;
      ctx.record = r;
      if (query->usesMemo()) ctx.memo = [&](int f) { return sh->ReadMemo(r, f); };
      if (!query->EvalBool(ctx)) return false;
    }
    return true;
  }

  // Natural order: whether the record belongs to the view at all (without
  // a tag the query is always tested whole).
  bool VisibleNatural(const char* r) { return PassesRecord(r); }

  // ---- query compilation ----

  void CompileQuery() {
    query.reset();
    range = rangeEmpty = filter = false;
    prefix.clear();
    countCache = -1;
    if (t.query_.empty() || !sh) return;
    query = Expr::Parse(t.query_, dbf());
    if (query->type() != Expr::Type::Bool)
      throw Error(ErrorCode::Expression, ExpressionError(t.query_, dbf(), "a query must be a condition"));
    filter = true;
    int field;
    std::string constant;
    bool whole;
    if (tagged() && query->LeadingEquality(field, constant, whole) && field == rt().leadingField) {
      const DbfField& f = dbf().fields()[(size_t)field];
      if (f.def.type == 'C') {
        range = true;
        size_t w = (size_t)f.def.width;
        if (constant.size() > w) {
          // Blanks of the constant past the end of the field match the
          // field's padding; anything else cannot match.
          for (size_t i = w; i < constant.size(); ++i)
            if (constant[i] != ' ') rangeEmpty = true;
          constant.resize(w);
        }
        prefix = constant;
        filter = !whole;
      }
    }
  }

  // ---- tag navigation ----

  // Refinds the tree position after another cursor (or this one) changed
  // the tree.
  void SyncPos() {
    if (!tagged() || recno == 0) return;
    if (posVersion == sh->index.version() && pos.valid()) return;
    sh->index.Seek(tag, posKey, posRecno, pos);
    posVersion = sh->index.version();
  }

  bool InRange(std::string_view key) {
    if (!range) return true;
    if (rangeEmpty) return false;
    return PaddedStartsWith(key, prefix);
  }

  // Loads the entry at pos into recno/posKey; false when pos is past the
  // view's range.
  bool LoadPos() {
    if (!pos.valid()) return false;
    uint32_t r;
    std::string_view k = sh->index.KeyAt(tag, pos, r);
    if (!InRange(k)) return false;
    posKey.assign(k.data(), k.size());
    posRecno = r;
    posVersion = sh->index.version();
    return true;
  }

  bool EntryVisible() {
    if (posRecno == 0 || posRecno > dbf().count()) return false;
    if (!filter && !NeedDeletedTest()) return true;
    std::string r;
    ReadRec(posRecno, r);
    return PassesRecord(r.data());
  }

  void SetCurrentFromPos() {
    recno = posRecno;
    ReadRec(recno, rec);
    recStamp = Stamp();
  }

  void RangeStart() {
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

  void RangeEnd() {
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

  // Moves forward from the entry at pos (inclusive) to the first visible
  // entry; for a unique tag, skipping entries whose key equals `skipKey`.
  bool ForwardFromPos(const std::string* skipKey) {
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

  // Moves backward from pos (inclusive) to the previous visible entry.
  bool BackwardFromPos() {
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

  // ---- natural navigation ----

  bool NaturalForward(uint32_t from) {
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

  bool NaturalBackward(uint32_t from) {
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

  // ---- moves used by the public operations ----

  bool MoveFirst() {
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

  bool MoveLast() {
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

  // Puts the tree cursor back on the entry the cursor was on.
  void StayAt(const std::string& key, uint32_t r) {
    sh->index.Seek(tag, key, r, pos);
    posKey = key;
    posRecno = r;
    posVersion = sh->index.version();
  }

  // A natural-order move that keeps the current record when it finds none.
  template <class Move>
  bool NaturalMove(Move move) {
    uint32_t save = recno;
    std::string saveRec = rec;
    if (move()) return true;
    recno = save;
    rec.swap(saveRec);
    return false;
  }

  bool MoveNext() {
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

  bool MovePrior() {
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

  // Whether a record (by number) belongs to the view; positions the tree
  // cursor on it when it does.
  bool Visible(uint32_t r) {
    if (r == 0 || r > dbf().count()) return false;
    std::string buf;
    ReadRec(r, buf);
    if (!PassesRecord(buf.data())) return false;
    if (!tagged()) return true;
    if (!sh->InTag(rt(), buf.data())) return false;
    std::string key;
    sh->KeyOf(rt(), buf.data(), key);
    if (!InRange(key)) return false;  // the rest of the query was tested above
    TreePos p;
    sh->index.Seek(tag, key, r, p);
    if (!p.valid()) return false;
    uint32_t rr;
    std::string_view k = sh->index.KeyAt(tag, p, rr);
    if (rr != r || ComparePadded(k, key) != 0) return false;
    if (uniqueTag()) {
      // Only the first visible record of its key shows.
      TreePos q = p;
      while (sh->index.Prior(tag, q)) {
        uint32_t qr;
        std::string_view qk = sh->index.KeyAt(tag, q, qr);
        if (ComparePadded(qk, key) != 0) break;
        pos = q;
        posRecno = qr;
        posKey = std::string(qk);
        if (EntryVisible()) return false;
      }
    }
    pos = p;
    posKey = key;
    posRecno = r;
    posVersion = sh->index.version();
    return true;
  }

  // The active tag's entries within the view's key range, in order, each
  // naming a record of the table, until f returns false. Returns false
  // when f stopped the walk.
  template <class F>
  bool ForEachEntry(F&& f) {
    const uint32_t count = dbf().count();
    TreePos p;
    if (range) {
      if (rangeEmpty) return true;
      sh->index.SeekPrefix(tag, prefix, false, p);
    } else {
      sh->index.Select(tag, 0, p);
    }
    while (p.valid()) {
      uint32_t r;
      const std::string_view key = sh->index.KeyAt(tag, p, r);
      if (!InRange(key)) break;
      if (r != 0 && r <= count && !f(key, r)) return false;
      if (!sh->index.Next(tag, p)) break;
    }
    return true;
  }

  // Whether a record (by number) belongs to the view, its bytes read once
  // into `buf`; the view's position is left as it was.
  bool InView(uint32_t r, std::string& buf) {
    if (r == 0 || r > dbf().count()) return false;
    ReadRec(r, buf);
    if (uniqueTag()) {
      // Whether it is the first of its key shows in the tree alone.
      const TreePos p = pos;
      const std::string k = posKey;
      const uint32_t pr = posRecno;
      const uint64_t pv = posVersion;
      const bool in = Visible(r);
      pos = p;
      posKey = k;
      posRecno = pr;
      posVersion = pv;
      return in;
    }
    if (!PassesRecord(buf.data())) return false;
    if (!tagged()) return true;
    if (!sh->InTag(rt(), buf.data())) return false;
    std::string key;
    sh->KeyOf(rt(), buf.data(), key);
    return InRange(key);
  }

  // After a record was changed by number: counts are taken anew, and the
  // current record, when it was that one, shows its new bytes.
  void AfterChangeOf(uint32_t r, const std::string& bytes) {
    countCache = -1;
    if (r == recno) {
      rec = bytes;
      recStamp = Stamp();
    }
  }

  // Whether a record whose bytes are known belongs to the view; positions
  // the tree cursor on it when it does.
  bool VisibleRecord(uint32_t r, const std::string& buf) {
    if (uniqueTag()) return Visible(r);
    if (!PassesRecord(buf.data())) return false;
    if (!tagged()) return true;
    std::string key;
    if (sh->lastRecno == r && (size_t)tag < sh->lastKeys.size()) {
      if (!sh->lastIn[(size_t)tag]) return false;
      key = sh->lastKeys[(size_t)tag];
    } else {
      if (!sh->InTag(rt(), buf.data())) return false;
      sh->KeyOf(rt(), buf.data(), key);
    }
    if (!InRange(key)) return false;
    posKey = key;
    posRecno = r;
    pos = TreePos{};  // found by SyncPos when needed
    posVersion = 0;
    return true;
  }

  int64_t Count() {
    if (!sh) return 0;
    if (tagged() && FastTag()) {
      if (range) {
        if (rangeEmpty) return 0;
        TreePos a, b;
        uint64_t lo = sh->index.SeekPrefix(tag, prefix, false, a);
        uint64_t hi = sh->index.SeekPrefix(tag, prefix, true, b);
        return (int64_t)(hi - lo);
      }
      return (int64_t)sh->index.Count(tag);
    }
    if (countCache >= 0 && countStamp == Stamp() && countDeleted == env().Deleted()) return countCache;
    int64_t n = 0;
    if (tagged()) {
      TreePos savePos = pos;
      std::string saveKey = posKey;
      uint32_t saveRecno = posRecno;
      RangeStart();
      std::string last;
      bool any = false;
      while (ForwardFromPos(any ? &last : nullptr)) {
        ++n;
        last = posKey;
        any = true;
        if (!sh->index.Next(tag, pos)) break;
      }
      pos = savePos;
      posKey = saveKey;
      posRecno = saveRecno;
    } else {
      uint32_t total = dbf().count();
      uint32_t recLen = dbf().recordLength();
      uint32_t per = std::max<uint32_t>(1, (uint32_t)((1u << 20) / recLen));
      std::vector<char> buf((size_t)per * recLen);
      for (uint32_t first = 1; first <= total; first += per) {
        uint32_t k = std::min(per, total - first + 1);
        dbf().ReadRecords(first, k, buf.data());
        for (uint32_t i = 0; i < k; ++i)
          if (VisibleNatural(buf.data() + (size_t)i * recLen)) ++n;
      }
    }
    countCache = n;
    countStamp = Stamp();
    countDeleted = env().Deleted();
    return n;
  }

  void Notify(const std::string& field = std::string()) {
    if (t.disableCount_ > 0) {
      pendingData = true;
      return;
    }
    if (t.OnDataChange) t.OnDataChange(field);
  }

  void SetState(State s) {
    if (t.state_ == s) return;
    t.state_ = s;
    if (t.disableCount_ == 0 && t.OnStateChange) t.OnStateChange();
  }

  // The record as the cursor shows it now (re-read when another cursor
  // wrote since).
  const std::string& Current() {
    if (recno != 0 && recStamp != Stamp()) {
      if (recno <= dbf().count()) ReadRec(recno, rec);
      recStamp = Stamp();
    }
    return rec;
  }

  // Leaving a record being edited posts it when changed, else cancels.
  void LeaveEdit() {
    if (t.state_ == State::Edit || t.state_ == State::Insert) {
      if (t.modified_)
        t.Post();
      else
        t.Cancel();
    }
  }

  void RequireOpen(const char* what) {
    if (!sh) throw Error(ErrorCode::Usage, std::string(what) + ": the table " + t.Path() + " is not open");
  }
  // A cursor opened for reading only takes no step towards a write.
  void RefuseReadOnly() {
    if (t.readOnly_) throw Error(ErrorCode::Usage, "table " + t.Path() + " is open for reading only");
  }
  void RequireExclusive(const char* what) {
    RequireOpen(what);
    RefuseReadOnly();
    if (!sh->exclusive)
      throw Error(ErrorCode::Usage, std::string(what) + " needs the table " + t.Path() + " opened exclusively");
  }

  void SetEmpty() {
    recno = 0;
    rec.clear();
    pos = TreePos{};
    posRecno = 0;
    posKey.clear();
    t.eof_ = t.bof_ = true;
  }

  void GoFirst() {
    if (MoveFirst()) {
      t.bof_ = true;
      t.eof_ = false;
    } else {
      SetEmpty();
    }
  }

  void ResolveTag() {
    tag = -1;
    if (t.tagName_.empty() || !sh) return;
    if (!sh->hasIndex)
      throw Error(ErrorCode::NotFound, "tag " + t.tagName_ + " does not exist: table " + t.Path() + " has no index file");
    tag = sh->index.FindTag(t.tagName_);
    if (tag < 0)
      throw Error(ErrorCode::NotFound, "tag " + t.tagName_ + " does not exist in index file " + sh->indexPath);
  }

  // Keeps the current record after a change of order or files.
  void Reposition(uint32_t keep) {
    if (keep != 0 && Visible(keep)) {
      recno = keep;
      ReadRec(recno, rec);
      recStamp = Stamp();
      t.eof_ = t.bof_ = false;
    } else {
      GoFirst();
    }
  }

  std::vector<std::pair<int, std::string>> MemoList() {
    return std::vector<std::pair<int, std::string>>(memoEdits.begin(), memoEdits.end());
  }
};

}  // namespace xbase
