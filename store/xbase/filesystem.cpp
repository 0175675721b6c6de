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
