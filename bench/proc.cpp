#include "proc.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// This process's environment, with LC_ALL=C in place of every locale
// setting when cLocale is set.
class ChildEnvironment {
 public:
  explicit ChildEnvironment(bool cLocale) {
    for (char** e = environ; *e; ++e) {
      if (cLocale && (std::strncmp(*e, "LC_", 3) == 0 || std::strncmp(*e, "LANG", 4) == 0))
        continue;
      text_.emplace_back(*e);
    }
    if (cLocale) text_.emplace_back("LC_ALL=C");
    for (std::string& e : text_) ptrs_.push_back(e.data());
    ptrs_.push_back(nullptr);
  }
  char** get() { return ptrs_.data(); }

 private:
  std::vector<std::string> text_;
  std::vector<char*> ptrs_;
};

constexpr char kLaunchMark[] = "\n@launch ";

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, bool cLocale) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ChildEnvironment env(cLocale);

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
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), env.get());
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

Measured RunMeasured(const std::vector<std::string>& argv, bool keepOut, bool cLocale,
                     const std::string& errFile) {
  std::vector<std::string> launch = {SelfExecutable(), "--launch", keepOut ? "keep" : "null",
                                     errFile, cLocale ? "c" : "-"};
  launch.insert(launch.end(), argv.begin(), argv.end());
  ChildResult r = RunChild(launch, false);
  size_t mark = r.out.rfind(kLaunchMark);
  if (mark == std::string::npos)
    throw std::runtime_error("the launcher of " + argv[0] + " failed (exit " +
                             std::to_string(r.exitCode) + ")");
  std::string line = r.out.substr(mark + std::strlen(kLaunchMark));
  Measured m;
  if (std::sscanf(line.c_str(), "exit=%d seconds=%lf maxrss_kb=%ld", &m.exitCode, &m.seconds,
                  &m.maxRssKb) != 3)
    throw std::runtime_error("cannot start " + argv[0] + ": " + line.substr(0, line.find('\n')));
  m.out = r.out.substr(0, mark);
  std::ifstream err(errFile, std::ios::binary);
  char buf[600];
  err.read(buf, sizeof buf);
  m.err.assign(buf, size_t(err.gcount()));
  return m;
}

// Spawns the program with the launcher's own small address space as the
// one replaced at exec, then reports what wait4 says of it.
int LaunchMain(int argc, char** argv) {
  if (argc < 6) {
    std::printf("%snot enough arguments\n", kLaunchMark);
    return 2;
  }
  const bool keepOut = std::strcmp(argv[2], "keep") == 0;
  ChildEnvironment env(std::strcmp(argv[4], "c") == 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!keepOut) posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, argv[3], O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::fflush(stdout);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, argv[5], &actions, nullptr, argv + 5, env.get());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    std::printf("%s%s\n", kLaunchMark, std::strerror(rc));
    return 1;
  }
  int status = 0;
  rusage ru{};
  while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%sexit=%d seconds=%.6f maxrss_kb=%ld\n", kLaunchMark,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1, seconds, ru.ru_maxrss);
  return 0;
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
