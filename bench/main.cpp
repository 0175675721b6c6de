// vantrell-bench: times our engine against its peers on generated records
// and prints one line per measure:
//
//   BENCH <name> ours=<s> peer=<s> ratio=<ours/peer> target=<ratio> ok|SLOW
//
// Usage: vantrell-bench [--records N] [--quick] [--dir DIR] [--measure NAME]...
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "datagen.h"
#include "ours.h"
#include "peer.h"
#include "proc.h"
#include "xbase.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

const char* const kMeasures[] = {"append",          "open_first",      "select_catalog",
                                 "search_like",     "search_grep",     "post_edit",
                                 "reindex",         "pack",            "peak_rss",
                                 "cmd_import",      "cmd_export",      "cmd_export_csv",
                                 "cmd_search_many", "cmd_search_none", "cmd_count_catalog",
                                 "cmd_check",       "cmd_pack",        "cmd_reindex"};

constexpr uint64_t kSeed = 0x5EED2019;
constexpr size_t kSmallRecords = 10000;
constexpr int kSelectRows = 50;
constexpr int kEdits = 201;
constexpr double kMemoryBudgetMb = 128;
// Runs of each side of a whole-process measure (the median is compared).
constexpr int kCmdRuns = 3;

// The sqlite3 shell's table: the same six columns and the same index.
constexpr char kShellSchema[] =
    "CREATE TABLE r(catalog TEXT, title TEXT, name TEXT, size TEXT, date TEXT, descr TEXT)";
constexpr char kShellIndex[] = "CREATE INDEX r_catalog_title ON r(catalog, upper(title))";

// One side of a whole-process measure. Standard output goes to /dev/null
// unless it is a short answer that is checked.
struct Side {
  std::vector<std::string> argv;
  bool keepOut = false;
  bool cLocale = false;
  bool anyExit = false;  // grep -c answers 1 when it counted nothing
};

struct Options {
  size_t records = 1000000;
  bool recordsGiven = false;
  bool quick = false;
  std::string dir;
  std::vector<std::string> measures;
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

template <class F>
double Time(F&& f) {
  auto start = std::chrono::steady_clock::now();
  f();
  return Seconds(std::chrono::steady_clock::now() - start);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// Median wall time of `runs` calls of f.
template <class F>
double MedianTime(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(Time(f));
  return Median(t);
}

// Writes every dirty page out before a timed region, so neither side pays
// for the write-back of files the setup (or the other side) just wrote.
void Settle() { sync(); }

void Note(const std::string& text) {
  std::printf("# %s\n", text.c_str());
  std::fflush(stdout);
}

class Bench {
 public:
  explicit Bench(const Options& opt) : opt_(opt), dir_(opt.dir) {
    ours_.folder = (dir_ / "ours").string();
    small_.folder = (dir_ / "small").string();
    peer_ = (dir_ / "peer.sqlite").string();
    paths_ = (dir_ / "paths.txt").string();
    cmdOurs_ = (dir_ / "cmd-ours").string();
    cmdPeer_ = (dir_ / "cmd-peer.sqlite").string();
    tsv_ = (dir_ / "records.tsv").string();
    errFile_ = (dir_ / "child.err").string();
  }

  int Run();

 private:
  void Header();
  void Report(const char* name, double ours, double peer, double target);
  void EnsureBuilt();
  void Build(bool timed);
  void EnsureSmall();
  void EnsurePathsFile();
  double OursSearchFigure();
  void ReportMemory(const std::string& name, long kb);
  const std::string& Tool();
  Measured Exec(const Side& side);
  int64_t Answer(const Side& side);
  void EnsureTsv();
  void EnsureCmdBuilt();
  Measured ToolImport(const std::string& folder);
  Measured ShellImport(const std::string& db);
  void CheckCmdCounts(const std::string& folder, const std::string& db, size_t expected);
  void ReportPair(const char* name, const std::vector<Measured>& ours,
                  const std::vector<Measured>& peer);
  void Compare(const char* name, const Side& ours, const Side& peer, bool writes);

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

  Options opt_;
  fs::path dir_;
  Location ours_, small_;
  std::string peer_, paths_;
  std::string cmdOurs_, cmdPeer_, tsv_, errFile_, tool_;
  Dataset data_;
  bool built_ = false, cmdBuilt_ = false;
  std::optional<double> oursSearch_;
  int slow_ = 0, failed_ = 0;
};

void Bench::Header() {
  std::printf("BENCH-RUN records=%zu cores=%u quick=%s\n", opt_.records,
              std::thread::hardware_concurrency(), opt_.quick ? "yes" : "no");
  auto start = std::chrono::steady_clock::now();
  data_ = Generate(opt_.records, kSeed);
  double took = Seconds(std::chrono::steady_clock::now() - start);
  char line[400];
  const double rows = double(std::max<size_t>(1, data_.rows.size()));
  std::snprintf(line, sizeof line,
                "data: %zu rows (%.0f MB of text), %zu catalogs, \"%s\" %zu rows, \"%s\" in %zu "
                "paths (%.2f%%), \"%s\" in %zu paths (%.1f%%), generated in %.1f s",
                data_.rows.size(), double(data_.rows.arenaBytes()) / 1e6, data_.catalogs.size(),
                std::string(kBigCatalog).c_str(), data_.bigCatalogRows,
                std::string(kSearchWord).c_str(), data_.searchHits,
                100.0 * double(data_.searchHits) / rows, std::string(kManyWord).c_str(),
                data_.manyHits, 100.0 * double(data_.manyHits) / rows, took);
  Note(line);
}

void Bench::Report(const char* name, double ours, double peer, double target) {
  double ratio = peer > 0 ? ours / peer : 0;
  bool ok = peer > 0 && ratio <= target;
  if (!ok) ++slow_;
  std::printf("BENCH %s ours=%.6f peer=%.6f ratio=%.3f target=%.1f %s\n", name, ours, peer, ratio,
              target, ok ? "ok" : "SLOW");
  std::fflush(stdout);
}

// The rows of both engines, built once per folder; a folder of an earlier
// run with the same record count is reused.
void Bench::EnsureBuilt() {
  if (built_) return;
  std::ifstream marker(dir_ / "built");
  size_t records = 0;
  if (marker >> records && records == opt_.records && fs::exists(ours_.dbf()) &&
      fs::exists(peer_)) {
    built_ = true;
    return;
  }
  Note("building both databases (not timed)");
  Build(false);
}

void Bench::Build(bool timed) {
  fs::remove(dir_ / "built");
  fs::remove_all(ours_.folder);
  fs::remove(peer_);
  fs::create_directories(ours_.folder);
  Settle();
  double ours = Time([&] { OursCreateAndAppend(ours_, data_.rows); });
  Settle();
  double peer = Time([&] { PeerCreateAndInsert(peer_, data_.rows); });
  std::ofstream(dir_ / "built") << opt_.records << "\n";
  built_ = true;
  if (timed) Report("append", ours, peer, 1.0);
}

// The 10,000-record table the open measure compares with.
void Bench::EnsureSmall() {
  std::ifstream marker(fs::path(small_.folder) / "built");
  size_t records = 0;
  if (marker >> records && records == kSmallRecords && fs::exists(small_.dbf())) return;
  fs::remove_all(small_.folder);
  fs::create_directories(small_.folder);
  Dataset small = Generate(kSmallRecords, kSeed + 1);
  OursCreateAndAppend(small_, small.rows);
  std::ofstream(fs::path(small_.folder) / "built") << kSmallRecords << "\n";
}

void Bench::EnsurePathsFile() {
  std::ifstream marker(dir_ / "paths.built");
  size_t records = 0;
  if (marker >> records && records == opt_.records && fs::exists(paths_)) return;
  std::ofstream out(paths_, std::ios::binary);
  for (size_t i = 0; i < data_.rows.size(); ++i) {
    std::string_view p = data_.rows.field(i, kName);
    out.write(p.data(), std::streamsize(p.size()));
    out.put('\n');
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + paths_);
  std::ofstream(dir_ / "paths.built") << opt_.records << "\n";
}

void Bench::Append() { Build(true); }

void Bench::OpenFirst() {
  EnsureBuilt();
  EnsureSmall();
  constexpr int kOpens = 9;
  double big = MedianTime(kOpens, [&] { OursOpenFirst(ours_); });
  double small = MedianTime(kOpens, [&] { OursOpenFirst(small_); });
  Report("open_first", big, small, 3.0);
}

void Bench::SelectCatalog() {
  EnsureBuilt();
  constexpr int kRuns = 5;
  int64_t oursCount = 0, peerCount = 0;
  double ours = MedianTime(kRuns, [&] {
    oursCount = OursSelectCatalog(ours_, kBigCatalog, kSelectRows);
  });
  double peer = MedianTime(kRuns, [&] {
    peerCount = PeerSelectCatalog(peer_, kBigCatalog, kSelectRows);
  });
  if (oursCount != int64_t(data_.bigCatalogRows) || peerCount != int64_t(data_.bigCatalogRows))
    Note("warning: catalog count ours=" + std::to_string(oursCount) + " peer=" +
         std::to_string(peerCount) + " generated=" + std::to_string(data_.bigCatalogRows));
  Report("select_catalog", ours, peer, 1.0);
}

double Bench::OursSearchFigure() {
  if (oursSearch_) return *oursSearch_;
  EnsureBuilt();
  constexpr int kRuns = 3;
  size_t hits = 0;
  double t = MedianTime(kRuns, [&] { hits = OursFindInNames(ours_, kSearchWord); });
  if (hits != data_.searchHits)
    Note("warning: search hits ours=" + std::to_string(hits) +
         " generated=" + std::to_string(data_.searchHits));
  oursSearch_ = t;
  return t;
}

void Bench::SearchLike() {
  double ours = OursSearchFigure();
  constexpr int kRuns = 3;
  int64_t hits = 0;
  double peer = MedianTime(kRuns, [&] { hits = PeerCountLike(peer_, kSearchWord); });
  if (hits != int64_t(data_.searchHits))
    Note("warning: search hits sqlite=" + std::to_string(hits) +
         " generated=" + std::to_string(data_.searchHits));
  Report("search_like", ours, peer, 1.0);
}

void Bench::SearchGrep() {
  double ours = OursSearchFigure();
  EnsurePathsFile();
  constexpr int kRuns = 3;
  std::vector<double> times;
  std::string out;
  for (int i = 0; i < kRuns; ++i) {
    ChildResult r = RunChild({"grep", "-ci", std::string(kSearchWord), paths_}, true);
    if (r.exitCode != 0 && r.exitCode != 1)
      throw std::runtime_error("grep failed with exit code " + std::to_string(r.exitCode));
    times.push_back(r.seconds);
    out = r.out;
  }
  if (std::strtoull(out.c_str(), nullptr, 10) != data_.searchHits)
    Note("warning: search hits grep=" + out.substr(0, out.find('\n')) +
         " generated=" + std::to_string(data_.searchHits));
  Report("search_grep", ours, Median(times), 2.0);
}

void Bench::PostEdit() {
  EnsureBuilt();
  // The same records and titles on both sides, chosen before any clock.
  Rng rng(kSeed + 7);
  std::vector<uint32_t> recnos;
  std::vector<std::string> titles;
  for (int i = 0; i < kEdits; ++i) {
    recnos.push_back(uint32_t(1 + rng.below(data_.rows.size())));
    titles.push_back(RandomTitle(rng));
  }
  std::vector<double> ours, peer;
  Settle();
  {
    OursEditor editor(ours_);
    for (int i = 0; i < kEdits; ++i)
      ours.push_back(Time([&] { editor.EditTitle(recnos[i], titles[i]); }));
  }
  Settle();
  {
    PeerEditor editor(peer_);
    for (int i = 0; i < kEdits; ++i)
      peer.push_back(Time([&] { editor.EditTitle(recnos[i], titles[i]); }));
  }
  // Both sides make each edit durable before it returns (our Post syncs the
  // files it wrote; SQLite commits with synchronous=FULL), so the figures
  // compare the same promise.
  Report("post_edit", Median(ours), Median(peer), 1.0);
}

void Bench::Reindex() {
  EnsureBuilt();
  constexpr int kRounds = 3;
  std::vector<double> ours, peer;
  for (int round = 0; round < kRounds; ++round) {
    Settle();
    ours.push_back(Time([&] { OursReindex(ours_); }));
    Settle();
    peer.push_back(Time([&] { PeerReindex(peer_); }));
  }
  Report("reindex", Median(ours), Median(peer), 1.0);
}

// Packs copies, so the databases stay whole for any later measure. Each
// side gets its own folder and runs its setup right before its own timing;
// the rounds alternate the sides and the medians are compared, since a
// single pack of several hundred megabytes varies a lot with the state of
// the file system.
void Bench::Pack() {
  EnsureBuilt();
  constexpr int kRounds = 3;
  const size_t tenth = data_.rows.size() / 10, expected = data_.rows.size() - tenth;
  std::vector<double> ours, peer;
  for (int round = 0; round < kRounds; ++round) {
    fs::path oursFolder = dir_ / "pack-ours";
    fs::remove_all(oursFolder);
    fs::create_directories(oursFolder);
    Location copy{oursFolder.string(), ours_.file};
    for (const std::string& f :
         {ours_.dbf(), xbase::MemoPathFor(ours_.dbf()), xbase::IndexPathFor(ours_.dbf())})
      if (fs::exists(f)) fs::copy_file(f, oursFolder / fs::path(f).filename());
    size_t oursDeleted = OursDeleteEveryTenth(copy);
    Settle();
    ours.push_back(Time([&] { OursPack(copy); }));
    int64_t oursLeft = OursCount(copy);
    fs::remove_all(oursFolder);

    fs::path peerFolder = dir_ / "pack-peer";
    fs::remove_all(peerFolder);
    fs::create_directories(peerFolder);
    std::string peerCopy = (peerFolder / "peer.sqlite").string();
    fs::copy_file(peer_, peerCopy);
    int64_t peerDeleted = PeerDeleteEveryTenth(peerCopy);
    Settle();
    peer.push_back(Time([&] { PeerVacuum(peerCopy); }));
    int64_t peerLeft = PeerCount(peerCopy);
    fs::remove_all(peerFolder);

    if (round > 0) continue;
    if (oursDeleted != tenth || peerDeleted != int64_t(tenth))
      Note("warning: deleted ours=" + std::to_string(oursDeleted) +
           " peer=" + std::to_string(peerDeleted) + " expected=" + std::to_string(tenth));
    if (oursLeft != int64_t(expected) || peerLeft != int64_t(expected))
      Note("warning: after pack ours=" + std::to_string(oursLeft) +
           " peer=" + std::to_string(peerLeft) + " expected=" + std::to_string(expected));
  }
  Report("pack", Median(ours), Median(peer), 1.0);
}

// The memory measure runs in a process of its own, so nothing of this one
// (the generated rows above all) counts.
void Bench::PeakRss() {
  EnsureBuilt();
  ChildResult r = RunChild(
      {SelfExecutable(), "--child-peak-rss", ours_.folder, std::string(kBigCatalog)}, false);
  long long rows = -1;
  long kb = -1;
  if (r.exitCode != 0 || std::sscanf(r.out.c_str(), "rows=%lld rss_kb=%ld", &rows, &kb) != 2)
    throw std::runtime_error("the memory child failed (exit " + std::to_string(r.exitCode) +
                             "): " + r.out);
  if (rows != (long long)data_.bigCatalogRows)
    Note("warning: walked " + std::to_string(rows) + " rows of " +
         std::to_string(data_.bigCatalogRows));
  ReportMemory("peak_rss", kb);
}

// A peak resident size against the memory budget: ours in MiB, the budget
// as the peer figure.
void Bench::ReportMemory(const std::string& name, long kb) {
  double mb = double(kb) / 1024.0;
  double ratio = mb / kMemoryBudgetMb;
  bool ok = ratio <= 1.0;
  if (!ok) ++slow_;
  std::printf("BENCH %s ours=%.1f peer=%.0f ratio=%.3f target=1.0 %s\n", name.c_str(), mb,
              kMemoryBudgetMb, ratio, ok ? "ok" : "SLOW");
  std::fflush(stdout);
}

// --- whole processes: the command-line tool against the sqlite3 shell -------------

// vantrell-db from the same build folder as this program.
const std::string& Bench::Tool() {
  if (tool_.empty()) {
    std::string path = (fs::path(SelfExecutable()).parent_path() / "vantrell-db").string();
    if (access(path.c_str(), X_OK) != 0)
      throw std::runtime_error(path + " not found; build the vantrell-db target");
    tool_ = path;
  }
  return tool_;
}

Measured Bench::Exec(const Side& side) {
  Measured m = RunMeasured(side.argv, side.keepOut, side.cLocale, errFile_);
  if (m.exitCode != 0 && !(side.anyExit && m.exitCode > 0)) {
    std::string cmd = side.argv[0];
    if (side.argv.size() > 1) cmd += " " + side.argv[1];
    throw std::runtime_error(cmd + " exited with " + std::to_string(m.exitCode) + ": " +
                             m.err.substr(0, m.err.find('\n')));
  }
  return m;
}

// The number a short answer ends with (a count, the hits of a search).
int64_t Bench::Answer(const Side& side) {
  Side kept = side;
  kept.keepOut = true;
  std::string out = Exec(kept).out;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  size_t lastLine = out.rfind('\n');
  return std::strtoll(out.c_str() + (lastLine == std::string::npos ? 0 : lastLine + 1), nullptr,
                      10);
}

// The records as the tool imports them: six tab-separated fields a line.
void Bench::EnsureTsv() {
  std::ifstream marker(dir_ / "records.built");
  size_t records = 0;
  if (marker >> records && records == opt_.records && fs::exists(tsv_)) return;
  std::ofstream out(tsv_, std::ios::binary);
  std::string line;
  for (size_t i = 0; i < data_.rows.size(); ++i) {
    line.clear();
    for (int f = 0; f < kDesc; ++f) {
      line += data_.rows.field(i, Field(f));
      line += '\t';
    }
    for (char c : data_.rows.field(i, kDesc)) {
      switch (c) {
        case '\\': line += "\\\\"; break;
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c;
      }
    }
    line += '\n';
    out.write(line.data(), std::streamsize(line.size()));
  }
  out.close();
  if (!out) throw std::runtime_error("cannot write " + tsv_);
  std::ofstream(dir_ / "records.built") << opt_.records << "\n";
}

// A fresh database of the tool (made by its create command, not timed)
// and the timed import of every record into it.
Measured Bench::ToolImport(const std::string& folder) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  Exec({{Tool(), "create", folder}});
  Settle();
  return Exec({{Tool(), "import", folder, tsv_}});
}

// A fresh file of the shell: the table, every record imported, the index.
Measured Bench::ShellImport(const std::string& db) {
  fs::remove(db);
  Settle();
  return Exec({{"sqlite3", "-batch", db, kShellSchema, ".mode tabs",
                ".import \"" + tsv_ + "\" r", kShellIndex}});
}

void Bench::CheckCmdCounts(const std::string& folder, const std::string& db, size_t expected) {
  int64_t ours = Answer({{Tool(), "count", folder}});
  int64_t peer = Answer({{"sqlite3", db, "SELECT count(*) FROM r"}});
  if (ours != int64_t(expected) || peer != int64_t(expected))
    Note("warning: records ours=" + std::to_string(ours) + " sqlite3=" + std::to_string(peer) +
         " expected=" + std::to_string(expected));
}

// The databases of the tool and of the shell, each made by its own import;
// reused while the record count is the same.
void Bench::EnsureCmdBuilt() {
  if (cmdBuilt_) return;
  std::ifstream marker(dir_ / "cmd.built");
  size_t records = 0;
  if (marker >> records && records == opt_.records && fs::exists(cmdPeer_) &&
      fs::exists(fs::path(cmdOurs_) / "VTLDataA.dbf")) {
    cmdBuilt_ = true;
    return;
  }
  Note("importing into the tool's and the sqlite3 shell's databases (not timed)");
  EnsureTsv();
  ToolImport(cmdOurs_);
  ShellImport(cmdPeer_);
  CheckCmdCounts(cmdOurs_, cmdPeer_, data_.rows.size());
  std::ofstream(dir_ / "cmd.built") << opt_.records << "\n";
  cmdBuilt_ = true;
}

// The median times against each other, and our largest peak against the
// memory budget.
void Bench::ReportPair(const char* name, const std::vector<Measured>& ours,
                       const std::vector<Measured>& peer) {
  std::vector<double> o, p;
  long kb = 0;
  for (const Measured& m : ours) {
    o.push_back(m.seconds);
    kb = std::max(kb, m.maxRssKb);
  }
  for (const Measured& m : peer) p.push_back(m.seconds);
  Report(name, Median(o), Median(p), 1.0);
  ReportMemory(std::string(name) + "_rss", kb);
}

// Runs the two sides in turn, kCmdRuns rounds; a measure that writes
// starts each run with the dirty pages written out.
void Bench::Compare(const char* name, const Side& ours, const Side& peer, bool writes) {
  EnsureCmdBuilt();
  std::vector<Measured> o, p;
  for (int round = 0; round < kCmdRuns; ++round) {
    if (writes) Settle();
    o.push_back(Exec(ours));
    if (writes) Settle();
    p.push_back(Exec(peer));
  }
  ReportPair(name, o, p);
}

// The import of every record, each run into fresh files; the last run's
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

int Bench::Run() {
  Header();
  std::map<std::string, void (Bench::*)()> table = {
      {"append", &Bench::Append},
      {"open_first", &Bench::OpenFirst},
      {"select_catalog", &Bench::SelectCatalog},
      {"search_like", &Bench::SearchLike},
      {"search_grep", &Bench::SearchGrep},
      {"post_edit", &Bench::PostEdit},
      {"reindex", &Bench::Reindex},
      {"pack", &Bench::Pack},
      {"peak_rss", &Bench::PeakRss},
      {"cmd_import", &Bench::CmdImport},
      {"cmd_export", &Bench::CmdExport},
      {"cmd_export_csv", &Bench::CmdExportCsv},
      {"cmd_search_many", &Bench::CmdSearchMany},
      {"cmd_search_none", &Bench::CmdSearchNone},
      {"cmd_count_catalog", &Bench::CmdCountCatalog},
      {"cmd_check", &Bench::CmdCheck},
      {"cmd_pack", &Bench::CmdPack},
      {"cmd_reindex", &Bench::CmdReindex},
  };
  for (const char* name : kMeasures) {
    if (!opt_.measures.empty() &&
        std::find(opt_.measures.begin(), opt_.measures.end(), name) == opt_.measures.end())
      continue;
    try {
      Settle();
      (this->*table.at(name))();
    } catch (const std::exception& e) {
      ++failed_;
      std::printf("BENCH %s FAILED: %s\n", name, e.what());
      std::fflush(stdout);
    }
  }
  Note(std::to_string(slow_) + " SLOW, " + std::to_string(failed_) + " failed");
  return failed_ ? 1 : 0;
}

// The hidden child of the memory measure: open, select the catalog, walk
// it reading every field, report the peak resident size.
int ChildPeakRss(const std::string& folder, const std::string& catalog) {
  Location at{folder};
  int64_t rows = OursWalkCatalog(at, catalog);
  std::printf("rows=%" PRId64 " rss_kb=%ld\n", rows, PeakRssKb());
  return 0;
}

void Usage(FILE* to) {
  std::fprintf(to,
               "usage: vantrell-bench [--records N] [--quick] [--dir DIR] [--measure NAME]...\n"
               "  --records N     records of the large table (default 1000000)\n"
               "  --quick         100000 records unless --records is given\n"
               "  --dir DIR       work folder; kept, and reused by a later run with the same\n"
               "                  record count (default: a temporary folder, removed)\n"
               "  --measure NAME  run only this measure (repeatable, or comma separated)\n"
               "measures:");
  for (const char* m : kMeasures) std::fprintf(to, " %s", m);
  std::fprintf(to, "\n");
}

bool ParseCount(const char* text, size_t& out) {
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (errno || end == text || *end || v < 100 || v > 50000000 || text[0] == '-') return false;
  out = size_t(v);
  return true;
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  using namespace bench;
  if (argc >= 2 && std::string(argv[1]) == "--launch") return LaunchMain(argc, argv);
  if (argc == 4 && std::string(argv[1]) == "--child-peak-rss") {
    try {
      return ChildPeakRss(argv[2], argv[3]);
    } catch (const std::exception& e) {
      std::printf("error: %s\n", e.what());
      return 1;
    }
  }

  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "vantrell-bench: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--records") {
      if (!ParseCount(value(), opt.records)) {
        std::fprintf(stderr, "vantrell-bench: --records wants a number from 100 to 50000000\n");
        return 2;
      }
      opt.recordsGiven = true;
    } else if (a == "--quick") {
      opt.quick = true;
    } else if (a == "--dir") {
      opt.dir = value();
    } else if (a == "--measure") {
      std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string m = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                      : comma - start);
        if (std::find(std::begin(kMeasures), std::end(kMeasures), m) == std::end(kMeasures)) {
          std::fprintf(stderr, "vantrell-bench: no measure named \"%s\"\n", m.c_str());
          Usage(stderr);
          return 2;
        }
        opt.measures.push_back(m);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--help" || a == "-h") {
      Usage(stdout);
      return 0;
    } else {
      std::fprintf(stderr, "vantrell-bench: unknown argument \"%s\"\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (opt.quick && !opt.recordsGiven) opt.records = 100000;

  // Without --dir the run works in a temporary folder of its own.
  bool ownDir = opt.dir.empty();
  std::error_code ec;
  if (ownDir) {
    std::string tmpl = (fs::temp_directory_path(ec) / "vantrell-bench.XXXXXX").string();
    if (ec || !mkdtemp(tmpl.data())) {
      std::fprintf(stderr, "vantrell-bench: cannot make a temporary folder\n");
      return 1;
    }
    opt.dir = tmpl;
  } else if (!fs::is_directory(opt.dir, ec)) {
    std::fprintf(stderr, "vantrell-bench: --dir %s is not a folder\n", opt.dir.c_str());
    return 2;
  }

  int rc = 1;
  try {
    Bench bench(opt);
    rc = bench.Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrell-bench: %s\n", e.what());
  }
  if (ownDir) fs::remove_all(opt.dir, ec);
  return rc;
}
