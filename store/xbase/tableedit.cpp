// The fields of the current record, and editing it: Append/Edit/Post/
// Cancel/Delete and batches of posts.
#include <cstring>
#include <string>

#include "cursor.h"

namespace xbase {

namespace {

// A character or number field of a record buffer given a value: cut to
// the field's width without splitting a UTF-8 character, numbers to the
// right.
void PutField(char* record, const DbfField& f, std::string_view value) {
  std::string_view v = CutToWidth(value, (size_t)f.def.width);
  char* p = record + f.offset;
  std::memset(p, ' ', (size_t)f.def.width);
  if (f.def.type == 'N' || f.def.type == 'F') {
    std::string_view tv = TrimRight(v);
    while (!tv.empty() && tv.front() == ' ') tv.remove_prefix(1);
    std::memcpy(p + f.def.width - tv.size(), tv.data(), tv.size());
  } else {
    std::memcpy(p, v.data(), v.size());
  }
}

}  // namespace

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
  impl_->RequireOpen("SetFieldByName");
  int fi = impl_->dbf().FieldIndex(name);
  if (fi < 0) throw Error(ErrorCode::NotFound, "table " + Path() + " has no field " + std::string(name));
  SetField(fi, value);
}

void Table::SetField(int fi, std::string_view value) {
  Impl& m = *impl_;
  m.RequireOpen("SetField");
  if (fi < 0 || (size_t)fi >= m.dbf().fields().size())
    throw Error(ErrorCode::NotFound, "table " + Path() + " has no field number " + std::to_string(fi));
  if (state_ != State::Edit && state_ != State::Insert)
    throw Error(ErrorCode::Usage, "field " + m.dbf().fields()[(size_t)fi].def.name + " of " + Path() +
                                      " can only be set while editing");
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  char t = f.def.type;
  if (t == 'M' || t == 'G' || t == 'B' || t == 'P') {
    m.memoEdits[fi] = std::string(value);
  } else {
    PutField(m.edit.data(), f, value);
  }
  modified_ = true;
  if (disableCount_ == 0 && OnDataChange) m.Notify(f.def.name);
}

bool Table::SetFieldOf(uint32_t recno, int fi, std::string_view value) {
  Impl& m = *impl_;
  m.RequireOpen("SetFieldOf");
  m.RefuseReadOnly();
  RequireWritable();
  if (state_ == State::Edit || state_ == State::Insert)
    throw Error(ErrorCode::Usage, "records of " + Path() + " cannot be changed by number while one is edited");
  if (fi < 0 || (size_t)fi >= m.dbf().fields().size())
    throw Error(ErrorCode::NotFound, "table " + Path() + " has no field number " + std::to_string(fi));
  const DbfField& f = m.dbf().fields()[(size_t)fi];
  if (f.def.type == 'M' || f.def.type == 'G' || f.def.type == 'B' || f.def.type == 'P')
    throw Error(ErrorCode::Usage, "field " + f.def.name + " of " + Path() + " is a memo; set it while editing");
  std::string old;
  if (!m.InView(recno, old)) return false;
  std::string rec = old;
  PutField(rec.data(), f, value);
  if (rec == old) return true;
  m.sh->Update(recno, rec, {}, &old);
  m.AfterChangeOf(recno, rec);
  return true;
}

bool Table::DeleteRecordOf(uint32_t recno) {
  Impl& m = *impl_;
  m.RequireOpen("DeleteRecordOf");
  m.RefuseReadOnly();
  RequireWritable();
  if (state_ == State::Edit || state_ == State::Insert)
    throw Error(ErrorCode::Usage, "records of " + Path() + " cannot be deleted by number while one is edited");
  std::string old;
  if (!m.InView(recno, old)) return false;
  m.sh->MarkDeleted(recno, &old);
  old[0] = '*';
  m.AfterChangeOf(recno, old);
  return true;
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
  bool hasNext = m.moves.MoveNext();
  uint32_t after = hasNext ? m.recno : 0;
  if (!hasNext) {
    if (m.moves.MovePrior()) after = m.recno;
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

void Table::BeginBatch() {
  impl_->RequireOpen("BeginBatch");
  impl_->sh->BeginBatch();
}

void Table::BeginLoad() {
  impl_->RequireOpen("BeginLoad");
  impl_->RefuseReadOnly();
  impl_->sh->BeginLoad();
}

void Table::EndBatch() {
  Impl& m = *impl_;
  if (!m.sh) return;
  if (m.sh->EndBatch()) {
    // The index was built anew: the view finds its place in it again.
    m.ResolveTag();
    m.CompileQuery();
    m.countCache = -1;
    m.Reposition(m.recno);
  }
}

}  // namespace xbase
