// The platform's files behind two small interfaces: a FileSystem opens,
// renames and removes files, a FileHandle reads, writes, locks and maps one
// open file.
//
// Every platform call goes through a FileSystem. The default one is the
// operating system's (systemfs_posix.cpp, systemfs_win32.cpp); tests install
// one that fails chosen calls (a full disk, an I/O error, a short write, a
// failed sync or rename) to check that the engine leaves the files as they
// were and says what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace xbase {

enum class OpenMode { ReadOnly, ReadWrite, Create /* new file, fails if present */, Truncate };

// The locks of a table file. Shared and Exclusive are the open locks (any
// number of shared users, or one exclusive one); Writer is held by the one
// program that may change a table it opened shared, on a byte range far
// past any data so that it never meets the open locks.
enum class LockKind { Shared, Exclusive, Writer };

// Open returns this instead of an errno value for something that is not a
// regular file (a folder, a pipe, a device): nothing else is ever opened.
inline constexpr int kNotRegularFile = -1;

// One stretch of a scattered read: the next n bytes of the file go to `to`.
struct ReadPiece {
  char* to;
  size_t n;
};

// One open file. Each call returns 0 or an errno value.
class FileHandle {
 public:
  virtual ~FileHandle() = default;
  // One read or write at an offset; `done` may fall short of n.
  virtual int Read(uint64_t offset, void* buf, size_t n, size_t& done) = 0;
  virtual int Write(uint64_t offset, const void* buf, size_t n, size_t& done) = 0;
  // The bytes from offset on into the pieces in turn, as one Read would
  // (where the system offers it, in one call); `done` may fall short. By
  // default, piece by piece through Read.
  virtual int ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count, size_t& done);
  virtual int Stat(uint64_t& size, uint64_t& modifiedNs) = 0;
  virtual int Truncate(uint64_t size) = 0;
  // Data (and the size) to the disk.
  virtual int Sync() = 0;
  virtual int SetModified(uint64_t modifiedNs) = 0;
  // Non-blocking; false when someone else holds a conflicting lock.
  virtual bool TryLock(LockKind kind) = 0;
  virtual void Unlock(LockKind kind) = 0;
  // Whether the path still names this very file (not a file put in its place).
  virtual bool IsFileAt(const std::string& path) = 0;
  // The first n bytes in memory (shared with the file); null where mapping
  // is not available.
  virtual void* Map(size_t n, bool writable) = 0;
  virtual void Unmap(void* p, size_t n) = 0;
  // The bytes [offset, offset + n) in memory for reading (offset a multiple
  // of 64 KiB); null where mapping is not available.
  virtual const char* MapRead(uint64_t offset, size_t n) {
    (void)offset;
    (void)n;
    return nullptr;
  }
  virtual void UnmapRead(const char* p, size_t n) {
    (void)p;
    (void)n;
  }
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // The new handle, or null with `err` set.
  virtual std::unique_ptr<FileHandle> Open(const std::string& path, OpenMode mode, int& err) = 0;
  // Replaces `to` atomically.
  virtual int Rename(const std::string& from, const std::string& to) = 0;
  virtual int Remove(const std::string& path) = 0;
  // Makes the folder's entries (renames, new and removed files) durable.
  virtual int SyncFolder(const std::string& folder) = 0;
};

// The operating system's file system.
FileSystem& SystemFileSystem();
// The file system every later file operation of the engine uses.
FileSystem& CurrentFileSystem();
// Installs `fs` (null: the system's) and returns the one installed before.
FileSystem* InstallFileSystem(FileSystem* fs);

// The writer lock's byte: far past any table, so no read, write or other
// lock of the data ever meets it. The Windows open lock sits beside it
// (locks there are mandatory, so they must stay clear of the data).
inline constexpr uint64_t kWriterLockOffset = 1ull << 62;
inline constexpr uint64_t kOpenLockOffset = kWriterLockOffset + 1;

// What an error number a FileSystem or FileHandle returned means, in words.
std::string IoReason(int err);
// Throws Error(NotFound) for ENOENT, else Error(Io): "<what> <path>: <reason>".
[[noreturn]] void ThrowIoError(const std::string& what, const std::string& path, int err);

}  // namespace xbase
