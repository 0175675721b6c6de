// The tree walk on POSIX systems. Each folder is read once, its entries'
// types taken from readdir (no look at a file to learn that it is one), and
// every file and subfolder reached relative to its folder's descriptor: one
// fstatat per file for its size and time, no path resolved from the root
// again. The folders still to visit sit on a stack of their own, so a deep
// tree needs no deep call stack, and only the names of the folder being read
// are held at once (besides the subfolders still to visit on the way down).
#include "treewalk.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include "filetexts.h"
#include "mounts_posix.h"

namespace disk {

namespace {

constexpr int kCheckEvery = 256;  // entries between two questions whether to stop
constexpr size_t kOpenFolders = 64;  // descriptors held open down a deep tree

#ifdef AT_NO_AUTOMOUNT
constexpr int kNoFollowNoMount = AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT;
#else
constexpr int kNoFollowNoMount = AT_SYMLINK_NOFOLLOW;
#endif
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing beyond U+10FFFF.
bool IsUtf8(std::string_view s) {
  char32_t cp;
  for (size_t i = 0, n = 0; i < s.size(); i += n)
    if (!NextCodePoint(s, i, &cp, &n)) return false;
  return true;
}

// A name that is not UTF-8, shown with U+FFFD for each byte that is no
// character of its own (valid pieces kept).
std::string Shown(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    size_t n = 1;
    const unsigned char c = (unsigned char)s[i];
    if (c >= 0x80) n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size() || !IsUtf8(s.substr(i, n))) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    out.append(s.substr(i, n));
    i += n;
  }
  return out;
}

std::string Join(const std::string& folder, std::string_view name) {
  std::string out = folder;
  if (out.empty() || out.back() != '/') out += '/';
  out.append(name);
  return out;
}

struct Frame {
  int fd = -1;          // -1 while closed to spare descriptors (opened again from above when needed)
  std::string path;     // as the files below are named
  std::string name;     // in its parent
  dev_t device = 0;
  std::vector<std::string> folders;  // subfolders still to visit, the next one last
};

class Walk {
 public:
  Walk(const WalkOptions& options, const std::function<void(const WalkedFile&)>& onFile,
       std::vector<WalkSkip>* skipped)
      : options_(options), onFile_(onFile), skipped_(skipped) {
    for (const MountEntry& m : ReadMountTable()) pseudo_[m.device] = IsPseudoFileSystem(m.fsType);
  }
  ~Walk() {
    for (Frame& f : stack_)
      if (f.fd >= 0) ::close(f.fd);
  }

  bool Run(const std::string& folder, std::string* error) {
    const int fd = ::open(folder.c_str(), kFolderFlags & ~O_NOFOLLOW);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
      const int code = errno;
      if (fd >= 0) ::close(fd);
      if (error) *error = folder + " cannot be read: " + std::strerror(code) + ".";
      return false;
    }
    if (IsPseudo(st.st_dev, fd)) {
      ::close(fd);
      Skip(folder, "system file system");
      return true;
    }
    stack_.push_back({fd, folder, {}, st.st_dev, {}});
    if (!Read(stack_.back())) return false;
    while (!stack_.empty()) {
      if (stack_.back().folders.empty()) {
        if (stack_.back().fd >= 0) ::close(stack_.back().fd);
        stack_.pop_back();
        continue;
      }
      Frame& parent = stack_.back();
      std::string name = std::move(parent.folders.back());
      parent.folders.pop_back();
      std::string path = Join(parent.path, name);
      const int parentFd = DescriptorOf(stack_.size() - 1);
      const int child = parentFd < 0 ? -1 : ::openat(parentFd, name.c_str(), kFolderFlags);
      if (child < 0 || ::fstat(child, &st) != 0) {
        if (child >= 0) ::close(child);
        Skip(path, "cannot be read");
        continue;
      }
      stack_.push_back({child, std::move(path), std::move(name), st.st_dev, {}});
      SpareDescriptors();
      if (!Read(stack_.back())) return false;
    }
    return true;
  }

 private:
  void Skip(const std::string& path, const char* reason) {
    if (skipped_ != nullptr) skipped_->push_back({path, reason});
  }

  bool Stopped() { return ++count_ % kCheckEvery == 0 && options_.stopped && options_.stopped(); }

  // Whether the file system of `device` is one of the system's own; `fd`
  // is a folder on it, asked when the mount table does not know it.
  bool IsPseudo(dev_t device, int fd) const {
    const auto known = pseudo_.find(device);
    if (known != pseudo_.end()) return known->second;
#ifdef __linux__
    struct statfs fs;
    if (fd >= 0 && ::fstatfs(fd, &fs) == 0) return IsPseudoMagic((long)fs.f_type);
#endif
    return false;
  }

  // The descriptor of the folder at stack_[i], opened again down from the
  // nearest open folder above when it was closed; -1 when it is gone.
  int DescriptorOf(size_t i) {
    if (stack_[i].fd >= 0) return stack_[i].fd;
    size_t open = i;
    while (stack_[open].fd < 0) --open;  // the root's is never closed
    int fd = stack_[open].fd;
    for (size_t k = open + 1; k <= i && fd >= 0; ++k) {
      const int next = ::openat(fd, stack_[k].name.c_str(), kFolderFlags);
      if (fd != stack_[open].fd) ::close(fd);
      fd = next;
    }
    stack_[i].fd = fd;
    SpareDescriptors();
    return fd;
  }

  // Keeps at most kOpenFolders descriptors open: the highest folder's below
  // the root is closed first (it is needed again last).
  void SpareDescriptors() {
    size_t open = 0;
    for (const Frame& f : stack_) open += f.fd >= 0;
    for (size_t k = 1; open > kOpenFolders && k + 1 < stack_.size(); ++k)
      if (stack_[k].fd >= 0) {
        ::close(stack_[k].fd);
        stack_[k].fd = -1;
        --open;
      }
  }

  // Reads one folder: its files are reported in name order, its
  // subfolders kept on the frame. False when stopped.
  bool Read(Frame& frame) {
    const int copy = ::dup(frame.fd);
    DIR* dir = copy < 0 ? nullptr : ::fdopendir(copy);
    if (dir == nullptr) {
      if (copy >= 0) ::close(copy);
      Skip(frame.path, "cannot be read");
      return true;
    }
    std::vector<std::pair<std::string, unsigned char>> entries;
    bool broken = false;
    for (;;) {
      errno = 0;
      const dirent* e = ::readdir(dir);
      if (e == nullptr) {
        broken = errno != 0;
        break;
      }
      if (Stopped()) {
        ::closedir(dir);
        return false;
      }
      if (e->d_name[0] == '.') continue;  // hidden, and "." and ".."
      entries.emplace_back(e->d_name, e->d_type);
    }
    ::closedir(dir);
    if (broken) Skip(frame.path, "cannot be read");
    std::sort(entries.begin(), entries.end());
    for (const auto& [name, entryType] : entries) {
      if (Stopped()) return false;
      unsigned char type = entryType;
      struct stat st;
      bool known = false;
      if (type == DT_UNKNOWN) {
        if (::fstatat(frame.fd, name.c_str(), &st, kNoFollowNoMount) != 0) continue;
        known = true;
        type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
      }
      if (type == DT_LNK) {
        // A link to a file stands for that file; one to a folder is not
        // followed, a dangling one is nothing.
        if (::fstatat(frame.fd, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
        known = true;
        type = DT_REG;
      }
      if (type != DT_REG && type != DT_DIR) continue;
      if (!IsUtf8(name)) {
        Skip(Join(frame.path, Shown(name)), "its name is not UTF-8 text");
        continue;
      }
      if (type == DT_REG) {
        if (!known && ::fstatat(frame.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
        onFile_({Join(frame.path, name), (int64_t)st.st_size, (int64_t)st.st_mtime});
        continue;
      }
      // Another file system starts where a subfolder's device differs from
      // its folder's (the look sets off no automounter).
      if ((known || ::fstatat(frame.fd, name.c_str(), &st, kNoFollowNoMount) == 0) && st.st_dev != frame.device) {
        bool pseudo = false;
        if (pseudo_.count(st.st_dev) != 0) {
          pseudo = pseudo_.at(st.st_dev);
        } else {
          const int sub = ::openat(frame.fd, name.c_str(), kFolderFlags);
          pseudo = IsPseudo(st.st_dev, sub);
          if (sub >= 0) ::close(sub);
        }
        if (pseudo) {
          Skip(Join(frame.path, name), "system file system");
          continue;
        }
        if (!options_.otherFileSystems) {
          Skip(Join(frame.path, name), "another file system");
          continue;
        }
      }
      frame.folders.push_back(name);
    }
    std::reverse(frame.folders.begin(), frame.folders.end());
    return true;
  }

  const WalkOptions& options_;
  const std::function<void(const WalkedFile&)>& onFile_;
  std::vector<WalkSkip>* skipped_;
  std::map<dev_t, bool> pseudo_;  // device -> a pseudo file system, from the mount table
  std::vector<Frame> stack_;
  int64_t count_ = 0;
};

}  // namespace

bool WalkTree(const std::string& folder, const WalkOptions& options,
              const std::function<void(const WalkedFile&)>& onFile, std::vector<WalkSkip>* skipped,
              std::string* error) {
  std::string root = folder;
  if (!root.empty() && root[0] != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    if (cwd != nullptr) {
      root = Join(cwd, root);
      std::free(cwd);
    }
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root.empty()) {
    if (error) *error = "No folder was given.";
    return false;
  }
  Walk walk(options, onFile, skipped);
  return walk.Run(root, error);
}

}  // namespace disk
