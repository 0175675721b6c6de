// What a cursor's view holds: the query compiled against the active tag,
// whether a record belongs to the view, the count of its records, the
// current record as it is now, and the state and notifications around it.
#include <algorithm>

#include "cursor.h"

namespace xbase {

void Table::Impl::CompileQuery() {
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

bool Table::Impl::Visible(uint32_t r) {
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
      moves.pos = q;
      moves.posRecno = qr;
      moves.posKey = std::string(qk);
      if (moves.EntryVisible()) return false;
    }
  }
  moves.pos = p;
  moves.posKey = key;
  moves.posRecno = r;
  moves.posVersion = sh->index.version();
  return true;
}

bool Table::Impl::InView(uint32_t r, std::string& buf) {
  if (r == 0 || r > dbf().count()) return false;
  ReadRec(r, buf);
  if (uniqueTag()) {
    // Whether it is the first of its key shows in the tree alone.
    const TreePos p = moves.pos;
    const std::string k = moves.posKey;
    const uint32_t pr = moves.posRecno;
    const uint64_t pv = moves.posVersion;
    const bool in = Visible(r);
    moves.pos = p;
    moves.posKey = k;
    moves.posRecno = pr;
    moves.posVersion = pv;
    return in;
  }
  if (!PassesRecord(buf.data())) return false;
  if (!tagged()) return true;
  if (!sh->InTag(rt(), buf.data())) return false;
  std::string key;
  sh->KeyOf(rt(), buf.data(), key);
  return InRange(key);
}

void Table::Impl::AfterChangeOf(uint32_t r, const std::string& bytes) {
  countCache = -1;
  if (r == recno) {
    rec = bytes;
    recStamp = Stamp();
  }
}

bool Table::Impl::VisibleRecord(uint32_t r, const std::string& buf) {
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
  moves.posKey = key;
  moves.posRecno = r;
  moves.pos = TreePos{};  // found by SyncPos when needed
  moves.posVersion = 0;
  return true;
}

int64_t Table::Impl::Count() {
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
    TreePos savePos = moves.pos;
    std::string saveKey = moves.posKey;
    uint32_t saveRecno = moves.posRecno;
    moves.RangeStart();
    std::string last;
    bool any = false;
    while (moves.ForwardFromPos(any ? &last : nullptr)) {
      ++n;
      last = moves.posKey;
      any = true;
      if (!sh->index.Next(tag, moves.pos)) break;
    }
    moves.pos = savePos;
    moves.posKey = saveKey;
    moves.posRecno = saveRecno;
  } else {
    uint32_t total = dbf().count();
    uint32_t recLen = dbf().recordLength();
    uint32_t per = std::max<uint32_t>(1, (uint32_t)((1u << 20) / recLen));
    std::vector<char> buf((size_t)per * recLen);
    for (uint32_t first = 1; first <= total; first += per) {
      uint32_t k = std::min(per, total - first + 1);
      dbf().ReadRecords(first, k, buf.data());
      for (uint32_t i = 0; i < k; ++i)
        if (PassesRecord(buf.data() + (size_t)i * recLen)) ++n;
    }
  }
  countCache = n;
  countStamp = Stamp();
  countDeleted = env().Deleted();
  return n;
}

void Table::Impl::Notify(const std::string& field) {
  if (t.disableCount_ > 0) {
    pendingData = true;
    return;
  }
  if (t.OnDataChange) t.OnDataChange(field);
}

void Table::Impl::SetState(State s) {
  if (t.state_ == s) return;
  t.state_ = s;
  if (t.disableCount_ == 0 && t.OnStateChange) t.OnStateChange();
}

const std::string& Table::Impl::Current() {
  if (recno != 0 && recStamp != Stamp()) {
    if (recno <= dbf().count()) ReadRec(recno, rec);
    recStamp = Stamp();
  }
  return rec;
}

void Table::Impl::LeaveEdit() {
  if (t.state_ == State::Edit || t.state_ == State::Insert) {
    if (t.modified_)
      t.Post();
    else
      t.Cancel();
  }
}

void Table::Impl::RequireOpen(const char* what) {
  if (!sh) throw Error(ErrorCode::Usage, std::string(what) + ": the table " + t.Path() + " is not open");
}

void Table::Impl::RefuseReadOnly() {
  if (t.readOnly_) throw Error(ErrorCode::Usage, "table " + t.Path() + " is open for reading only");
}

void Table::Impl::RequireExclusive(const char* what) {
  RequireOpen(what);
  RefuseReadOnly();
  if (!sh->exclusive)
    throw Error(ErrorCode::Usage, std::string(what) + " needs the table " + t.Path() + " opened exclusively");
}

void Table::Impl::SetEmpty() {
  recno = 0;
  rec.clear();
  moves.pos = TreePos{};
  moves.posRecno = 0;
  moves.posKey.clear();
  t.eof_ = t.bof_ = true;
}

void Table::Impl::GoFirst() {
  if (moves.MoveFirst()) {
    t.bof_ = true;
    t.eof_ = false;
  } else {
    SetEmpty();
  }
}

void Table::Impl::ResolveTag() {
  tag = -1;
  if (t.tagName_.empty() || !sh) return;
  if (!sh->hasIndex)
    throw Error(ErrorCode::NotFound, "tag " + t.tagName_ + " does not exist: table " + t.Path() + " has no index file");
  tag = sh->index.FindTag(t.tagName_);
  if (tag < 0)
    throw Error(ErrorCode::NotFound, "tag " + t.tagName_ + " does not exist in index file " + sh->indexPath);
}

void Table::Impl::Reposition(uint32_t keep) {
  if (keep != 0 && Visible(keep)) {
    recno = keep;
    ReadRec(recno, rec);
    recStamp = Stamp();
    t.eof_ = t.bof_ = false;
  } else {
    GoFirst();
  }
}
}  // namespace xbase
