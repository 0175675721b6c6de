#include "fileio.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "xbase.h"

#ifdef _WIN32
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
[[noreturn]] void IoError(const std::string& what, const std::string& path, int err) {
  ErrorCode code = (err == ENOENT) ? ErrorCode::NotFound : ErrorCode::Io;
  throw Error(code, what + " " + path + ": " + std::strerror(err));
}
}  // namespace

File::~File() { Close(); }

File::File(File&& o) noexcept { *this = std::move(o); }

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    Close();
    path_ = std::move(o.path_);
    writable_ = o.writable_;
    map_ = o.map_;
    mapLen_ = o.mapLen_;
    o.map_ = nullptr;
    o.mapLen_ = 0;
#ifdef _WIN32
    handle_ = o.handle_;
    o.handle_ = nullptr;
#else
    fd_ = o.fd_;
    o.fd_ = -1;
#endif
  }
  return *this;
}

#ifdef _WIN32

static std::wstring Wide(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
  std::wstring w(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
  return w;
}

void File::Open(const std::string& path, Mode mode) {
  Close();
  DWORD access = GENERIC_READ | (mode == Mode::ReadOnly ? 0 : GENERIC_WRITE);
  DWORD disp = mode == Mode::Create ? CREATE_NEW : mode == Mode::Truncate ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE h = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, disp, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD e = GetLastError();
    IoError("cannot open", path, e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ENOENT : EACCES);
  }
  handle_ = h;
  path_ = path;
  writable_ = mode != Mode::ReadOnly;
}

bool File::IsOpen() const { return handle_ != nullptr; }

void File::Close() {
  if (handle_) CloseHandle((HANDLE)handle_);
  handle_ = nullptr;
}

char* File::MapHead(size_t) { return nullptr; }
int File::NativeHandle() const { return -1; }
MappedView::MappedView(const File&) {}
MappedView::~MappedView() {}

size_t File::ReadSome(uint64_t offset, void* buf, size_t n) const {
  size_t done = 0;
  while (done < n) {
    OVERLAPPED ov{};
    uint64_t at = offset + done;
    ov.Offset = (DWORD)at;
    ov.OffsetHigh = (DWORD)(at >> 32);
    DWORD got = 0;
    if (!ReadFile((HANDLE)handle_, (char*)buf + done, (DWORD)(n - done), &got, &ov)) {
      if (GetLastError() == ERROR_HANDLE_EOF) break;
      IoError("cannot read", path_, EIO);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::WriteAt(uint64_t offset, const void* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    OVERLAPPED ov{};
    uint64_t at = offset + done;
    ov.Offset = (DWORD)at;
    ov.OffsetHigh = (DWORD)(at >> 32);
    DWORD put = 0;
    if (!WriteFile((HANDLE)handle_, (const char*)buf + done, (DWORD)(n - done), &put, &ov))
      IoError("cannot write", path_, EIO);
    done += put;
  }
}

uint64_t File::Size() const {
  LARGE_INTEGER li;
  if (!GetFileSizeEx((HANDLE)handle_, &li)) IoError("cannot stat", path_, EIO);
  return (uint64_t)li.QuadPart;
}

void File::Truncate(uint64_t size) {
  LARGE_INTEGER li;
  li.QuadPart = (LONGLONG)size;
  if (!SetFilePointerEx((HANDLE)handle_, li, nullptr, FILE_BEGIN) || !SetEndOfFile((HANDLE)handle_))
    IoError("cannot truncate", path_, EIO);
}

void File::Sync() { FlushFileBuffers((HANDLE)handle_); }

uint64_t File::ModifiedNs() const {
  FILETIME ft;
  if (!GetFileTime((HANDLE)handle_, nullptr, nullptr, &ft)) return 0;
  return ((((uint64_t)ft.dwHighDateTime) << 32) | ft.dwLowDateTime) * 100;
}

bool File::TryLock(Lock kind) {
  if (kind == Lock::None) return true;
  OVERLAPPED ov{};
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == Lock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  return LockFileEx((HANDLE)handle_, flags, 0, MAXDWORD, MAXDWORD, &ov) != 0;
}

void File::Unlock() {
  OVERLAPPED ov{};
  UnlockFileEx((HANDLE)handle_, 0, MAXDWORD, MAXDWORD, &ov);
}

void SyncFolderOf(const std::string&) {}

#else

void File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  switch (mode) {
    case Mode::ReadOnly: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    case Mode::Truncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) IoError("cannot open", path, errno);
  struct stat st;
  if (fstat(fd, &st) == 0 && !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw Error(ErrorCode::Io, "not a regular file: " + path);
  }
  fd_ = fd;
  path_ = path;
  writable_ = mode != Mode::ReadOnly;
}

bool File::IsOpen() const { return fd_ >= 0; }

void File::Close() {
  if (map_) ::munmap(map_, mapLen_);
  map_ = nullptr;
  mapLen_ = 0;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int File::NativeHandle() const { return fd_; }

MappedView::MappedView(const File& f) {
  uint64_t n = f.IsOpen() ? f.Size() : 0;
  if (n == 0 || n > (uint64_t)SIZE_MAX) return;
  void* p = ::mmap(nullptr, (size_t)n, PROT_READ, MAP_SHARED, f.NativeHandle(), 0);
  if (p == MAP_FAILED) return;
  ::madvise(p, (size_t)n, MADV_SEQUENTIAL);
  data_ = (const char*)p;
  size_ = n;
}

MappedView::~MappedView() {
  if (data_) ::munmap((void*)data_, (size_t)size_);
}

char* File::MapHead(size_t n) {
  if (map_) return mapLen_ >= n ? map_ : nullptr;
  if (fd_ < 0 || !writable_ || Size() < n) return nullptr;
  void* p = ::mmap(nullptr, n, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
  if (p == MAP_FAILED) return nullptr;
  map_ = (char*)p;
  mapLen_ = n;
  return map_;
}

size_t File::ReadSome(uint64_t offset, void* buf, size_t n) const {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_, (char*)buf + done, n - done, (off_t)(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      IoError("cannot read", path_, errno);
    }
    if (r == 0) break;
    done += (size_t)r;
  }
  return done;
}

void File::WriteAt(uint64_t offset, const void* buf, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd_, (const char*)buf + done, n - done, (off_t)(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      IoError("cannot write", path_, errno);
    }
    done += (size_t)r;
  }
}

uint64_t File::Size() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) IoError("cannot stat", path_, errno);
  return (uint64_t)st.st_size;
}

uint64_t File::ModifiedNs() const {
  struct stat st;
  if (fstat(fd_, &st) != 0) return 0;
#if defined(__APPLE__)
  return (uint64_t)st.st_mtimespec.tv_sec * 1000000000ull + (uint64_t)st.st_mtimespec.tv_nsec;
#else
  return (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
#endif
}

void File::Truncate(uint64_t size) {
  if (ftruncate(fd_, (off_t)size) != 0) IoError("cannot truncate", path_, errno);
}

void File::Sync() {
#if defined(__linux__)
  ::fdatasync(fd_);
#else
  ::fsync(fd_);
#endif
}

bool File::TryLock(Lock kind) {
  if (kind == Lock::None) return true;
  int op = (kind == Lock::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  while (::flock(fd_, op) != 0) {
    if (errno == EINTR) continue;
    return false;
  }
  return true;
}

void File::Unlock() {
  if (fd_ >= 0) ::flock(fd_, LOCK_UN);
}

void SyncFolderOf(const std::string& path) {
  std::string dir = fs::path(path).parent_path().string();
  if (dir.empty()) dir = ".";
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

#endif

bool File::OpenBest(const std::string& path) {
  try {
    Open(path, Mode::ReadWrite);
    return true;
  } catch (const Error& e) {
    if (e.code() == ErrorCode::NotFound) throw;
  }
  Open(path, Mode::ReadOnly);
  return false;
}

void File::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (ReadSome(offset, buf, n) != n)
    throw Error(ErrorCode::Corrupt, path_ + ": file ends before offset " + std::to_string(offset + n));
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::u8path(path), ec);
}

uint64_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(fs::u8path(path), ec);
  return ec ? 0 : (uint64_t)n;
}

void RenameFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::rename(fs::u8path(from), fs::u8path(to), ec);
  if (ec) throw Error(ErrorCode::Io, "cannot rename " + from + " to " + to + ": " + ec.message());
}

void RemoveFile(const std::string& path) {
  std::error_code ec;
  fs::remove(fs::u8path(path), ec);
}

std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  auto p = fs::weakly_canonical(fs::u8path(path), ec);
  if (ec) return fs::absolute(fs::u8path(path), ec).lexically_normal().string();
  return p.string();
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
