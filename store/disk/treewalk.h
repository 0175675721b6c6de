// A walk down a folder tree, as adding a folder with its subfolders does:
// every ordinary file below the folder with its size and last-write time,
// in one pass over each folder's entries. Free of Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace disk {

struct WalkedFile {
  std::string path;   // full path, UTF-8, the system's separators
  int64_t size = 0;   // bytes
  int64_t mtime = 0;  // last write, seconds since 1970-01-01 UTC
};

// What a walk passed over, and why: a folder it could not read, a name
// that is not UTF-8 (it could not be stored), a folder on another file
// system or on a pseudo one.
struct WalkSkip {
  std::string path;
  std::string reason;  // "cannot be read", "its name is not UTF-8 text", "another file system", "system file system"
};

struct WalkOptions {
  bool otherFileSystems = false;  // also into disks mounted below the folder
  // Asked now and then; true stops the walk.
  std::function<bool()> stopped;
};

// Walks the tree below `folder` (which must be a readable folder; false
// with a sentence in *error otherwise): calls onFile for each ordinary
// file, folder by folder, depth first, each folder's files (then its
// subfolders) in byte order of their names. Hidden entries are left out, as
// in the add-files dialog: names that begin with "." on POSIX systems, those
// with the hidden attribute on Windows. A link to a file counts as that
// file under the link's path; a link to a folder (on Windows any folder
// that is a reparse point: a junction, a volume mounted there) is not
// followed. The walk stays on the folder's file system unless told
// otherwise and never enters a pseudo file system; a pseudo file system as
// `folder` itself is one skip and an empty walk. A subfolder that cannot
// be read is a skip, and the walk goes on. Returns false when stopped (with
// *error left as it was) or when the folder itself cannot be read.
bool WalkTree(const std::string& folder, const WalkOptions& options,
              const std::function<void(const WalkedFile&)>& onFile, std::vector<WalkSkip>* skipped,
              std::string* error);

}  // namespace disk
