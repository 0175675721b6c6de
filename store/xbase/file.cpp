#include "file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "xbase.h"

namespace xbase {

File::~File() { Close(); }

File::File(File&& o) noexcept { *this = std::move(o); }

File& File::operator=(File&& o) noexcept {
  if (this != &o) {
    Close();
    handle_ = std::move(o.handle_);
    path_ = std::move(o.path_);
    writable_ = o.writable_;
    unsynced_ = o.unsynced_;
    map_ = o.map_;
    mapLen_ = o.mapLen_;
    undo_ = std::move(o.undo_);
    sizeKnown_ = o.sizeKnown_;
    size_ = o.size_;
    tail_ = std::move(o.tail_);
    tailAt_ = o.tailAt_;
    holding_ = o.holding_;
    heldLost_ = o.heldLost_;
    held_ = std::move(o.held_);
    heldAt_ = o.heldAt_;
    o.holding_ = o.heldLost_ = false;
    o.held_.clear();
    o.sizeKnown_ = false;
    o.tail_.clear();
    o.map_ = nullptr;
    o.mapLen_ = 0;
    o.unsynced_ = false;
    o.undo_ = Undo{};
  }
  return *this;
}

bool File::TryOpen(const std::string& path, Mode mode, int& err) {
  Close();
  err = 0;
  std::unique_ptr<FileHandle> h = CurrentFileSystem().Open(path, mode, err);
  if (!h) {
    if (err == 0) err = EIO;
    return false;
  }
  handle_ = std::move(h);
  path_ = path;
  writable_ = mode != Mode::ReadOnly;
  unsynced_ = mode == Mode::Create || mode == Mode::Truncate;
  return true;
}

void File::Open(const std::string& path, Mode mode) {
  int err = 0;
  if (!TryOpen(path, mode, err)) ThrowIoError("cannot open", path, err);
}

bool File::OpenBest(const std::string& path) {
  int err = 0;
  if (TryOpen(path, Mode::ReadWrite, err)) return true;
  if (err == ENOENT || err == kNotRegularFile) ThrowIoError("cannot open", path, err);
  Open(path, Mode::ReadOnly);
  return false;
}

void File::Close() {
  // What is held is written if it can be; a table closed in the middle of
  // a load counts its records again at the next open.
  try {
    WriteHeld();
  } catch (...) {
  }
  holding_ = heldLost_ = false;
  if (map_ && handle_) handle_->Unmap(map_, mapLen_);
  map_ = nullptr;
  mapLen_ = 0;
  handle_.reset();
  unsynced_ = false;
  undo_ = Undo{};
  ForgetSize();
}

FileHandle& File::Handle() const {
  if (!handle_) throw Error(ErrorCode::Usage, "file " + path_ + " is not open");
  return *handle_;
}

size_t File::ReadSome(uint64_t offset, void* buf, size_t n) const {
  FileHandle& h = Handle();
  WriteHeldForReading();
  size_t done = 0;
  while (done < n) {
    size_t got = 0;
    int e = h.Read(offset + done, (char*)buf + done, n - done, got);
    if (e) ThrowIoError("cannot read", path_, e);
    if (got == 0) break;
    done += got;
  }
  return done;
}

size_t File::ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count) const {
  WriteHeldForReading();
  size_t done = 0;
  if (int e = Handle().ReadPieces(offset, pieces, count, done)) ThrowIoError("cannot read", path_, e);
  // After a short read the rest comes piece by piece, until the file ends.
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    const size_t had = std::min(done, pieces[i].n);
    done -= had;
    size_t got = had;
    if (had < pieces[i].n) got += ReadSome(offset + total + had, pieces[i].to + had, pieces[i].n - had);
    total += got;
    if (got < pieces[i].n) break;
  }
  return total;
}

void File::ReadAt(uint64_t offset, void* buf, size_t n) const {
  if (ReadSome(offset, buf, n) != n)
    throw Error(ErrorCode::Corrupt, path_ + ": file ends before offset " + std::to_string(offset + n));
}

void File::RawWrite(uint64_t offset, const void* buf, size_t n) {
  FileHandle& h = Handle();
  unsynced_ = true;
  size_t done = 0;
  while (done < n) {
    size_t put = 0;
    int e = h.Write(offset + done, (const char*)buf + done, n - done, put);
    if (e) {
      ForgetSize();
      ThrowIoError("cannot write", path_, e);
    }
    if (put == 0) {
      ForgetSize();
      throw Error(ErrorCode::Io, "cannot write " + path_ + ": the system took " + std::to_string(done) + " of " +
                                     std::to_string(n) + " bytes");
    }
    done += put;
  }
  Wrote(offset, buf, n);
}

void File::WriteAt(uint64_t offset, const void* buf, size_t n) {
  if (undo_.on) {
    Capture();
    if (offset < undo_.size) Keep(offset, (size_t)std::min<uint64_t>(n, undo_.size - offset));
  }
  if (holding_ && Hold(offset, buf, n)) return;
  WriteHeld();
  RawWrite(offset, buf, n);
}

void File::HoldAppends(bool on) {
  if (!on) WriteHeld();
  holding_ = on && writable_;
}

bool File::Hold(uint64_t offset, const void* buf, size_t n) {
  if (held_.empty()) {
    // A piece starts with a write that reaches the end of the file as
    // this object knows it, without a gap before it.
    if (!sizeKnown_ || offset > size_ || offset + n < size_) return false;
    heldAt_ = offset;
  } else if (offset < heldAt_ || offset > heldAt_ + held_.size()) {
    return false;
  }
  const size_t at = (size_t)(offset - heldAt_);
  if (held_.size() < at + n) held_.resize(at + n);
  std::memcpy(held_.data() + at, buf, n);
  unsynced_ = true;
  Wrote(offset, buf, n);
  constexpr size_t kHeldBytes = 1u << 20;
  if (held_.size() >= kHeldBytes) WriteHeld();
  return true;
}

void File::WriteHeld() {
  if (held_.empty()) return;
  try {
    RawWrite(heldAt_, held_.data(), held_.size());
  } catch (...) {
    // The piece is gone; what the system took of it stays, and the size is
    // asked of the system from now on.
    held_.clear();
    heldLost_ = true;
    ForgetSize();
    throw;
  }
  held_.clear();  // keeps its room for the next piece
}

uint64_t File::Size() const {
  WriteHeldForReading();
  uint64_t size = 0, mtime = 0;
  int e = Handle().Stat(size, mtime);
  if (e) ThrowIoError("cannot stat", path_, e);
  return size;
}

uint64_t File::ModifiedNs() const {
  try {
    if (handle_) WriteHeldForReading();
  } catch (...) {
    return 0;
  }
  uint64_t size = 0, mtime = 0;
  return handle_ && handle_->Stat(size, mtime) == 0 ? mtime : 0;
}

void File::Truncate(uint64_t size) {
  WriteHeld();
  if (undo_.on) {
    Capture();
    if (size < undo_.size) Keep(size, (size_t)(undo_.size - size));
  }
  unsynced_ = true;
  ForgetSize();
  int e = Handle().Truncate(size);
  if (e) ThrowIoError("cannot truncate", path_, e);
}

void File::Sync() {
  if (!handle_) return;
  WriteHeld();
  int e = handle_->Sync();
  if (e) ThrowIoError("cannot write to disk", path_, e);
  unsynced_ = false;
}

void File::SyncIfWritten() {
  if (unsynced_) Sync();
}

char* File::MapHead(size_t n) {
  if (!held_.empty() && heldAt_ < n) WriteHeld();
  if (!map_) {
    if (!handle_ || !writable_ || Size() < n) return nullptr;
    void* p = handle_->Map(n, true);
    if (!p) return nullptr;
    map_ = (char*)p;
    mapLen_ = n;
    if (!tail_.empty() && tailAt_ < mapLen_) tail_.clear();
  }
  if (mapLen_ < n) return nullptr;
  if (undo_.on && !undo_.headKept) {
    Capture();
    // Stores through the mapping bypass WriteAt: the bytes it shows are kept
    // before the caller changes them.
    undo_.head.assign(map_, (size_t)std::min<uint64_t>(mapLen_, undo_.size));
    undo_.headAt = undo_.kept.size();
    undo_.headKept = true;
  }
  unsynced_ = true;
  return map_;
}

MappedBytes File::MapForReading(uint64_t offset, size_t n) const {
  if (!handle_ || n == 0) return {};
  WriteHeldForReading();
  constexpr uint64_t kAlign = 64u << 10;  // a multiple of every page size in use
  const size_t skip = (size_t)(offset % kAlign);
  const char* p = handle_->MapRead(offset - skip, n + skip);
  if (!p) return {};
  return MappedBytes(handle_.get(), p, n + skip, skip);
}

bool File::TryLock(Lock kind) { return handle_ && handle_->TryLock(kind); }

void File::Unlock(Lock kind) {
  if (handle_) handle_->Unlock(kind);
}

bool File::IsFileAt(const std::string& path) const { return handle_ && handle_->IsFileAt(path); }

}  // namespace xbase
