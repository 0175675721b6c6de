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

const char* const kMeasures[] = {"append",    "open_first", "select_catalog",
                                 "search_like", "search_grep", "post_edit",
                                 "reindex",   "pack",       "peak_rss"};

constexpr uint64_t kSeed = 0x5EED2019;
constexpr size_t kSmallRecords = 10000;
constexpr int kSelectRows = 50;
constexpr int kEdits = 201;
constexpr double kMemoryBudgetMb = 128;

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

  void Append();
  void OpenFirst();
  void SelectCatalog();
  void SearchLike();
  void SearchGrep();
  void PostEdit();
  void Reindex();
  void Pack();
  void PeakRss();

  Options opt_;
  fs::path dir_;
  Location ours_, small_;
  std::string peer_, paths_;
  Dataset data_;
  bool built_ = false;
  std::optional<double> oursSearch_;
  int slow_ = 0, failed_ = 0;
};

void Bench::Header() {
  std::printf("BENCH-RUN records=%zu cores=%u quick=%s\n", opt_.records,
              std::thread::hardware_concurrency(), opt_.quick ? "yes" : "no");
  auto start = std::chrono::steady_clock::now();
  data_ = Generate(opt_.records, kSeed);
  double took = Seconds(std::chrono::steady_clock::now() - start);
  char line[300];
  std::snprintf(line, sizeof line,
                "data: %zu rows (%.0f MB of text), %zu catalogs, \"%s\" %zu rows, \"%s\" in %zu "
                "paths (%.2f%%), generated in %.1f s",
                data_.rows.size(), double(data_.rows.arenaBytes()) / 1e6, data_.catalogs.size(),
                std::string(kBigCatalog).c_str(), data_.bigCatalogRows,
                std::string(kSearchWord).c_str(), data_.searchHits,
                100.0 * double(data_.searchHits) / double(std::max<size_t>(1, data_.rows.size())),
                took);
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
  double mb = double(kb) / 1024.0;
  double ratio = mb / kMemoryBudgetMb;
  bool ok = ratio <= 1.0;
  if (!ok) ++slow_;
  std::printf("BENCH peak_rss ours=%.1f peer=%.0f ratio=%.3f target=1.0 %s\n", mb,
              kMemoryBudgetMb, ratio, ok ? "ok" : "SLOW");
  std::fflush(stdout);
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
