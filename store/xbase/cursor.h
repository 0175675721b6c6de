// The state of one cursor (Table) over a shared open table: its tag, its
// query, the current record, the edit buffer and what belongs to its view
// (cursorview.cpp); and the part it owns for the moves over the visible
// records every Table operation is built from, with the current record's
// place in the tag (Impl::Moves, cursormoves.cpp).
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

  // The cursor's moves over the records its view shows: along the active
  // tag from its place in it (with the view's key range, the unique tag's
  // first-of-a-key rule and the tests the tree cannot make), or in
  // record-number order (cursormoves.cpp). A move that finds a record makes
  // it the cursor's current record.
  struct Moves {
    explicit Moves(Impl& impl) : m_(impl) {}
    Moves(const Moves&) = delete;
    Moves& operator=(const Moves&) = delete;

    // The current record's place in the active tag.
    TreePos pos;
    std::string posKey;
    uint32_t posRecno = 0;
    uint64_t posVersion = 0;

    // ---- tag navigation ----

    // Refinds the tree position after another cursor (or this one) changed
    // the tree.
    void SyncPos();
    // Loads the entry at pos into posRecno/posKey; false when pos is past
    // the view's range.
    bool LoadPos();
    bool EntryVisible();
    void SetCurrentFromPos();
    void RangeStart();
    void RangeEnd();
    // Moves forward from the entry at pos (inclusive) to the first visible
    // entry; for a unique tag, skipping entries whose key equals `skipKey`.
    bool ForwardFromPos(const std::string* skipKey);
    // Moves backward from pos (inclusive) to the previous visible entry.
    bool BackwardFromPos();
    // Puts the tree cursor back on the entry the cursor was on.
    void StayAt(const std::string& key, uint32_t r);

    // ---- natural navigation ----

    bool NaturalForward(uint32_t from);
    bool NaturalBackward(uint32_t from);
    bool NaturalWalk(uint32_t from, int step);
    // A natural-order move that keeps the current record when it finds none.
    template <class Move>
    bool NaturalMove(Move move) {
      uint32_t save = m_.recno;
      std::string saveRec = m_.rec;
      if (move()) return true;
      m_.recno = save;
      m_.rec.swap(saveRec);
      return false;
    }

    // ---- moves used by the public operations ----

    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    bool MovePrior();

    // The active tag's entries within the view's key range, in order, each
    // naming a record of the table, until f returns false. Returns false
    // when f stopped the walk.
    template <class F>
    bool ForEachEntry(F&& f) {
      const uint32_t count = m_.dbf().count();
      TreePos p;
      if (m_.range) {
        if (m_.rangeEmpty) return true;
        m_.sh->index.SeekPrefix(m_.tag, m_.prefix, false, p);
      } else {
        m_.sh->index.Select(m_.tag, 0, p);
      }
      while (p.valid()) {
        uint32_t r;
        const std::string_view key = m_.sh->index.KeyAt(m_.tag, p, r);
        if (!m_.InRange(key)) break;
        if (r != 0 && r <= count && !f(key, r)) return false;
        if (!m_.sh->index.Next(m_.tag, p)) break;
      }
      return true;
    }

   private:
    Impl& m_;
  };

  Moves moves{*this};

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

  // The tests a record of the view must pass that the tree does not make;
  // in natural order, whether the record belongs to the view at all
  // (without a tag the query is always tested whole).
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

  // ---- query compilation ----

  void CompileQuery();

  bool InRange(std::string_view key) {
    if (!range) return true;
    if (rangeEmpty) return false;
    return PaddedStartsWith(key, prefix);
  }

  // Whether a record (by number) belongs to the view; positions the tree
  // cursor on it when it does.
  bool Visible(uint32_t r);


  // Whether a record (by number) belongs to the view, its bytes read once
  // into `buf`; the view's position is left as it was.
  bool InView(uint32_t r, std::string& buf);

  // After a record was changed by number: counts are taken anew, and the
  // current record, when it was that one, shows its new bytes.
  void AfterChangeOf(uint32_t r, const std::string& bytes);

  // Whether a record whose bytes are known belongs to the view; positions
  // the tree cursor on it when it does.
  bool VisibleRecord(uint32_t r, const std::string& buf);
  int64_t Count();
  void Notify(const std::string& field = std::string());
  void SetState(State s);

  // The record as the cursor shows it now (re-read when another cursor
  // wrote since).
  const std::string& Current();

  // Leaving a record being edited posts it when changed, else cancels.
  void LeaveEdit();
  void RequireOpen(const char* what);
  // A cursor opened for reading only takes no step towards a write.
  void RefuseReadOnly();
  void RequireExclusive(const char* what);
  void SetEmpty();
  void GoFirst();
  void ResolveTag();

  // Keeps the current record after a change of order or files.
  void Reposition(uint32_t keep);

  std::vector<std::pair<int, std::string>> MemoList() {
    return std::vector<std::pair<int, std::string>>(memoEdits.begin(), memoEdits.end());
  }
};

}  // namespace xbase
