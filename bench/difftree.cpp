#include "difftree.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace bench {

namespace {

constexpr size_t kTreeFolders = 1000;

void SetTime(const std::string& path, int64_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + path);
}

void MakeFile(const std::string& path, size_t bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path);
  static const char kText[16] = "0123456789abcde";
  const bool ok = bytes == 0 || ::write(fd, kText, bytes) == ssize_t(bytes);
  ::close(fd);
  if (!ok) throw std::runtime_error("cannot write " + path);
  SetTime(path, kTreeTime);
}

}  // namespace

std::string TreeFileOf(const fs::path& tree, size_t i, size_t files) {
  const size_t perFolder = std::max<size_t>(1, files / kTreeFolders);
  char name[64];
  std::snprintf(name, sizeof name, "folder%04zu/file%07zu.dat", i / perFolder, i);
  return (tree / name).string();
}

bool MakeTree(const fs::path& tree, const fs::path& marker, size_t files) {
  std::ifstream in(marker);
  size_t made = 0;
  if (in >> made && made == files && fs::exists(tree)) return false;
  fs::remove_all(tree);
  fs::remove(marker);
  for (size_t f = 0; f < kTreeFolders; ++f) {
    char name[32];
    std::snprintf(name, sizeof name, "folder%04zu", f);
    fs::create_directories(tree / name);
  }
  for (size_t i = 0; i < files; ++i) MakeFile(TreeFileOf(tree, i, files), i % 3 == 0 ? 0 : 1 + i % 15);
  std::ofstream(marker) << files << "\n";
  return true;
}

void ChangeOnePercent(const fs::path& tree, size_t files) {
  const size_t changed = std::max<size_t>(4, files / 100);
  for (size_t k = 0; k < changed; ++k) {
    const size_t i = (k * 7919 + 13) % files;
    const std::string path = TreeFileOf(tree, i, files);
    if (!fs::exists(path)) continue;
    if (k % 4 < 2)
      SetTime(path, kTreeTime + 86400);
    else if (k % 4 == 2)
      fs::remove(path);
    else
      MakeFile(path.substr(0, path.size() - 4) + ".new", 3);
  }
}

}  // namespace bench
