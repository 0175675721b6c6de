#include "backup.h"

#include "volumetable.h"

#include <filesystem>
#include <system_error>

#include <file.h>
#include <paths.h>

#include "folder.h"
#include "schema.h"

namespace store {

namespace {

namespace fs = std::filesystem;

// Beside the backup copy it replaces: the new copy while it is written,
// the old one while the new set takes its place.
constexpr char kNewSuffix[] = ".new";
constexpr char kOldSuffix[] = ".old";
constexpr size_t kCopyChunk = 1u << 20;

fs::path Fs(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8(const fs::path& p) {
  const std::u8string s = p.generic_u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

// Copies a file whole and syncs the copy; throws xbase::Error naming the
// file that could not be read or written.
void CopySynced(const std::string& from, const std::string& to) {
  xbase::File in;
  in.Open(from, xbase::File::Mode::ReadOnly);
  xbase::File out;
  out.Open(to, xbase::File::Mode::Truncate);
  std::vector<char> buffer(kCopyChunk);
  uint64_t at = 0;
  for (;;) {
    const size_t n = in.ReadSome(at, buffer.data(), buffer.size());
    if (n == 0) break;
    out.WriteAt(at, buffer.data(), n);
    at += n;
  }
  out.Sync();
}

}  // namespace

std::string BackupFolderUtf8(const std::string& dataDir) {
  fs::path data = Fs(dataDir).lexically_normal();
  // "data/" names the folder "data", not an empty name inside it.
  if (!data.has_filename() && data.has_parent_path() && data != data.root_path()) data = data.parent_path();
  std::error_code ec;
  const fs::path absolute = fs::absolute(data, ec);
  if (!ec) data = absolute;
  return Utf8(data.parent_path() / "Backup");
}

std::vector<std::string> BackupFileNames() {
  return {kCatalogTable, kCatalogIndex, kRecordsTable, kRecordsIndex, kRecordsMemo, kVolumeTable, kVolumeMemo};
}

BackupResult BackupDatabaseOf(DataTables& db, const std::string& dataDir, const std::string& backupDir) {
  // Every posted change is on disk before a byte is copied.
  for (xbase::Table* t : {&db.ApTable2, &db.ApTable1, &db.ApTable3})
    if (t->Active()) t->Flush();

  BackupResult result;
  std::error_code ec;
  fs::create_directories(Fs(backupDir), ec);
  if (ec || !IsFolder(backupDir)) {
    result.problem = "the backup folder " + NativeSeparators(backupDir) + " cannot be created" +
                     (ec ? ": " + ec.message() : std::string());
    return result;
  }

  const std::vector<std::string> names = BackupFileNames();
  auto target = [&](const std::string& name) { return DataFilePathUtf8(backupDir, name.c_str()); };
  auto fresh = [&](const std::string& name) { return target(name) + kNewSuffix; };
  auto aside = [&](const std::string& name) { return target(name) + kOldSuffix; };
  auto dropFresh = [&] {
    for (const std::string& name : names) xbase::TryRemoveFile(fresh(name));
  };

  for (const std::string& name : names)
    if (Exists(target(name))) result.hadPrevious = true;

  // 1. The new copies, each beside the copy it is to replace. The index
  // files are rebuilt from the tables when missing: one that is not there
  // is left out, not a reason to refuse the backup.
  std::vector<std::string> copied;
  for (const std::string& name : names) {
    const std::string source = DataFilePathUtf8(dataDir, name.c_str());
    // The table of volumes exists once a catalog remembered one.
    const bool optional = name == kCatalogIndex || name == kRecordsIndex || name == kVolumeTable || name == kVolumeMemo;
    if (optional && !Exists(source)) {
      result.skipped.push_back(name);
      continue;
    }
    copied.push_back(name);
    try {
      CopySynced(source, fresh(name));
    } catch (const std::exception& e) {
      result.failed.push_back(name + ": " + e.what());
      xbase::TryRemoveFile(fresh(name));
    }
  }
  if (!result.failed.empty()) {
    dropFresh();
    return result;
  }

  // 2. The old set steps aside and the new one takes its place. Should a
  // rename fail, what was renamed goes back: the previous backup stays whole.
  std::vector<std::string> setAside, placed;
  auto restore = [&](const std::string& why) {
    for (const std::string& name : placed) xbase::TryRemoveFile(target(name));
    for (const std::string& name : setAside) {
      try {
        xbase::RenameFile(aside(name), target(name));
      } catch (const std::exception&) {
      }
    }
    dropFresh();
    result.problem = "the backup copies in " + NativeSeparators(backupDir) + " could not be replaced: " + why;
  };
  try {
    for (const std::string& name : names) {
      if (!Exists(target(name))) continue;
      xbase::RenameFile(target(name), aside(name));
      setAside.push_back(name);
    }
    for (const std::string& name : copied) {
      xbase::RenameFile(fresh(name), target(name));
      placed.push_back(name);
    }
    xbase::SyncFolderOf(target(names.front()));
  } catch (const std::exception& e) {
    restore(e.what());
    return result;
  }
  for (const std::string& name : setAside) xbase::TryRemoveFile(aside(name));
  return result;
}

}  // namespace store
