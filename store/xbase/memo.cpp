#include "memo.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "xbase.h"

namespace xbase {

namespace {
uint32_t Be32(const unsigned char* p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
void PutBe32(unsigned char* p, uint32_t v) {
  p[0] = (unsigned char)(v >> 24);
  p[1] = (unsigned char)(v >> 16);
  p[2] = (unsigned char)(v >> 8);
  p[3] = (unsigned char)v;
}
}  // namespace

void MemoFile::Create(const std::string& path, uint32_t blockSize) {
  unsigned char h[kHeaderSize] = {};
  uint32_t first = (kHeaderSize + blockSize - 1) / blockSize;
  PutBe32(h, first);
  h[6] = (unsigned char)(blockSize >> 8);
  h[7] = (unsigned char)blockSize;
  File f;
  f.Open(path, File::Mode::Truncate);
  f.WriteAt(0, h, sizeof h);
  f.Sync();
}

void MemoFile::Open(const std::string& path, bool writable) {
  path_ = path;
  if (writable)
    file_.OpenBest(path);
  else
    file_.Open(path, File::Mode::ReadOnly);
  size_ = file_.Size();
  if (size_ < kHeaderSize)
    throw Error(ErrorCode::Corrupt, "memo file " + path + " is damaged: shorter than its header");
  unsigned char h[8];
  file_.ReadAt(0, h, 8);
  nextFree_ = Be32(h);
  blockSize_ = (uint32_t)((h[6] << 8) | h[7]);
  if (blockSize_ == 0)
    throw Error(ErrorCode::Corrupt, "memo file " + path + " is damaged: block size 0");
  uint64_t firstBlock = (kHeaderSize + blockSize_ - 1) / blockSize_;
  // Bytes past the next free block are the remains of a write that never
  // completed; new memos go after them (see Write).
  if (nextFree_ < firstBlock)
    throw Error(ErrorCode::Corrupt, "memo file " + path + " is damaged: next free block " +
                                        std::to_string(nextFree_) + " lies inside the header");
}

void MemoFile::Reload() {
  size_ = file_.Size();
  unsigned char h[4];
  file_.ReadAt(0, h, 4);
  nextFree_ = Be32(h);
  window_.clear();
  windowAt_ = 0;
}

void MemoFile::ReadBytes(uint64_t at, void* buf, size_t n) const {
  constexpr size_t kWindow = 64 * 1024;
  if (n > kWindow / 2) {
    file_.ReadAt(at, buf, n);
    return;
  }
  if (at < windowAt_ || at + n > windowAt_ + window_.size()) {
    window_.resize(kWindow);
    size_t got = file_.ReadSome(at, window_.data(), kWindow);
    window_.resize(got);
    windowAt_ = at;
    if (got < n) throw Error(ErrorCode::Corrupt, "memo file " + path_ + " is damaged: a memo runs past the end");
  }
  std::memcpy(buf, window_.data() + (at - windowAt_), n);
}

bool MemoFile::Refresh() {
  unsigned char h[4];
  file_.ReadAt(0, h, 4);
  uint32_t next = Be32(h);
  uint64_t size = file_.Size();
  bool changed = next != nextFree_ || size != size_;
  nextFree_ = next;
  size_ = size;
  window_.clear();
  return changed;
}

std::string MemoFile::Verify(uint32_t block, uint64_t* end) {
  if (block == 0) return {};
  const uint64_t at = (uint64_t)block * blockSize_;
  if (at < kHeaderSize) return "memo block " + std::to_string(block) + " lies inside the memo file's header";
  auto problem = [&]() -> std::string {
    if (at + 8 > size_) return "memo block " + std::to_string(block) + " lies outside the memo file";
    unsigned char h[8];
    ReadBytes(at, h, 8);
    uint64_t stop = at + 8 + Be32(h + 4);
    if (stop > size_) return "memo at block " + std::to_string(block) + " runs past the end of the memo file";
    if (end) *end = stop;
    return {};
  };
  std::string p = problem();
  if (!p.empty() && !bulk_ && Refresh()) p = problem();
  return p;
}

bool MemoFile::Whole(uint32_t block) {
  if (!Verify(block).empty()) return false;
  unsigned char h[4];
  ReadBytes((uint64_t)block * blockSize_, h, 4);
  return Be32(h) == 1;
}

void MemoFile::SettleFreeBlock() {
  const uint64_t end = (size_ + blockSize_ - 1) / blockSize_;
  if (end <= nextFree_ || end > UINT32_MAX) return;
  nextFree_ = (uint32_t)end;
  unsigned char h[4];
  PutBe32(h, nextFree_);
  file_.WriteAt(0, h, 4);
  file_.Sync();
}

std::string MemoFile::Read(uint32_t block) {
  if (block == 0) return {};
  std::string problem = Verify(block);
  if (!problem.empty()) throw Error(ErrorCode::Corrupt, "memo file " + path_ + " is damaged: " + problem);
  uint64_t at = (uint64_t)block * blockSize_;
  unsigned char h[8];
  ReadBytes(at, h, 8);
  uint32_t len = Be32(h + 4);
  std::string text(len, '\0');
  if (len) ReadBytes(at + 8, text.data(), len);
  return text;
}

bool MemoFile::AppendVia(ReadWindow& window, uint32_t block, uint64_t readTo, std::string& out) const {
  const uint64_t at = (uint64_t)block * blockSize_;
  if (block == 0 || at < kHeaderSize) return false;
  try {
    const uint32_t len = Be32((const unsigned char*)window.Get(at, 8, readTo) + 4);
    if (len > window.capacity()) return false;
    out.append(window.Get(at + 8, len, readTo), len);
    return true;
  } catch (const Error& e) {
    if (e.code() != ErrorCode::Corrupt) throw;  // a read the disk refused
    return false;  // the file ends first
  }
}

uint32_t MemoFile::Write(const std::string& text) {
  if (text.empty()) return 0;
  if (text.size() > 0x7FFFFFF0u) throw Error(ErrorCode::Usage, "memo text too long for " + path_);
  uint32_t block = nextFree_;
  if (!bulk_) {
    // Whatever the header says, nothing past the file's end is free: bytes
    // there may be memos that records point to (a damaged header) or what a
    // stopped write left; both are kept. The size known here is the file's:
    // it was read at open and this program is the table's only writer.
    uint64_t end = (size_ + blockSize_ - 1) / blockSize_;
    if (end > UINT32_MAX) throw Error(ErrorCode::Usage, "memo file " + path_ + " is full");
    block = std::max<uint32_t>(block, (uint32_t)end);
  }
  uint64_t at = (uint64_t)block * blockSize_;
  uint64_t total = 8 + (uint64_t)text.size();
  uint64_t blocks = (total + blockSize_ - 1) / blockSize_;
  if ((uint64_t)block + blocks > UINT32_MAX) throw Error(ErrorCode::Usage, "memo file " + path_ + " is full");
  // The memo's blocks in a buffer kept from one write to the next.
  std::string& buf = writeBuf_;
  buf.assign((size_t)(blocks * blockSize_), '\0');
  PutBe32((unsigned char*)buf.data(), 1);
  PutBe32((unsigned char*)buf.data() + 4, (uint32_t)text.size());
  std::memcpy(buf.data() + 8, text.data(), text.size());
  window_.clear();
  if (bulk_) {
    if (pending_.empty()) pendingAt_ = at;
    pending_.append(buf.data(), buf.size());
    nextFree_ = (uint32_t)(block + blocks);
    size_ = std::max<uint64_t>(size_, at + buf.size());
    if (pending_.size() >= (1u << 20)) {
      file_.WriteAt(pendingAt_, pending_.data(), pending_.size());
      pending_.clear();
    }
    return block;
  }
  // The blocks first, then the header that hands them out: stopped in
  // between, the header still names the old free block and the new bytes are
  // simply written over next time.
  file_.WriteAt(at, buf.data(), buf.size());
  size_ = std::max<uint64_t>(size_, at + buf.size());
  nextFree_ = (uint32_t)(block + blocks);
  unsigned char h[4];
  PutBe32(h, nextFree_);
  if (char* head = file_.MapHead(8))
    std::memcpy(head, h, 4);
  else
    file_.WriteAt(0, h, 4);
  return block;
}

}  // namespace xbase

namespace xbase {

void MemoFile::EndBulk() {
  if (!pending_.empty()) file_.WriteAt(pendingAt_, pending_.data(), pending_.size());
  pending_.clear();
  bulk_ = false;
  unsigned char h[4];
  PutBe32(h, nextFree_);
  file_.WriteAt(0, h, 4);
}

}  // namespace xbase
