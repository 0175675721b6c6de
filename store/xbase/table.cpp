#include <algorithm>
#include <cstring>
#include <map>

#include "shared.h"
#include "text.h"
#include "xbase.h"

namespace xbase {

// ---- Environment -----------------------------------------------------------------

struct Environment::Registry {
  std::map<std::string, std::weak_ptr<SharedTable>> open;
};

Environment::Environment() : registry_(std::make_unique<Registry>()) {}
Environment::~Environment() = default;

Environment& Environment::Default() {
  static Environment env;
  return env;
}

bool Environment::IsOpen(const std::string& dbfPath) const {
  auto it = registry_->open.find(CanonicalPath(dbfPath));
  return it != registry_->open.end() && !it->second.expired();
}

void CreateTable(const std::string& dbfPath, const std::vector<FieldDef>& fields) {
  if (PathExists(dbfPath)) throw Error(ErrorCode::Usage, "table " + dbfPath + " already exists");
  bool memo = false;
  for (auto& f : fields) memo = memo || f.type == 'M' || f.type == 'm';
  const std::string memoPath = WithExtension(dbfPath, ".SMT");
  const bool memoThere = memo && PathExists(memoPath);
  DbfFile::Create(dbfPath, fields);
  // Both files are on disk, and in their folder, before the table counts
  // as created; a failure on the way removes what was made.
  try {
    if (memo) MemoFile::Create(memoPath);
    SyncFolderOf(dbfPath);
  } catch (...) {
    if (memo && !memoThere) TryRemoveFile(memoPath);
    TryRemoveFile(dbfPath);
    throw;
  }
}

// ---- the cursor ------------------------------------------------------------------------

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

Table::Table(Environment& env) : env_(env), impl_(std::make_unique<Impl>(*this)) {}

Table::~Table() {
  try {
    Close();
  } catch (...) {
  }
}

std::string FieldsProblem(const std::string& dbfPath, const std::vector<FieldDef>& have,
                          const std::vector<FieldDef>& need) {
  auto describe = [](const FieldDef& f) {
    if (f.type == 'M') return std::string("a memo field (type M)");
    return std::string("of type ") + f.type + ", " + std::to_string(f.width) + " wide";
  };
  for (const FieldDef& n : need) {
    const std::string name = Utf8Upper(n.name);
    auto it = std::find_if(have.begin(), have.end(), [&](const FieldDef& h) { return h.name == name; });
    const std::string head = "table " + dbfPath + " is not a table of this program: ";
    if (it == have.end()) return head + "it has no field " + name;
    const bool memo = n.type == 'M';
    if (memo ? it->type != 'M' : it->type != n.type || it->width != n.width)
      return head + "field " + name + " is " + describe(*it) + "; it must be " + describe(n);
  }
  return {};
}

void Table::SetDatabaseName(const std::string& folder) { folder_ = folder; }
void Table::SetTableName(const std::string& file) { file_ = file; }
void Table::SetExclusive(bool on) {
  if (Active()) throw Error(ErrorCode::Usage, "close the table " + Path() + " before changing its exclusive use");
  exclusive_ = on;
}

void Table::SetReadOnly(bool on) {
  if (Active()) throw Error(ErrorCode::Usage, "close the table " + Path() + " before changing its read-only use");
  readOnly_ = on;
}

void Table::SetRequiredFields(std::vector<FieldDef> fields) { required_ = std::move(fields); }

bool Table::CanWrite() const { return impl_->sh && !readOnly_ && impl_->sh->Writable(); }

void Table::RequireWritable() const {
  if (!impl_->sh) throw Error(ErrorCode::Usage, "the table " + Path() + " is not open");
  if (readOnly_) throw Error(ErrorCode::Usage, "table " + Path() + " is open for reading only");
  impl_->sh->RequireWritable();
}

void Table::SetIndexTag(const std::string& tag) {
  std::string old = tagName_;
  tagName_ = tag;
  if (!impl_->sh) return;
  impl_->LeaveEdit();
  uint32_t keep = impl_->recno;
  try {
    impl_->ResolveTag();
    impl_->CompileQuery();
  } catch (...) {
    tagName_ = old;
    impl_->ResolveTag();
    impl_->CompileQuery();
    throw;
  }
  impl_->Reposition(keep);
  impl_->Notify();
}

std::string Table::Path() const {
  if (folder_.empty()) return file_;
  char last = folder_.back();
  if (last == '/' || last == '\\') return folder_ + file_;
  return folder_ + "/" + file_;
}

bool Table::Active() const { return impl_->sh != nullptr; }

void Table::Open() {
  if (Active()) return;
  std::string path = Path();
  if (!PathExists(path)) throw Error(ErrorCode::NotFound, "table " + path + " does not exist");
  std::string key = CanonicalPath(path);
  auto& reg = env_.registry_->open;
  std::shared_ptr<SharedTable> sh;
  auto it = reg.find(key);
  if (it != reg.end()) sh = it->second.lock();
  const bool fresh = !sh;
  if (sh) {
    if (exclusive_ || sh->exclusive)
      throw Error(ErrorCode::Locked, "table " + path + (sh->exclusive ? " is opened exclusively" : " is already open") +
                                         " and cannot be opened " + (exclusive_ ? "exclusively" : "again"));
    if (sh->readOnly && !readOnly_)
      throw Error(ErrorCode::Usage, "table " + path + " is already open for reading only and cannot be opened for writing");
    if (std::string problem = FieldsProblem(path, sh->fieldDefs, required_); !problem.empty())
      throw Error(ErrorCode::Unsupported, problem);
  } else {
    sh = std::make_shared<SharedTable>(env_, path, exclusive_, readOnly_);
    sh->Open(required_);
    reg[key] = sh;
  }
  impl_->sh = sh;
  for (int attempt = 0;; ++attempt) {
    try {
      impl_->ResolveTag();
      impl_->CompileQuery();
      impl_->GoFirst();
      break;
    } catch (const Error& e) {
      // Damage in the index met on the way to the first record, with no
      // other cursor on the files yet: the index is rebuilt from the
      // records at once and the open goes on.
      bool retry = false;
      if (attempt == 0 && fresh && e.code() == ErrorCode::Corrupt) {
        try {
          retry = sh->RebuildDamagedIndex();
        } catch (const Error&) {
          retry = false;
        }
      }
      if (retry) continue;
      impl_->sh.reset();
      impl_->tag = -1;
      impl_->query.reset();
      throw;
    } catch (...) {
      impl_->sh.reset();
      impl_->tag = -1;
      impl_->query.reset();
      throw;
    }
  }
  modified_ = false;
  impl_->SetState(State::Browse);
  impl_->Notify();
}

void Table::Close() {
  if (!Active()) return;
  impl_->LeaveEdit();
  if (impl_->sh->batchDepth > 0 && impl_->sh.use_count() == 1) {
    impl_->sh->batchDepth = 1;
    impl_->sh->EndBatch();
  }
  std::string key = CanonicalPath(Path());
  impl_->sh.reset();
  auto& reg = env_.registry_->open;
  auto it = reg.find(key);
  if (it != reg.end() && it->second.expired()) reg.erase(it);
  impl_->tag = -1;
  impl_->query.reset();
  impl_->SetEmpty();
  modified_ = false;
  impl_->SetState(State::Inactive);
  impl_->Notify();
}

const std::vector<FieldDef>& Table::Fields() const {
  static const std::vector<FieldDef> none;
  if (!impl_->sh) return none;
  return impl_->sh->fieldDefs;
}

int Table::FieldIndex(std::string_view name) const {
  if (!impl_->sh) return -1;
  return impl_->sh->dbf.FieldIndex(name);
}

std::string Table::FieldByName(std::string_view name) const {
  Impl& m = *impl_;
  if (!m.sh) throw Error(ErrorCode::Usage, "field " + std::string(name) + ": the table " + Path() + " is not open");
  int fi = m.dbf().FieldIndex(name);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(name));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool editing = state_ == State::Edit || state_ == State::Insert;
  const std::string* r;
  if (editing) {
    r = &m.edit;
  } else {
    if (m.recno == 0) return {};
    r = &m.Current();
  }
  char t = f.def.type;
  if (t == 'M' || t == 'G' || t == 'B' || t == 'P') {
    if (editing) {
      auto it = m.memoEdits.find(fi);
      if (it != m.memoEdits.end()) return it->second;
    }
    return m.sh->ReadMemo(r->data(), fi);
  }
  std::string_view v(r->data() + f.offset, (size_t)f.def.width);
  v = TrimRight(v);
  if (t != 'C') {
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  }
  return std::string(v);
}

void Table::SetFieldByName(std::string_view name, std::string_view value) {
  Impl& m = *impl_;
  if (state_ != State::Edit && state_ != State::Insert)
    throw Error(ErrorCode::Usage, "field " + std::string(name) + " of " + Path() + " can only be set while editing");
  int fi = m.dbf().FieldIndex(name);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(name));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  char t = f.def.type;
  if (t == 'M' || t == 'G' || t == 'B' || t == 'P') {
    m.memoEdits[fi] = std::string(value);
  } else {
    std::string_view v = CutToWidth(value, (size_t)f.def.width);
    char* p = m.edit.data() + f.offset;
    std::memset(p, ' ', (size_t)f.def.width);
    if (t == 'N' || t == 'F') {
      std::string_view tv = TrimRight(v);
      while (!tv.empty() && tv.front() == ' ') tv.remove_prefix(1);
      std::memcpy(p + f.def.width - tv.size(), tv.data(), tv.size());
    } else {
      std::memcpy(p, v.data(), v.size());
    }
  }
  modified_ = true;
  if (disableCount_ == 0 && OnDataChange) m.Notify(f.def.name);
}

void Table::First() {
  impl_->RequireOpen("First");
  impl_->LeaveEdit();
  impl_->GoFirst();
  impl_->Notify();
}

void Table::Last() {
  impl_->RequireOpen("Last");
  impl_->LeaveEdit();
  if (impl_->MoveLast()) {
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
  if (impl_->MoveNext()) {
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
  if (impl_->MovePrior()) {
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
  while (moved < distance && impl_->MoveNext()) ++moved;
  while (moved > distance && impl_->MovePrior()) --moved;
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
    m.SyncPos();
    TreePos p;
    uint64_t r = m.sh->index.Seek(m.tag, m.posKey, m.posRecno, p);
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
  if (m.MoveFirst()) {
    do {
      if (m.recno == cur) {
        found = true;
        break;
      }
      ++i;
    } while (m.MoveNext());
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
    TreePos save = m.pos;
    m.pos = a;
    if (!m.LoadPos()) {
      m.pos = save;
      return false;
    }
    m.SetCurrentFromPos();
    eof_ = bof_ = false;
    m.Notify();
    return true;
  }
  uint32_t keep = m.recno;
  if (!m.MoveFirst()) return false;
  for (int64_t i = 0; i < index; ++i) {
    if (!m.MoveNext()) {
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
  TreePos p = m.pos;
  std::string k = m.posKey;
  uint32_t r = m.posRecno;
  bool ok = m.Visible(b.recno);
  m.pos = p;
  m.posKey = k;
  m.posRecno = r;
  return ok;
}

bool Table::GotoBookmark(const Bookmark& b) {
  Impl& m = *impl_;
  m.RequireOpen("GotoBookmark");
  m.LeaveEdit();
  if (!b.valid()) return false;
  TreePos p = m.pos;
  std::string k = m.posKey;
  uint32_t r = m.posRecno;
  if (!m.Visible(b.recno)) {
    m.pos = p;
    m.posKey = k;
    m.posRecno = r;
    return false;
  }
  m.recno = b.recno;
  m.ReadRec(m.recno, m.rec);
  m.recStamp = m.Stamp();
  eof_ = bof_ = false;
  m.Notify();
  return true;
}

bool Table::Locate(std::string_view field, std::string_view value, LocateOptions opt) {
  Impl& m = *impl_;
  m.RequireOpen("Locate");
  m.LeaveEdit();
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool memo = f.def.type == 'M';
  std::string want = opt.caseInsensitive ? Utf8Lower(value) : std::string(value);
  if (!opt.partialKey) want = std::string(TrimRight(want));
  uint32_t keep = m.recno;
  auto matches = [&]() {
    std::string v;
    if (memo) {
      v = m.sh->ReadMemo(m.rec.data(), fi);
    } else {
      v = std::string(TrimRight(std::string_view(m.rec.data() + f.offset, (size_t)f.def.width)));
    }
    if (opt.caseInsensitive) v = Utf8Lower(v);
    if (opt.partialKey) return v.compare(0, want.size(), want) == 0;
    return v == want;
  };
  if (m.MoveFirst()) {
    do {
      if (matches()) {
        eof_ = bof_ = false;
        m.Notify();
        return true;
      }
    } while (m.MoveNext());
  }
  m.Reposition(keep);
  return false;
}

void Table::Refresh() {
  Impl& m = *impl_;
  if (!m.sh) return;
  m.LeaveEdit();
  m.countCache = -1;
  m.Reposition(m.recno);
  m.Notify();
}

void Table::Append() {
  Impl& m = *impl_;
  m.RequireOpen("Append");
  m.RefuseReadOnly();
  m.LeaveEdit();
  m.beforeInsert = m.recno;
  m.edit.assign(m.dbf().recordLength(), ' ');
  m.memoEdits.clear();
  modified_ = false;
  m.SetState(State::Insert);
  m.Notify();
}

void Table::Insert() { Append(); }

void Table::Edit() {
  Impl& m = *impl_;
  m.RequireOpen("Edit");
  m.RefuseReadOnly();
  if (state_ == State::Edit || state_ == State::Insert) return;
  RequireWritable();
  if (m.recno == 0) {
    Append();
    return;
  }
  m.edit = m.Current();
  m.memoEdits.clear();
  modified_ = false;
  m.SetState(State::Edit);
  m.Notify();
}

void Table::Post() {
  Impl& m = *impl_;
  m.RequireOpen("Post");
  if (state_ != State::Edit && state_ != State::Insert) return;
  if (state_ == State::Edit && !modified_) {
    Cancel();
    return;
  }
  RequireWritable();
  uint32_t r;
  auto memos = m.MemoList();
  if (state_ == State::Insert) {
    r = m.sh->Append(m.edit, memos);
  } else {
    r = m.recno;
    m.sh->Update(r, m.edit, memos);
  }
  m.memoEdits.clear();
  modified_ = false;
  m.countCache = -1;
  // The posted record stays current when the view shows it; its bytes are
  // the edit buffer, so nothing is read back.
  if (m.VisibleRecord(r, m.edit)) {
    m.recno = r;
    m.rec.swap(m.edit);
    m.recStamp = m.Stamp();
    eof_ = bof_ = false;
  } else {
    m.Reposition(r);
  }
  m.edit.clear();
  m.SetState(State::Browse);
  m.Notify();
}

void Table::Cancel() {
  Impl& m = *impl_;
  if (state_ != State::Edit && state_ != State::Insert) return;
  bool wasInsert = state_ == State::Insert;
  m.edit.clear();
  m.memoEdits.clear();
  modified_ = false;
  if (wasInsert) m.Reposition(m.beforeInsert);
  m.SetState(State::Browse);
  m.Notify();
}

void Table::Delete() {
  Impl& m = *impl_;
  m.RequireOpen("Delete");
  if (state_ != State::Insert) RequireWritable();
  if (state_ == State::Insert) {
    Cancel();
    return;
  }
  if (state_ == State::Edit) {
    m.edit.clear();
    m.memoEdits.clear();
    modified_ = false;
  }
  if (m.recno == 0) {
    m.SetState(State::Browse);
    throw Error(ErrorCode::Usage, "there is no record to delete in " + Path());
  }
  uint32_t r = m.recno;
  // Where to go afterwards: the next record of the view, else the one before.
  bool hasNext = m.MoveNext();
  uint32_t after = hasNext ? m.recno : 0;
  if (!hasNext) {
    if (m.MovePrior()) after = m.recno;
  }
  m.recno = r;
  m.sh->MarkDeleted(r);
  m.countCache = -1;
  if (after != 0 && after != r && m.Visible(after)) {
    m.recno = after;
    m.ReadRec(after, m.rec);
    m.recStamp = m.Stamp();
    eof_ = bof_ = false;
  } else {
    m.GoFirst();
  }
  m.SetState(State::Browse);
  m.Notify();
}

void Table::SetQuery(const std::string& expression) {
  Impl& m = *impl_;
  if (!m.sh) {
    query_ = expression;
    return;
  }
  m.LeaveEdit();
  std::string old = query_;
  query_ = expression;
  try {
    m.CompileQuery();
  } catch (...) {
    query_ = old;
    m.CompileQuery();
    throw;
  }
  m.GoFirst();
  m.Notify();
}

int Table::IndexTag(const std::string& indexPath, const std::string& tag, const std::string& keyExpression,
                    const std::string& condition, bool unique) {
  Impl& m = *impl_;
  m.RequireExclusive("creating a tag");
  m.RefuseReadOnly();
  m.LeaveEdit();
  IndexTagDef d;
  d.name = tag;
  d.key = keyExpression;
  d.condition = condition;
  d.unique = unique;
  uint32_t keep = m.recno;
  int n = m.sh->AddTag(indexPath, d);
  m.ResolveTag();
  m.CompileQuery();
  m.Reposition(keep);
  m.Notify();
  return n;
}

void Table::IndexOpen(const std::string& indexPath) {
  Impl& m = *impl_;
  m.RequireExclusive("opening an index");
  m.RefuseReadOnly();
  m.LeaveEdit();
  uint32_t keep = m.recno;
  m.sh->OpenIndexFile(indexPath);
  m.ResolveTag();
  m.CompileQuery();
  m.Reposition(keep);
  m.Notify();
}

void Table::Reindex() {
  Impl& m = *impl_;
  m.RequireExclusive("reindexing");
  m.RefuseReadOnly();
  m.LeaveEdit();
  uint32_t keep = m.recno;
  m.sh->Reindex();
  m.ResolveTag();
  m.CompileQuery();
  m.Reposition(keep);
  m.Notify();
}

void Table::Pack() {
  Impl& m = *impl_;
  m.RequireExclusive("packing");
  m.RefuseReadOnly();
  m.LeaveEdit();
  try {
    m.sh->Pack();
  } catch (...) {
    // A pack stopped halfway lets go of the files; the next open completes it.
    if (!m.sh->dbf.IsOpen()) Close();
    throw;
  }
  m.ResolveTag();
  m.CompileQuery();
  m.GoFirst();
  m.Notify();
}

std::vector<TagInfo> Table::Tags() const {
  std::vector<TagInfo> out;
  if (!impl_->sh || !impl_->sh->hasIndex) return out;
  for (auto& t : impl_->sh->tags)
    out.push_back(TagInfo{t.def.name, t.def.key, t.def.condition, t.def.unique, t.def.keyWidth});
  return out;
}

void Table::BeginBatch() {
  impl_->RequireOpen("BeginBatch");
  impl_->sh->BeginBatch();
}

void Table::EndBatch() {
  if (impl_->sh) impl_->sh->EndBatch();
}

std::vector<uint32_t> Table::FindContaining(std::string_view field, std::string_view text, bool caseInsensitive) {
  Impl& m = *impl_;
  m.RequireOpen("FindContaining");
  std::vector<uint32_t> hits;
  if (text.empty()) return hits;
  int fi = m.dbf().FieldIndex(field);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(field));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  bool memo = f.def.type == 'M';
  std::string needle = caseInsensitive ? Utf8Lower(text) : std::string(text);
  bool asciiNeedle = std::all_of(needle.begin(), needle.end(), [](char c) { return (unsigned char)c < 0x80; });
  const bool deletedOff = !env_.Deleted();
  TagRuntime* tagRt = m.tagged() ? &m.rt() : nullptr;

  uint32_t total = m.dbf().count();
  uint32_t recLen = m.dbf().recordLength();
  uint32_t per = std::max<uint32_t>(1, (uint32_t)((1u << 20) / recLen));
  std::vector<char> buf;
  std::string lowered;
  const size_t w = (size_t)f.def.width;
  // A needle that ends in a blank could match the field's padding; then the
  // field is searched without it.
  const bool trimFirst = !needle.empty() && needle.back() == ' ';
  std::vector<std::pair<std::string, uint32_t>> keyed;
  std::string key;
  // One pass over the records: straight from a mapping of the file where
  // there is one, else through a buffer.
  MappedView view(m.dbf().file());
  const bool mapped = view.data() && view.size() >= m.dbf().RecordOffset(total + 1);
  for (uint32_t first = 1; first <= total; first += per) {
    uint32_t k = std::min(per, total - first + 1);
    const char* block;
    if (mapped) {
      block = view.data() + m.dbf().RecordOffset(first);
    } else {
      buf.resize((size_t)per * recLen);
      m.dbf().ReadRecords(first, k, buf.data());
      block = buf.data();
    }
    for (uint32_t i = 0; i < k; ++i) {
      const char* r = block + (size_t)i * recLen;
      if (!deletedOff && r[0] == '*') continue;
      bool hit;
      if (memo) {
        std::string memoText = m.sh->ReadMemo(r, fi);
        if (caseInsensitive) {
          lowered.clear();
          AppendLower(memoText, lowered);
          hit = lowered.find(needle) != std::string::npos;
        } else {
          hit = memoText.find(needle) != std::string::npos;
        }
      } else {
        const char* fp = r + f.offset;
        size_t len = trimFirst ? PaddedLength(fp, w) : w;
        if (caseInsensitive && asciiNeedle) {
          hit = ContainsAsciiFolded(fp, len, needle);
        } else if (caseInsensitive) {
          lowered.clear();
          AppendLower(std::string_view(fp, len), lowered);
          hit = lowered.find(needle) != std::string::npos;
        } else {
          hit = std::string_view(fp, len).find(needle) != std::string_view::npos;
        }
      }
      if (!hit) continue;
      if (tagRt) {
        if (!m.sh->InTag(*tagRt, r)) continue;
        key.clear();
        m.sh->KeyOf(*tagRt, r, key);
        keyed.emplace_back(key, first + i);
      } else {
        hits.push_back(first + i);
      }
    }
  }
  if (tagRt) {
    // Order the hits as the tag orders them.
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
      int c = ComparePadded(a.first, b.first);
      return c != 0 ? c < 0 : a.second < b.second;
    });
    if (tagRt->def.unique) {
      std::vector<std::pair<std::string, uint32_t>> firsts;
      for (auto& e : keyed)
        if (firsts.empty() || ComparePadded(firsts.back().first, e.first) != 0) firsts.push_back(e);
      keyed.swap(firsts);
    }
    for (auto& e : keyed) hits.push_back(e.second);
  }
  return hits;
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
