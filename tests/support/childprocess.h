// Other programs run from a test, the same way on Linux and on Windows: a
// program run to its end with its outputs gathered, a child process talked to
// over its standard input and output and killed at will, and this test
// program's own roles run in a child process (in place of fork()).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

using Args = std::vector<std::string>;

struct ProcessResult {
  int code = -1;  // the exit status; -1 when the program was killed or crashed
  std::string out, err;
};

// Runs `program` with `args`, `input` on its standard input and `extraEnv`
// ("NAME=value") over this process's environment; waits for it and gathers
// both outputs. A program that cannot be started is a test failure.
ProcessResult RunProcess(const std::string& program, const Args& args, const std::string& input = {},
                         const Args& extraEnv = {});

// A program started beside the test: its standard input and output are pipes
// to the test, its standard error goes to a file (or stays the test's).
// A child still running when this goes is killed.
class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::string& program, const Args& args, const std::string& errPath = {});
  bool Running() const;
  // Writes to the child's standard input.
  bool Send(const std::string& text);
  // The next line the child writes (without its line break); nothing once
  // its output has ended.
  std::optional<std::string> ReadLine();
  // Closes the child's standard input and waits for its end: its exit
  // status, -1 when it crashed.
  int Wait();
  // As Wait, but gives up after `ms` milliseconds (the child still runs).
  std::optional<int> WaitFor(int ms);
  // Ends the child at once (SIGKILL, TerminateProcess) and waits for it:
  // -1 when the kill ended it; when it had ended before, its exit status,
  // or -2 when it had crashed.
  int Kill();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The path of this test program.
std::string SelfPath();

// The role of this program named `role`, run in a child process of its own
// (this program again with --child-role ROLE ARGS...).
ProcessResult RunRole(const std::string& role, const Args& args = {}, const std::string& input = {});
bool StartRole(ChildProcess& child, const std::string& role, const Args& args,
               const std::string& errPath = {});

// A role: what a child process does, given its arguments; returns its exit
// status. Registered before main runs with VANTRELL_CHILD_ROLE.
using RoleMain = int (*)(const Args& args);
bool RegisterRole(const char* name, RoleMain role);
// Runs the role that argv names when it is a child's command line
// (--child-role NAME ...); nothing when it is not.
std::optional<int> RunChildRole(int argc, char** argv);

}  // namespace testsupport

// Defines a role of the test program:
//   VANTRELL_CHILD_ROLE(HoldTable, "hold") { ... use args ...; return 0; }
#define VANTRELL_CHILD_ROLE(function, name)                                                  \
  static int function(const ::testsupport::Args& args);                                      \
  [[maybe_unused]] static const bool function##Registered = ::testsupport::RegisterRole(name, function); \
  static int function([[maybe_unused]] const ::testsupport::Args& args)
