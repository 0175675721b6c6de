// Files as the engine needs them: positioned reads and writes, size, OS
// locks and atomic replacement. The only place that calls the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace xbase {

class File {
 public:
  enum class Mode { ReadOnly, ReadWrite, Create /* new file, fails if present */, Truncate };
  enum class Lock { None, Shared, Exclusive };

  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Throws Error(Io / NotFound) naming the path.
  void Open(const std::string& path, Mode mode);
  // Opens read-write, falling back to read-only when the file may not be
  // written; returns whether it is writable.
  bool OpenBest(const std::string& path);
  void Close();
  bool IsOpen() const;
  bool Writable() const { return writable_; }
  const std::string& Path() const { return path_; }

  // Reads exactly n bytes at offset; throws Corrupt when the file ends first.
  void ReadAt(uint64_t offset, void* buf, size_t n) const;
  // Reads up to n bytes; returns how many were read.
  size_t ReadSome(uint64_t offset, void* buf, size_t n) const;
  void WriteAt(uint64_t offset, const void* buf, size_t n);
  uint64_t Size() const;
  // Last-modification time in nanoseconds (0 when unknown).
  uint64_t ModifiedNs() const;
  void Truncate(uint64_t size);
  void Sync();

  // Maps the first bytes of the file into memory for writing: stores there
  // reach the file as writes do (the system's file cache), without a call
  // per store. Null where mapping is not available; callers then write.
  char* MapHead(size_t n);
  int NativeHandle() const;

  // Non-blocking OS lock of the whole file; false when someone else holds a
  // conflicting one.
  bool TryLock(Lock kind);
  void Unlock();

 private:
  std::string path_;
  bool writable_ = false;
  char* map_ = nullptr;
  size_t mapLen_ = 0;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// A read-only view of a whole file in memory, for one sequential pass
// without copying; empty (data() null) where mapping is not available, and
// the caller then reads instead.
class MappedView {
 public:
  explicit MappedView(const File& f);
  ~MappedView();
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;
  const char* data() const { return data_; }
  uint64_t size() const { return size_; }

 private:
  const char* data_ = nullptr;
  uint64_t size_ = 0;
};

bool FileExists(const std::string& path);
uint64_t FileSizeOf(const std::string& path);  // 0 when missing
void RenameFile(const std::string& from, const std::string& to);  // replaces `to`
void RemoveFile(const std::string& path);  // no error when missing
void SyncFolderOf(const std::string& path);
std::string CanonicalPath(const std::string& path);
// Replace the extension (".dbf" -> ".nsx") of a path.
std::string WithExtension(const std::string& path, const std::string& ext);
std::string BaseName(const std::string& path);

}  // namespace xbase
