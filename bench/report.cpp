// The lines the benchmark program prints: the run's header, one BENCH line
// per figure (a time against the peer's, or a peak against the memory
// budget) and the notes.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"

namespace bench {
namespace {

constexpr double kMemoryBudgetMb = 128;

}  // namespace

void Note(const std::string& text) {
  std::printf("# %s\n", text.c_str());
  std::fflush(stdout);
}

void Bench::Header() {
  std::printf("BENCH-RUN records=%zu cores=%u quick=%s%s\n", opt_.records,
              std::thread::hardware_concurrency(), opt_.quick ? "yes" : "no", opt_.scale ? " scale=yes" : "");
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

// The median times against each other, and our largest peak against the
// memory budget.
void Bench::ReportPair(const char* name, const std::vector<Measured>& ours,
                       const std::vector<Measured>& peer, double target) {
  std::vector<double> o, p;
  long kb = 0;
  for (const Measured& m : ours) {
    o.push_back(m.seconds);
    kb = std::max(kb, m.maxRssKb);
  }
  for (const Measured& m : peer) p.push_back(m.seconds);
  Report(name, Median(o), Median(p), target);
  ReportMemory(std::string(name) + "_rss", kb);
}

}  // namespace bench
