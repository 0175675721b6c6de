#include "fault_fs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef __linux__
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace xbtest {

namespace {

class FaultyHandle final : public xbase::FileHandle {
 public:
  FaultyHandle(std::unique_ptr<xbase::FileHandle> real, std::string path, FaultyFs& fs,
               std::shared_ptr<FaultyFs::Node> node)
      : real_(std::move(real)), path_(std::move(path)), fs_(fs), node_(std::move(node)) {}

  int Read(uint64_t offset, void* buf, size_t n, size_t& done) override {
    done = 0;
    if (fs_.PowerFailed()) return EIO;
    if (const Fault* f = fs_.Hit(FsOp::Read, path_)) return f->err;
    return real_->Read(offset, buf, n, done);
  }
  int Write(uint64_t offset, const void* buf, size_t n, size_t& done) override {
    done = 0;
    if (node_ && !fs_.PowerOn()) return EIO;
    int e = Written(offset, buf, n, done);
    if (node_ && done) FaultyFs::Wrote(*node_, offset, buf, done);
    return e;
  }
  int Written(uint64_t offset, const void* buf, size_t n, size_t& done) {
    if (afterShort_) {
      int e = afterShort_;
      afterShort_ = 0;
      return e;
    }
    if (const Fault* f = fs_.Hit(FsOp::Write, path_)) {
      if (!f->shortWrite || n < 2) return f->err;
      afterShort_ = f->err;
      return real_->Write(offset, buf, n / 2, done);
    }
    return real_->Write(offset, buf, n, done);
  }
  int Stat(uint64_t& size, uint64_t& modifiedNs) override {
    if (fs_.PowerFailed()) return EIO;
    return real_->Stat(size, modifiedNs);
  }
  int Truncate(uint64_t size) override {
    if (node_ && !fs_.PowerOn()) return EIO;
    if (const Fault* f = fs_.Hit(FsOp::Truncate, path_)) return f->err;
    int e = real_->Truncate(size);
    if (node_ && !e) FaultyFs::Truncated(*node_, size);
    return e;
  }
  int Sync() override {
    if (node_ && !fs_.PowerOn()) return EIO;
    if (const Fault* f = fs_.Hit(FsOp::Sync, path_)) return f->err;
    if (!node_) return real_->Sync();
    // The disk is the one modelled here: the system's cache need not be
    // written. The file's time is taken as the disk now has it.
    uint64_t size = 0, time = 0;
    real_->Stat(size, time);
    FaultyFs::Synced(*node_, time);
    return 0;
  }
  int SetModified(uint64_t modifiedNs) override {
    if (fs_.PowerFailed()) return EIO;
    return real_->SetModified(modifiedNs);
  }
  bool TryLock(xbase::LockKind kind) override { return real_->TryLock(kind); }
  void Unlock(xbase::LockKind kind) override { real_->Unlock(kind); }
  bool IsFileAt(const std::string& path) override { return real_->IsFileAt(path); }
  void* Map(size_t n, bool writable) override { return fs_.MapsAllowed() ? real_->Map(n, writable) : nullptr; }
  void Unmap(void* p, size_t n) override { real_->Unmap(p, n); }

 private:
  std::unique_ptr<xbase::FileHandle> real_;
  std::string path_;
  FaultyFs& fs_;
  std::shared_ptr<FaultyFs::Node> node_;  // followed for power loss; null otherwise
  int afterShort_ = 0;
};

}  // namespace

// A file as the power-loss mode follows it: its bytes on the disk, and the
// writes (or, with `cut`, truncations) made since it was last synced.
struct FaultyFs::Node {
  struct Change {
    bool cut = false;
    uint64_t at = 0;
    std::string bytes;
  };
  std::string onDisk;
  std::vector<Change> unsynced;
  uint64_t modifiedNs = 0;  // the modification time as of the last sync (0: unknown)

  static void Do(std::string& bytes, const Change& c) {
    if (c.cut) {
      bytes.resize((size_t)c.at, '\0');
      return;
    }
    if (bytes.size() < c.at + c.bytes.size()) bytes.resize((size_t)(c.at + c.bytes.size()), '\0');
    bytes.replace((size_t)c.at, c.bytes.size(), c.bytes);
  }
};

FaultyFs::FaultyFs() : before_(xbase::InstallFileSystem(this)) {}

FaultyFs::~FaultyFs() { xbase::InstallFileSystem(before_); }

int FaultyFs::Fired() const {
  int n = 0;
  for (const Armed& a : faults_) n += a.fired;
  return n;
}

const Fault* FaultyFs::Hit(FsOp op, const std::string& path, const std::string& other) {
  for (Armed& a : faults_) {
    if ((a.fired && !a.fault.lasting) || a.fault.op != op) continue;
    const std::string& has = a.fault.pathHas;
    if (!has.empty() && path.find(has) == std::string::npos && other.find(has) == std::string::npos) continue;
    if (a.fault.skip > 0) {
      --a.fault.skip;
      continue;
    }
    if (a.fault.kill) std::_Exit(kKilledExit);
    a.fired = true;
    if (a.fault.meanwhile) {
      a.fault.meanwhile();
      return nullptr;
    }
    return &a.fault;
  }
  return nullptr;
}

std::unique_ptr<xbase::FileHandle> FaultyFs::Open(const std::string& path, xbase::OpenMode mode, int& err) {
  std::string name;
  const bool watched = Watched(path, name);
  const bool creates = mode == xbase::OpenMode::Create || mode == xbase::OpenMode::Truncate;
  if (failed_ || (watched && creates && !PowerOn())) {
    err = EIO;
    return nullptr;
  }
  const Fault* f = Hit(FsOp::Open, path);
  if (!f && mode != xbase::OpenMode::ReadOnly) f = Hit(FsOp::OpenForWriting, path);
  if (f) {
    err = f->err;
    return nullptr;
  }
  std::unique_ptr<xbase::FileHandle> real = xbase::SystemFileSystem().Open(path, mode, err);
  if (!real) return nullptr;
  std::shared_ptr<Node> node = watched ? NodeOf(name, mode, *real) : nullptr;
  return std::make_unique<FaultyHandle>(std::move(real), path, *this, std::move(node));
}

int FaultyFs::Rename(const std::string& from, const std::string& to) {
  std::string fromName, toName;
  const bool watched = Watched(from, fromName) && Watched(to, toName);
  if (failed_ || (watched && !PowerOn())) return EIO;
  if (const Fault* f = Hit(FsOp::Rename, from, to)) return f->err;
  int e = xbase::SystemFileSystem().Rename(from, to);
  if (!e && watched && now_.count(fromName)) {
    FolderChange c{FolderChange::Rename, fromName, toName, nullptr};
    Apply(now_, c);
    unsynced_.push_back(std::move(c));
  }
  return e;
}

int FaultyFs::Remove(const std::string& path) {
  std::string name;
  const bool watched = Watched(path, name);
  if (failed_ || (watched && !PowerOn())) return EIO;
  if (const Fault* f = Hit(FsOp::Remove, path)) return f->err;
  int e = xbase::SystemFileSystem().Remove(path);
  if (!e && watched) {
    FolderChange c{FolderChange::Remove, name, {}, nullptr};
    Apply(now_, c);
    unsynced_.push_back(std::move(c));
  }
  return e;
}

int FaultyFs::SyncFolder(const std::string& folder) {
  const bool watched = Watching() && std::filesystem::path(folder).lexically_normal() ==
                                         std::filesystem::path(watched_).lexically_normal();
  if (failed_ || (watched && !PowerOn())) return EIO;
  if (const Fault* f = Hit(FsOp::SyncFolder, folder)) return f->err;
  if (!watched) return xbase::SystemFileSystem().SyncFolder(folder);
  onDisk_ = now_;
  unsynced_.clear();
  return 0;
}

// ---- power loss ----------------------------------------------------------------

namespace {

std::string FileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool FaultyFs::MapsAllowed() const {
  if (Watching()) return false;
  for (const Armed& a : faults_)
    if (a.fault.op == FsOp::Read && (!a.fired || a.fault.lasting)) return false;
  return true;
}

bool FaultyFs::Watched(const std::string& path, std::string& name) const {
  if (!Watching()) return false;
  const std::filesystem::path p = std::filesystem::path(path).lexically_normal();
  if (p.parent_path() != std::filesystem::path(watched_).lexically_normal()) return false;
  name = p.filename().string();
  return true;
}

void FaultyFs::WatchPowerLoss(const std::string& folder) {
  watched_ = folder;
  onDisk_.clear();
  unsynced_.clear();
  changes_ = failAt_ = 0;
  failed_ = false;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    auto n = std::make_shared<Node>();
    n->onDisk = FileBytes(e.path());
#ifdef __linux__
    struct stat st;
    if (::stat(e.path().c_str(), &st) == 0)
      n->modifiedNs = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
#endif
    onDisk_[e.path().filename().string()] = n;
  }
  now_ = onDisk_;
}

void FaultyFs::PowerFailAt(uint64_t n, bool keepSome, uint32_t seed) {
  failAt_ = changes_ + n;
  keepSome_ = keepSome;
  random_.seed(seed);
}

bool FaultyFs::PowerOn() {
  if (failed_) return false;
  ++changes_;
  if (failAt_ != 0 && changes_ >= failAt_) PowerFail();
  return !failed_;
}

std::shared_ptr<FaultyFs::Node> FaultyFs::NodeOf(const std::string& name, xbase::OpenMode mode,
                                                 xbase::FileHandle& real) {
  auto it = now_.find(name);
  if (it != now_.end() && mode != xbase::OpenMode::Create) {
    if (mode == xbase::OpenMode::Truncate) Truncated(*it->second, 0);
    return it->second;
  }
  auto n = std::make_shared<Node>();
  if (mode != xbase::OpenMode::Create && mode != xbase::OpenMode::Truncate) {
    // Made beside the engine (not through this file system): on the disk as it is.
    uint64_t size = 0, time = 0;
    size_t got = 0;
    if (real.Stat(size, time) == 0) {
      n->modifiedNs = time;
      n->onDisk.resize((size_t)size);
      if (size && real.Read(0, n->onDisk.data(), (size_t)size, got) == 0) n->onDisk.resize(got);
    }
  }
  FolderChange c{FolderChange::Create, name, {}, n};
  Apply(now_, c);
  unsynced_.push_back(std::move(c));
  return n;
}

void FaultyFs::Wrote(Node& n, uint64_t offset, const void* buf, size_t size) {
  n.unsynced.push_back({false, offset, std::string((const char*)buf, size)});
}

void FaultyFs::Truncated(Node& n, uint64_t size) { n.unsynced.push_back({true, size, {}}); }

void FaultyFs::Synced(Node& n, uint64_t modifiedNs) {
  n.modifiedNs = modifiedNs;
  for (const Node::Change& c : n.unsynced) Node::Do(n.onDisk, c);
  n.unsynced.clear();
}

void FaultyFs::Apply(std::map<std::string, std::shared_ptr<Node>>& names, const FolderChange& c) const {
  switch (c.kind) {
    case FolderChange::Create:
      names[c.name] = c.node;
      break;
    case FolderChange::Rename: {
      auto it = names.find(c.name);
      if (it == names.end()) break;
      std::shared_ptr<Node> n = it->second;
      names.erase(it);
      names[c.to] = n;
      break;
    }
    case FolderChange::Remove:
      names.erase(c.name);
      break;
  }
}

void FaultyFs::PowerFail() {
  if (failed_ || !Watching()) return;
  failed_ = true;
  LeaveWhatTheDiskHolds();
}

void FaultyFs::LeaveWhatTheDiskHolds() {
  namespace fs = std::filesystem;
  // The folder: as last synced, then (keepSome) a first part of what came after.
  std::map<std::string, std::shared_ptr<Node>> names = onDisk_;
  size_t keptChanges = keepSome_ ? std::uniform_int_distribution<size_t>(0, unsynced_.size())(random_) : 0;
  for (size_t i = 0; i < keptChanges; ++i) Apply(names, unsynced_[i]);
  // Files the disk does not hold go; the others are written over in place
  // (Windows cannot make a file anew under a name whose file the engine
  // still holds open).
  std::vector<fs::path> gone;
  for (const auto& e : fs::directory_iterator(watched_))
    if (e.is_regular_file() && !names.count(e.path().filename().string())) gone.push_back(e.path());
  for (const fs::path& p : gone) fs::remove(p);
  for (const auto& [name, node] : names) {
    std::string bytes = node->onDisk;
    if (keepSome_)
      for (const Node::Change& c : node->unsynced)
        if (random_() % 2) Node::Do(bytes, c);
    const fs::path path = fs::path(watched_) / name;
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), (std::streamsize)bytes.size());
    }
#ifdef __linux__
    // The time the file had when last synced: a disk may keep it with
    // newer bytes, as it keeps the bytes of one file apart from another's.
    if (node->modifiedNs) {
      struct timespec times[2];
      times[0].tv_sec = 0;
      times[0].tv_nsec = UTIME_OMIT;
      times[1].tv_sec = (time_t)(node->modifiedNs / 1000000000ull);
      times[1].tv_nsec = (long)(node->modifiedNs % 1000000000ull);
      ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
#endif
  }
}

void FaultyFs::StopWatching() {
  watched_.clear();
  onDisk_.clear();
  now_.clear();
  unsynced_.clear();
  failed_ = false;
  failAt_ = 0;
}

}  // namespace xbtest
