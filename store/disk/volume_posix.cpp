// The volumes on Linux and other POSIX systems. A volume is a mounted file
// system: the mount table tells where it is mounted and from what device,
// the links udev keeps under /dev/disk give its UUID and label (where there
// is no udev, as in containers and minimal systems, libblkid gives them),
// and statvfs its size and, where there is no UUID, the id the kernel gives
// it.
#include "volume.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include <blkid/blkid.h>
#include <dirent.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/sysmacros.h>
#endif
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

// What libblkid tells of a device: the UUID in the form udev names its
// link under /dev/disk/by-uuid (so that a volume remembered on a system
// with udev is the same volume on one without), the label and the file
// system's type. All empty when it tells nothing.
struct Identity {
  std::string uuid, label, type;
};

// The superblock itself, where this process may read the device (root, or
// the owner of a loop device): what the device holds now.
bool ProbeDevice(const std::string& node, Identity* out) {
  blkid_probe probe = blkid_new_probe_from_filename(node.c_str());
  if (probe == nullptr) return false;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
  // 0: one file system found; 1: none; -2: several that contradict each
  // other; -1: an error. Only the first is an answer.
  const bool found = blkid_do_safeprobe(probe) == 0;
  if (found) {
    const char* value = nullptr;
    if (blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0 && value != nullptr) out->uuid = value;
    if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value != nullptr) out->label = value;
    if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value != nullptr) out->type = value;
  }
  blkid_free_probe(probe);
  return found;
}

// The system's blkid cache (written when root runs blkid), read only: an
// ordinary user cannot open the device, but may read what was found on it.
// Neither probes nor changes the cache, so putting it back writes nothing.
bool CachedIdentity(const std::vector<std::string>& names, Identity* out) {
  blkid_cache cache = nullptr;
  if (blkid_get_cache(&cache, nullptr) != 0 || cache == nullptr) return false;
  bool found = false;
  for (const std::string& name : names) {
    blkid_dev dev = blkid_get_dev(cache, name.c_str(), BLKID_DEV_FIND);
    if (dev == nullptr) continue;
    blkid_tag_iterate tags = blkid_tag_iterate_begin(dev);
    const char *type = nullptr, *value = nullptr;
    while (tags != nullptr && blkid_tag_next(tags, &type, &value) == 0) {
      if (type == nullptr || value == nullptr) continue;
      if (std::strcmp(type, "UUID") == 0) out->uuid = value;
      else if (std::strcmp(type, "LABEL") == 0) out->label = value;
      else if (std::strcmp(type, "TYPE") == 0) out->type = value;
    }
    if (tags != nullptr) blkid_tag_iterate_end(tags);
    found = true;
    break;
  }
  blkid_put_cache(cache);
  return found;
}

// A UUID with the bytes udev would not put in a link's name written as
// "\xHH", as udev writes them.
std::string EncodedUuid(const std::string& uuid) {
  std::vector<char> encoded(uuid.size() * 4 + 1);
  if (blkid_encode_string(uuid.c_str(), encoded.data(), encoded.size()) != 0) return {};
  return encoded.data();
}

std::string Hex(unsigned long long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%llx", value);
  return text;
}

// What the system knows of the volumes at one moment: the mount table, the
// device links, and what libblkid said of the devices asked about.
struct Snapshot {
  std::vector<MountEntry> mounts;
  std::vector<DeviceLink> uuids, labels;
  // By device node; each device is asked once however many mounts it has.
  mutable std::map<std::string, Identity> identities;
  Snapshot() : mounts(ReadMountTable()), uuids(ReadDeviceLinks("/dev/disk/by-uuid")), labels(ReadDeviceLinks("/dev/disk/by-label")) {}

  // What libblkid tells of the device of `mount` (whose source is the
  // canonical `source` where it names a device node). Asked only of block
  // devices: a network or memory file system has none, and nothing here
  // waits on a server.
  const Identity& IdentityOf(const MountEntry& mount, const std::string& source) const {
    static const Identity kNone;
    std::string node;
    struct stat st;
    if (!source.empty() && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
      node = source;
    } else if (major(mount.device) != 0) {
      // "/dev/root" and the like, or no mount table: the device by its
      // number.
      if (char* name = blkid_devno_to_devname(mount.device)) {
        node = name;
        std::free(name);
      }
    }
    if (node.empty()) return kNone;
    const auto known = identities.find(node);
    if (known != identities.end()) return known->second;
    Identity id;
    // The superblock where it can be read, as it may have changed since
    // the cache was written (a loop device now holds another image); else
    // the cache, under the name the mount table gives and the canonical
    // one.
    if (!ProbeDevice(node, &id)) {
      std::vector<std::string> names{node};
      if (mount.source != node && mount.source.rfind("/dev/", 0) == 0) names.insert(names.begin(), mount.source);
      CachedIdentity(names, &id);
    }
    if (!id.uuid.empty()) id.uuid = EncodedUuid(id.uuid);
    return identities.emplace(node, std::move(id)).first->second;
  }

  // The UUID of the volume mounted by `mount`, from its link or else from
  // libblkid; empty when neither tells it.
  std::string UuidOf(const MountEntry& mount, const std::string& source) const {
    if (const DeviceLink* uuid = LinkOf(uuids, mount, source)) return uuid->name;
    return IdentityOf(mount, source).uuid;
  }

  // The volume mounted by `mount`, statvfs asked at `at` (a path on it);
  // false when the system cannot tell its id.
  bool Describe(const MountEntry& mount, const std::string& at, Volume* out) const {
    const std::string source = mount.source.rfind("/dev/", 0) == 0 ? Canonical(mount.source) : std::string();
    Volume v;
    v.fsType = mount.fsType;
    v.mountPoint = mount.mountPoint;
    v.device = mount.source;
    const DeviceLink* label = LinkOf(labels, mount, source);
    if (label != nullptr) v.label = UnescapeLinkName(label->name);
    if (const DeviceLink* uuid = LinkOf(uuids, mount, source)) {
      // udev has looked at the device: no link for a label means none.
      v.id = uuid->name;
    } else {
      const Identity& id = IdentityOf(mount, source);
      v.id = id.uuid;
      if (label == nullptr) v.label = id.label;
      if (v.fsType.empty()) v.fsType = id.type;
    }
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
    const std::string uuid = system.UuidOf(*m, source);
    // A UUID decides without asking the file system (a network mount that
    // does not answer holds up no one who looks for a disk).
    if (!uuid.empty()) {
      if (!byFsid && uuid == id) out.push_back(m->mountPoint);
      continue;
    }
    if (!byFsid) continue;
    Volume v;
    if (system.Describe(*m, m->mountPoint, &v) && v.id == id) out.push_back(m->mountPoint);
  }
  return out;
}

}  // namespace disk
