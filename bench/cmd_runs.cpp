// Whole processes: the command-line tool and the sqlite3 shell run as
// processes of their own, their databases each made by its own side's
// import, and two sides compared run against run.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench.h"

#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {
namespace {

// The sqlite3 shell's table: the same six columns and the same index.
constexpr char kShellSchema[] =
    "CREATE TABLE r(catalog TEXT, title TEXT, name TEXT, size TEXT, date TEXT, descr TEXT)";
constexpr char kShellIndex[] = "CREATE INDEX r_catalog_title ON r(catalog, upper(title))";

}  // namespace

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


}  // namespace bench
