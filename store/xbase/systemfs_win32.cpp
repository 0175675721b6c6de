// The operating system's files on Windows: overlapped ReadFile/WriteFile
// at offsets, LockFileEx locks on bytes past any data, no mapping.
#ifdef _WIN32

#include <algorithm>
#include <cerrno>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "filesystem.h"

namespace xbase {

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

FileSystem& SystemFileSystem() {
  static SystemFs fs;
  return fs;
}

}  // namespace xbase

#endif  // _WIN32
