// One open file as the engine uses it: exact positioned reads and writes
// that throw naming the path, size and sync, OS locks, a mapped head, and an
// undo log that puts back what one small change wrote (fileundo.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "filesystem.h"

namespace xbase {

// Bytes of a file in memory for one pass of reading them; let go when
// destroyed. Empty where the system maps nothing.
class MappedBytes {
 public:
  MappedBytes() = default;
  MappedBytes(FileHandle* handle, const char* base, size_t len, size_t skip)
      : handle_(handle), base_(base), len_(len), skip_(skip) {}
  ~MappedBytes() {
    if (base_) handle_->UnmapRead(base_, len_);
  }
  MappedBytes(const MappedBytes&) = delete;
  MappedBytes& operator=(const MappedBytes&) = delete;
  MappedBytes(MappedBytes&& o) noexcept
      : handle_(o.handle_), base_(std::exchange(o.base_, nullptr)), len_(o.len_), skip_(o.skip_) {}
  MappedBytes& operator=(MappedBytes&&) = delete;
  const char* data() const { return base_ ? base_ + skip_ : nullptr; }

 private:
  FileHandle* handle_ = nullptr;
  const char* base_ = nullptr;
  size_t len_ = 0, skip_ = 0;
};

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
  // Reads the bytes from offset on into the pieces in turn; returns how
  // many were read (fewer where the file ends first).
  size_t ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count) const;
  // The bytes [offset, offset + n) where they lie in the system's file
  // cache, read-only, without copying them; empty where mapping is not
  // available (the caller then reads). Touching a mapped byte that the file
  // no longer holds ends the program, so the caller keeps clear of the
  // file's end, which another program may cut off.
  MappedBytes MapForReading(uint64_t offset, size_t n) const;
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

  // Appends held in memory: while on, writes that extend the file are
  // gathered and reach the system a large piece at a time, which spares a
  // call per record of a load. Every other use of the file (a read, its
  // size, a sync, a write elsewhere, a rollback, the close) writes what is
  // held first, so the file reads as if each write had been made. A held
  // piece that cannot be written is dropped with an error; the file then
  // ends where the system left it, which a load's owner counts again.
  // Turning it off writes what is held.
  void HoldAppends(bool on);
  void WriteHeld();

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
  bool TryOpen(const std::string& path, Mode mode, int& err);
  FileHandle& Handle() const;  // throws when closed
  void Capture();
  void Keep(uint64_t offset, size_t n);
  void RawWrite(uint64_t offset, const void* buf, size_t n);
  void Wrote(uint64_t offset, const void* buf, size_t n);
  void ForgetSize();
  bool Hold(uint64_t offset, const void* buf, size_t n);
  // Reads see every held byte: a read writes them out first. The File is
  // never itself const, so this is a write through a const path by design.
  void WriteHeldForReading() const { const_cast<File*>(this)->WriteHeld(); }

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
  // Held appends: the bytes of [heldAt_, heldAt_ + held_.size()), not yet
  // given to the system; heldLost_ says a held piece failed since the
  // change's BeginUndo, so that its rollback neither fills the gap nor
  // writes past the file's real end.
  bool holding_ = false;
  bool heldLost_ = false;
  std::string held_;
  uint64_t heldAt_ = 0;
};

}  // namespace xbase
