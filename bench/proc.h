// Child processes of the benchmark program (POSIX): the whole-process
// measures (the command-line tool, the sqlite3 shell, grep) and the memory
// measure, which must run in a process of its own.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct ChildResult {
  int exitCode = -1;     // -1 when it did not exit normally
  std::string out;       // its standard output
  double seconds = 0;    // wall time from spawn to reaped
};

// Runs argv[0] (looked up in PATH) with the arguments and waits for it.
// With cLocale the child runs with LC_ALL=C. Throws std::runtime_error when
// it cannot be started.
ChildResult RunChild(const std::vector<std::string>& argv, bool cLocale);

// A whole process measured from outside: its wall time and its peak
// resident memory as the kernel accounts it, file pages it mapped included.
struct Measured {
  int exitCode = -1;     // -1 when it did not exit normally
  std::string out;       // its standard output, unless it went to /dev/null
  double seconds = 0;    // wall time from spawn to reaped
  long maxRssKb = 0;     // the kernel's ru_maxrss of the process
  std::string err;       // the start of its standard error
};

// Runs argv (argv[0] looked up in PATH) with standard input from /dev/null
// and standard output kept (keepOut) or sent to /dev/null. The process is
// started by a small launcher process (this program in its launcher mode),
// so its peak memory carries nothing of this large process: at exec the
// kernel keeps the peak of the address space being replaced, and a process
// spawned from here would inherit this one's. Throws std::runtime_error
// when the launcher or the program cannot be started.
Measured RunMeasured(const std::vector<std::string>& argv, bool keepOut, bool cLocale,
                     const std::string& errFile);

// The launcher mode: vantrell-bench --launch keep|null ERRFILE c|- PROGRAM ARGS...
// Runs the program, then writes the measure line after its output.
int LaunchMain(int argc, char** argv);

// Path of the running executable.
std::string SelfExecutable();

// Peak resident memory of this process since it started (or since its last
// exec), in kilobytes.
long PeakRssKb();

}  // namespace bench
