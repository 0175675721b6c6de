#include "zipbytes.h"

#include <algorithm>
#include <cstring>

namespace zip {

bool FileReader::Open(const QString& path) {
  file_.setFileName(path);
  if (!file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return false;
  size_ = file_.size();
  return true;
}

void FileReader::Refill(int64_t offset) {
  window_.resize(kWindow);
  windowStart_ = offset;
  windowLen_ = std::max<int64_t>(0, Direct(offset, window_.data(), kWindow));
}

int64_t FileReader::ReadAt(int64_t offset, char* out, int64_t n) {
  if (offset < 0 || n <= 0 || offset >= size_) return 0;
  n = std::min(n, size_ - offset);
  if (offset >= windowStart_ && offset + n <= windowStart_ + windowLen_) {
    std::memcpy(out, window_.data() + (offset - windowStart_), (size_t)n);
    return n;
  }
  if (n > kWindow / 2) return Direct(offset, out, n);
  Refill(offset);
  const int64_t got = std::min(n, windowLen_);
  if (got > 0) std::memcpy(out, window_.data(), (size_t)got);
  return got;
}

const char* FileReader::Peek(int64_t offset, int64_t* got) {
  *got = 0;
  if (offset < 0 || offset >= size_) return nullptr;
  const int64_t windowEnd = windowStart_ + windowLen_;
  if (offset < windowStart_ || offset >= windowEnd || (windowEnd < size_ && windowEnd - offset < 64)) Refill(offset);
  *got = windowStart_ + windowLen_ - offset;
  return window_.data() + (offset - windowStart_);
}

int64_t FileReader::Direct(int64_t offset, char* out, int64_t n) {
  if (offset < 0 || offset >= size_) return 0;
  n = std::min(n, size_ - offset);
  if (!file_.seek(offset)) return 0;
  int64_t done = 0;
  while (done < n) {
    const qint64 r = file_.read(out + done, n - done);
    if (r <= 0) break;
    done += r;
  }
  return done;
}

bool FileReader::HasSignature(int64_t at, uint32_t sig) {
  char b[4];
  return ReadAt(at, b, 4) == 4 && U32(b) == sig;
}

}  // namespace zip
