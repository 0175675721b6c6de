#include "fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "xbase.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace xbase {
namespace fs = std::filesystem;

namespace {

// The writer lock's byte: far past any table, so no read, write or other
// lock of the data ever meets it. The Windows open lock sits beside it
// (locks there are mandatory, so they must stay clear of the data).
constexpr uint64_t kWriterLockOffset = 1ull << 62;
[[maybe_unused]] constexpr uint64_t kOpenLockOffset = kWriterLockOffset + 1;

std::string Reason(int err) {
  if (err == kNotRegularFile) return "not a regular file";
  return std::strerror(err);
}

[[noreturn]] void IoError(const std::string& what, const std::string& path, int err) {
  ErrorCode code = (err == ENOENT) ? ErrorCode::NotFound : ErrorCode::Io;
  throw Error(code, what + " " + path + ": " + Reason(err));
}

}  // namespace

// ---- the operating system's files ----------------------------------------------

#ifdef _WIN32

namespace {

std::wstring Wide(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
  return w;
}

int ErrnoOf(DWORD e) {
  switch (e) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
  }
}

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED ov{};
  ov.Offset = (DWORD)offset;
  ov.OffsetHigh = (DWORD)(offset >> 32);
  return ov;
}

class WinHandle final : public FileHandle {
 public:
  explicit WinHandle(HANDLE h) : h_(h) {}
  ~WinHandle() override { CloseHandle(h_); }

  int Read(uint64_t offset, void* buf, size_t n, size_t& done) override {
    OVERLAPPED ov = At(offset);
    DWORD got = 0;
    done = 0;
    DWORD ask = (DWORD)std::min<size_t>(n, 1u << 30);
    if (!ReadFile(h_, buf, ask, &got, &ov)) {
      DWORD e = GetLastError();
      if (e == ERROR_HANDLE_EOF) return 0;
      return ErrnoOf(e);
    }
    done = got;
    return 0;
  }
  int Write(uint64_t offset, const void* buf, size_t n, size_t& done) override {
    OVERLAPPED ov = At(offset);
    DWORD put = 0;
    done = 0;
    DWORD ask = (DWORD)std::min<size_t>(n, 1u << 30);
    if (!WriteFile(h_, buf, ask, &put, &ov)) return ErrnoOf(GetLastError());
    done = put;
    return 0;
  }
  int Stat(uint64_t& size, uint64_t& modifiedNs) override {
    LARGE_INTEGER li;
    FILETIME ft;
    if (!GetFileSizeEx(h_, &li) || !GetFileTime(h_, nullptr, nullptr, &ft)) return ErrnoOf(GetLastError());
    size = (uint64_t)li.QuadPart;
    modifiedNs = ((((uint64_t)ft.dwHighDateTime) << 32) | ft.dwLowDateTime) * 100;
    return 0;
  }
  int Truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = (LONGLONG)size;
    return SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info) ? 0 : ErrnoOf(GetLastError());
  }
  int Sync() override { return FlushFileBuffers(h_) ? 0 : ErrnoOf(GetLastError()); }
  int SetModified(uint64_t modifiedNs) override {
    uint64_t t = modifiedNs / 100;
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)t;
    ft.dwHighDateTime = (DWORD)(t >> 32);
    return SetFileTime(h_, nullptr, nullptr, &ft) ? 0 : ErrnoOf(GetLastError());
  }
  bool TryLock(LockKind kind) override {
    OVERLAPPED ov = At(kind == LockKind::Writer ? kWriterLockOffset : kOpenLockOffset);
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == LockKind::Shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
    if (kind != LockKind::Writer && openLocked_) Unlock(kind);
    bool ok = LockFileEx(h_, flags, 0, 1, 0, &ov) != 0;
    if (ok && kind != LockKind::Writer) openLocked_ = true;
    return ok;
  }
  void Unlock(LockKind kind) override {
    OVERLAPPED ov = At(kind == LockKind::Writer ? kWriterLockOffset : kOpenLockOffset);
    UnlockFileEx(h_, 0, 1, 0, &ov);
    if (kind != LockKind::Writer) openLocked_ = false;
  }
  bool IsFileAt(const std::string& path) override {
    HANDLE other = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (other == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    bool same = GetFileInformationByHandle(h_, &a) && GetFileInformationByHandle(other, &b) &&
                a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
                a.nFileIndexLow == b.nFileIndexLow;
    CloseHandle(other);
    return same;
  }
  void* Map(size_t, bool) override { return nullptr; }
  void Unmap(void*, size_t) override {}

 private:
  HANDLE h_;
  bool openLocked_ = false;
};

class SystemFs final : public FileSystem {
 public:
  std::unique_ptr<FileHandle> Open(const std::string& path, OpenMode mode, int& err) override {
    DWORD access = GENERIC_READ | (mode == OpenMode::ReadOnly ? 0 : GENERIC_WRITE);
    DWORD disp = mode == OpenMode::Create     ? CREATE_NEW
                 : mode == OpenMode::Truncate ? CREATE_ALWAYS
                                              : OPEN_EXISTING;
    HANDLE h = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      err = ErrnoOf(GetLastError());
      return nullptr;
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      err = kNotRegularFile;
      return nullptr;
    }
    err = 0;
    return std::make_unique<WinHandle>(h);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : ErrnoOf(GetLastError());
  }
  int Remove(const std::string& path) override {
    return DeleteFileW(Wide(path).c_str()) ? 0 : ErrnoOf(GetLastError());
  }
  // MOVEFILE_WRITE_THROUGH already makes each rename durable.
  int SyncFolder(const std::string&) override { return 0; }
};

}  // namespace

#else

namespace {

class PosixHandle final : public FileHandle {
 public:
  explicit PosixHandle(int fd) : fd_(fd) {}
  ~PosixHandle() override { ::close(fd_); }

  int Read(uint64_t offset, void* buf, size_t n, size_t& done) override {
    done = 0;
    for (;;) {
      ssize_t r = ::pread(fd_, buf, n, (off_t)offset);
      if (r >= 0) {
        done = (size_t)r;
        return 0;
      }
      if (errno != EINTR) return errno;
    }
  }
  int Write(uint64_t offset, const void* buf, size_t n, size_t& done) override {
    done = 0;
    for (;;) {
      ssize_t r = ::pwrite(fd_, buf, n, (off_t)offset);
      if (r >= 0) {
        done = (size_t)r;
        StartWriteBack(done);
        return 0;
      }
      if (errno != EINTR) return errno;
    }
  }
  int Stat(uint64_t& size, uint64_t& modifiedNs) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return errno;
    size = (uint64_t)st.st_size;
#if defined(__APPLE__)
    modifiedNs = (uint64_t)st.st_mtimespec.tv_sec * 1000000000ull + (uint64_t)st.st_mtimespec.tv_nsec;
#else
    modifiedNs = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
#endif
    return 0;
  }
  int Truncate(uint64_t size) override { return ::ftruncate(fd_, (off_t)size) == 0 ? 0 : errno; }
  int Sync() override {
    unstarted_ = 0;
#if defined(__linux__)
    int r = ::fdatasync(fd_);
#else
    int r = ::fsync(fd_);
#endif
    return r == 0 ? 0 : errno;
  }
  int SetModified(uint64_t modifiedNs) override {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = (time_t)(modifiedNs / 1000000000ull);
    times[1].tv_nsec = (long)(modifiedNs % 1000000000ull);
    return ::futimens(fd_, times) == 0 ? 0 : errno;
  }
  bool TryLock(LockKind kind) override {
    if (kind == LockKind::Writer) return WriterLock(F_WRLCK);
    int op = (kind == LockKind::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    while (::flock(fd_, op) != 0) {
      if (errno == EINTR) continue;
      return false;
    }
    return true;
  }
  void Unlock(LockKind kind) override {
    if (kind == LockKind::Writer)
      WriterLock(F_UNLCK);
    else
      ::flock(fd_, LOCK_UN);
  }
  bool IsFileAt(const std::string& path) override {
    struct stat mine, there;
    return ::fstat(fd_, &mine) == 0 && ::stat(path.c_str(), &there) == 0 && mine.st_dev == there.st_dev &&
           mine.st_ino == there.st_ino;
  }
  void* Map(size_t n, bool writable) override {
    void* p = ::mmap(nullptr, n, PROT_READ | (writable ? PROT_WRITE : 0), MAP_SHARED, fd_, 0);
    if (p == MAP_FAILED) return nullptr;
    if (!writable) ::madvise(p, n, MADV_SEQUENTIAL);
    return p;
  }
  void Unmap(void* p, size_t n) override { ::munmap(p, n); }
  const void* MapRead(uint64_t offset, size_t n) override {
    void* p = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd_, (off_t)offset);
    if (p == MAP_FAILED) return nullptr;
    ::madvise(p, n, MADV_SEQUENTIAL);
    return p;
  }
  void UnmapRead(const void* p, size_t n) override { ::munmap(const_cast<void*>(p), n); }

 private:
  // A long run of writes (an add batch, a pack) hands its pages to the disk
  // as it goes, so that the sync which ends it waits for the last stretch
  // only, not for everything written since the last sync.
  void StartWriteBack(size_t n) {
#if defined(__linux__)
    unstarted_ += n;
    if (unstarted_ < kWriteBackBytes) return;
    unstarted_ = 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);  // only a hint: its failure changes nothing
#else
    (void)n;
#endif
  }
  static constexpr uint64_t kWriteBackBytes = 8u << 20;
  uint64_t unstarted_ = 0;
  // The writer lock belongs to this open file (not to the process, as
  // classic record locks do), so another open of the same table in this
  // process conflicts with it too and closing some other descriptor of the
  // file never drops it. Record locks and flock() locks do not interact.
  bool WriterLock(short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = (off_t)kWriterLockOffset;
    fl.l_len = 1;
#ifdef F_OFD_SETLK
    const int cmd = F_OFD_SETLK;
#else
    const int cmd = F_SETLK;  // per process: other programs are still kept out
#endif
    while (::fcntl(fd_, cmd, &fl) != 0) {
      if (errno == EINTR) continue;
      return false;
    }
    return true;
  }

  int fd_;
};

class SystemFs final : public FileSystem {
 public:
  std::unique_ptr<FileHandle> Open(const std::string& path, OpenMode mode, int& err) override {
    // Non-blocking, so that a pipe put where a table belongs is refused at
    // once instead of waiting for a writer.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
      case OpenMode::ReadOnly: flags |= O_RDONLY; break;
      case OpenMode::ReadWrite: flags |= O_RDWR; break;
      case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_EXCL; break;
      case OpenMode::Truncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do {
      fd = ::open(path.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      err = errno;
      return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      err = kNotRegularFile;
      return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    err = 0;
    return std::make_unique<PosixHandle>(fd);
  }
  int Rename(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }
  int Remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errno; }
  int SyncFolder(const std::string& folder) override {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int r = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    // Some file systems cannot sync a folder; their renames are durable
    // with the data or not at all.
    return (r == EINVAL || r == ENOTSUP || r == EROFS) ? 0 : r;
  }
};

}  // namespace

#endif

namespace {
FileSystem* g_installed = nullptr;
}

FileSystem& SystemFileSystem() {
  static SystemFs fs;
  return fs;
}

FileSystem& CurrentFileSystem() { return g_installed ? *g_installed : SystemFileSystem(); }

FileSystem* InstallFileSystem(FileSystem* fsys) {
  FileSystem* before = g_installed;
  g_installed = fsys;
  return before;
}

// ---- File ------------------------------------------------------------------------

File::~File() { Close(); }

File::File(File&& o) noexcept { *this = std::move(o); }

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    Close();
    handle_ = std::move(o.handle_);
    path_ = std::move(o.path_);
    writable_ = o.writable_;
    unsynced_ = o.unsynced_;
    map_ = o.map_;
    mapLen_ = o.mapLen_;
    undo_ = std::move(o.undo_);
    sizeKnown_ = o.sizeKnown_;
    size_ = o.size_;
    tail_ = std::move(o.tail_);
    tailAt_ = o.tailAt_;
    o.sizeKnown_ = false;
    o.tail_.clear();
    o.map_ = nullptr;
    o.mapLen_ = 0;
    o.unsynced_ = false;
    o.undo_ = Undo{};
  }
  return *this;
}

bool File::TryOpen(const std::string& path, Mode mode, int& err) {
  Close();
  err = 0;
  std::unique_ptr<FileHandle> h = CurrentFileSystem().Open(path, mode, err);
  if (!h) {
    if (err == 0) err = EIO;
    return false;
  }
  handle_ = std::move(h);
  path_ = path;
  writable_ = mode != Mode::ReadOnly;
  unsynced_ = mode == Mode::Create || mode == Mode::Truncate;
  return true;
}

void File::Open(const std::string& path, Mode mode) {
  int err = 0;
  if (!TryOpen(path, mode, err)) IoError("cannot open", path, err);
}

bool File::OpenBest(const std::string& path) {
  int err = 0;
  if (TryOpen(path, Mode::ReadWrite, err)) return true;
  if (err == ENOENT || err == kNotRegularFile) IoError("cannot open", path, err);
  Open(path, Mode::ReadOnly);
  return false;
}

void File::Close() {
  if (map_ && handle_) handle_->Unmap(map_, mapLen_);
  map_ = nullptr;
  mapLen_ = 0;
  handle_.reset();
  unsynced_ = false;
  undo_ = Undo{};
  ForgetSize();
}

void File::ForgetSize() {
  sizeKnown_ = false;
  tail_.clear();
}

void File::Wrote(uint64_t offset, const void* buf, size_t n) {
  if (!sizeKnown_) return;
  constexpr size_t kTail = 16;
  const uint64_t end = offset + n;
  if (end >= size_) {
    size_ = end;
    size_t k = std::min(n, kTail);
    tailAt_ = end - k;
    tail_.assign((const char*)buf + (n - k), k);
  } else if (!tail_.empty() && end > tailAt_) {
    // Overwrites part of the known tail: patch it.
    uint64_t from = std::max(offset, tailAt_);
    std::memcpy(tail_.data() + (from - tailAt_), (const char*)buf + (from - offset), (size_t)(end - from));
  }
  // Never over the mapped head: stores there bypass this bookkeeping.
  if (!tail_.empty() && map_ && tailAt_ < mapLen_) tail_.clear();
}

FileHandle& File::Handle() const {
  if (!handle_) throw Error(ErrorCode::Usage, "file " + path_ + " is not open");
  return *handle_;
}

size_t File::ReadSome(uint64_t offset, void* buf, size_t n) const {
  FileHandle& h = Handle();
  size_t done = 0;
  while (done < n) {
    size_t got = 0;
    int e = h.Read(offset + done, (char*)buf + done, n - done, got);
    if (e) IoError("cannot read", path_, e);
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (ReadSome(offset, buf, n) != n)
    throw Error(ErrorCode::Corrupt, path_ + ": file ends before offset " + std::to_string(offset + n));
}

void File::RawWrite(uint64_t offset, const void* buf, size_t n) {
  FileHandle& h = Handle();
  unsynced_ = true;
  size_t done = 0;
  while (done < n) {
    size_t put = 0;
    int e = h.Write(offset + done, (const char*)buf + done, n - done, put);
    if (e) {
      ForgetSize();
      IoError("cannot write", path_, e);
    }
    if (put == 0) {
      ForgetSize();
      throw Error(ErrorCode::Io, "cannot write " + path_ + ": the system took " + std::to_string(done) + " of " +
                                     std::to_string(n) + " bytes");
    }
    done += put;
  }
  Wrote(offset, buf, n);
}

void File::WriteAt(uint64_t offset, const void* buf, size_t n) {
  if (undo_.on) {
    Capture();
    if (offset < undo_.size) Keep(offset, (size_t)std::min<uint64_t>(n, undo_.size - offset));
  }
  RawWrite(offset, buf, n);
}

uint64_t File::Size() const {
  uint64_t size = 0, mtime = 0;
  int e = Handle().Stat(size, mtime);
  if (e) IoError("cannot stat", path_, e);
  return size;
}

uint64_t File::ModifiedNs() const {
  uint64_t size = 0, mtime = 0;
  return handle_ && handle_->Stat(size, mtime) == 0 ? mtime : 0;
}

void File::Truncate(uint64_t size) {
  if (undo_.on) {
    Capture();
    if (size < undo_.size) Keep(size, (size_t)(undo_.size - size));
  }
  unsynced_ = true;
  ForgetSize();
  int e = Handle().Truncate(size);
  if (e) IoError("cannot truncate", path_, e);
}

void File::Sync() {
  if (!handle_) return;
  int e = handle_->Sync();
  if (e) IoError("cannot write to disk", path_, e);
  unsynced_ = false;
}

void File::SyncIfWritten() {
  if (unsynced_) Sync();
}

char* File::MapHead(size_t n) {
  if (!map_) {
    if (!handle_ || !writable_ || Size() < n) return nullptr;
    void* p = handle_->Map(n, true);
    if (!p) return nullptr;
    map_ = (char*)p;
    mapLen_ = n;
    if (!tail_.empty() && tailAt_ < mapLen_) tail_.clear();
  }
  if (mapLen_ < n) return nullptr;
  if (undo_.on && !undo_.headKept) {
    Capture();
    // Stores through the mapping bypass WriteAt: the bytes it shows are kept
    // before the caller changes them.
    undo_.head.assign(map_, (size_t)std::min<uint64_t>(mapLen_, undo_.size));
    undo_.headAt = undo_.kept.size();
    undo_.headKept = true;
  }
  unsynced_ = true;
  return map_;
}

bool File::TryLock(Lock kind) { return handle_ && handle_->TryLock(kind); }

void File::Unlock(Lock kind) {
  if (handle_) handle_->Unlock(kind);
}

bool File::IsFileAt(const std::string& path) const { return handle_ && handle_->IsFileAt(path); }

void File::BeginUndo(bool keepTime) {
  EndUndo();
  undo_.on = handle_ != nullptr;
  undo_.keepTime = keepTime;
}

void File::EndUndo() {
  undo_.on = undo_.captured = undo_.headKept = false;
  undo_.keepTime = true;
  undo_.kept.clear();  // keeps its room for the next change
}

void File::Capture() {
  if (undo_.captured) return;
  if (undo_.keepTime || !sizeKnown_) {
    int e = Handle().Stat(undo_.size, undo_.modifiedNs);
    if (e) IoError("cannot stat", path_, e);
    if (!sizeKnown_ || size_ != undo_.size) tail_.clear();
    size_ = undo_.size;
    sizeKnown_ = true;
  } else {
    undo_.size = size_;
  }
  undo_.captured = true;
}

void File::Keep(uint64_t offset, size_t n) {
  if (!tail_.empty() && offset >= tailAt_ && offset + n <= tailAt_ + tail_.size()) {
    undo_.kept.emplace_back(offset, tail_.substr((size_t)(offset - tailAt_), n));
    return;
  }
  std::string old(n, '\0');
  old.resize(ReadSome(offset, old.data(), n));
  undo_.kept.emplace_back(offset, std::move(old));
}

bool File::RollBack() noexcept {
  if (!undo_.on || !undo_.captured || !handle_) {
    undo_ = Undo{};
    return true;
  }
  Undo u = std::move(undo_);
  undo_ = Undo{};
  ForgetSize();
  bool ok = true;
  // Newest first, the head copy in its place among the rest.
  for (size_t i = u.kept.size() + 1; i-- > 0;) {
    try {
      if (u.headKept && i == u.headAt && !u.head.empty()) RawWrite(0, u.head.data(), u.head.size());
    } catch (...) {
      ok = false;
    }
    try {
      if (i > 0) RawWrite(u.kept[i - 1].first, u.kept[i - 1].second.data(), u.kept[i - 1].second.size());
    } catch (...) {
      ok = false;
    }
  }
  uint64_t size = 0, mtime = 0;
  if (handle_->Stat(size, mtime) != 0 || (size != u.size && handle_->Truncate(u.size) != 0)) ok = false;
  if (handle_->Sync() == 0) unsynced_ = false;
  // Last, after every write: the time the file had.
  if (u.keepTime) handle_->SetModified(u.modifiedNs);
  ForgetSize();
  return ok;
}

MappedView::MappedView(const File& f) {
  if (!f.IsOpen()) return;
  uint64_t n = f.Size();
  if (n == 0 || n > (uint64_t)SIZE_MAX) return;
  void* p = f.handle_->Map((size_t)n, false);
  if (!p) return;
  handle_ = f.handle_.get();
  data_ = (const char*)p;
  size_ = n;
}

MappedView::~MappedView() {
  if (data_) handle_->Unmap((void*)data_, (size_t)size_);
}

ReadWindow::ReadWindow(const File& f, size_t windowBytes) : file_(f), window_(std::max<size_t>(1, windowBytes)) {}

ReadWindow::~ReadWindow() { Release(); }

void ReadWindow::Release() {
  if (map_) file_.handle_->UnmapRead(map_, mapLen_);
  map_ = nullptr;
  mapLen_ = 0;
}

const char* ReadWindow::Get(uint64_t offset, size_t n) {
  if (map_ && offset >= mapAt_ && offset + n <= mapAt_ + mapLen_) return map_ + (offset - mapAt_);
  if (bufLen_ && offset >= bufAt_ && offset + n <= bufAt_ + bufLen_) return buf_.data() + (offset - bufAt_);
  Release();
  if (mapping_ && n > 0) {
    const uint64_t size = file_.Size();
    const uint64_t limit = size > kTailBytes ? size - kTailBytes : 0;
    const uint64_t at = offset - offset % kMapAlign;
    if (offset + n <= limit) {
      const size_t len = (size_t)std::min<uint64_t>(window_ + kMapAlign, limit - at);
      if (const void* p = file_.Handle().MapRead(at, len)) {
        map_ = (const char*)p;
        mapAt_ = at;
        mapLen_ = len;
        return map_ + (offset - at);
      }
      mapping_ = false;
    }
  }
  // Read a little ahead, so that the next stretches are likely served from
  // it; never fewer than the n bytes asked for.
  buf_.resize(std::max(std::min(window_, kReadAheadBytes), n));
  bufAt_ = offset;
  bufLen_ = 0;
  const size_t got = file_.ReadSome(offset, buf_.data(), buf_.size());
  if (got < n) file_.ReadAt(offset, buf_.data(), n);  // throws unless the file grew meanwhile
  bufLen_ = std::max(got, n);
  return buf_.data();
}

// ---- paths -----------------------------------------------------------------------

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::u8path(path), ec);
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::u8path(path), ec);
}

uint64_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(fs::u8path(path), ec);
  return ec ? 0 : (uint64_t)n;
}

void RenameFile(const std::string& from, const std::string& to) {
  int e = CurrentFileSystem().Rename(from, to);
  if (e) throw Error(ErrorCode::Io, "cannot rename " + from + " to " + to + ": " + Reason(e));
}

void RemoveFile(const std::string& path) {
  int e = CurrentFileSystem().Remove(path);
  if (e && e != ENOENT) IoError("cannot remove", path, e);
}

bool TryRemoveFile(const std::string& path) noexcept {
  try {
    int e = CurrentFileSystem().Remove(path);
    return e == 0 || e == ENOENT;
  } catch (...) {
    return false;
  }
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

void SyncFolderOf(const std::string& path) {
  std::string dir = FolderOf(path);
  if (dir.empty()) dir = ".";
  int e = CurrentFileSystem().SyncFolder(dir);
  if (e) IoError("cannot write to disk the folder", dir, e);
}

std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  auto p = fs::weakly_canonical(fs::u8path(path), ec);
  if (ec) return fs::absolute(fs::u8path(path), ec).lexically_normal().string();
  return p.string();
}

std::string FollowLink(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::u8path(path), ec)) return path;
  auto p = fs::canonical(fs::u8path(path), ec);
  return ec ? path : p.string();
}

std::string WithExtension(const std::string& path, const std::string& ext) {
  auto slash = path.find_last_of("/\\");
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string BaseName(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace xbase
