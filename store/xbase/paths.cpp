#include "paths.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "filesystem.h"
#include "xbase.h"

namespace xbase {
namespace fs = std::filesystem;

namespace {
// A path as UTF-8, whatever the system's code page (path::string() is the
// ANSI code page on Windows).
std::string Utf8Of(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}
}  // namespace

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(fs::u8path(path), ec);
}

bool PathExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::u8path(path), ec);
}

uint64_t FileSizeOf(const std::string& path) {
  std::error_code ec;
  auto n = fs::file_size(fs::u8path(path), ec);
  return ec ? 0 : (uint64_t)n;
}

void RenameFile(const std::string& from, const std::string& to) {
  int e = CurrentFileSystem().Rename(from, to);
  if (e) throw Error(ErrorCode::Io, "cannot rename " + from + " to " + to + ": " + IoReason(e));
}

void RemoveFile(const std::string& path) {
  int e = CurrentFileSystem().Remove(path);
  if (e && e != ENOENT) ThrowIoError("cannot remove", path, e);
}

bool TryRemoveFile(const std::string& path) noexcept {
  try {
    int e = CurrentFileSystem().Remove(path);
    return e == 0 || e == ENOENT;
  } catch (...) {
    return false;
  }
}

std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

void SyncFolderOf(const std::string& path) {
  std::string dir = FolderOf(path);
  if (dir.empty()) dir = ".";
  int e = CurrentFileSystem().SyncFolder(dir);
  if (e) ThrowIoError("cannot write to disk the folder", dir, e);
}

std::string CanonicalPath(const std::string& path) {
  std::error_code ec;
  auto p = fs::weakly_canonical(fs::u8path(path), ec);
  if (ec) return Utf8Of(fs::absolute(fs::u8path(path), ec).lexically_normal());
  return Utf8Of(p);
}

std::string FollowLink(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::u8path(path), ec)) return path;
  auto p = fs::canonical(fs::u8path(path), ec);
  return ec ? path : Utf8Of(p);
}

std::string WithExtension(const std::string& path, const std::string& ext) {
  auto slash = path.find_last_of("/\\");
  auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string BaseName(const std::string& path) {
  auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace xbase
