// A file system for the engine tests: every call goes to the system's, but
// chosen calls fail the way a full disk, a failing disk, a read-only file or
// a killed process would make them fail.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fileio.h"

namespace xbtest {

enum class FsOp { Open, OpenForWriting, Write, Sync, Truncate, Rename, Remove, SyncFolder };

struct Fault {
  FsOp op = FsOp::Write;
  std::string pathHas;      // the call's path (either path of a rename) holds this; "" = any
  int skip = 0;             // matching calls let through first
  int err = ENOSPC;         // what the failing call answers
  bool shortWrite = false;  // the write takes half of its bytes, the next one fails
  bool kill = false;        // the process ends there with kKilledExit, as if killed
  bool lasting = false;     // fails every matching call, as a read-only file does
  // When set, the call does not fail: this runs first and the call goes on.
  std::function<void()> meanwhile;
};

inline Fault On(FsOp op, const std::string& pathHas, int err = ENOSPC, int skip = 0) {
  Fault f;
  f.op = op;
  f.pathHas = pathHas;
  f.err = err;
  f.skip = skip;
  return f;
}

// The exit status of a process ended by a `kill` fault.
inline constexpr int kKilledExit = 86;

// Installs itself for the engine while it lives. Each fault fires once,
// unless it is lasting.
class FaultyFs : public xbase::FileSystem {
 public:
  FaultyFs();
  ~FaultyFs() override;
  FaultyFs(const FaultyFs&) = delete;
  FaultyFs& operator=(const FaultyFs&) = delete;

  void Fail(const Fault& f) { faults_.push_back({f, false}); }
  void Clear() { faults_.clear(); }
  // How many faults have fired.
  int Fired() const;

  std::unique_ptr<xbase::FileHandle> Open(const std::string& path, xbase::OpenMode mode, int& err) override;
  int Rename(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
  int SyncFolder(const std::string& folder) override;

  // The fault for a call, or null; counts the call against `skip`.
  const Fault* Hit(FsOp op, const std::string& path, const std::string& other = std::string());

 private:
  struct Armed {
    Fault fault;
    bool fired;
  };
  std::vector<Armed> faults_;
  xbase::FileSystem* before_;
};

}  // namespace xbtest
