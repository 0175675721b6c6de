// Making, opening and closing tables, and what a cursor is set to before
// and while it is open.
#include <algorithm>
#include <string>
#include <vector>

#include "cursor.h"

namespace xbase {

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
void Table::SetMissingIndexTags(std::vector<TagInfo> tags) { missingIndexTags_ = std::move(tags); }

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
    sh->Open(required_, true, missingIndexTags_);
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
          retry = sh->indexLife.RebuildDamaged();
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

}  // namespace xbase
