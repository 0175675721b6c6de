// Processes on POSIX systems: posix_spawn and poll for a program run to its
// end, fork and exec for a child kept beside the test.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <thread>
#include <tuple>

#include "childprocess.h"

extern char** environ;

namespace testsupport {

namespace {

int StatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

// This process's environment with `extraEnv` put over it.
std::vector<std::string> Environment(const Args& extraEnv) {
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& x : extraEnv) replaced = replaced || entry.rfind(x.substr(0, x.find('=') + 1), 0) == 0;
    if (!replaced) envText.push_back(entry);
  }
  envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
  return envText;
}

}  // namespace

std::string SelfPath() {
#ifdef __linux__
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) return std::string(path, size_t(n));
#endif
  ADD_FAILURE() << "cannot tell the path of this program";
  return {};
}

ProcessResult RunProcess(const std::string& program, const Args& args, const std::string& input,
                         const Args& extraEnv) {
  ProcessResult r;
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
    ADD_FAILURE() << "no pipes";
    return r;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  // The program gets the default answer to a closed pipe, whatever this
  // process does with it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);

  std::vector<std::string> envText = Environment(extraEnv);
  std::vector<std::string> argText{program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> envp = Pointers(envText), argv = Pointers(argText);

  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  for (int fd : {in[0], out[1], err[1]}) ::close(fd);
  EXPECT_EQ(spawned, 0) << "cannot start " << program;
  if (spawned != 0) {
    for (int fd : {in[1], out[0], err[0]}) ::close(fd);
    return r;
  }

  // The input is written while both outputs are read, so that none of the
  // three pipes fills up and stalls the program.
  ::signal(SIGPIPE, SIG_IGN);
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  int outFd = out[0], errFd = err[0];
  char buf[65536];
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3] = {{inFd, POLLOUT, 0}, {outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) continue;
    if (inFd >= 0 && fds[0].revents) {
      const ssize_t n = ::write(inFd, input.data() + written, input.size() - written);
      if (n > 0) written += size_t(n);
      if (n < 0 || written == input.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
    for (auto [index, fd, text] : {std::tuple{1, &outFd, &r.out}, std::tuple{2, &errFd, &r.err}}) {
      if (*fd < 0 || !fds[index].revents) continue;
      const ssize_t n = ::read(*fd, buf, sizeof buf);
      if (n > 0) {
        text->append(buf, size_t(n));
      } else {
        ::close(*fd);
        *fd = -1;
      }
    }
  }
  if (inFd >= 0) ::close(inFd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.code = StatusOf(status);
  return r;
}

struct ChildProcess::Impl {
  pid_t pid = -1;
  int toChild = -1, fromChild = -1;
  int status = 0;
  std::string pending;  // read from the child, not yet returned as a line

  void CloseInput() {
    if (toChild >= 0) ::close(toChild);
    toChild = -1;
  }
  void Ended(int waitStatus) {
    status = StatusOf(waitStatus);
    pid = -1;
    CloseInput();
  }
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
  if (Running()) Kill();
  impl_->CloseInput();
  if (impl_->fromChild >= 0) ::close(impl_->fromChild);
}

bool ChildProcess::Start(const std::string& program, const Args& args, const std::string& errPath) {
  int in[2], out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) return false;
  for (int fd : {in[1], out[0]}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::vector<std::string> argText{program};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv = Pointers(argText);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
#ifdef __linux__
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that died
#endif
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    if (!errPath.empty()) {
      const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) ::dup2(err, 2);
    }
    ::execv(argv[0], argv.data());
    std::_Exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  if (pid < 0) {
    ::close(in[1]);
    ::close(out[0]);
    return false;
  }
  ::signal(SIGPIPE, SIG_IGN);
  impl_->pid = pid;
  impl_->toChild = in[1];
  impl_->fromChild = out[0];
  return true;
}

bool ChildProcess::Running() const { return impl_->pid > 0; }

bool ChildProcess::Send(const std::string& text) {
  size_t done = 0;
  while (impl_->toChild >= 0 && done < text.size()) {
    const ssize_t n = ::write(impl_->toChild, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return done == text.size();
}

std::optional<std::string> ChildProcess::ReadLine() {
  for (;;) {
    const size_t end = impl_->pending.find('\n');
    if (end != std::string::npos) {
      std::string line = impl_->pending.substr(0, end);
      impl_->pending.erase(0, end + 1);
      return line;
    }
    char buf[4096];
    const ssize_t n = impl_->fromChild >= 0 ? ::read(impl_->fromChild, buf, sizeof buf) : 0;
    if (n <= 0) return std::nullopt;
    impl_->pending.append(buf, size_t(n));
  }
}

int ChildProcess::Wait() {
  impl_->CloseInput();
  if (impl_->pid > 0) {
    int status = 0;
    ::waitpid(impl_->pid, &status, 0);
    impl_->Ended(status);
  }
  return impl_->status;
}

std::optional<int> ChildProcess::WaitFor(int ms) {
  impl_->CloseInput();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (impl_->pid > 0) {
    int status = 0;
    if (::waitpid(impl_->pid, &status, WNOHANG) == impl_->pid) {
      impl_->Ended(status);
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return impl_->status;
}

int ChildProcess::Kill() {
  if (impl_->pid > 0) {
    ::kill(impl_->pid, SIGKILL);
    int status = 0;
    ::waitpid(impl_->pid, &status, 0);
    impl_->Ended(status);
    if (WIFSIGNALED(status)) impl_->status = WTERMSIG(status) == SIGKILL ? -1 : -2;
  }
  return impl_->status;
}

}  // namespace testsupport
