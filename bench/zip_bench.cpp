// vantrell-zip-bench: the zip lister and the unzip layer against zipinfo and
// unzip on the same archives, made with the zip tool in the folder given:
//
//   BENCH zip_list ours=<s> peer=<s> ratio=<ours/peer> target=1.0 ok|SLOW
//   BENCH zip_extract ours=<s> peer=<s> ratio=<ours/peer> target=1.0 ok|SLOW
//
// Usage: vantrell-zip-bench --dir DIR [--entries N] [--files N]
// (POSIX: the peers run as child processes.)
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "unzip.h"
#include "ziplister.h"

extern char** environ;

namespace {

double Seconds(const std::function<void()>& run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs a program (looked up in PATH) with its output sent to /dev/null;
// the wall seconds from spawn to reaped. Throws when it fails.
double RunQuiet(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed");
  return s;
}

// The output of a program run in a folder; throws when it fails.
QByteArray Output(const QString& program, const QStringList& args, const QString& folder = QString()) {
  QProcess p;
  if (!folder.isEmpty()) p.setWorkingDirectory(folder);
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    throw std::runtime_error((program + " failed: " + QString::fromLocal8Bit(p.readAllStandardError())).toStdString());
  return p.readAllStandardOutput();
}

// `files` small or empty files in folders of 1,000 (100 for smaller sets),
// zipped with the zip tool into `archive`, unless it already holds them.
// The files stay until the end of the run (see main).
void MakeArchive(const QString& root, const QString& archive, int files) {
  const QString marker = archive + ".count";
  QFile m(marker);
  if (QFileInfo::exists(archive) && m.open(QIODevice::ReadOnly) && m.readAll().toInt() == files) return;
  m.close();
  const QString src = root + "/src-" + QFileInfo(archive).baseName();
  QDir(src).removeRecursively();
  QFile::remove(archive);
  const int perFolder = files >= 100000 ? 1000 : 100;
  std::string text;
  for (int i = 0; i < files; ++i) {
    const QString folder = QStringLiteral("%1/folder-%2").arg(src).arg(i / perFolder, 3, 10, QLatin1Char('0'));
    if (i % perFolder == 0) QDir().mkpath(folder);
    const QByteArray path = QFile::encodeName(QStringLiteral("%1/file-%2.txt").arg(folder).arg(i, 6, 10, QLatin1Char('0')));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + path.toStdString());
    // Every third file empty, the others a few lines of text.
    text.clear();
    for (int k = 0; k < (i % 3) * (1 + i % 7); ++k) text += "line " + std::to_string(k) + " of file " + std::to_string(i) + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == (ssize_t)text.size();
    ::close(fd);
    if (!ok) throw std::runtime_error("cannot write " + path.toStdString());
  }
  Output("zip", {"-q", "-r", archive, QFileInfo(src).fileName()}, root);
  if (m.open(QIODevice::WriteOnly)) m.write(QByteArray::number(files));
}

int FileCount(const QString& folder) {
  int n = 0;
  QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    it.next();
    ++n;
  }
  return n;
}

void Report(const char* name, double ours, double peer) {
  const double ratio = peer > 0 ? ours / peer : 0;
  std::printf("BENCH %s ours=%.6f peer=%.6f ratio=%.3f target=1.0 %s\n", name, ours, peer, ratio,
              peer > 0 && ratio <= 1.0 ? "ok" : "SLOW");
  std::fflush(stdout);
}

// Listing: ListArchive in this process against `zipinfo -1` (best of 3 each).
void BenchList(const QString& root, int entries) {
  const QString archive = root + "/list.zip";
  MakeArchive(root, archive, entries);
  const zip::Listing listing = zip::ListArchive(archive);
  const int peerLines = (int)Output("zipinfo", {"-1", archive}).count('\n');
  std::printf("# zip_list: %zu entries listed, zipinfo lists %d%s\n", listing.entries.size(), peerLines,
              listing.error.isEmpty() ? "" : qPrintable(", error: " + listing.error));
  if ((int)listing.entries.size() != peerLines) throw std::runtime_error("the listings differ");
  double ours = 1e9, peer = 1e9;
  for (int i = 0; i < 3; ++i) {
    size_t n = 0;
    ours = std::min(ours, Seconds([&] { n = zip::ListArchive(archive).entries.size(); }));
    if (n != listing.entries.size()) throw std::runtime_error("a listing came short");
    peer = std::min(peer, RunQuiet({"zipinfo", "-1", archive.toStdString()}));
  }
  Report("zip_list", ours, peer);
}

// Extraction of every file, folders recreated, overwriting on, into an
// empty folder: Extract against `unzip -q -o` (best of 3 each). Each run
// gets a folder of its own and the sides take turns going first; nothing
// is deleted until the end of the run, as a file system may create files
// more slowly for a while after many were deleted (ext4 without a journal
// passes over inodes freed in the last minute). Dirty pages are written
// out before each run.
void BenchExtract(const QString& root, int files) {
  const QString archive = root + "/extract.zip";
  MakeArchive(root, archive, files);
  double ours = 1e9, peer = 1e9;
  for (int round = 0; round < 3; ++round) {
    const QString oursDir = QStringLiteral("%1/out-ours-%2").arg(root).arg(round);
    const QString peerDir = QStringLiteral("%1/out-peer-%2").arg(root).arg(round);
    QDir().mkpath(oursDir);
    auto runOurs = [&] {
      sync();
      zip::ExtractResult r;
      ours = std::min(ours, Seconds([&] { r = zip::Extract(archive, oursDir, {}, {true, true}); }));
      if (r.extracted != files || !r.error.isEmpty())
        throw std::runtime_error("extracted " + std::to_string(r.extracted) + " files " + r.error.toStdString());
    };
    auto runPeer = [&] {
      sync();
      peer = std::min(peer, RunQuiet({"unzip", "-q", "-o", archive.toStdString(), "-d", peerDir.toStdString()}));
    };
    if (round % 2 == 0) {
      runOurs();
      runPeer();
    } else {
      runPeer();
      runOurs();
    }
    if (round == 0) {
      const int written = FileCount(oursDir), peerWritten = FileCount(peerDir);
      std::printf("# zip_extract: %d files extracted, unzip wrote %d\n", written, peerWritten);
      if (written != peerWritten) throw std::runtime_error("the extractions differ");
    }
  }
  Report("zip_extract", ours, peer);
}

}  // namespace

int main(int argc, char** argv) {
  QString dir;
  int entries = 100000, files = 10000;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string opt = argv[i];
    if (opt == "--dir") dir = QString::fromLocal8Bit(argv[i + 1]);
    else if (opt == "--entries") entries = std::max(1, std::atoi(argv[i + 1]));
    else if (opt == "--files") files = std::max(1, std::atoi(argv[i + 1]));
  }
  if (dir.isEmpty()) {
    std::fprintf(stderr, "usage: vantrell-zip-bench --dir DIR [--entries N] [--files N]\n");
    return 2;
  }
  const QString root = dir + "/zip-bench";
  QDir().mkpath(root);
  // The source files and extracted folders of the run; the archives stay
  // for another run on the same folder.
  auto cleanUp = [&] {
    for (const QString& d : QDir(root).entryList({"src-*", "out-*"}, QDir::Dirs | QDir::NoDotAndDotDot))
      QDir(root + "/" + d).removeRecursively();
  };
  cleanUp();
  int failed = 0;
  for (const auto& [name, run] : {std::pair<const char*, std::function<void()>>{"zip_list", [&] { BenchList(root, entries); }},
                                  {"zip_extract", [&] { BenchExtract(root, files); }}}) {
    try {
      run();
    } catch (const std::exception& e) {
      ++failed;
      std::printf("BENCH %s FAILED: %s\n", name, e.what());
      std::fflush(stdout);
    }
  }
  cleanUp();
  return failed ? 1 : 0;
}
