// A catalog against real folder trees in a temporary folder: what is new,
// changed, missing and moved; disks not mounted, mounted elsewhere or taken
// away meanwhile; the differences applied; the volume table beside the
// catalog.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "catalogdiff.h"
#include "catalogops.h"
#include "datatables.h"
#include "filetexts.h"
#include "folder.h"
#include "records.h"
#include "schema.h"
#include "setup.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

constexpr int64_t kTime = 1500000000;  // 2017, an even second

class CatalogDiffTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.Valid());
    root_ = fs::path(tmp_.Path()).make_preferred().string();
    dir_ = root_ + Sep() + "data";
    ASSERT_TRUE(testfiles::MakeFolders(dir_));
    ASSERT_TRUE(store::CreateDatabaseFilesUtf8(dir_).ok());
    std::vector<std::string> problems;
    store::ConfigureDataTables(dm_, dir_, problems);
    ASSERT_TRUE(problems.empty());
    dm_.ApTable1.Open();
    dm_.ApTable2.Open();
  }

  static std::string Sep() { return std::string(1, char(fs::path::preferred_separator)); }
  std::string At(const std::string& relative) const {
    return (fs::path(root_) / fs::path(relative).make_preferred()).string();
  }

  // A file of `size` bytes written at `mtime`.
  void File(const std::string& relative, size_t size, int64_t mtime = kTime) {
    const std::string path = At(relative);
    ASSERT_TRUE(testfiles::MakeFolders(fs::path(path).parent_path().string()));
    ASSERT_TRUE(testfiles::WriteFile(path, std::string(size, 'x')));
    SetTime(relative, mtime);
  }
  void SetTime(const std::string& relative, int64_t mtime) {
    const auto since = std::chrono::seconds(mtime) - std::chrono::duration_cast<std::chrono::seconds>(
                                                         std::chrono::system_clock::now().time_since_epoch());
    fs::last_write_time(At(relative), fs::file_time_type::clock::now() + since);
  }
  // A record of the file as it is now, with the tool's texts.
  void Record(const std::string& relative, const std::string& title = {}, const std::string& desc = {}) {
    const std::string path = At(relative);
    const auto size = int64_t(fs::file_size(path));
    testsupport::AppendRecords(dm_.ApTable1, dm_.ApTable2,
                               {{"Disk", title.empty() ? "t " + relative : title, path, disk::SizeFieldTextOf(size),
                                 disk::DateFieldText(disk::DosDateOf(kTime)), desc}});
  }
  void RecordOf(const std::string& relative, const std::string& size, const std::string& date) {
    testsupport::AppendRecords(dm_.ApTable1, dm_.ApTable2, {{"Disk", "t " + relative, At(relative), size, date, {}}});
  }
  disk::Volume Volume(const std::string& id, const std::string& label, const std::string& mount) {
    disk::Volume v;
    v.id = id;
    v.label = label;
    v.mountPoint = At(mount);
    return v;
  }
  // "kind path" of each entry, paths below the temporary folder.
  std::vector<std::string> Lines(const store::DiffResult& r) const {
    std::vector<std::string> out;
    const auto rel = [&](const std::string& p) { return fs::path(p).lexically_relative(root_).generic_string(); };
    for (const store::DiffEntry& e : r.entries)
      out.push_back(std::string(store::DiffKindWord(e.kind)) + " " + rel(e.path) +
                    (e.kind == store::DiffKind::Moved ? " < " + rel(e.storedPath) : ""));
    return out;
  }

  testfiles::TempFolder tmp_;
  std::string root_, dir_;
  store::DataTables dm_;
};

TEST_F(CatalogDiffTest, FindsEachKindAndNeverCallsAnUnseenDiskMissing) {
  // disk1: mounted where it was.
  for (const char* f : {"disk1/tree/keep.txt", "disk1/tree/grow.txt", "disk1/tree/touched.txt", "disk1/tree/gone.txt",
                        "disk1/tree/old/moved.bin", "disk1/tree/a/same.txt", "disk1/tree/b/same.txt"})
    File(f, 10);
  File("disk1/tree/locale.txt", 1234);
  for (const char* f : {"disk1/tree/keep.txt", "disk1/tree/grow.txt", "disk1/tree/touched.txt", "disk1/tree/gone.txt",
                        "disk1/tree/old/moved.bin", "disk1/tree/a/same.txt", "disk1/tree/b/same.txt"})
    Record(f);
  // Texts as the window writes them in a locale: they name the file as it is.
  const std::string localeDate = disk::DateFieldText(disk::DosDateOf(kTime));  // "2017-07-14 ..."
  RecordOf("disk1/tree/locale.txt", "1.234",
           localeDate.substr(8, 2) + "." + localeDate.substr(5, 2) + "." + localeDate.substr(0, 4) + " " +
               localeDate.substr(11));
  RecordOf("disk1/tree/.settings", "1", localeDate);  // hidden: the walk never looks
  // disk2: not mounted. disk3: mounted at copy3 now, holding the same files.
  File("disk2/tree/far.txt", 3);
  Record("disk2/tree/far.txt");
  fs::remove(At("disk2/tree/far.txt"));
  File("disk3/tree/x/y.txt", 4);
  Record("disk3/tree/x/y.txt");
  fs::rename(At("disk3"), At("copy3"));

  store::VolumeTable volumes(dm_.ApolloEnv1, dir_);
  ASSERT_EQ(volumes.Problem(), "");
  volumes.Remember("Disk", Volume("id-1", "ONE", "disk1"), At("disk1/tree"));
  volumes.Remember("Disk", Volume("id-2", "TWO", "disk2"), At("disk2/tree"));
  volumes.Remember("Disk", Volume("id-3", "", "disk3"), At("disk3/tree"));

  // Then the disk changes.
  File("disk1/tree/grow.txt", 11);
  SetTime("disk1/tree/touched.txt", kTime + 3600);
  fs::remove(At("disk1/tree/gone.txt"));
  fs::create_directories(At("disk1/tree/new"));
  fs::rename(At("disk1/tree/old/moved.bin"), At("disk1/tree/new/moved.bin"));
  fs::remove(At("disk1/tree/a/same.txt"));  // two missing of one name, size and date,
  fs::remove(At("disk1/tree/b/same.txt"));
  File("disk1/tree/c/same.txt", 10);  // one new like them: no telling which moved
  File("disk1/tree/fresh.txt", 5);
  // A folder that cannot be read is listed; its records are not missing.
  bool locked = false;
#ifndef _WIN32
  File("disk1/tree/locked/inside.txt", 2);
  Record("disk1/tree/locked/inside.txt");
  fs::permissions(At("disk1/tree/locked"), fs::perms::none);
  locked = ::geteuid() != 0;  // the superuser reads it all the same
#endif

  store::DiffOptions options;
  options.mountPointsOf = [&](const std::string& id) -> std::vector<std::string> {
    if (id == "id-1") return {At("disk1")};
    if (id == "id-3") return {At("copy3")};
    return {};
  };
  // What the walk meets is heard as it goes: the changed files, and every
  // file no record names (the moved one among them, as new).
  std::vector<std::string> heard;
  options.found = [&](const store::DiffEntry& e) {
    heard.push_back(std::string(store::DiffKindWord(e.kind)) + " " + fs::path(e.path).lexically_relative(root_).generic_string());
  };
  const store::DiffResult r = store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options);
  options.found = {};
  std::sort(heard.begin(), heard.end());
  EXPECT_EQ(heard, (std::vector<std::string>{"changed disk1/tree/grow.txt", "changed disk1/tree/touched.txt",
                                             "new disk1/tree/c/same.txt", "new disk1/tree/fresh.txt",
                                             "new disk1/tree/new/moved.bin"}));
#ifndef _WIN32
  fs::permissions(At("disk1/tree/locked"), fs::perms::owner_all);
#endif
  EXPECT_EQ(r.error, "");
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(r.notConnected, std::vector<std::string>{"TWO"});
  EXPECT_EQ(Lines(r), (std::vector<std::string>{
                          "new disk1/tree/c/same.txt",
                          "new disk1/tree/fresh.txt",
                          "changed disk1/tree/grow.txt",
                          "changed disk1/tree/touched.txt",
                          "missing disk1/tree/a/same.txt",
                          "missing disk1/tree/b/same.txt",
                          "missing disk1/tree/gone.txt",
                          "moved disk1/tree/new/moved.bin < disk1/tree/old/moved.bin",
                      }));
  if (locked) {
    ASSERT_EQ(r.skipped.size(), 1u);
    EXPECT_EQ(r.skipped[0].path, At("disk1/tree/locked"));
  }

  // The disk taken away during the walk: nothing is told of it, least of
  // all that every file is missing.
  int asked = 0;
  options.mountPointsOf = [&](const std::string& id) -> std::vector<std::string> {
    if (id == "id-1" && ++asked == 1) return {At("disk1")};
    return {};
  };
  options.folders = {At("disk1/tree")};
  const store::DiffResult away = store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options);
  EXPECT_NE(away.error.find("'ONE'"), std::string::npos) << away.error;
  EXPECT_TRUE(away.entries.empty());
}

TEST_F(CatalogDiffTest, RefreshAppliesEachKindRecordByRecordAndAStopKeepsWhatWasApplied) {
  for (const char* f : {"t/grow.txt", "t/gone.txt", "t/old/moved.bin"}) File(f, 10);
  Record("t/grow.txt");
  Record("t/gone.txt");
  Record("t/old/moved.bin", "Holiday film", "shot in June");
  File("t/grow.txt", 12, kTime + 60);
  fs::remove(At("t/gone.txt"));
  fs::create_directories(At("t/new"));
  fs::rename(At("t/old/moved.bin"), At("t/new/moved.bin"));
  File("t/" + std::string(70, 'n') + ".txt", 1);

  store::VolumeTable volumes(dm_.ApolloEnv1, dir_);
  store::DiffOptions options;
  options.folders = {At("t")};
  store::DiffResult r = store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options);
  ASSERT_EQ(r.entries.size(), 4u) << testing::PrintToString(Lines(r));

  // Stopped before the third entry: the first two stay applied.
  store::RefreshResult stop = store::ApplyRefresh(dm_.ApTable1, volumes, "Disk", r.entries, {},
                                                  [](uint64_t done, uint64_t) { return done < 2; });
  EXPECT_TRUE(stop.stopped);
  EXPECT_EQ(stop.added + stop.updated + stop.followed + stop.deleted, 2u);
  EXPECT_EQ(Lines(store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options)),
            (std::vector<std::string>{"missing t/gone.txt", "moved t/new/moved.bin < t/old/moved.bin"}));

  r = store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options);
  const store::RefreshResult rest = store::ApplyRefresh(dm_.ApTable1, volumes, "Disk", r.entries, {}, {});
  EXPECT_FALSE(rest.stopped);
  EXPECT_EQ(rest.deleted, 1u);
  EXPECT_EQ(rest.followed, 1u);
  EXPECT_TRUE(store::CompareCatalog(dm_.ApTable1, volumes, "Disk", options).entries.empty());

  // What each record holds now.
  std::map<std::string, std::vector<std::string>> records;
  for (dm_.ApTable1.First(); !dm_.ApTable1.Eof(); dm_.ApTable1.Next())
    records[fs::path(dm_.ApTable1.FieldByName(store::kFieldName)).lexically_relative(root_).generic_string()] = {
        dm_.ApTable1.FieldByName(store::kFieldTitle), dm_.ApTable1.FieldByName(store::kFieldSize),
        dm_.ApTable1.FieldByName(store::kFieldDate), dm_.ApTable1.FieldByName(store::kFieldDesc)};
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records["t/grow.txt"][1], "12");
  EXPECT_EQ(records["t/grow.txt"][2], disk::DateFieldText(disk::DosDateOf(kTime + 60)));
  EXPECT_EQ(records["t/new/moved.bin"][0], "Holiday film");
  EXPECT_EQ(records["t/new/moved.bin"][3], "shot in June");
  // The title of a new file is cut to its field on a whole character.
  const std::string title = records["t/" + std::string(70, 'n') + ".txt"][0];
  EXPECT_EQ(title, ("new record ~~~~ " + std::string(70, 'n')).substr(0, 80));
}

TEST_F(CatalogDiffTest, VolumesFollowTheirCatalogAndADamagedTableStandsAside) {
  File("t/a.txt", 1);
  Record("t/a.txt");
  {
    store::VolumeTable volumes(dm_.ApolloEnv1, dir_);
    volumes.Remember("Disk", Volume("id-1", "ONE", "t"), At("t"));
    volumes.Remember("Disk", Volume("id-1", "ONE", "t"), At("t"));  // the same row again
  }
  store::RenameCatalog(dm_, "Disk", "Films");
  store::VolumeTable volumes(dm_.ApolloEnv1, dir_);
  EXPECT_TRUE(volumes.Rows("Disk").empty());
  ASSERT_EQ(volumes.Rows("Films").size(), 1u);
  EXPECT_EQ(volumes.Rows("Films")[0].volume.label, "ONE");
  store::DeleteCatalogName(dm_, "Films");
  EXPECT_TRUE(volumes.Rows().empty());

  // A damaged table: told, and the compare goes on without volumes.
  ASSERT_TRUE(testfiles::WriteFile(store::DataFilePathUtf8(dir_, store::kVolumeTable), "not a table"));
  store::VolumeTable damaged(dm_.ApolloEnv1, dir_);
  EXPECT_NE(damaged.Problem().find(store::kVolumeTable), std::string::npos) << damaged.Problem();
  EXPECT_TRUE(damaged.Rows().empty());
  store::DiffOptions options;
  options.folders = {At("t")};
  File("t/b.txt", 1);
  EXPECT_EQ(Lines(store::CompareCatalog(dm_.ApTable1, damaged, "Films", options)),
            std::vector<std::string>{"new t/b.txt"});
}

}  // namespace
