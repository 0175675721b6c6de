// A file system for the engine tests: every call goes to the system's, but
// chosen calls fail the way a full disk, a failing disk, a read-only file or
// a killed process would make them fail; and, in its power-loss mode, the
// files of one folder can be put back to what a power cut would leave.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "filesystem.h"

namespace xbtest {

enum class FsOp { Open, OpenForWriting, Read, Write, Sync, Truncate, Rename, Remove, SyncFolder };

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

  // ---- power loss ----------------------------------------------------------
  // From here on the files of `folder` (as they are now counting as on the
  // disk) are followed as a disk with a write cache holds them: a file's
  // writes and truncations since its last sync, and the folder's new files,
  // renames and removals since its last sync, are not on the disk yet; a
  // file's modification time is the one it had at its last sync. Syncs of
  // these files cost nothing (the disk is the one modelled here). The
  // engine maps nothing meanwhile, so that every write passes here.
  void WatchPowerLoss(const std::string& folder);
  // The power fails at the n-th write, truncation, sync, rename, removal,
  // creation or folder sync from now (1 = the next one), before it is done.
  // keepSome: a seeded random part of the writes not yet synced reached the
  // disk anyway (each whole or not at all), and a random first part of the
  // folder's unsynced changes; otherwise none of either did. The folder is
  // left as the disk holds it, and from then on every call fails with EIO
  // and changes nothing, until StopWatching.
  void PowerFailAt(uint64_t n, bool keepSome = false, uint32_t seed = 0);
  // Cuts the power now.
  void PowerFail();
  bool PowerFailed() const { return failed_; }
  // The write, truncation, sync, rename, removal, creation and folder-sync
  // calls counted since WatchPowerLoss.
  uint64_t Changes() const { return changes_; }
  // Back to the system's behaviour: the folder holds what the power cut
  // left (or, with no cut, what the engine wrote) and every call works again.
  void StopWatching();
  bool Watching() const { return !watched_.empty(); }

  // Whether the engine may map files: not while reads may fail or the power
  // is watched, as stores and loads through a mapping pass by this file system.
  bool MapsAllowed() const;

  // Internals of the power-loss mode, for the file handles.
  struct Node;
  std::shared_ptr<Node> NodeOf(const std::string& path, xbase::OpenMode mode, xbase::FileHandle& real);
  // Counts a change; false when the power is (now) off and the call must fail.
  bool PowerOn();
  static void Wrote(Node& n, uint64_t offset, const void* buf, size_t size);
  static void Truncated(Node& n, uint64_t size);
  static void Synced(Node& n, uint64_t modifiedNs);

 private:
  struct FolderChange {
    enum Kind { Create, Rename, Remove } kind;
    std::string name, to;
    std::shared_ptr<Node> node;
  };
  bool Watched(const std::string& path, std::string& name) const;
  void Apply(std::map<std::string, std::shared_ptr<Node>>& names, const FolderChange& c) const;
  void LeaveWhatTheDiskHolds();

  std::string watched_;
  std::map<std::string, std::shared_ptr<Node>> onDisk_, now_;  // folder entries by name
  std::vector<FolderChange> unsynced_;
  uint64_t changes_ = 0, failAt_ = 0;
  bool failed_ = false, keepSome_ = false;
  std::mt19937 random_;

 private:
  struct Armed {
    Fault fault;
    bool fired;
  };
  std::vector<Armed> faults_;
  xbase::FileSystem* before_;
};

}  // namespace xbtest
