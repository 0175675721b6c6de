// Reading long stretches of a file without holding it all: one buffer,
// reused from one stretch to the next, filled by large positioned reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "file.h"

namespace xbase {

// Stretches of a file read into one buffer of at most windowBytes, kept
// from one read to the next, so that the memory in use stays bounded and a
// bulk read costs one system call per stretch read (no mapping, no size
// asked per stretch). The file is only ever read, never mapped: another
// program may cut its end off meanwhile (undoing a failed append), and a
// read then falls short and reports, where a touch of a mapped page past
// the end would end the program. The file must stay open meanwhile.
class ReadWindow {
 public:
  ReadWindow(const File& f, size_t windowBytes);
  ReadWindow(const ReadWindow&) = delete;
  ReadWindow& operator=(const ReadWindow&) = delete;

  // The bytes [offset, offset + n), n <= windowBytes, valid until the next
  // call. When they are not in the buffer they are read, and with them, in
  // the same read, what follows them up to `readTo` (as far as the buffer
  // and the file's size allow): the caller knows what it wants next. Throws
  // Corrupt, as File::ReadAt does, when the file ends first.
  const char* Get(uint64_t offset, size_t n, uint64_t readTo = 0);
  // Whether Get(offset, n) is served without reading.
  bool Holds(uint64_t offset, size_t n) const {
    return bufLen_ && offset >= bufAt_ && offset + n <= bufAt_ + bufLen_;
  }
  size_t capacity() const { return window_; }
  // Drops the bytes read, so that the next stretch is read as the file
  // holds it now; the file's size is asked again when next needed.
  void Forget() {
    bufLen_ = 0;
    sizeKnown_ = false;
  }

 private:
  const File& file_;
  const size_t window_;
  std::vector<char> buf_;  // bytes read: [bufAt_, bufAt_ + bufLen_)
  uint64_t bufAt_ = 0;
  size_t bufLen_ = 0;
  // The file's size when last asked: reads ahead stop there, so that none
  // asks for bytes the file does not hold. Bytes asked for are read anyway
  // (the file may have grown).
  uint64_t size_ = 0;
  bool sizeKnown_ = false;
};

}  // namespace xbase
