// Files by their path: whether they exist, their size, renaming and removing
// through the installed FileSystem, and the pieces of a path.
#pragma once

#include <cstdint>
#include <string>

namespace xbase {

bool FileExists(const std::string& path);  // a regular file (links followed)
bool PathExists(const std::string& path);  // anything at all (links followed)
uint64_t FileSizeOf(const std::string& path);  // 0 when missing
void RenameFile(const std::string& from, const std::string& to);  // replaces `to`
void RemoveFile(const std::string& path);  // no error when missing
bool TryRemoveFile(const std::string& path) noexcept;  // cleanup: false when it stays
void SyncFolderOf(const std::string& path);
std::string CanonicalPath(const std::string& path);
// The file a symbolic link leads to; any other path as it is.
std::string FollowLink(const std::string& path);
// Replace the extension (".dbf" -> ".nsx") of a path.
std::string WithExtension(const std::string& path, const std::string& ext);
std::string BaseName(const std::string& path);
std::string FolderOf(const std::string& path);  // "" for a plain name

// How many names (hard links) the file at the path has; 0 where that
// cannot be told.
uint32_t NameCountOf(const std::string& path);

// This process's number, and whether the process of a number has ended
// (false when it runs, or cannot be told).
unsigned long CurrentProcessNumber();
bool ProcessHasEnded(unsigned long pid);

}  // namespace xbase
