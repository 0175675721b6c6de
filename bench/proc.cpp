#include "proc.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, bool cLocale) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    if (cLocale && (std::strncmp(*e, "LC_", 3) == 0 || std::strncmp(*e, "LANG", 4) == 0)) continue;
    envText.emplace_back(*e);
  }
  if (cLocale) envText.emplace_back("LC_ALL=C");
  std::vector<char*> env;
  for (std::string& e : envText) env.push_back(e.data());
  env.push_back(nullptr);

  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  Fd readEnd{fds[0]}, writeEnd{fds[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, readEnd.fd);

  ChildResult result;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  close(writeEnd.fd);
  writeEnd.fd = -1;

  char buf[4096];
  for (;;) {
    ssize_t n = read(readEnd.fd, buf, sizeof buf);
    if (n > 0) {
      result.out.append(buf, size_t(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  return result;
}

std::string SelfExecutable() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find the running program: " + ec.message());
  return p.string();
}

// getrusage's ru_maxrss is kept across execve: a child started from this
// (large) process would report the parent's peak. The high-water mark of the
// process's own address space (VmHWM) starts afresh at exec, so it is read
// first; ru_maxrss only where /proc is not there.
long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;  // kilobytes on Linux
}

}  // namespace bench
