// The volumes on Linux and other POSIX systems. A volume is a mounted file
// system: the mount table tells where it is mounted and from what device,
// the links udev keeps under /dev/disk give its UUID and label, and statvfs
// its size and, where there is no UUID, the id the kernel gives it.
#include "volume.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "mounts_posix.h"

namespace disk {

namespace {

// A link under /dev/disk/by-uuid or by-label: its name and the device it
// leads to.
struct DeviceLink {
  std::string name;
  dev_t rdev = 0;
  std::string target;  // the device node's canonical path
};

std::string Canonical(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return {};
  std::string out(real);
  std::free(real);
  return out;
}

std::vector<DeviceLink> ReadDeviceLinks(const char* folder) {
  std::vector<DeviceLink> out;
  DIR* dir = ::opendir(folder);
  if (dir == nullptr) return out;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const std::string path = std::string(folder) + "/" + e->d_name;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) continue;
    out.push_back({e->d_name, st.st_rdev, Canonical(path)});
  }
  ::closedir(dir);
  // The same answer on every call, whatever order the folder lists them in.
  std::sort(out.begin(), out.end(), [](const DeviceLink& a, const DeviceLink& b) { return a.name < b.name; });
  return out;
}

// udev writes the bytes of a label it cannot put in a file name as "\xHH".
std::string UnescapeLinkName(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && std::isxdigit((unsigned char)name[i + 2]) &&
        std::isxdigit((unsigned char)name[i + 3])) {
      out += char(std::strtoul(name.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += name[i];
    }
  }
  return out;
}

// The link whose device is the mount's: by its device number, or (btrfs
// subvolumes and other file systems that report a device number of their
// own) by the device the mount table names as its source.
const DeviceLink* LinkOf(const std::vector<DeviceLink>& links, const MountEntry& mount, const std::string& source) {
  for (const DeviceLink& l : links)
    if (l.rdev == mount.device) return &l;
  if (!source.empty())
    for (const DeviceLink& l : links)
      if (l.target == source) return &l;
  return nullptr;
}

std::string Hex(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

// What the system knows of the volumes at one moment: the mount table and
// the device links.
struct Snapshot {
  std::vector<MountEntry> mounts;
  std::vector<DeviceLink> uuids, labels;
  Snapshot() : mounts(ReadMountTable()), uuids(ReadDeviceLinks("/dev/disk/by-uuid")), labels(ReadDeviceLinks("/dev/disk/by-label")) {}

  // The volume mounted by `mount`, statvfs asked at `at` (a path on it);
  // false when the system cannot tell its id.
  bool Describe(const MountEntry& mount, const std::string& at, Volume* out) const {
    const std::string source = mount.source.rfind("/dev/", 0) == 0 ? Canonical(mount.source) : std::string();
    Volume v;
    v.fsType = mount.fsType;
    v.mountPoint = mount.mountPoint;
    v.device = mount.source;
    if (const DeviceLink* uuid = LinkOf(uuids, mount, source)) v.id = uuid->name;
    if (const DeviceLink* label = LinkOf(labels, mount, source)) v.label = UnescapeLinkName(label->name);
    struct statvfs fs;
    if (::statvfs(at.c_str(), &fs) == 0) {
      v.totalBytes = (uint64_t)fs.f_blocks * fs.f_frsize;
      v.freeBytes = (uint64_t)fs.f_bavail * fs.f_frsize;
      if (v.id.empty()) v.id = "fsid:" + Hex(fs.f_fsid != 0 ? (unsigned long long)fs.f_fsid : (unsigned long long)mount.device);
    } else if (v.id.empty()) {
      return false;
    }
    *out = std::move(v);
    return true;
  }

  // The mounts that show at their mount point: a later mount at the same
  // place hides an earlier one. Real file systems only.
  std::vector<const MountEntry*> Visible() const {
    std::vector<const MountEntry*> out;
    for (size_t i = 0; i < mounts.size(); ++i) {
      const MountEntry& m = mounts[i];
      if (IsPseudoFileSystem(m.fsType)) continue;
      bool hidden = false;
      for (size_t j = i + 1; j < mounts.size() && !hidden; ++j) hidden = mounts[j].mountPoint == m.mountPoint;
      if (!hidden) out.push_back(&m);
    }
    return out;
  }
};

// Whether the mount point `mount` holds `path` (both canonical).
bool Holds(const std::string& mount, const std::string& path) {
  if (mount == "/") return true;
  return path.compare(0, mount.size(), mount) == 0 && (path.size() == mount.size() || path[mount.size()] == '/');
}

}  // namespace

bool VolumeOf(const std::string& path, Volume* out, std::string* error) {
  const std::string canonical = Canonical(path);
  struct stat st;
  if (canonical.empty() || ::stat(canonical.c_str(), &st) != 0) {
    if (error) *error = path + " cannot be found: " + std::strerror(errno) + ".";
    return false;
  }
  const Snapshot system;
  // The mount with the longest mount point that holds the path; of mounts
  // at the same place the last made, which hides the others.
  const MountEntry* best = nullptr;
  for (const MountEntry& m : system.mounts)
    if (Holds(m.mountPoint, canonical) && (best == nullptr || m.mountPoint.size() >= best->mountPoint.size()))
      best = &m;
  MountEntry guessed;
  if (best == nullptr) {
    // No mount table (or the path lies outside the one this process sees):
    // the volume is known by its device alone, mounted at the highest
    // folder above the path on the same device.
    guessed.device = st.st_dev;
    guessed.mountPoint = canonical;
    while (guessed.mountPoint != "/") {
      const size_t slash = guessed.mountPoint.rfind('/');
      const std::string parent = slash == 0 ? "/" : guessed.mountPoint.substr(0, slash);
      struct stat up;
      if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) break;
      guessed.mountPoint = parent;
    }
    best = &guessed;
  } else if (IsPseudoFileSystem(best->fsType)) {
    if (error) *error = path + " is on a system file system (" + best->fsType + "), not on a disk.";
    return false;
  }
  if (!system.Describe(*best, canonical, out)) {
    if (error) *error = "The volume of " + path + " cannot be told: " + std::strerror(errno) + ".";
    return false;
  }
  return true;
}

std::vector<Volume> MountedVolumes() {
  const Snapshot system;
  std::vector<Volume> out;
  for (const MountEntry* m : system.Visible()) {
    Volume v;
    if (!system.Describe(*m, m->mountPoint, &v)) continue;
    const bool known = std::any_of(out.begin(), out.end(), [&](const Volume& o) { return o.id == v.id; });
    if (!known) out.push_back(std::move(v));
  }
  return out;
}

std::vector<std::string> MountPointsOf(const std::string& id) {
  std::vector<std::string> out;
  if (id.empty()) return out;
  const Snapshot system;
  const bool byFsid = id.rfind("fsid:", 0) == 0;
  for (const MountEntry* m : system.Visible()) {
    const std::string source = m->source.rfind("/dev/", 0) == 0 ? Canonical(m->source) : std::string();
    const DeviceLink* uuid = LinkOf(system.uuids, *m, source);
    // A UUID decides without asking the file system (a network mount that
    // does not answer holds up no one who looks for a disk).
    if (uuid != nullptr) {
      if (!byFsid && uuid->name == id) out.push_back(m->mountPoint);
      continue;
    }
    if (!byFsid) continue;
    Volume v;
    if (system.Describe(*m, m->mountPoint, &v) && v.id == id) out.push_back(m->mountPoint);
  }
  return out;
}

}  // namespace disk
