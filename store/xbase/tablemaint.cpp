// Maintenance entry points of a cursor: tags, reindex and pack.
#include <string>
#include <vector>

#include "cursor.h"

namespace xbase {

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
  int n = m.sh->indexLife.AddTag(indexPath, d);
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
  m.sh->indexLife.OpenFile(indexPath);
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
  m.sh->indexLife.Reindex();
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

void Table::Flush() {
  Impl& m = *impl_;
  if (!m.sh || readOnly_) return;
  m.sh->Flush();
}

std::string RepairRecordCount(const std::string& dbfPath, const std::vector<FieldDef>& required, Environment& env) {
  if (env.IsOpen(dbfPath))
    throw Error(ErrorCode::Locked, "table " + dbfPath + " is open; its record count is repaired only with the table closed");
  // Opened exclusively as a writer would (an unfinished pack is completed
  // first), but without its index, and taking a header that counts too many
  // records as the whole records there are.
  SharedTable sh(env, dbfPath, true, false);
  sh.repairing = true;
  sh.Open(required, false);
  std::string note;
  try {
    sh.RequireWritable();
    note = sh.dbf.RepairCount();
  } catch (...) {
    sh.Close();
    throw;
  }
  sh.Close();
  return note;
}

std::string Table::HeaderProblem() const {
  if (!impl_->sh || !(impl_->sh->dbf.headerAhead() || impl_->sh->dbf.headerFarBehind())) return {};
  const DbfFile& d = impl_->sh->dbf;
  return "table " + Path() + " is damaged: its header counts " + std::to_string(d.headerCount()) +
         " records, but the file holds " + std::to_string(d.count()) + (d.count() == 1 ? " whole record" : " whole records") +
         "; those are read";
}

std::vector<TagInfo> Table::Tags() const {
  std::vector<TagInfo> out;
  if (!impl_->sh || !impl_->sh->hasIndex) return out;
  for (auto& t : impl_->sh->tags)
    out.push_back(TagInfo{t.def.name, t.def.key, t.def.condition, t.def.unique, t.def.keyWidth});
  return out;
}

}  // namespace xbase
