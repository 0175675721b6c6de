// The volume table of the catalogue as the window uses it: made on first
// use (a database that has none yet gets it then), the rows of a catalog
// kept until the table is written again, and where a volume is mounted now
// found by one lookup that tests may replace.
#pragma once

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "volumetable.h"

namespace xbase {
class Environment;
}

namespace store {

// A folder as the records added from it begin their paths: the system's
// separators, none at the end but for a root.
QString FolderAsStored(const QString& folder);

using MountLookup = std::function<std::vector<std::string>(const std::string& id)>;

class CatalogVolumes {
 public:
  explicit CatalogVolumes(xbase::Environment& env);
  ~CatalogVolumes();
  CatalogVolumes(const CatalogVolumes&) = delete;
  CatalogVolumes& operator=(const CatalogVolumes&) = delete;

  // The data folder; the table there is opened when first needed.
  void SetFolder(const QString& dataDir);
  // Where a volume id is mounted now: disk::MountPointsOf unless replaced.
  void SetMountLookup(MountLookup lookup);
  const MountLookup& MountPointsOf() const { return mountLookup_; }

  // The rows of `catalog`, shared with whoever holds them (they never
  // change in place). Throws (xbase::Error, std::exception) when the table
  // cannot be opened or read.
  std::shared_ptr<const std::vector<VolumeRow>> Rows(const QString& catalog);
  // Files of `catalog` were added from `folder`: its volume is remembered.
  // Returns why it could not be ("" when it was).
  QString Remember(const QString& catalog, const QString& folder);
  // Throws as Rows does.
  void SetNote(uint32_t recno, const QString& note);
  // The table itself, for the compare with the disk and the refresh; call
  // Changed after writing through it. Only a use that writes (`forWriting`)
  // creates a missing table: looking at records makes no file.
  VolumeTable& Table(bool forWriting = false);
  void Changed() { cache_.clear(); }
  // Closes the table (pack and reindex have the folder to themselves).
  void Close();

 private:
  xbase::Environment& env_;
  std::string folder_;
  MountLookup mountLookup_;
  // Throws the table's problem when it cannot be used.
  void RequireUsable(bool forWriting = false);

  std::unique_ptr<VolumeTable> table_;
  bool tableCreates_ = false;  // table_ was opened to create a missing file
  std::map<QString, std::shared_ptr<const std::vector<VolumeRow>>> cache_;
};

}  // namespace store
