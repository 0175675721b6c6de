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
#include "difftree.h"
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

constexpr size_t kScanFiles = 100000;

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
    ChangeOnePercent(tree, files);
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
