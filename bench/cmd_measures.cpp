// The command-line tool's commands (vantrell-db import, export, search,
// count, check, pack, reindex) against the sqlite3 shell or grep doing the
// same, each side a whole process.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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
