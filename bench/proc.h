// Child processes of the benchmark program (POSIX): the grep peer and the
// memory measure, which must run in a process of its own.
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

// Path of the running executable.
std::string SelfExecutable();

// Peak resident memory of this process since it started (or since its last
// exec), in kilobytes.
long PeakRssKb();

}  // namespace bench
