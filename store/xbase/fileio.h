// Files as the engine needs them: positioned reads and writes, size, OS
// locks and atomic replacement.
//
// Every platform call goes through a FileSystem. The default one is the
// operating system's; tests install one that fails chosen calls (a full
// disk, an I/O error, a short write, a failed sync or rename) to check that
// the engine leaves the files as they were and says what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// One open file. Each call returns 0 or an errno value.
class FileHandle {
 public:
  virtual ~FileHandle() = default;
  // One read or write at an offset; `done` may fall short of n.
  virtual int Read(uint64_t offset, void* buf, size_t n, size_t& done) = 0;
  virtual int Write(uint64_t offset, const void* buf, size_t n, size_t& done) = 0;
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
  // Bytes [offset, offset + n) in memory, read-only, shared with the file;
  // offset is a multiple of kMapAlign. Null where mapping is not available.
  virtual const void* MapRead(uint64_t /*offset*/, size_t /*n*/) { return nullptr; }
  virtual void UnmapRead(const void* /*p*/, size_t /*n*/) {}
};

// The alignment of a mapping's start: a multiple of every page size and of
// the allocation granularity of the systems the engine runs on.
inline constexpr uint64_t kMapAlign = 64u << 10;

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

class File {
 public:
  using Mode = OpenMode;
  using Lock = LockKind;

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Throws Error(Io / NotFound) naming the path. Opens regular files only.
  void Open(const std::string& path, Mode mode);
  // Opens read-write, falling back to read-only when the file may not be
  // written; returns whether it is writable.
  bool OpenBest(const std::string& path);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }
  bool Writable() const { return writable_; }
  const std::string& Path() const { return path_; }
  // The file is now known by another name (it was renamed while open).
  void Moved(const std::string& path) { path_ = path; }

  // Reads exactly n bytes at offset; throws Corrupt when the file ends first.
  void ReadAt(uint64_t offset, void* buf, size_t n) const;
  // Reads up to n bytes; returns how many were read.
  size_t ReadSome(uint64_t offset, void* buf, size_t n) const;
  void WriteAt(uint64_t offset, const void* buf, size_t n);
  uint64_t Size() const;
  // Last-modification time in nanoseconds (0 when unknown).
  uint64_t ModifiedNs() const;
  void Truncate(uint64_t size);
  // Throws Error(Io) when the system cannot confirm the data are on disk.
  void Sync();
  // Syncs only when the file was written since its last sync.
  void SyncIfWritten();
  bool Written() const { return unsynced_; }

  // Maps the first bytes of the file into memory for writing: stores there
  // reach the file as writes do (the system's file cache), without a call
  // per store. Null where mapping is not available; callers then write.
  char* MapHead(size_t n);

  // Non-blocking OS lock; false when someone else holds a conflicting one.
  bool TryLock(Lock kind);
  // Shared and Exclusive release the open lock; Writer the writer lock.
  void Unlock(Lock kind = Lock::Shared);
  // Whether `path` still names the file this object has open.
  bool IsFileAt(const std::string& path) const;

  // Undo: from BeginUndo on, the bytes every write or truncation replaces,
  // and the file's size (and, with keepTime, its modification time) before
  // the first of them, are kept; RollBack puts them back (the time too, so
  // that an index stamped with it stays valid). EndUndo forgets them. For
  // one small operation at a time: a post, a delete. The file must have no
  // other writer meanwhile.
  void BeginUndo(bool keepTime = true);
  void EndUndo();
  // Whether a write or truncation was tried since BeginUndo.
  bool Touched() const { return undo_.captured; }
  // False when the file could not be put back.
  bool RollBack() noexcept;

 private:
  friend class MappedView;
  friend class ReadWindow;
  bool TryOpen(const std::string& path, Mode mode, int& err);
  FileHandle& Handle() const;  // throws when closed
  void Capture();
  void Keep(uint64_t offset, size_t n);
  void RawWrite(uint64_t offset, const void* buf, size_t n);
  void Wrote(uint64_t offset, const void* buf, size_t n);
  void ForgetSize();

  std::unique_ptr<FileHandle> handle_;
  std::string path_;
  bool writable_ = false;
  bool unsynced_ = false;
  char* map_ = nullptr;
  size_t mapLen_ = 0;
  struct Undo {
    bool on = false, captured = false, headKept = false, keepTime = true;
    uint64_t size = 0, modifiedNs = 0;
    std::vector<std::pair<uint64_t, std::string>> kept;
    // The mapped head's bytes before the first store through the mapping,
    // put back as if they stood at kept[headAt]; a member of its own so
    // that its room is reused from one change to the next.
    std::string head;
    size_t headAt = 0;
  } undo_;
  // What this object's own writes tell of the file, so that undo needs no
  // call to the system for the common case of appending: its size, and its
  // last bytes (tail_, from offset tailAt_, ending at the size).
  bool sizeKnown_ = false;
  uint64_t size_ = 0;
  std::string tail_;
  uint64_t tailAt_ = 0;
};

// A read-only view of a whole file in memory, for one sequential pass
// without copying; empty (data() null) where mapping is not available, and
// the caller then reads instead. The file must stay open meanwhile.
class MappedView {
 public:
  explicit MappedView(const File& f);
  ~MappedView();
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  const char* data() const { return data_; }
  uint64_t size() const { return size_; }

 private:
  FileHandle* handle_ = nullptr;
  const char* data_ = nullptr;
  uint64_t size_ = 0;
};

// Stretches of a file read through a read-only mapping of one window at a
// time, the window before let go, so that the memory in use stays bounded
// (mapped pages count as the process's own); read into a buffer instead
// where mapping is not available. The file's last kTailBytes (as its size
// is when a window is taken) are always read, never mapped: another program
// undoing a failed append may cut them off, and touching a mapped page past
// the end of a file would end the program instead of reporting. Reading
// never reaches past the file's size. The file must stay open meanwhile.
class ReadWindow {
 public:
  static constexpr uint64_t kTailBytes = 1u << 20;
  // Read ahead at least this much where the bytes are read, not mapped.
  static constexpr size_t kReadAheadBytes = 64u << 10;
  ReadWindow(const File& f, size_t windowBytes);
  ~ReadWindow();
  ReadWindow(const ReadWindow&) = delete;
  ReadWindow& operator=(const ReadWindow&) = delete;
  // The bytes [offset, offset + n), n <= windowBytes, valid until the next
  // call. Throws Corrupt, as File::ReadAt does, when the file ends first.
  const char* Get(uint64_t offset, size_t n);
  // Drops the bytes read ahead, so that the next stretch is read as the
  // file holds it now (a mapping shows the file as it is anyway).
  void Forget() { bufLen_ = 0; }

 private:
  void Release();
  const File& file_;
  const size_t window_;
  bool mapping_ = true;  // false once the system declined a mapping
  const char* map_ = nullptr;
  uint64_t mapAt_ = 0;
  size_t mapLen_ = 0;
  std::vector<char> buf_;  // bytes read: [bufAt_, bufAt_ + bufLen_)
  uint64_t bufAt_ = 0;
  size_t bufLen_ = 0;
};

bool FileExists(const std::string& path);  // a regular file (links followed)
bool PathExists(const std::string& path);  // anything at all (links followed)
uint64_t FileSizeOf(const std::string& path);  // 0 when missing
void RenameFile(const std::string& from, const std::string& to);  // replaces `to`
void RemoveFile(const std::string& path);  // no error when missing
bool TryRemoveFile(const std::string& path) noexcept;  // cleanup: false when it stays
void SyncFolderOf(const std::string& path);
std::string CanonicalPath(const std::string& path);
// The file a symbolic link leads to; any other path as it is.
std::string FollowLink(const std::string& path);
// Replace the extension (".dbf" -> ".nsx") of a path.
std::string WithExtension(const std::string& path, const std::string& ext);
std::string BaseName(const std::string& path);
std::string FolderOf(const std::string& path);  // "" for a plain name

}  // namespace xbase
