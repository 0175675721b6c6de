// The mount table of a POSIX system as the volumes and the tree walk read
// it: on Linux /proc/self/mountinfo, one entry per mount in the order the
// mounts were made.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace disk {

struct MountEntry {
  dev_t device = 0;        // the device number its files report (st_dev)
  std::string root;        // the folder of the file system mounted there ("/" for all of it)
  std::string mountPoint;  // unescaped
  std::string fsType;      // "ext4", "tmpfs"...
  std::string source;      // "/dev/sdb1", "server:/export", "tmpfs"...
};

// The mounts, earliest first; empty where the system does not list them.
std::vector<MountEntry> ReadMountTable();

// The mount-table text with the escapes the kernel writes ("\040" for a
// blank, "\011", "\012", "\134") resolved.
std::string UnescapeMountText(std::string_view text);

// Whether a file system of this type shows the running system rather than
// stored files (proc, sysfs, cgroup, devtmpfs and the like). tmpfs and
// ramfs hold real files and are no pseudo file systems.
bool IsPseudoFileSystem(std::string_view fsType);

// The same for a folder the mount table does not name, by the magic number
// statfs gives (Linux only; false elsewhere).
bool IsPseudoMagic(long magic);

}  // namespace disk
