// What every command of vantrell-db shares: the exit statuses, the two
// kinds of failure, standard output and error (held back while a reading
// command reads), the program's arguments and its own folder, and the
// commands themselves, one file each (cmd_*.cpp), listed in main.cpp.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vdb {

inline constexpr int kExitOk = 0;
inline constexpr int kExitProblem = 1;
inline constexpr int kExitUsage = 2;

// Wrong usage: exit 2 with the usage text.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// Bad input or a problem found: exit 1 with the message.
struct Problem : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Strings = std::vector<std::string>;

// A path with the platform's own separators, for messages.
std::string Native(const std::string& path);

// --- output ----------------------------------------------------------------------

// Standard output. A reading command's output is held back until the read
// is known to have met one state of the files (see FilesSeen), so that a
// read met by a change can be done again unseen; beyond kHeldBytes it is
// written as it comes, and a change found at the end can only be told.
struct HeldOutput {
  static constexpr size_t kHeldBytes = 8u << 20;
  bool holding = false;
  bool written = false;  // some of the held output went out already
  std::string text;
  std::string errors;  // standard error, held to the end of the read
};
extern HeldOutput held;

// Standard output as it is, past any holding.
void Write(std::string_view text);
// Standard output, held back while a read is held.
void Out(std::string_view text);
// Standard error, held back while a read is held.
void Err(std::string_view text);
// A message on standard error, each of its lines made printable: what it
// quotes of a file or an input line never reaches the terminal raw.
void ErrLine(const std::string& text);

// Lines gathered in one reused buffer and written in large pieces.
class OutBuffer {
 public:
  OutBuffer() { text_.reserve(kFlushAt + 64 * 1024); }
  ~OutBuffer() { Flush(); }
  std::string& text() { return text_; }
  // Called after each line: writes once enough has gathered.
  void LineDone() {
    if (text_.size() >= kFlushAt) Flush();
  }
  void Flush() {
    Out(text_);
    text_.clear();
  }

 private:
  static constexpr size_t kFlushAt = 1u << 20;
  std::string text_;
};

// --- the system ------------------------------------------------------------------

#ifdef _WIN32
std::wstring Wide(const std::string& s);
std::string Utf8(const wchar_t* w);
#endif

// The arguments after the program's name, in UTF-8 (on Linux as the bytes
// were given).
Strings Arguments(int argc, char** argv);

// The folder this program was started from.
std::string ExecutableFolder();

// A folder given on the command line as a full path without "." and ".."
// parts, and without a separator at its end (but for a root): the form the
// records' paths begin with.
std::string FullFolderPath(const std::string& path);

// --- arguments -------------------------------------------------------------------

struct Args {
  std::vector<std::string> positional;
  std::set<std::string> flags;
  std::optional<std::string> catalog;
};

// Positional arguments and the options a command allows, in any order;
// everything after "--" is positional.
Args ParseArgs(const Strings& in, const std::set<std::string>& allowedFlags, bool allowCatalog);

// Wrong usage unless there are from `min` to `max` positional arguments.
void ExpectPositional(const Args& a, size_t min, size_t max);

// --- the commands ----------------------------------------------------------------
// Each takes the arguments after its name and returns the exit status;
// wrong usage throws UsageError, a problem found throws Problem.

int CmdCreate(const Strings& argv);
int CmdImport(const Strings& argv);
int CmdExport(const Strings& argv);
int CmdCount(const Strings& argv);
int CmdSearch(const Strings& argv);
int CmdPack(const Strings& argv);
int CmdReindex(const Strings& argv);
int CmdRepair(const Strings& argv);
int CmdCheck(const Strings& argv);
int CmdDefaultDataDir(const Strings& argv);
int CmdScan(const Strings& argv);
int CmdDiff(const Strings& argv);
int CmdRefresh(const Strings& argv);

}  // namespace vdb
