#include "readwindow.h"

#include <algorithm>

namespace xbase {

MappedView::MappedView(const File& f) {
  if (!f.IsOpen()) return;
  uint64_t n = f.Size();
  if (n == 0 || n > (uint64_t)SIZE_MAX) return;
  void* p = f.handle_->Map((size_t)n, false);
  if (!p) return;
  handle_ = f.handle_.get();
  data_ = (const char*)p;
  size_ = n;
}

MappedView::~MappedView() {
  if (data_) handle_->Unmap((void*)data_, (size_t)size_);
}

ReadWindow::ReadWindow(const File& f, size_t windowBytes) : file_(f), window_(std::max<size_t>(1, windowBytes)) {}

ReadWindow::~ReadWindow() { Release(); }

void ReadWindow::Release() {
  if (map_) file_.handle_->UnmapRead(map_, mapLen_);
  map_ = nullptr;
  mapLen_ = 0;
}

const char* ReadWindow::Get(uint64_t offset, size_t n) {
  if (map_ && offset >= mapAt_ && offset + n <= mapAt_ + mapLen_) return map_ + (offset - mapAt_);
  if (bufLen_ && offset >= bufAt_ && offset + n <= bufAt_ + bufLen_) return buf_.data() + (offset - bufAt_);
  Release();
  if (mapping_ && n > 0) {
    const uint64_t size = file_.Size();
    const uint64_t limit = size > kTailBytes ? size - kTailBytes : 0;
    const uint64_t at = offset - offset % kMapAlign;
    if (offset + n <= limit) {
      const size_t len = (size_t)std::min<uint64_t>(window_ + kMapAlign, limit - at);
      if (const void* p = file_.Handle().MapRead(at, len)) {
        map_ = (const char*)p;
        mapAt_ = at;
        mapLen_ = len;
        return map_ + (offset - at);
      }
      mapping_ = false;
    }
  }
  // Read a little ahead, so that the next stretches are likely served from
  // it; never fewer than the n bytes asked for.
  buf_.resize(std::max(std::min(window_, kReadAheadBytes), n));
  bufAt_ = offset;
  bufLen_ = 0;
  const size_t got = file_.ReadSome(offset, buf_.data(), buf_.size());
  if (got < n) file_.ReadAt(offset, buf_.data(), n);  // throws unless the file grew meanwhile
  bufLen_ = std::max(got, n);
  return buf_.data();
}

}  // namespace xbase
