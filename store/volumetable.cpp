#include "volumetable.h"

#include <algorithm>
#include <ctime>

#include <xbase.h>

#include "folder.h"
#include "schema.h"

namespace store {

namespace {

constexpr char kFieldVolId[] = "VOLID";
constexpr char kFieldLabel[] = "VOLLABEL";
constexpr char kFieldFsType[] = "FSTYPE";
constexpr char kFieldTotal[] = "TOTAL";
constexpr char kFieldFree[] = "FREE";
constexpr char kFieldFolder[] = "FOLDER";
constexpr char kFieldMount[] = "MOUNT";
constexpr char kFieldScanned[] = "SCANNED";
constexpr char kFieldNote[] = "NOTE";


std::string Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
#ifdef _WIN32
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

uint64_t Number(const std::string& text) {
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + uint64_t(c - '0');
  }
  return n;
}


// Whether `prefix` (a mount point or folder) holds `path`: equal, or
// followed in it by a separator.
bool Holds(std::string_view prefix, std::string_view path) {
  if (prefix.empty() || path.size() < prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return false;
  return path.size() == prefix.size() || IsPathSeparator(prefix.back()) || IsPathSeparator(path[prefix.size()]);
}

}  // namespace

std::vector<xbase::FieldDef> VolumeTableFields() {
  return {{kFieldCatalog, 'C', kCatalogWidth, 0}, {kFieldVolId, 'C', 64, 0},   {kFieldLabel, 'C', 64, 0},
          {kFieldFsType, 'C', 16, 0},             {kFieldTotal, 'C', 20, 0},   {kFieldFree, 'C', 20, 0},
          {kFieldFolder, 'C', 255, 0},            {kFieldMount, 'C', 255, 0},  {kFieldScanned, 'C', 19, 0},
          {kFieldNote, 'M', 10, 0}};
}

struct VolumeTable::Impl {
  xbase::Environment& env;
  std::string dir, path, problem;
  bool present = false;

  Impl(xbase::Environment& e, const std::string& d) : env(e), dir(d), path(DataFilePathUtf8(d, kVolumeTable)) {}

  void Open(xbase::Table& t, bool write) const {
    t.SetDatabaseName(dir);
    t.SetTableName(kVolumeTable);
    t.SetIndexTag("");
    t.SetRequiredFields(VolumeTableFields());
    t.SetReadOnly(!write);
    t.Open();
  }

  // Runs `work` on the open table; false when the table has a problem or
  // is not there.
  template <class Work>
  bool Write(Work&& work) {
    if (!problem.empty() || !present) return false;
    xbase::Table t(env);
    Open(t, true);
    t.DisableControls();
    t.BeginBatch();
    try {
      work(t);
    } catch (...) {
      try {
        if (t.GetState() != xbase::State::Browse) t.Cancel();
        t.EndBatch();
        t.Close();
      } catch (...) {
      }
      throw;
    }
    t.EndBatch();
    t.Close();
    return true;
  }
};

VolumeTable::VolumeTable(xbase::Environment& env, const std::string& dataDir, bool createMissing)
    : impl_(std::make_unique<Impl>(env, dataDir)) {
  try {
    if (!Exists(impl_->path)) {
      // A catalogue on a read-only medium simply has no volumes.
      if (!createMissing || !CanWriteInUtf8(dataDir)) return;
      xbase::CreateTable(impl_->path, VolumeTableFields());
    }
    impl_->present = true;
    xbase::Table t(env);
    impl_->Open(t, false);
    t.Close();
  } catch (const std::exception& e) {
    impl_->present = false;
    impl_->problem = "The table of the catalogs' volumes " + NativeSeparators(impl_->path) +
                     " cannot be used (" + e.what() + "); catalogs are compared without their volumes.";
  }
}

VolumeTable::~VolumeTable() = default;

const std::string& VolumeTable::Problem() const { return impl_->problem; }

std::vector<VolumeRow> VolumeTable::Rows(std::string_view catalog) {
  std::vector<VolumeRow> rows;
  if (!impl_->problem.empty() || !impl_->present) return rows;
  const std::string want = StoredCatalogName(catalog);
  try {
    xbase::Table t(impl_->env);
    impl_->Open(t, false);
    for (t.First(); !t.Eof(); t.Next()) {
      VolumeRow r;
      r.catalog = t.FieldByName(kFieldCatalog);
      if (!want.empty() && r.catalog != want) continue;
      r.recno = t.RecNo();
      r.volume.id = t.FieldByName(kFieldVolId);
      r.volume.label = t.FieldByName(kFieldLabel);
      r.volume.fsType = t.FieldByName(kFieldFsType);
      r.volume.totalBytes = Number(t.FieldByName(kFieldTotal));
      r.volume.freeBytes = Number(t.FieldByName(kFieldFree));
      r.volume.mountPoint = t.FieldByName(kFieldMount);
      r.folder = t.FieldByName(kFieldFolder);
      r.scanned = t.FieldByName(kFieldScanned);
      r.note = t.FieldByName(kFieldNote);
      rows.push_back(std::move(r));
    }
    t.Close();
  } catch (const std::exception& e) {
    impl_->problem = "The table of the catalogs' volumes " + NativeSeparators(impl_->path) + " cannot be read (" +
                     e.what() + "); catalogs are compared without their volumes.";
    rows.clear();
  }
  return rows;
}

void VolumeTable::Remember(std::string_view catalog, const disk::Volume& volume, const std::string& folder) {
  const std::string name = StoredCatalogName(catalog);
  impl_->Write([&](xbase::Table& t) {
    bool found = false;
    for (t.First(); !t.Eof(); t.Next()) {
      if (t.FieldByName(kFieldCatalog) == name && t.FieldByName(kFieldVolId) == volume.id &&
          t.FieldByName(kFieldFolder) == folder) {
        found = true;
        break;
      }
    }
    if (found) {
      t.Edit();
    } else {
      t.Append();
      t.SetFieldByName(kFieldCatalog, name);
      t.SetFieldByName(kFieldVolId, volume.id);
      t.SetFieldByName(kFieldFolder, folder);
    }
    t.SetFieldByName(kFieldLabel, volume.label);
    t.SetFieldByName(kFieldFsType, volume.fsType);
    t.SetFieldByName(kFieldTotal, std::to_string(volume.totalBytes));
    t.SetFieldByName(kFieldFree, std::to_string(volume.freeBytes));
    t.SetFieldByName(kFieldMount, volume.mountPoint);
    t.SetFieldByName(kFieldScanned, Now());
    t.Post();
  });
}

void VolumeTable::SetNote(uint32_t recno, std::string_view note) {
  impl_->Write([&](xbase::Table& t) {
    if (!t.GotoBookmark({recno})) return;
    t.Edit();
    t.SetFieldByName(kFieldNote, note);
    t.Post();
  });
}

void VolumeTable::RenameCatalog(std::string_view oldName, std::string_view newName) {
  const std::string from = StoredCatalogName(oldName), to = StoredCatalogName(newName);
  if (from == to) return;
  impl_->Write([&](xbase::Table& t) {
    const int field = t.FieldIndex(kFieldCatalog);
    std::vector<uint32_t> rows;
    for (t.First(); !t.Eof(); t.Next())
      if (t.FieldByName(kFieldCatalog) == from) rows.push_back(t.RecNo());
    for (uint32_t recno : rows) t.SetFieldOf(recno, field, to);
  });
}

void VolumeTable::DeleteCatalog(std::string_view name) {
  const std::string stored = StoredCatalogName(name);
  impl_->Write([&](xbase::Table& t) {
    std::vector<uint32_t> rows;
    for (t.First(); !t.Eof(); t.Next())
      if (t.FieldByName(kFieldCatalog) == stored) rows.push_back(t.RecNo());
    for (uint32_t recno : rows) t.DeleteRecordOf(recno);
  });
}

ResolvedPath ResolvePath(const std::vector<VolumeRow>& rows, std::string_view storedPath,
                         const std::function<std::vector<std::string>(const std::string& id)>& mountPointsOf) {
  ResolvedPath r;
  r.path = std::string(storedPath);
  const VolumeRow* best = nullptr;
  for (const VolumeRow& row : rows)
    if (Holds(row.volume.mountPoint, storedPath) &&
        (!best || row.volume.mountPoint.size() > best->volume.mountPoint.size()))
      best = &row;
  if (!best) return r;
  const std::string& then = best->volume.mountPoint;
  const std::vector<std::string> now = mountPointsOf ? mountPointsOf(best->volume.id) : std::vector<std::string>{};
  r.volumeId = best->volume.id;
  if (now.empty()) {
    r.state = ResolvedPath::State::NotConnected;
    r.label = best->volume.label.empty() ? best->volume.id : best->volume.label;
    return r;
  }
  if (std::find(now.begin(), now.end(), then) != now.end()) {
    r.state = ResolvedPath::State::Here;
    r.mountedAt = then;
    return r;
  }
  // The rest of the path below the mount point, put below the place the
  // volume is mounted at now.
  std::string_view rest = storedPath.substr(then.size());
  while (!rest.empty() && IsPathSeparator(rest.front())) rest.remove_prefix(1);
  std::string path = now.front();
  if (!rest.empty()) {
    if (path.empty() || !IsPathSeparator(path.back())) path += kPathSeparator;
    path += rest;
  }
  r.state = ResolvedPath::State::Elsewhere;
  r.path = std::move(path);
  r.mountedAt = now.front();
  return r;
}

}  // namespace store
