// The benchmark program's run: the options, the generated rows and the
// folders both sides work in, the measures (one member function each,
// defined in the file of its kind) and the lines they print.
//
//   engine_measures.cpp  our engine in this process against SQLite
//   search_measures.cpp  the search in the paths against SQLite and grep
//   cmd_runs.cpp         whole processes: the tool and the sqlite3 shell, their databases
//   cmd_measures.cpp     the command-line tool's commands against the shell's
//   report.cpp           the header, the BENCH lines and the notes
//   main.cpp             the options and the table of measures
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "datagen.h"
#include "ours.h"
#include "proc.h"
#include "timing.h"

namespace bench {

constexpr uint64_t kSeed = 0x5EED2019;
// Runs of each side of a whole-process measure (the median is compared).
constexpr int kCmdRuns = 3;

struct Options {
  size_t records = 1000000;
  bool recordsGiven = false;
  bool quick = false;
  bool scale = false;  // the reading commands on 10,000,000 records
  std::string dir;
  std::vector<std::string> measures;
};

// One side of a whole-process measure. Standard output goes to /dev/null
// unless it is a short answer that is checked.
struct Side {
  std::vector<std::string> argv;
  bool keepOut = false;
  bool cLocale = false;
  bool anyExit = false;  // grep -c answers 1 when it counted nothing
};

// A note line: "# text".
void Note(const std::string& text);

class Bench {
 public:
  explicit Bench(const Options& opt);

  // Runs the measures of the table in main.cpp that the options chose.
  int Run();

  // The measures, each printing its BENCH lines.
  void Append();
  void OpenFirst();
  void SelectCatalog();
  void SearchLike();
  void SearchGrep();
  void PostEdit();
  void Reindex();
  void Pack();
  void PeakRss();
  void CmdImport();
  void CmdExport();
  void CmdExportCsv();
  void CmdSearchMany();
  void CmdSearchNone();
  void CmdCountCatalog();
  void CmdCheck();
  void CmdPack();
  void CmdReindex();
  void CmdScan();
  void CmdDiff();

 private:
  // report.cpp
  void Header();
  void Report(const char* name, double ours, double peer, double target);
  void ReportMemory(const std::string& name, long kb);
  void ReportPair(const char* name, const std::vector<Measured>& ours,
                  const std::vector<Measured>& peer, double target = 1.0);
  // engine_measures.cpp
  void EnsureBuilt();
  void Build(bool timed);
  void EnsureSmall();
  // search_measures.cpp
  void EnsurePathsFile();
  double OursSearchFigure();
  // cmd_runs.cpp
  const std::string& Tool();
  Measured Exec(const Side& side);
  int64_t Answer(const Side& side);
  void EnsureTsv();
  void EnsureCmdBuilt();
  Measured ToolImport(const std::string& folder);
  Measured ShellImport(const std::string& db);
  void CheckCmdCounts(const std::string& folder, const std::string& db, size_t expected);
  void Compare(const char* name, const Side& ours, const Side& peer, bool writes);

  Options opt_;
  std::filesystem::path dir_;
  Location ours_, small_;
  std::string peer_, paths_;
  std::string cmdOurs_, cmdPeer_, tsv_, errFile_, tool_;
  Dataset data_;
  bool built_ = false, cmdBuilt_ = false;
  std::optional<double> oursSearch_;
  int slow_ = 0, failed_ = 0;
};

// The hidden child of the memory measure (vantrell-bench --child-peak-rss
// FOLDER CATALOG): open, select the catalog, walk it reading every field,
// print the rows and the peak resident size.
int ChildPeakRss(const std::string& folder, const std::string& catalog);

}  // namespace bench
