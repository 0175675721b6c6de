#include "mounts_posix.h"

#include <cstdio>
#include <cstdlib>

#ifdef __linux__
#include <sys/sysmacros.h>
#endif

namespace disk {

namespace {

// The fields of one line, split at blanks.
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

}  // namespace

std::string UnescapeMountText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
        text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
      out += char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::vector<MountEntry> ReadMountTable() {
  std::vector<MountEntry> out;
#ifdef __linux__
  FILE* f = std::fopen("/proc/self/mountinfo", "re");
  if (f == nullptr) return out;
  std::string text;
  char buffer[8192];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  // Each line: id, parent id, major:minor, root, mount point, options,
  // optional fields, "-", the file system's type, its source, options.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::vector<std::string_view> fields = Fields(std::string_view(text).substr(start, end - start));
    start = end + 1;
    size_t dash = 0;
    for (size_t i = 6; i < fields.size(); ++i)
      if (fields[i] == "-") {
        dash = i;
        break;
      }
    if (dash == 0 || dash + 2 >= fields.size()) continue;
    const std::string numbers(fields[2]);
    unsigned major = 0, minor = 0;
    if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2) continue;
    MountEntry e;
    e.device = makedev(major, minor);
    e.root = UnescapeMountText(fields[3]);
    e.mountPoint = UnescapeMountText(fields[4]);
    e.fsType = UnescapeMountText(fields[dash + 1]);
    e.source = UnescapeMountText(fields[dash + 2]);
    out.push_back(std::move(e));
  }
#endif
  return out;
}

bool IsPseudoFileSystem(std::string_view fsType) {
  static constexpr std::string_view kPseudo[] = {
      "proc",    "sysfs",      "cgroup",   "cgroup2",   "devtmpfs",    "devpts",    "securityfs",
      "debugfs", "tracefs",    "pstore",   "bpf",       "configfs",    "fusectl",   "mqueue",
      "hugetlbfs", "autofs",   "binfmt_misc", "nsfs",   "rpc_pipefs",  "efivarfs",  "selinuxfs"};
  for (std::string_view p : kPseudo)
    if (fsType == p) return true;
  return false;
}

bool IsPseudoMagic(long magic) {
#ifdef __linux__
  static const unsigned long kMagic[] = {
      0x9fa0,      // proc
      0x62656572,  // sysfs
      0x1cd1,      // devpts
      0x27e0eb,    // cgroup
      0x63677270,  // cgroup2
      0x64626720,  // debugfs
      0x73636673,  // securityfs
      0x74726163,  // tracefs
      0x62656570,  // configfs
      0x6165676c,  // pstore
      0xcafe4a11,  // bpf
      0x65735543,  // fusectl
      0x19800202,  // mqueue
      0x958458f6,  // hugetlbfs
      0x0187,      // autofs
      0xde5e81e4,  // efivarfs
      0x42494e4d,  // binfmt_misc
      0x6e736673,  // nsfs
      0xf97cff8c,  // selinuxfs
  };
  for (unsigned long m : kMagic)
    if ((unsigned long)magic == m) return true;
#else
  (void)magic;
#endif
  return false;
}

}  // namespace disk
