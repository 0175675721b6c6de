#include "readwindow.h"

#include <algorithm>

#include "xbase.h"

namespace xbase {

ReadWindow::ReadWindow(const File& f, size_t windowBytes) : file_(f), window_(std::max<size_t>(1, windowBytes)) {}

const char* ReadWindow::Get(uint64_t offset, size_t n, uint64_t readTo) {
  if (Holds(offset, n)) return buf_.data() + (offset - bufAt_);
  if (!sizeKnown_) {
    size_ = file_.Size();
    sizeKnown_ = true;
  }
  const uint64_t ahead = std::min({readTo, size_, offset + std::max(window_, n)});
  const size_t want = (size_t)(std::max<uint64_t>(offset + n, ahead) - offset);
  if (buf_.size() < want) buf_.resize(std::max(want, std::min<size_t>(window_, 1u << 20)));
  bufLen_ = 0;
  const size_t got = file_.ReadSome(offset, buf_.data(), want);
  if (got < n) throw Error(ErrorCode::Corrupt, file_.Path() + ": file ends before offset " + std::to_string(offset + n));
  bufAt_ = offset;
  bufLen_ = got;
  return buf_.data();
}

}  // namespace xbase
