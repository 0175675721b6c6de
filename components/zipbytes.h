// Byte-level reading of a zip file for the code that looks at it before or
// without the unzip library: the signatures and sizes of the format's
// records, its little-endian fields, and a reader that takes bytes at given
// offsets of the file.
#pragma once

#include <QFile>
#include <QString>

#include <cstdint>
#include <vector>

namespace zip {

constexpr uint32_t kLocalHeaderSig = 0x04034b50;
constexpr uint32_t kCentralHeaderSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kZip64EndSig = 0x06064b50;
constexpr uint32_t kZip64LocatorSig = 0x07064b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;

constexpr int kLocalHeaderSize = 30;    // signature included
constexpr int kCentralHeaderSize = 46;  // signature included
constexpr int kEndSize = 22;
constexpr int kZip64EndSize = 56;
constexpr int kZip64LocatorSize = 20;

inline uint16_t U16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint16_t(b[0] | b[1] << 8);
}
inline uint32_t U32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
inline uint64_t U64(const char* p) { return uint64_t(U32(p)) | uint64_t(U32(p + 4)) << 32; }

// Reads a file at given offsets through a window of 64 KiB, so the many
// small reads of a header walk cost few system calls. Every read is clipped
// to the file: asking past the end gives fewer bytes, never stale ones.
class FileReader {
 public:
  bool Open(const QString& path);
  QString ErrorText() const { return file_.errorString(); }
  int64_t size() const { return size_; }

  // Copies up to n bytes at offset into out; returns how many.
  int64_t ReadAt(int64_t offset, char* out, int64_t n);

  // The bytes from offset on that the window holds (refilled to start
  // there when it holds less than 64 of them and the file has more): *got
  // of them, 0 past the end. The pointer is good until the next read.
  const char* Peek(int64_t offset, int64_t* got);

  // Reads n bytes at offset without the window (for large blocks).
  int64_t Direct(int64_t offset, char* out, int64_t n);

  // Whether the 4 bytes at `at` are the signature `sig`.
  bool HasSignature(int64_t at, uint32_t sig);

 private:
  void Refill(int64_t offset);

  static constexpr int64_t kWindow = 64 * 1024;
  QFile file_;
  int64_t size_ = 0;
  std::vector<char> window_;
  int64_t windowStart_ = 0, windowLen_ = 0;
};

}  // namespace zip
