// Applying what a compare found: a record per new file, the size and
// date of a changed one, the path of a moved one, and the deletion of a
// missing one's record, each written whole, with the volumes watched.
#include <algorithm>
#include <unordered_map>

#include <xbase.h>

#include "catalogdiff.h"
#include "catalogview.h"
#include "filetexts.h"
#include "folder.h"
#include "schema.h"

namespace store {

bool AppendFileRecord(xbase::Table& records, std::string_view catalog, std::string_view path, int64_t size,
                      int64_t mtime, const RefreshTexts& texts, bool* shortened, std::string* why) {
  if (path.size() > size_t(kNameWidth)) {
    *why = "its path is longer than " + std::to_string(kNameWidth) + " bytes";
    return false;
  }
  std::string title = "new record ~~~~ ";
  title += FileNameOfPath(path);
  *shortened = title.size() > size_t(kTitleWidth);
  if (*shortened) title.resize(xbase::CutToWidth(title, size_t(kTitleWidth)).size());
  const std::string sizeText = texts.size ? texts.size(size) : disk::SizeFieldTextOf(size);
  const std::string dateText = texts.date ? texts.date(mtime) : disk::DateFieldText(disk::DosDateOf(mtime));
  records.Append();
  try {
    records.SetFieldByName(kFieldCatalog, StoredCatalogName(catalog));
    records.SetFieldByName(kFieldTitle, title);
    records.SetFieldByName(kFieldName, path);
    records.SetFieldByName(kFieldSize, sizeText);
    records.SetFieldByName(kFieldDate, dateText);
    records.Post();
  } catch (...) {
    records.Cancel();
    throw;
  }
  return true;
}

namespace {

// Ends the table's batch on every way out, so that what was applied is on
// disk.
struct Batch {
  explicit Batch(xbase::Table& t) : t(t) { t.BeginBatch(); }
  ~Batch() {
    if (ended) return;
    try {
      t.EndBatch();
    } catch (...) {
    }
  }
  void End() {
    ended = true;
    t.EndBatch();
  }
  xbase::Table& t;
  bool ended = false;
};

// Where the records' volumes are now, asked once per volume at the start
// and again every so many entries: a disk taken away stops the refresh
// before a record is deleted or followed for it.
class VolumeWatch {
 public:
  explicit VolumeWatch(std::vector<VolumeRow> rows) : rows_(std::move(rows)) {}
  // "" when the entry's volume (if any) is mounted; else a problem.
  std::string Check(const DiffEntry& e, bool ask) {
    const std::string& stored = e.storedPath.empty() ? e.newStoredPath : e.storedPath;
    const ResolvedPath where = ResolvePath(rows_, stored, [&](const std::string& id) {
      auto it = known_.find(id);
      if (ask || it == known_.end()) it = known_.insert_or_assign(id, disk::MountPointsOf(id)).first;
      return it->second;
    });
    if (where.state == ResolvedPath::State::NotConnected)
      return "the volume '" + where.label + "' is not connected any more; nothing more was applied";
    return {};
  }
  const std::vector<VolumeRow>& Rows() const { return rows_; }

 private:
  std::vector<VolumeRow> rows_;
  std::unordered_map<std::string, std::vector<std::string>> known_;
};

}  // namespace

RefreshResult ApplyRefresh(xbase::Table& records, VolumeTable& volumes, std::string_view catalog,
                           const std::vector<DiffEntry>& chosen, const RefreshTexts& texts,
                           const std::function<bool(uint64_t done, uint64_t total)>& progress) {
  RefreshResult result;
  VolumeWatch watch(volumes.Rows(catalog));
  std::vector<bool> rowTouched(watch.Rows().size(), false);
  const uint64_t total = chosen.size();
  const std::string name = StoredCatalogName(catalog);
  {
    CatalogView view(records, catalog);
    const int nameField = records.FieldIndex(kFieldName), sizeField = records.FieldIndex(kFieldSize),
              dateField = records.FieldIndex(kFieldDate);
    Batch batch(records);
    for (uint64_t done = 0; done < total; ++done) {
      if (progress && !progress(done, total)) {
        result.stopped = true;
        break;
      }
      const DiffEntry& e = chosen[done];
      const auto problem = [&](const std::string& why) {
        result.problems.push_back((e.kind == DiffKind::New ? e.path : e.storedPath) + ": " + why);
      };
      // A record to change must still be the one compared.
      const auto sameRecord = [&] {
        if (!records.GotoBookmark({e.recno}) || records.FieldByName(kFieldName) != e.storedPath) {
          problem("its record was changed or deleted meanwhile; not applied");
          return false;
        }
        return true;
      };
      if (e.kind == DiffKind::Missing || e.kind == DiffKind::Moved) {
        if (const std::string gone = watch.Check(e, done % 1024 == 0); !gone.empty()) {
          result.problems.push_back(gone);
          result.stopped = true;
          break;
        }
      }
      const std::string& kept = e.newStoredPath.empty() ? e.path : e.newStoredPath;
      switch (e.kind) {
        case DiffKind::New: {
          bool shortened = false;
          std::string why;
          if (!AppendFileRecord(records, name, kept, e.size, e.mtime, texts, &shortened, &why)) {
            problem(why + "; not added");
            continue;
          }
          if (shortened) problem("its title was shortened to " + std::to_string(kTitleWidth) + " bytes");
          ++result.added;
          break;
        }
        case DiffKind::Changed:
          if (!sameRecord()) continue;
          records.Edit();
          try {
            records.SetField(sizeField, texts.size ? texts.size(e.size) : disk::SizeFieldTextOf(e.size));
            records.SetField(dateField,
                             texts.date ? texts.date(e.mtime) : disk::DateFieldText(disk::DosDateOf(e.mtime)));
            records.Post();
          } catch (...) {
            records.Cancel();
            throw;
          }
          ++result.updated;
          break;
        case DiffKind::Moved:
          if (!Exists(e.path)) {
            problem("its new place " + NativeSeparators(e.path) + " is gone; not followed");
            continue;
          }
          if (kept.size() > size_t(kNameWidth)) {
            problem("its new path is longer than " + std::to_string(kNameWidth) + " bytes; not followed");
            continue;
          }
          if (!sameRecord()) continue;
          records.Edit();
          try {
            records.SetField(nameField, kept);
            records.Post();
          } catch (...) {
            records.Cancel();
            throw;
          }
          ++result.followed;
          break;
        case DiffKind::Missing: {
          // Where the file would be now: a file back in its place keeps its
          // record.
          const ResolvedPath where = ResolvePath(watch.Rows(), e.storedPath, disk::MountPointsOf);
          if (Exists(where.path)) {
            problem("the file is there again; its record is kept");
            continue;
          }
          if (!sameRecord()) continue;
          records.Delete();
          ++result.deleted;
          break;
        }
      }
      const std::string& held = e.kind == DiffKind::New ? kept : e.storedPath;
      for (size_t r = 0; r < rowTouched.size(); ++r) {
        const std::string prefix = FolderPrefix(watch.Rows()[r].folder);
        if (held.compare(0, prefix.size(), prefix) == 0) rowTouched[r] = true;
      }
    }
    batch.End();
  }
  if (progress && !result.stopped) progress(total, total);

  // The volumes refreshed: their sizes and label now. The mount point kept
  // is the one the records' paths begin with, so that they are found
  // through it wherever the disk is mounted.
  for (size_t r = 0; r < rowTouched.size(); ++r) {
    if (!rowTouched[r]) continue;
    const VolumeRow& row = watch.Rows()[r];
    const ResolvedPath where = ResolvePath(watch.Rows(), row.folder, disk::MountPointsOf);
    disk::Volume now;
    std::string error;
    if (where.state == ResolvedPath::State::NotConnected || !disk::VolumeOf(where.path, &now, &error)) continue;
    if (now.id != row.volume.id) continue;
    now.mountPoint = row.volume.mountPoint;
    try {
      volumes.Remember(name, now, row.folder);
    } catch (const std::exception& ex) {
      result.problems.push_back("the volume of " + row.folder + " was not remembered: " + ex.what());
    }
  }
  return result;
}

}  // namespace store
