// vantrell-bench: times our engine against its peers on generated records
// and prints one line per measure:
//
//   BENCH <name> ours=<s> peer=<s> ratio=<ours/peer> target=<ratio> ok|SLOW
//
// Usage: vantrell-bench [--records N] [--quick | --scale] [--dir DIR] [--measure NAME]...
//
// This file holds the options and the table of measures; the measures
// themselves live in the files bench.h lists, one file per kind.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "bench.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

struct Measure {
  const char* name;
  void (Bench::*run)();
};

// Every measure, in the order a run takes them. A new measure: a member
// function of Bench declared in bench.h, defined in the file of its kind
// (engine_measures.cpp, search_measures.cpp, cmd_measures.cpp, or a new
// file for a new kind), and a row here; its name is then accepted by
// --measure and listed by --help.
const Measure kMeasures[] = {
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
    {"cmd_scan", &Bench::CmdScan},
    {"cmd_diff", &Bench::CmdDiff},
};

// What --scale runs unless measures are named: the commands that read a
// whole large table, whose cost must grow no faster than the table.
const char* const kScaleMeasures[] = {"cmd_export",      "cmd_export_csv",    "cmd_search_many",
                                      "cmd_search_none", "cmd_count_catalog", "cmd_check"};

bool IsMeasure(const std::string& name) {
  return std::any_of(std::begin(kMeasures), std::end(kMeasures),
                     [&](const Measure& m) { return name == m.name; });
}

}  // namespace

Bench::Bench(const Options& opt) : opt_(opt), dir_(opt.dir) {
  ours_.folder = (dir_ / "ours").string();
  small_.folder = (dir_ / "small").string();
  peer_ = (dir_ / "peer.sqlite").string();
  paths_ = (dir_ / "paths.txt").string();
  cmdOurs_ = (dir_ / "cmd-ours").string();
  cmdPeer_ = (dir_ / "cmd-peer.sqlite").string();
  tsv_ = (dir_ / "records.tsv").string();
  errFile_ = (dir_ / "child.err").string();
}

int Bench::Run() {
  Header();
  for (const Measure& measure : kMeasures) {
    const char* name = measure.name;
    if (!opt_.measures.empty() &&
        std::find(opt_.measures.begin(), opt_.measures.end(), name) == opt_.measures.end())
      continue;
    try {
      Settle();
      (this->*measure.run)();
    } catch (const std::exception& e) {
      ++failed_;
      std::printf("BENCH %s FAILED: %s\n", name, e.what());
      std::fflush(stdout);
    }
  }
  Note(std::to_string(slow_) + " SLOW, " + std::to_string(failed_) + " failed");
  return failed_ ? 1 : 0;
}

namespace {

void Usage(FILE* to) {
  std::fprintf(to,
               "usage: vantrell-bench [--records N] [--quick | --scale] [--dir DIR] [--measure NAME]...\n"
               "  --records N     records of the large table (default 1000000)\n"
               "  --quick         100000 records unless --records is given\n"
               "  --scale         10000000 records unless --records is given, and unless\n"
               "                  measures are named only the reading commands:");
  for (const char* m : kScaleMeasures) std::fprintf(to, " %s", m);
  std::fprintf(to,
               "\n"
               "                  (needs about 10 GB in the work folder and takes many minutes)\n"
               "  --dir DIR       work folder; kept, and reused by a later run with the same\n"
               "                  record count (default: a temporary folder, removed)\n"
               "  --measure NAME  run only this measure (repeatable, or comma separated)\n"
               "measures:");
  for (const Measure& m : kMeasures) std::fprintf(to, " %s", m.name);
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
    } else if (a == "--scale") {
      opt.scale = true;
    } else if (a == "--dir") {
      opt.dir = value();
    } else if (a == "--measure") {
      std::string list = value();
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string m = list.substr(start, comma == std::string::npos ? std::string::npos
                                                                      : comma - start);
        if (!IsMeasure(m)) {
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
  if (opt.quick && opt.scale) {
    std::fprintf(stderr, "vantrell-bench: --quick and --scale exclude each other\n");
    return 2;
  }
  if (opt.quick && !opt.recordsGiven) opt.records = 100000;
  if (opt.scale && !opt.recordsGiven) opt.records = 10000000;
  if (opt.scale && opt.measures.empty()) opt.measures.assign(std::begin(kScaleMeasures), std::end(kScaleMeasures));

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
