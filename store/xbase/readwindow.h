// Reading long stretches of a file without holding it all: a mapped view of
// a whole file, and a window that maps (or reads) one stretch at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "file.h"

namespace xbase {

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

}  // namespace xbase
