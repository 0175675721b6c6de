#include "fault_fs.h"

#include <cstdlib>

namespace xbtest {

namespace {

class FaultyHandle final : public xbase::FileHandle {
 public:
  FaultyHandle(std::unique_ptr<xbase::FileHandle> real, std::string path, FaultyFs& fs)
      : real_(std::move(real)), path_(std::move(path)), fs_(fs) {}

  int Read(uint64_t offset, void* buf, size_t n, size_t& done) override { return real_->Read(offset, buf, n, done); }
  int Write(uint64_t offset, const void* buf, size_t n, size_t& done) override {
    done = 0;
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
  int Stat(uint64_t& size, uint64_t& modifiedNs) override { return real_->Stat(size, modifiedNs); }
  int Truncate(uint64_t size) override {
    if (const Fault* f = fs_.Hit(FsOp::Truncate, path_)) return f->err;
    return real_->Truncate(size);
  }
  int Sync() override {
    if (const Fault* f = fs_.Hit(FsOp::Sync, path_)) return f->err;
    return real_->Sync();
  }
  int SetModified(uint64_t modifiedNs) override { return real_->SetModified(modifiedNs); }
  bool TryLock(xbase::LockKind kind) override { return real_->TryLock(kind); }
  void Unlock(xbase::LockKind kind) override { real_->Unlock(kind); }
  bool IsFileAt(const std::string& path) override { return real_->IsFileAt(path); }
  void* Map(size_t n, bool writable) override { return real_->Map(n, writable); }
  void Unmap(void* p, size_t n) override { real_->Unmap(p, n); }
  const void* MapRead(uint64_t offset, size_t n) override { return real_->MapRead(offset, n); }
  void UnmapRead(const void* p, size_t n) override { real_->UnmapRead(p, n); }

 private:
  std::unique_ptr<xbase::FileHandle> real_;
  std::string path_;
  FaultyFs& fs_;
  int afterShort_ = 0;
};

}  // namespace

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
  const Fault* f = Hit(FsOp::Open, path);
  if (!f && mode != xbase::OpenMode::ReadOnly) f = Hit(FsOp::OpenForWriting, path);
  if (f) {
    err = f->err;
    return nullptr;
  }
  std::unique_ptr<xbase::FileHandle> real = xbase::SystemFileSystem().Open(path, mode, err);
  if (!real) return nullptr;
  return std::make_unique<FaultyHandle>(std::move(real), path, *this);
}

int FaultyFs::Rename(const std::string& from, const std::string& to) {
  if (const Fault* f = Hit(FsOp::Rename, from, to)) return f->err;
  return xbase::SystemFileSystem().Rename(from, to);
}

int FaultyFs::Remove(const std::string& path) {
  if (const Fault* f = Hit(FsOp::Remove, path)) return f->err;
  return xbase::SystemFileSystem().Remove(path);
}

int FaultyFs::SyncFolder(const std::string& folder) {
  if (const Fault* f = Hit(FsOp::SyncFolder, folder)) return f->err;
  return xbase::SystemFileSystem().SyncFolder(folder);
}

}  // namespace xbtest
