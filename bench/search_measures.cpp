// The search in the paths: our containing-search against SQLite's LIKE and
// against grep reading a file of the paths alone.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench.h"
#include "peer.h"

namespace fs = std::filesystem;

namespace bench {

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

}  // namespace bench
