// The memo file (.SMT) in the FoxPro FPT layout: a 512-byte header holding
// the next free block and the block size (big-endian), then blocks; each
// memo starts a block with its type and length (big-endian) and its bytes.
//
// A memo is never overwritten in place: a changed memo is written to new
// blocks at the end and the record then points at them, so a process stopped
// at any moment leaves every posted record with its memo intact. Pack
// reclaims the old blocks.
#pragma once

#include <cstdint>
#include <string>

#include "file.h"
#include "paths.h"
#include "readwindow.h"

namespace xbase {

class MemoFile {
 public:
  static constexpr uint32_t kHeaderSize = 512;
  static constexpr uint32_t kDefaultBlockSize = 64;

  static void Create(const std::string& path, uint32_t blockSize = kDefaultBlockSize);

  void Open(const std::string& path, bool writable);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  const std::string& path() const { return path_; }
  File& file() { return file_; }
  uint32_t blockSize() const { return blockSize_; }
  uint32_t nextFree() const { return nextFree_; }

  // Text of the memo starting at `block` (0 = no memo, empty text): every
  // byte that was written, whatever it is.
  std::string Read(uint32_t block);
  // Appends the text of the memo at `block` (not 0) to `out`, read through
  // `window` (a window on this file) with the bytes up to `readTo` where it
  // reads, and returns true; false, with `out` as it was, when the memo
  // does not lie whole in the file or is larger than the window: Read then
  // tells what is wrong or reads it.
  bool AppendVia(ReadWindow& window, uint32_t block, uint64_t readTo, std::string& out) const;
  // Checks a memo reference without reading the text; returns an empty
  // string when sound, else the problem. A reference is sound when its memo
  // lies within the file; one that seems to lie past the end is tried again
  // on the file as it is now (another program may have added the memo
  // since this one looked). `end`, when given, receives the offset just
  // past a sound memo.
  std::string Verify(uint32_t block, uint64_t* end = nullptr);
  // Whether a text memo starts at the block and lies whole within the file.
  bool Whole(uint32_t block);
  // Puts the next free block in the header after the end of the file when
  // it lies before (a power cut that kept memos but not the header naming
  // them), and syncs it.
  void SettleFreeBlock();
  // Writes the text as a new memo and returns its block (0 for empty text).
  // The memo goes after the end of the file even when the header's next
  // free block lies before it, so nothing in the file is ever written over.
  uint32_t Write(const std::string& text);
  // Re-reads the next free block and the size (another program may have
  // added memos); true when either changed.
  bool Refresh();

  // Reads the header again, after the file was put back as it was.
  void Reload();

  // For writing a whole new memo file in one go (pack): memos collect in
  // memory and go to disk in large writes; EndBulk writes the rest and the
  // header.
  void BeginBulk() { bulk_ = true; }
  void EndBulk();

 private:
  File file_;
  std::string path_;
  uint32_t blockSize_ = kDefaultBlockSize;
  uint32_t nextFree_ = 0;
  uint64_t size_ = 0;  // file size as this process left it
  bool bulk_ = false;
  std::string pending_;        // bulk bytes not yet written
  std::string writeBuf_;       // the blocks of the memo being written
  uint64_t pendingAt_ = 0;     // file offset of pending_
  // Read-ahead window for memos read in file order.
  mutable std::string window_;
  mutable uint64_t windowAt_ = 0;
  void ReadBytes(uint64_t at, void* buf, size_t n) const;
};

}  // namespace xbase
