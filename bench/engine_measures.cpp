// The measures of our engine inside this warm process against SQLite on the
// same rows: append, open, select, single edits, reindex, pack, and the peak
// memory of a child walking a catalog.
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench.h"
#include "peer.h"
#include "xbase.h"

namespace fs = std::filesystem;

namespace bench {
namespace {

constexpr size_t kSmallRecords = 10000;
constexpr int kSelectRows = 50;
constexpr int kEdits = 201;

}  // namespace

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

// The hidden child of the memory measure: open, select the catalog, walk
// it reading every field, report the peak resident size.
int ChildPeakRss(const std::string& folder, const std::string& catalog) {
  Location at{folder};
  int64_t rows = OursWalkCatalog(at, catalog);
  std::printf("rows=%" PRId64 " rss_kb=%ld\n", rows, PeakRssKb());
  return 0;
}

}  // namespace bench
