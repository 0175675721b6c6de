// The volumes a catalog's files came from, kept in a table of their own
// beside the catalog database (VTLVol.dbf and its memo VTLVol.SMT), so the
// records table keeps the layout other programs read. One row per catalog,
// volume and folder added from. Free of Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "volume.h"

namespace xbase {
class Environment;
struct FieldDef;
}

namespace store {

inline constexpr char kVolumeTable[] = "VTLVol.dbf";
inline constexpr char kVolumeMemo[] = "VTLVol.SMT";

// The table's fields, in table order.
std::vector<xbase::FieldDef> VolumeTableFields();

struct VolumeRow {
  uint32_t recno = 0;
  std::string catalog;
  disk::Volume volume;  // as it was at the last scan: mount point, sizes, label
  std::string folder;   // the folder the files were added from, as the records' paths begin
  std::string scanned;  // "yyyy-MM-dd HH:mm:ss", local time of the last add or refresh
  std::string note;     // the user's (where the disk is kept); any length
};

class VolumeTable {
 public:
  // The table in `dataDir`, created when it is missing and the folder can
  // be written. Never throws: a table that cannot be read (damaged, another
  // program's) leaves Problem() saying so, and the table then has no rows
  // and remembers nothing, so that its callers go on without volumes. Each
  // call opens the table for its own work and closes it again, so nothing
  // is held open between calls (the window and the tool may both use it).
  // With `createMissing` false a missing table stays missing (a command
  // that only reads makes no file): the catalogs then have no volumes.
  VolumeTable(xbase::Environment& env, const std::string& dataDir, bool createMissing = true);
  ~VolumeTable();
  VolumeTable(const VolumeTable&) = delete;
  VolumeTable& operator=(const VolumeTable&) = delete;

  // The rows of `catalog` (every row for an empty name), in table order.
  std::vector<VolumeRow> Rows(std::string_view catalog = {});
  // The writes below throw xbase::Error when the table refuses them (a
  // read-only folder, a full disk); on a table with a Problem they do
  // nothing.
  // Files of `catalog` were added from `folder` on `volume` just now: the
  // row of that catalog, volume id and folder takes the volume's facts and
  // the time, or a new row is added.
  void Remember(std::string_view catalog, const disk::Volume& volume, const std::string& folder);
  void SetNote(uint32_t recno, std::string_view note);
  // Why the table cannot be used, as a sentence naming its file; "" when it
  // can. A table missing from a folder that cannot be written is no
  // problem: it has no rows.
  const std::string& Problem() const;
  // A catalog renamed or deleted takes its rows along.
  void RenameCatalog(std::string_view oldName, std::string_view newName);
  void DeleteCatalog(std::string_view name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where a record's file is now, found through its catalog's volumes.
struct ResolvedPath {
  enum class State {
    Unknown,       // no volume of the catalog holds the path: the path as stored
    Here,          // its volume is mounted where it was: the path as stored
    Elsewhere,     // its volume is mounted at another place: `path` there
    NotConnected,  // its volume is not mounted: `label` (or its id when it has none) names it
  } state = State::Unknown;
  std::string path;
  std::string label;
  // Here, Elsewhere, NotConnected: the deciding row's volume id, and
  // (Here, Elsewhere) the place it is mounted at now.
  std::string volumeId, mountedAt;
};

// The row whose volume's mount point (at its scan) is the longest that
// begins the stored path decides. `mountPointsOf` gives where a volume id
// is mounted now (disk::MountPointsOf; tests stand in for it).
ResolvedPath ResolvePath(const std::vector<VolumeRow>& rows, std::string_view storedPath,
                         const std::function<std::vector<std::string>(const std::string& id)>& mountPointsOf);

}  // namespace store
