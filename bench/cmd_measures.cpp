// The command-line tool's commands (vantrell-db import, export, search,
// count, check, pack, reindex, scan, diff) against the sqlite3 shell, grep,
// find or a find | sort | comm pipeline doing the same, each side a whole
// process.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "bench.h"
#include "peer.h"

namespace fs = std::filesystem;

namespace bench {

// databases serve the later measures.
void Bench::CmdImport() {
  EnsureTsv();
  fs::remove(dir_ / "cmd.built");
  cmdBuilt_ = false;
  std::vector<Measured> ours, peer;
  for (int round = 0; round < kCmdRuns; ++round) {
    ours.push_back(ToolImport(cmdOurs_));
    peer.push_back(ShellImport(cmdPeer_));
  }
  CheckCmdCounts(cmdOurs_, cmdPeer_, data_.rows.size());
  std::ofstream(dir_ / "cmd.built") << opt_.records << "\n";
  cmdBuilt_ = true;
  ReportPair("cmd_import", ours, peer);
}

void Bench::CmdExport() {
  Compare("cmd_export", {{Tool(), "export", cmdOurs_}},
          {{"sqlite3", "-tabs", cmdPeer_, "SELECT * FROM r"}}, false);
}

void Bench::CmdExportCsv() {
  Compare("cmd_export_csv", {{Tool(), "export", cmdOurs_, "--csv"}},
          {{"sqlite3", "-csv", cmdPeer_, "SELECT * FROM r"}}, false);
}

void Bench::CmdSearchMany() {
  EnsureCmdBuilt();
  const std::string word(kManyWord);
  Side ours{{Tool(), "search", cmdOurs_, word}};
  Side peer{{"sqlite3", "-tabs", cmdPeer_,
             "SELECT catalog, title, name, size, date FROM r WHERE name LIKE '%" + word + "%'"}};
  int64_t hits = Answer(ours);
  if (hits != int64_t(data_.manyHits))
    Note("warning: search hits ours=" + std::to_string(hits) +
         " generated=" + std::to_string(data_.manyHits));
  Compare("cmd_search_many", ours, peer, false);
}

// The floor of a search that finds nothing: grep reading a file of the
// paths alone.
void Bench::CmdSearchNone() {
  EnsureCmdBuilt();
  EnsurePathsFile();
  const std::string word(kNoneWord);
  Side ours{{Tool(), "search", cmdOurs_, word}, true};
  Side peer{{"grep", "-ci", word, paths_}, true, true, true};
  int64_t oursHits = Answer(ours), grepHits = Answer(peer);
  if (oursHits != 0 || grepHits != 0)
    Note("warning: hits of \"" + word + "\" ours=" + std::to_string(oursHits) +
         " grep=" + std::to_string(grepHits));
  Compare("cmd_search_none", ours, peer, false);
}

void Bench::CmdCountCatalog() {
  EnsureCmdBuilt();
  const std::string catalog(kBigCatalog);
  Side ours{{Tool(), "count", cmdOurs_, catalog}, true};
  Side peer{{"sqlite3", cmdPeer_, "SELECT count(*) FROM r WHERE catalog = '" + catalog + "'"}, true};
  int64_t oursCount = Answer(ours), peerCount = Answer(peer);
  if (oursCount != int64_t(data_.bigCatalogRows) || peerCount != int64_t(data_.bigCatalogRows))
    Note("warning: catalog count ours=" + std::to_string(oursCount) + " sqlite3=" +
         std::to_string(peerCount) + " generated=" + std::to_string(data_.bigCatalogRows));
  Compare("cmd_count_catalog", ours, peer, false);
}

void Bench::CmdCheck() {
  EnsureCmdBuilt();
  Side ours{{Tool(), "check", cmdOurs_}, true};
  Side peer{{"sqlite3", cmdPeer_, "PRAGMA integrity_check"}, true};
  Measured o = Exec(ours), p = Exec(peer);
  if (o.out != "ok\n" || p.out != "ok\n")
    Note("warning: check ours=\"" + o.out.substr(0, 80) + "\" sqlite3=\"" + p.out.substr(0, 80) +
         "\"");
  Compare("cmd_check", ours, peer, false);
}

// Packs copies: every tenth record deleted first, through our engine and
// through SQLite in this process (not timed), then the tool's pack against
// the shell's VACUUM.
void Bench::CmdPack() {
  EnsureCmdBuilt();
  const size_t tenth = data_.rows.size() / 10, expected = data_.rows.size() - tenth;
  const fs::path oursFolder = dir_ / "cmd-pack-ours";
  const std::string peerCopy = (dir_ / "cmd-pack-peer.sqlite").string();
  std::vector<Measured> ours, peer;
  for (int round = 0; round < kCmdRuns; ++round) {
    fs::remove_all(oursFolder);
    fs::create_directories(oursFolder);
    for (const fs::directory_entry& e : fs::directory_iterator(cmdOurs_))
      if (e.is_regular_file()) fs::copy_file(e.path(), oursFolder / e.path().filename());
    size_t oursDeleted = OursDeleteEveryTenth(Location{oursFolder.string()});
    Settle();
    ours.push_back(Exec({{Tool(), "pack", oursFolder.string()}}));

    fs::remove(peerCopy);
    fs::copy_file(cmdPeer_, peerCopy);
    int64_t peerDeleted = PeerDeleteEveryTenth(peerCopy, "r");
    Settle();
    peer.push_back(Exec({{"sqlite3", peerCopy, "VACUUM"}}));

    if (round == 0) {
      if (oursDeleted != tenth || peerDeleted != int64_t(tenth))
        Note("warning: deleted ours=" + std::to_string(oursDeleted) +
             " peer=" + std::to_string(peerDeleted) + " expected=" + std::to_string(tenth));
      CheckCmdCounts(oursFolder.string(), peerCopy, expected);
    }
  }
  fs::remove_all(oursFolder);
  fs::remove(peerCopy);
  ReportPair("cmd_pack", ours, peer);
}

void Bench::CmdReindex() {
  Compare("cmd_reindex", {{Tool(), "reindex", cmdOurs_}}, {{"sqlite3", cmdPeer_, "REINDEX"}},
          true);
}
}  // namespace bench

// --- a catalog against its folder tree (scan, diff) ---------------------------------

namespace bench {
namespace {

constexpr size_t kTreeFolders = 1000;
constexpr size_t kScanFiles = 100000;
constexpr int64_t kTreeTime = 1500000000;  // every file's time, an even second

void SetTime(const std::string& path, int64_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + path);
}

void MakeFile(const std::string& path, size_t bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  static const char kText[16] = "0123456789abcde";
  const bool ok = bytes == 0 || ::write(fd, kText, bytes) == ssize_t(bytes);
  ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
  SetTime(path, kTreeTime);
}

std::string FileOf(const fs::path& tree, size_t i, size_t files) {
  const size_t perFolder = std::max<size_t>(1, files / kTreeFolders);
  char name[64];
  std::snprintf(name, sizeof name, "folder%04zu/file%07zu.dat", i / perFolder, i);
  return (tree / name).string();
}

// `files` files (empty or a few bytes) in 1,000 folders below `tree`, made
// once: a marker beside it holds the count.
bool MakeTree(const fs::path& tree, const fs::path& marker, size_t files) {
  std::ifstream in(marker);
  size_t made = 0;
  if (in >> made && made == files && fs::exists(tree)) return false;
  fs::remove_all(tree);
  fs::remove(marker);
  for (size_t f = 0; f < kTreeFolders; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "folder%04zu", f);
    fs::create_directories(tree / name);
  }
  for (size_t i = 0; i < files; ++i) MakeFile(FileOf(tree, i, files), i % 3 == 0 ? 0 : 1 + i % 15);
  std::ofstream(marker) << files << "\n";
  return true;
}

}  // namespace

// vantrell-db scan of 100,000 files in 1,000 folders into a new database
// (made by create, not timed) against find listing the same tree.
void Bench::CmdScan() {
  const fs::path tree = dir_ / "scan-tree";
  if (MakeTree(tree, dir_ / "scan-tree.built", kScanFiles)) Note("made a tree of 100000 files (not timed)");
  const std::string folder = (dir_ / "cmd-scan").string();
  std::vector<Measured> ours, peer;
  for (int round = 0; round < kCmdRuns; ++round) {
    fs::remove_all(folder);
    Exec({{Tool(), "create", folder}});
    Settle();
    ours.push_back(Exec({{Tool(), "scan", folder, "Scanned", tree.string()}}));
    Settle();
    peer.push_back(Exec({{"find", tree.string(), "-printf", "%p %s %T@\n"}}));
  }
  if (Answer({{Tool(), "count", folder}}) != int64_t(kScanFiles)) Note("warning: scan did not add every file");
  fs::remove_all(folder);
  ReportPair("cmd_scan", ours, peer, 2.0);
}

// vantrell-db diff of a catalog of as many files as records (in 1,000
// folders, scanned once, not timed), after 1 % of them changed: half of
// those touched with another time, a quarter removed, a quarter added. The
// peer lists the tree with find, sorts the list and compares it with comm
// against the list taken before the change (sorted once, not timed).
void Bench::CmdDiff() {
  const size_t files = opt_.records;
  const fs::path tree = dir_ / "diff-tree", marker = dir_ / "diff-tree.built";
  const std::string folder = (dir_ / "cmd-diff").string(), stored = (dir_ / "diff-stored.txt").string();
  const std::string listing = "find '" + tree.string() + "' -type f -printf '%p\\t%s\\t%T@\\n' | sort";
  std::ifstream in(marker);
  size_t made = 0;
  if (!(in >> made && made == files && fs::exists(fs::path(folder) / "VTLDataA.dbf") && fs::exists(stored))) {
    Note("making a tree of " + std::to_string(files) + " files, scanning it and changing 1 % (not timed)");
    fs::remove(marker);
    MakeTree(tree, dir_ / "diff-tree.files", files);
    fs::remove_all(folder);
    Exec({{Tool(), "create", folder}});
    Exec({{Tool(), "scan", folder, "Tree", tree.string()}});
    Exec({{"sh", "-c", listing + " > '" + stored + "'"}, false, true});
    const size_t changed = std::max<size_t>(4, files / 100);
    for (size_t k = 0; k < changed; ++k) {
      const size_t i = (k * 7919 + 13) % files;
      const std::string path = FileOf(tree, i, files);
      if (!fs::exists(path)) continue;
      if (k % 4 < 2)
        SetTime(path, kTreeTime + 86400);
      else if (k % 4 == 2)
        fs::remove(path);
      else
        MakeFile(path.substr(0, path.size() - 4) + ".new", 3);
    }
    // The tree was made and changed: it is not the scan's tree any more.
    fs::remove(dir_ / "diff-tree.files");
    std::ofstream(marker) << files << "\n";
  }
  Side ours{{Tool(), "diff", folder, "Tree"}};
  ours.anyExit = true;
  Side peer{{"sh", "-c", listing + " | comm -3 - '" + stored + "'"}, false, true};
  std::vector<Measured> o, p;
  for (int round = 0; round < kCmdRuns; ++round) {
    o.push_back(Exec(ours));
    p.push_back(Exec(peer));
    if (o.back().exitCode != 1) Note("warning: diff exited with " + std::to_string(o.back().exitCode) + ", not 1");
  }
  ReportPair("cmd_diff", o, p, 2.0);
}

}  // namespace bench
