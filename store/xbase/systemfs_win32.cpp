// The operating system's files on Windows: overlapped ReadFile/WriteFile
// at offsets, LockFileEx locks on bytes past any data, no mapping.
#ifdef _WIN32

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "filesystem.h"
#include "paths.h"

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

// Times are kept as nanoseconds since 1970, as on POSIX, so that an index
// stamped on one system is current on the other (a folder on a share, a
// disk carried over); a FILETIME counts 100 ns ticks since 1601.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ull;

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
  // Windows reads scattered only into whole pages of unbuffered files: the
  // stretch is read in large reads into a buffer of the calling thread's,
  // then copied into the pieces, one system call per megabyte instead of
  // one per piece.
  int ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count, size_t& done) override {
    constexpr size_t kChunk = 1u << 20;
    thread_local std::vector<char> scratch;
    done = 0;
    size_t piece = 0, within = 0;  // where the next byte goes
    while (piece < count) {
      size_t want = 0;
      for (size_t i = piece; i < count && want < kChunk; ++i) want += pieces[i].n - (i == piece ? within : 0);
      want = std::min(want, kChunk);
      if (scratch.size() < want) scratch.resize(want);
      size_t got = 0;
      if (int e = Read(offset + done, scratch.data(), want, got)) return e;
      for (size_t at = 0; at < got;) {
        const size_t take = std::min(pieces[piece].n - within, got - at);
        std::memcpy(pieces[piece].to + within, scratch.data() + at, take);
        at += take;
        within += take;
        if (within == pieces[piece].n) {
          ++piece;
          within = 0;
        }
      }
      done += got;
      if (got < want) return 0;
    }
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
    const uint64_t ticks = (((uint64_t)ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    modifiedNs = ticks > kUnixEpochTicks ? (ticks - kUnixEpochTicks) * 100 : 0;
    return 0;
  }
  int Truncate(uint64_t size) override {
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = (LONGLONG)size;
    return SetFileInformationByHandle(h_, FileEndOfFileInfo, &info, sizeof info) ? 0 : ErrnoOf(GetLastError());
  }
  int Sync() override { return FlushFileBuffers(h_) ? 0 : ErrnoOf(GetLastError()); }
  int SetModified(uint64_t modifiedNs) override {
    uint64_t t = modifiedNs / 100 + kUnixEpochTicks;
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
    const std::wstring src = Wide(from), dst = Wide(to);
    if (MoveFileExW(src.c_str(), dst.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return 0;
    const DWORD e = GetLastError();
    // Windows refuses to replace a file that is open (an index or table this
    // program or a reader beside it still holds). Every handle of ours lets
    // others rename and delete the file, so the old file can be replaced
    // the way POSIX does it: open handles keep the old file, the name gets
    // the new one.
    if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) return ErrnoOf(e);
    if (PosixRename(src, dst)) return 0;
    return RenameAside(src, dst);
  }
  int Remove(const std::string& path) override {
    return DeleteFileW(Wide(path).c_str()) ? 0 : ErrnoOf(GetLastError());
  }
  // MOVEFILE_WRITE_THROUGH already makes each rename durable.
  int SyncFolder(const std::string&) override { return 0; }

 private:
  // A rename with POSIX semantics (Windows 10 1607 and later, on NTFS):
  // one step, the open target stays open as a nameless file.
  static bool PosixRename(const std::wstring& from, const std::wstring& to) {
    const std::wstring target = FullPath(to);
    if (target.empty()) return false;
    HANDLE h = CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + (target.size() + 1) * sizeof(wchar_t);
    std::vector<char> buf(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    // FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS,
    // in the field older headers call ReplaceIfExists.
    const DWORD flags = 0x1 | 0x2;
    // FileRenameInfoEx, which headers for older systems leave out.
    constexpr auto kFileRenameInfoEx = (FILE_INFO_BY_HANDLE_CLASS)22;
    std::memcpy(buf.data(), &flags, sizeof flags);
    info->RootDirectory = nullptr;
    info->FileNameLength = (DWORD)(target.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, target.c_str(), (target.size() + 1) * sizeof(wchar_t));
    const bool ok = SetFileInformationByHandle(h, kFileRenameInfoEx, info, (DWORD)bytes) != 0;
    if (ok) FlushFileBuffers(h);
    CloseHandle(h);
    return ok;
  }

  // Where that is not available: the open target is first renamed aside
  // (to a name of this process's own), the new file takes its name, and the
  // old one is deleted, which the system completes when its last handle
  // closes. If the new file cannot take the name, the old one gets it back.
  static int RenameAside(const std::wstring& from, const std::wstring& to) {
    static std::atomic<unsigned> counter{0};
    const std::wstring aside = to + L".replaced-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(counter.fetch_add(1));
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return ErrnoOf(GetLastError());
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD e = GetLastError();
      MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
      return ErrnoOf(e);
    }
    DeleteFileW(aside.c_str());
    return 0;
  }

  static std::wstring FullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n) return {};
    full.resize(got);
    return full;
  }
};

}  // namespace

FileSystem& SystemFileSystem() {
  static SystemFs fs;
  return fs;
}

uint32_t NameCountOf(const std::string& path) {
  HANDLE h = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION info;
  const uint32_t n = GetFileInformationByHandle(h, &info) ? info.nNumberOfLinks : 0;
  CloseHandle(h);
  return n;
}

unsigned long CurrentProcessNumber() { return GetCurrentProcessId(); }

bool ProcessHasEnded(unsigned long pid) {
  HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, (DWORD)pid);
  // No such process; access denied means one that runs, as another user.
  if (!h) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return ended;
}

}  // namespace xbase

#endif  // _WIN32
