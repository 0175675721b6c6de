// The operating system's files on POSIX systems: pread/pwrite (preadv for
// scattered reads), flock() open locks and an open-file record lock for the
// writer, mmap.
#ifndef _WIN32

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "filesystem.h"
#include "paths.h"

namespace xbase {

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
  int ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count, size_t& done) override {
    done = 0;
    constexpr size_t kMaxPieces = 1024;  // IOV_MAX on the systems the engine runs on
    iovec v[kMaxPieces];
    while (count > 0) {
      const size_t k = std::min(count, kMaxPieces);
      size_t want = 0;
      for (size_t i = 0; i < k; ++i) {
        v[i].iov_base = pieces[i].to;
        v[i].iov_len = pieces[i].n;
        want += pieces[i].n;
      }
      ssize_t r;
      do {
        r = ::preadv(fd_, v, (int)k, (off_t)(offset + done));
      } while (r < 0 && errno == EINTR);
      if (r < 0) return errno;
      done += (size_t)r;
      if ((size_t)r < want) return 0;
      pieces += k;
      count -= k;
    }
    return 0;
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
  const char* MapRead(uint64_t offset, size_t n) override {
    void* p = ::mmap(nullptr, n, PROT_READ, MAP_SHARED, fd_, (off_t)offset);
    if (p == MAP_FAILED) return nullptr;
    ::madvise(p, n, MADV_SEQUENTIAL);
    return static_cast<const char*>(p);
  }
  void UnmapRead(const char* p, size_t n) override { ::munmap(const_cast<char*>(p), n); }

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

FileSystem& SystemFileSystem() {
  static SystemFs fs;
  return fs;
}

uint32_t NameCountOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (uint32_t)st.st_nlink : 0;
}

unsigned long CurrentProcessNumber() { return (unsigned long)::getpid(); }

bool ProcessHasEnded(unsigned long pid) {
  // EPERM: it runs, as another user.
  return pid > 0 && pid <= (unsigned long)INT32_MAX && ::kill((pid_t)pid, 0) != 0 && errno == ESRCH;
}

}  // namespace xbase

#endif  // !_WIN32
