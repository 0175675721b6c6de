#include "filesystem.h"

#include <cerrno>
#include <cstring>

#include "xbase.h"

namespace xbase {

std::string IoReason(int err) {
  if (err == kNotRegularFile) return "not a regular file";
  return std::strerror(err);
}

void ThrowIoError(const std::string& what, const std::string& path, int err) {
  ErrorCode code = (err == ENOENT) ? ErrorCode::NotFound : ErrorCode::Io;
  throw Error(code, what + " " + path + ": " + IoReason(err));
}

int FileHandle::ReadPieces(uint64_t offset, const ReadPiece* pieces, size_t count, size_t& done) {
  done = 0;
  for (size_t i = 0; i < count; ++i) {
    size_t got = 0;
    if (int e = Read(offset + done, pieces[i].to, pieces[i].n, got)) return e;
    done += got;
    if (got < pieces[i].n) break;
  }
  return 0;
}

namespace {
FileSystem* g_installed = nullptr;
}

FileSystem& CurrentFileSystem() { return g_installed ? *g_installed : SystemFileSystem(); }

FileSystem* InstallFileSystem(FileSystem* fsys) {
  FileSystem* before = g_installed;
  g_installed = fsys;
  return before;
}

}  // namespace xbase
