// The volumes (mounted file systems) that files live on: which one holds a
// path, and which are mounted now. A catalog remembers the volume its files
// came from, so that a disk mounted at another place (another mount point,
// another drive letter) is still found, and one not mounted is told apart
// from a file that is gone. Free of Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace disk {

struct Volume {
  // What tells this volume from every other, stable across mounts: the
  // file system's UUID on Linux ("2f6c0f3e-..." as /dev/disk/by-uuid names
  // it), the volume serial on Windows ("1A2B-3C4D"). Where the system gives
  // neither (a tmpfs, some network shares), "fsid:" and the file system id
  // in hexadecimal: good while the system runs.
  std::string id;
  std::string label;       // the volume's label; may be empty
  std::string fsType;      // "ext4", "vfat", "ntfs", "btrfs", "NTFS"...
  std::string mountPoint;  // "/media/u/DISK", "C:\" (with its separator)
  std::string device;      // "/dev/sdb1", "\\?\Volume{...}\": for people, not for matching
  uint64_t totalBytes = 0, freeBytes = 0;
};

// The volume holding `path` (an existing file or folder). False, with a
// sentence in *error, when the system cannot tell.
bool VolumeOf(const std::string& path, Volume* out, std::string* error);

// The volumes mounted now, real file systems only (no proc, sysfs, cgroup
// and the like), each once even when it is mounted at several places (the
// first mount point listed is kept; MountPointsOf gives them all).
std::vector<Volume> MountedVolumes();

// Every place the volume `id` is mounted at now; empty when it is not.
std::vector<std::string> MountPointsOf(const std::string& id);

}  // namespace disk
