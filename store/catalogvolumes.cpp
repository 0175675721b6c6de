#include "catalogvolumes.h"

#include <QDir>

#include <stdexcept>

#include "datafiles.h"

namespace store {

QString FolderAsStored(const QString& folder) {
  QString shown = QDir::toNativeSeparators(QDir::cleanPath(folder));
  // A root keeps its separator ("/", "C:\\").
  if (shown.size() > 1 && shown.endsWith(QDir::separator()) && !shown.endsWith(QStringLiteral(":\\")))
    shown.chop(1);
  return shown;
}

CatalogVolumes::CatalogVolumes(xbase::Environment& env) : env_(env), mountLookup_(disk::MountPointsOf) {}

CatalogVolumes::~CatalogVolumes() = default;

void CatalogVolumes::SetFolder(const QString& dataDir) {
  Close();
  folder_ = EnginePath(dataDir);
}

void CatalogVolumes::SetMountLookup(MountLookup lookup) { mountLookup_ = std::move(lookup); }

VolumeTable& CatalogVolumes::Table(bool forWriting) {
  if (!table_ || (forWriting && !tableCreates_)) {
    table_ = std::make_unique<VolumeTable>(env_, folder_, forWriting);
    tableCreates_ = forWriting;
  }
  return *table_;
}

void CatalogVolumes::RequireUsable(bool forWriting) {
  // A table that cannot be used has no rows and takes no writes; the
  // window says why instead of showing nothing.
  // The table is made afresh at the next use: a file put right meanwhile
  // is taken up again.
  if (const std::string problem = Table(forWriting).Problem(); !problem.empty()) {
    table_.reset();
    throw std::runtime_error(problem);
  }
}

void CatalogVolumes::Close() {
  table_.reset();
  cache_.clear();
}

std::shared_ptr<const std::vector<VolumeRow>> CatalogVolumes::Rows(const QString& catalog) {
  auto found = cache_.find(catalog);
  if (found != cache_.end()) return found->second;
  RequireUsable();
  auto rows = std::make_shared<const std::vector<VolumeRow>>(Table().Rows(ToUtf8(catalog)));
  RequireUsable();  // a table found damaged as it was read
  cache_[catalog] = rows;
  return rows;
}

QString CatalogVolumes::Remember(const QString& catalog, const QString& folder) {
  disk::Volume volume;
  std::string error;
  const QString base = FolderAsStored(folder);
  if (!disk::VolumeOf(ToUtf8(base), &volume, &error))
    return "The volume of " + base + " is not known: " + FromUtf8(error);
  try {
    RequireUsable(true);
    Table(true).Remember(ToUtf8(catalog), volume, ToUtf8(base));
  } catch (const std::exception& e) {
    Changed();
    return "The volume of " + base + " was not remembered: " + FromUtf8(e.what());
  }
  Changed();
  return {};
}

void CatalogVolumes::SetNote(uint32_t recno, const QString& note) {
  Changed();
  RequireUsable(true);
  Table(true).SetNote(recno, ToUtf8(note));
}

}  // namespace store
